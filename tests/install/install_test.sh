#!/usr/bin/env bash
# Installs Quillet into a scratch prefix as `cmake --install` would for a
# user, then uses it from there: the layout, the desktop files as the desktop's
# own validators see them, the man page against the commands' help, a
# conversion of the sample deck from another folder with the installed
# template, and the window's part found from bin/.
# Usage: install_test.sh BUILD_DIR SAMPLE_DECK APP_ID
set -euo pipefail
build="$1" deck="$2" id="$3"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"
fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for file in bin/quillet lib/quillet/quillet-window.so lib/quillet/quillet-convert.so share/quillet/qzp.html \
  "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
  "share/icons/hicolor/scalable/apps/$id.svg" "share/icons/hicolor/256x256/apps/$id.png" \
  share/man/man1/quillet.1.gz share/doc/quillet/copyright share/doc/quillet/archives.md; do
  [ -s "$prefix/$file" ] || fail "$file is not installed"
done
# The PNG header's width and height: 256 each.
[ "$(od -An -j16 -N8 -tx1 "$prefix/share/icons/hicolor/256x256/apps/$id.png" | tr -d ' \n')" = 0000010000000100 ] ||
  fail "the bitmap icon is not 256 x 256"

desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >"$scratch/appstream.log" ||
  { cat "$scratch/appstream.log"; fail "appstreamcli found faults in the metainfo"; }
# Both offer Quillet for the same presentation types, and neither for PDF: on
# a desktop without a PDF viewer, Quillet would become the one for every PDF.
entry_types="$(sed -n 's/^MimeType=//p' "$prefix/share/applications/$id.desktop" | tr ';' '\n' | sed '/^$/d' | sort)"
metainfo_types="$(sed -n 's:.*<mediatype>\(.*\)</mediatype>.*:\1:p' "$prefix/share/metainfo/$id.metainfo.xml" | sort)"
[ -n "$entry_types" ] && [ "$entry_types" = "$metainfo_types" ] ||
  fail "the desktop entry offers Quillet for ${entry_types//$'\n'/ }, the metainfo for ${metainfo_types//$'\n'/ }"
if grep -qx application/pdf <<<"$entry_types"; then fail "the desktop files claim PDF files"; fi

# The man page is well-formed and names every option the commands offer.
gunzip -c "$prefix/share/man/man1/quillet.1.gz" >"$scratch/quillet.1"
warnings="$(groff -man -ww -z -Tutf8 "$scratch/quillet.1" 2>&1)" || fail "groff could not read the man page: $warnings"
[ -z "$warnings" ] || fail "groff warns about the man page: $warnings"
for command in "" convert encode; do
  for option in $("$prefix/bin/quillet" $command --help | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    grep -qF -- "${option//-/\\-}" "$scratch/quillet.1" || fail "the man page does not describe quillet $command $option"
  done
done

# A conversion from another folder: the installed template, no warning, and
# nothing written beside the program.
printf '<!-- the installed template -->\n' >>"$prefix/share/quillet/qzp.html"
mkdir -p "$scratch/elsewhere/out" "$scratch/home"
(cd "$scratch/elsewhere" && HOME="$scratch/home" XDG_CACHE_HOME="$scratch/cache" \
  "$prefix/bin/quillet" convert "$deck" -o out --quiet 2>"$scratch/stderr") || { cat "$scratch/stderr"; fail "quillet convert failed"; }
[ ! -s "$scratch/stderr" ] || { cat "$scratch/stderr"; fail "quillet convert said more than nothing"; }
name="$(basename "${deck%.*}")"
grep -q "the installed template" "$scratch/elsewhere/out/$name.html" || fail "the page did not come from the installed template"
[ -s "$scratch/elsewhere/out/$name.swf" ] || fail "no movie was written"
[ "$(ls -A "$prefix/bin")" = quillet ] || fail "something was written beside the program: $(ls -A "$prefix/bin")"
[ -d "$scratch/cache/quillet/temp" ] || fail "the work folder is not in the cache folder"

# The window opens from bin/ (it stays open until the time runs out) rather
# than failing to find its part.
set +e
HOME="$scratch/home" QT_QPA_PLATFORM=offscreen timeout 5 "$prefix/bin/quillet" "$deck" 2>"$scratch/window.log"
status=$?
set -e
[ "$status" -eq 124 ] || { cat "$scratch/window.log"; fail "the installed window ended with status $status"; }
echo "install test: passed"
