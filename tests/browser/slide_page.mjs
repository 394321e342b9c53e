// A converted deck's page in a browser, shared by the tests that present it
// (presenting_test.mjs in Chromium, firefox_test.mjs in Firefox): a PDF deck
// of 12 pages made here (no LibreOffice), converted by quillet convert, and
// its page opened with nothing clicked, the slide shown compared with the
// movie's own pictures and the address read.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  decodeJpeg, forceRuffleTestConfig, hideRuffleNotices, meanDifference, moviePictures, screenshotPixels, waitFor,
  waitForMovie,
} from './harness.mjs';

export const slideCount = 12;
const pictureTolerance = 4;

// A PDF file of `pages` pages of 480 x 360 points (times `scale`), page k in
// its own colour, half of a grid of 12-point squares in random colours, and a
// white square further right on each page.
export function pdfDeck(pages, scale = 1) {
  const objects = ['<< /Type /Catalog /Pages 2 0 R >>', null];
  const kids = [];
  let seed = 1;
  const random = () => {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed / 2147483648;
  };
  for (let page = 0; page < pages; page += 1) {
    const [r, g, b] = [0, 1, 2].map((k) => (0.5 + 0.45 * Math.cos(2 * Math.PI * (page / pages + k / 3))).toFixed(3));
    let content = `${scale} 0 0 ${scale} 0 0 cm ${r} ${g} ${b} rg 0 0 480 360 re f`;
    for (let y = 0; y < 360; y += 12) {
      for (let x = 0; x < 480; x += 12) {
        const colour = [random(), random(), random()].map((value) => value.toFixed(2)).join(' ');
        if (random() < 0.5) content += ` ${colour} rg ${x} ${y} 12 12 re f`;
      }
    }
    content += ` 1 1 1 rg ${30 + page * 30} 200 60 60 re f`;
    objects.push(`<< /Length ${content.length} >>\nstream\n${content}\nendstream`);
    objects.push(`<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ${480 * scale} ${360 * scale}] /Contents ${objects.length} 0 R >>`);
    kids.push(`${objects.length} 0 R`);
  }
  objects[1] = `<< /Type /Pages /Kids [${kids.join(' ')}] /Count ${pages} >>`;
  let text = '%PDF-1.4\n';
  const offsets = objects.map((body, index) => {
    const at = text.length;
    text += `${index + 1} 0 obj\n${body}\nendobj\n`;
    return at;
  });
  const xref = text.length;
  text += `xref\n0 ${objects.length + 1}\n0000000000 65535 f \n`;
  for (const at of offsets) text += `${String(at).padStart(10, '0')} 00000 n \n`;
  text += `trailer\n<< /Size ${objects.length + 1} /Root 1 0 R >>\nstartxref\n${xref}\n%%EOF\n`;
  return Buffer.from(text, 'latin1');
}

// Converts the 12-page deck into folder/out with `quillet` (with `more`,
// more decks and options in the same call); returns the output folder and the
// movie's pictures as libjpeg-turbo decodes them.
export function convert(quillet, folder, out = path.join(folder, 'out'), more = []) {
  fs.rmSync(out, { recursive: true, force: true });
  fs.mkdirSync(out, { recursive: true });
  const deck = path.join(folder, 'deck.pdf');
  fs.writeFileSync(deck, pdfDeck(slideCount));
  execFileSync(quillet, ['convert', deck, ...more, '-o', out, '--quiet']);
  const references = moviePictures(fs.readFileSync(path.join(out, 'deck.swf'))).map((jpeg, index) => {
    const file = path.join(folder, `reference${index + 1}.jpg`);
    fs.writeFileSync(file, jpeg);
    return decodeJpeg(file);
  });
  if (references.length !== slideCount) throw new Error(`the movie holds ${references.length} pictures`);
  return { out, references };
}

// Opens the page and waits for the movie; nothing is clicked. Every
// address the page sets is kept in window.addresses. expectSlide(n, step)
// waits until the player shows slide n (1 for the first) and returns its
// pixels; outsideControls(x, y) is false under the arrows and the counter.
export async function openPage(browser, url, references, mode) {
  const { width, height } = references[0];
  const page = await browser.newPage({ width: width + 200, height: height + 200 });
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  await page.addInitScript(() => {
    window.addresses = [];
    const replaceState = history.replaceState.bind(history);
    history.replaceState = (state, title, address) => {
      window.addresses.push(String(address));
      return replaceState(state, title, address);
    };
  });
  await forceRuffleTestConfig(page);
  await page.goto(url);
  await waitForMovie(page);
  await hideRuffleNotices(page);
  const box = await page.evaluate(() => {
    const rect = document.getElementById('player').getBoundingClientRect();
    return { x: Math.round(rect.x), y: Math.round(rect.y), width: Math.round(rect.width), height: Math.round(rect.height) };
  });
  const outsideControls = (x, y) => x < width - 110 || y < height - 32;

  async function expectSlide(slide, step) {
    let last = null;
    try {
      await waitFor(async () => {
        const pixels = await screenshotPixels(page, box);
        const differences = references.map((reference) => meanDifference(pixels, reference, null, outsideControls));
        const best = differences.indexOf(Math.min(...differences));
        last = { pixels, best, differences };
        return best === slide - 1 && differences[best] <= pictureTolerance;
      }, `slide ${slide}`, 15000);
    } catch {
      const seen = last ? `slide ${last.best + 1} (difference ${last.differences[last.best].toFixed(2)})` : 'nothing';
      throw new Error(`${mode}, ${step}: expected slide ${slide}, saw ${seen}; page errors: ${errors.join(' | ') || 'none'}`);
    }
    if (errors.length > 0) throw new Error(`${mode}, ${step}: page errors: ${errors.join(' | ')}`);
    return last.pixels;
  }

  async function expectAddress(hash, step) {
    const seen = await waitFor(async () => {
      const current = await page.evaluate(() => location.hash);
      return current === hash ? current : null;
    }, `the address to end in ${hash}`, 5000).catch(() => null);
    if (!seen) throw new Error(`${mode}, ${step}: the address ends in ${JSON.stringify(await page.evaluate(() => location.hash))}, not ${hash}`);
  }
  return { page, expectSlide, expectAddress, outsideControls };
}
