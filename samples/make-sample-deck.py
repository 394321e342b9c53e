#!/usr/bin/env python3
"""Writes samples/sample-deck.fodp, a small flat-XML presentation, and turns it
into samples/sample-deck.ppt with LibreOffice. Six slides are shown: titles,
bullet text, shapes, a table and a picture (drawn here, pixel by pixel); a
seventh slide is hidden, as a slide show leaves it out.

Run it from anywhere: python3 samples/make-sample-deck.py
"""
import base64
import os
import struct
import subprocess
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def png_picture(width, height):
    """A colourful landscape, stored as an RGB PNG."""
    rows = []
    for y in range(height):
        row = bytearray([0])
        for x in range(width):
            if y < height * 0.6:  # sky, lighter towards the horizon
                t = y / (height * 0.6)
                r, g, b = int(70 + 120 * t), int(130 + 90 * t), 230
            else:  # hills
                r, g, b = 60, int(150 - 60 * (y / height)), 70
            cx, cy, radius = width * 0.75, height * 0.25, height * 0.12
            if (x - cx) ** 2 + (y - cy) ** 2 < radius ** 2:  # the sun
                r, g, b = 250, 210, 60
            row += bytes((r, g, b))
        rows.append(bytes(row))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def title(text):
    return ('<draw:frame presentation:style-name="title" draw:text-style-name="PTitle" '
            'svg:x="1.5cm" svg:y="0.8cm" svg:width="22.4cm" svg:height="2.8cm" presentation:class="title">'
            f'<draw:text-box><text:p text:style-name="PTitle">{text}</text:p></draw:text-box></draw:frame>')


def bullets(items, x="1.5cm", y="4.2cm", width="22.4cm", height="13cm"):
    body = "".join(f'<text:list-item><text:p text:style-name="PBody">{item}</text:p></text:list-item>'
                   for item in items)
    return (f'<draw:frame draw:style-name="grText" svg:x="{x}" svg:y="{y}" svg:width="{width}" svg:height="{height}">'
            f'<draw:text-box><text:list text:style-name="LBullets">{body}</text:list></draw:text-box></draw:frame>')


def table(rows):
    columns = len(rows[0])
    out = ['<draw:frame svg:x="2cm" svg:y="4.5cm" svg:width="21.4cm" svg:height="8cm"><table:table>']
    out.append(f'<table:table-column table:number-columns-repeated="{columns}"/>')
    for index, row in enumerate(rows):
        style = "ceHead" if index == 0 else "ceBody"
        out.append('<table:table-row table:style-name="roRow">')
        for cell in row:
            out.append(f'<table:table-cell table:style-name="{style}"><text:p text:style-name="PCell">{cell}</text:p></table:table-cell>')
        out.append('</table:table-row>')
    out.append('</table:table></draw:frame>')
    return "".join(out)


def page(name, content, hidden=False):
    style = "dpHidden" if hidden else "dpShown"
    return (f'<draw:page draw:name="{name}" draw:style-name="{style}" draw:master-page-name="Default">'
            f'{content}</draw:page>')


