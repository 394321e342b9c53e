// Reads an SWF file with an independent parser (open-flash swf-parser, a
// test-only tool) and checks what players rely on but forgive when wrong:
//   - signature FWS, FileLength equal to the file's size;
//   - every tag header inside the file, the tag list closed by End exactly
//     at the end of the file;
//   - FrameCount equal to the number of ShowFrame tags;
//   - no tag the parser could not read (it reports those as Raw);
//   - every character defined before a tag uses it.
// On success prints one line per frame, "frame N: TagType TagType ...", with
// swf-parser's names of the tags before that frame's ShowFrame, and exits 0.
// On any problem prints it to stderr and exits 1.
//
// Usage: node tests/swf/parse-swf.mjs MOVIE.swf
// Modules come from tests/tools/node_modules (installed by scripts/install-deps).
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const modules = path.join(here, '..', 'tools', 'node_modules');
const { parseSwf } = await import(pathToFileURL(path.join(modules, 'swf-parser', 'lib', 'index.mjs')).href);
const { TagType } = await import(pathToFileURL(path.join(modules, 'swf-types', 'lib', 'tags', '_type.mjs')).href);

const problems = [];
function fail(message) { problems.push(message); }

const file = process.argv[2];
if (!file) {
  console.error('usage: node parse-swf.mjs MOVIE.swf');
  process.exit(2);
}
const raw = fs.readFileSync(file);
// A CWS movie is walked as its FWS form: the same header, the rest inflated.
const compressed = raw.length >= 8 && raw.toString('latin1', 0, 3) === 'CWS';
const bytes = compressed
  ? Buffer.concat([Buffer.from('FWS', 'latin1'), raw.subarray(3, 8), zlib.inflateSync(raw.subarray(8))])
  : raw;

// Raw walk over the tag headers.
function walkTags() {
  if (bytes.length < 8 || bytes.toString('latin1', 0, 3) !== 'FWS') {
    fail('the file does not start with "FWS"');
    return;
  }
  const fileLength = bytes.readUInt32LE(4);
  if (fileLength !== bytes.length) fail(`FileLength says ${fileLength} bytes, the file has ${bytes.length}`);
  const rectBits = bytes[8] >> 3;
  let at = 8 + Math.ceil((5 + 4 * rectBits) / 8);
  const frameCount = bytes.readUInt16LE(at + 2);
  at += 4;
  let showFrames = 0;
  let sawEnd = false;
  while (at < bytes.length) {
    if (at + 2 > bytes.length) { fail(`a tag header is cut off at byte ${at}`); return; }
    const header = bytes.readUInt16LE(at);
    let length = header & 0x3f;
    const code = header >> 6;
    at += 2;
    if (length === 0x3f) {
      if (at + 4 > bytes.length) { fail(`a long tag header is cut off at byte ${at}`); return; }
      length = bytes.readUInt32LE(at);
      at += 4;
    }
    if (at + length > bytes.length) { fail(`tag ${code} at byte ${at} runs past the end of the file`); return; }
    at += length;
    if (code === 1) showFrames += 1;
    if (code === 0) {
      sawEnd = true;
      if (at !== bytes.length) fail(`End is followed by ${bytes.length - at} more bytes`);
      break;
    }
  }
  if (!sawEnd) fail('the tag list has no End tag');
  if (showFrames !== frameCount) fail(`FrameCount is ${frameCount} but the file has ${showFrames} ShowFrame tags`);
}

// Character ids a tag uses, as swf-parser reports them.
function usedIds(tag) {
  const ids = [];
  switch (tag.type) {
    case TagType.PlaceObject:
      if (tag.characterId !== undefined) ids.push(tag.characterId);
      break;
    case TagType.DefineButton:
      for (const record of tag.records) ids.push(record.characterId);
      break;
    case TagType.DefineShape:
      for (const fill of tag.shape.initialStyles.fill) if (fill.bitmapId !== undefined) ids.push(fill.bitmapId);
      break;
    case TagType.DefineText:
      for (const record of tag.records) if (record.fontId !== undefined) ids.push(record.fontId);
      break;
    default:
      break;
  }
  return ids;
}

walkTags();
let movie;
try {
  movie = parseSwf(raw);
} catch (error) {
  fail(`swf-parser rejects the file: ${error.message}`);
}
const frames = [];
if (movie) {
  const defined = new Set();
  let current = [];
  for (const tag of movie.tags) {
    const name = TagType[tag.type];
    if (tag.type === TagType.Raw || tag.type === TagType.RawBody) fail(`swf-parser could not read a tag (${name})`);
    for (const id of usedIds(tag)) if (!defined.has(id)) fail(`${name} uses character ${id} before it is defined`);
    if (tag.id !== undefined && tag.type !== TagType.PlaceObject) defined.add(tag.id);
    if (tag.type === TagType.ShowFrame) {
      frames.push(current);
      current = [];
    } else {
      current.push(name);
    }
  }
  if (current.length > 0) fail(`${current.length} tags follow the last ShowFrame`);
  if (movie.header.frameCount !== frames.length)
    fail(`swf-parser reads FrameCount ${movie.header.frameCount} but ${frames.length} frames`);
}
if (problems.length > 0) {
  for (const problem of problems) console.error(`${file}: ${problem}`);
  process.exit(1);
}
frames.forEach((tags, index) => console.log(`frame ${index}: ${tags.join(' ')}`));