def deck():
    picture = base64.b64encode(png_picture(320, 200)).decode("ascii")
    slides = [
        page("Welcome", title("Quillet sample deck") + bullets([
            "A small presentation made with LibreOffice",
            "Six slides: text, shapes, a table and a picture",
            "Convert it with: quillet convert sample-deck.ppt",
        ])),
        page("Why", title("Why a slide show movie?") + bullets([
            "One file plays every slide in order",
            "Next and previous arrows on each frame",
            "A counter shows where you are, such as 2/6",
            "The page plays it in today's browsers",
        ])),
        page("Shapes", title("Shapes") +
             '<draw:rect draw:style-name="grBlue" draw:text-style-name="PShape" svg:x="2cm" svg:y="5cm" svg:width="6cm" svg:height="4cm">'
             '<text:p text:style-name="PShape">Export</text:p></draw:rect>'
             '<draw:ellipse draw:style-name="grOrange" draw:text-style-name="PShape" svg:x="9.7cm" svg:y="5cm" svg:width="6cm" svg:height="4cm">'
             '<text:p text:style-name="PShape">Rescale</text:p></draw:ellipse>'
             '<draw:rect draw:style-name="grGreen" draw:text-style-name="PShape" svg:x="17.4cm" svg:y="5cm" svg:width="6cm" svg:height="4cm">'
             '<text:p text:style-name="PShape">Assemble</text:p></draw:rect>'
             '<draw:line draw:style-name="grArrow" svg:x1="8.1cm" svg:y1="7cm" svg:x2="9.6cm" svg:y2="7cm"/>'
             '<draw:line draw:style-name="grArrow" svg:x1="15.8cm" svg:y1="7cm" svg:x2="17.3cm" svg:y2="7cm"/>'
             '<draw:polygon draw:style-name="grPurple" svg:x="9.7cm" svg:y="11cm" svg:width="6cm" svg:height="5cm" '
             'svg:viewBox="0 0 6000 5000" draw:points="3000,0 6000,5000 0,5000"/>'),
        page("Table", title("Output sizes") + table([
            ["Size", "Divisor", "Frame for a 720 x 540 slide"],
            ["small", "3", "240 x 180"],
            ["medium", "2", "360 x 270"],
            ["big", "1", "720 x 540"],
        ])),
        page("Picture", title("A picture") +
             '<draw:frame svg:x="4.7cm" svg:y="4.2cm" svg:width="16cm" svg:height="10cm"><draw:image>'
             f'<office:binary-data>{picture}</office:binary-data></draw:image></draw:frame>' +
             bullets(["Pictures are kept as they are drawn on the slide"], y="15cm", height="2.5cm")),
        page("End", title("Thank you") + bullets([
            "Click the slide or the right arrow to go on",
            "The left arrow goes back",
            "Made with Quillet",
        ])),
        page("Hidden", title("A hidden slide") + bullets(["A slide show leaves this slide out"]), hidden=True),
    ]
    return f'''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.presentation">
<office:styles/>
<office:automatic-styles>
 <style:page-layout style:name="PM1"><style:page-layout-properties fo:margin-top="0cm" fo:margin-bottom="0cm" fo:margin-left="0cm" fo:margin-right="0cm" fo:page-width="25.4cm" fo:page-height="19.05cm" style:print-orientation="landscape"/></style:page-layout>
 <style:style style:name="dpShown" style:family="drawing-page"><style:drawing-page-properties draw:fill="solid" draw:fill-color="#f4f7fb" presentation:visibility="visible"/></style:style>
 <style:style style:name="dpHidden" style:family="drawing-page"><style:drawing-page-properties draw:fill="solid" draw:fill-color="#f4f7fb" presentation:visibility="hidden"/></style:style>
 <style:style style:name="title" style:family="presentation"><style:graphic-properties draw:stroke="none" draw:fill="none"/></style:style>
 <style:style style:name="grText" style:family="graphic"><style:graphic-properties draw:stroke="none" draw:fill="none" draw:textarea-vertical-align="top"/></style:style>
 <style:style style:name="grBlue" style:family="graphic"><style:graphic-properties draw:fill="solid" draw:fill-color="#2a6f97" svg:stroke-color="#163d54" draw:textarea-vertical-align="middle"/></style:style>
 <style:style style:name="grOrange" style:family="graphic"><style:graphic-properties draw:fill="solid" draw:fill-color="#e07a1f" svg:stroke-color="#8a4a10" draw:textarea-vertical-align="middle"/></style:style>
 <style:style style:name="grGreen" style:family="graphic"><style:graphic-properties draw:fill="solid" draw:fill-color="#3c9d5d" svg:stroke-color="#1f5a33" draw:textarea-vertical-align="middle"/></style:style>
 <style:style style:name="grPurple" style:family="graphic"><style:graphic-properties draw:fill="solid" draw:fill-color="#7b4fa0" svg:stroke-color="#45295c"/></style:style>
 <style:style style:name="grArrow" style:family="graphic"><style:graphic-properties svg:stroke-width="0.1cm" svg:stroke-color="#333333" draw:marker-end="Arrow" draw:marker-end-width="0.4cm"/></style:style>
 <style:style style:name="PTitle" style:family="paragraph"><style:paragraph-properties fo:text-align="center"/><style:text-properties fo:font-family="'Liberation Sans'" fo:font-size="36pt" fo:font-weight="bold" fo:color="#163d54"/></style:style>
 <style:style style:name="PBody" style:family="paragraph"><style:paragraph-properties fo:margin-left="0.9cm" fo:text-indent="-0.6cm" fo:margin-bottom="0.35cm"/><style:text-properties fo:font-family="'Liberation Sans'" fo:font-size="24pt" fo:color="#222222"/></style:style>
 <style:style style:name="PShape" style:family="paragraph"><style:paragraph-properties fo:text-align="center"/><style:text-properties fo:font-family="'Liberation Sans'" fo:font-size="20pt" fo:color="#ffffff" fo:font-weight="bold"/></style:style>
 <style:style style:name="PCell" style:family="paragraph"><style:text-properties fo:font-family="'Liberation Sans'" fo:font-size="20pt" fo:color="#222222"/></style:style>
 <style:style style:name="ceHead" style:family="table-cell"><style:graphic-properties draw:fill="solid" draw:fill-color="#9cc3dd"/><style:table-cell-properties fo:border="0.03cm solid #163d54"/></style:style>
 <style:style style:name="ceBody" style:family="table-cell"><style:graphic-properties draw:fill="solid" draw:fill-color="#ffffff"/><style:table-cell-properties fo:border="0.03cm solid #163d54"/></style:style>
 <style:style style:name="roRow" style:family="table-row"><style:table-row-properties style:row-height="1.6cm"/></style:style>
 <text:list-style style:name="LBullets"><text:list-level-style-bullet text:level="1" text:bullet-char="&#x2022;" text:bullet-relative-size="100%"><style:list-level-properties text:space-before="0cm" text:min-label-width="0.6cm"/><style:text-properties fo:color="#2a6f97"/></text:list-level-style-bullet></text:list-style>
</office:automatic-styles>
<office:master-styles>
 <style:master-page style:name="Default" style:page-layout-name="PM1" draw:style-name="dpShown"/>
</office:master-styles>
<office:body><office:presentation>
{"".join(slides)}
</office:presentation></office:body></office:document>
'''


def main():
    source = os.path.join(HERE, "sample-deck.fodp")
    with open(source, "w", encoding="utf-8") as out:
        out.write(deck())
    with tempfile.TemporaryDirectory() as scratch:
        profile = "file://" + os.path.join(scratch, "profile")
        subprocess.run(["soffice", f"-env:UserInstallation={profile}", "--headless", "--norestore",
                        "--convert-to", "ppt", "--outdir", scratch, source], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.replace(os.path.join(scratch, "sample-deck.ppt"), os.path.join(HERE, "sample-deck.ppt"))
    print("wrote", os.path.join(HERE, "sample-deck.ppt"))


if __name__ == "__main__":
    main()
