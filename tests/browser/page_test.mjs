// The page quillet convert writes, played by Ruffle in headless Chromium. The
// sample deck is converted under a name full of characters that need escaping
// (space, &, quotes, %, #, an accented letter), then the page is opened twice:
// served from a loopback server, and straight from disk as a file:// URL. Each
// time the test checks that
//   - the first slide shows (pixels compared with the movie's own JPEG as
//     libjpeg-turbo decodes it) and the player has keyboard focus;
//   - a click on the picture and on the right arrow go on, the left arrow goes
//     back;
//   - the counter changes its first digit between slide 1 and 2 and keeps
//     "/N", and reads the same each time slide 1 comes back.
//   - the transcript under the player is headed with the deck's name
//     (escaped), has a heading per slide, and holds every line poppler's
//     pdftotext reads on slide 3 of the deck printed to PDF by LibreOffice;
//   - one Right key shows slide 2, and the polite live region then holds
//     slide 2's announcement, its transcript heading "Slide 2 of N: TITLE";
//   - Tab leaves the player for the full-screen control, then the slide
//     list, where Enter on the first entry shows slide 1; Shift+Tab comes
//     back;
//   - axe-core finds no WCAG 2.x A or AA violation, transcript open.
// The same PDF, converted as a .pdf deck, gets the same transcript.
// A copy of the deck named "r\xE9sum\xE9.ppt" (Latin-1) converts to résumé.*,
// whose page plays from disk too.
// Finally, with NAME.swf.js removed, the page opened from disk shows its one
// plain sentence, announced as an alert, instead of a blank box, and so does
// the page, served or opened from disk, when the Ruffle player cannot be
// loaded; axe-core finds nothing there either.
//
// Usage: node page_test.mjs --quillet PATH/quillet --deck DECK --work DIR
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';
import {
  countColour, decodeJpeg, forceRuffleTestConfig, hideRuffleNotices, launchBrowser, meanDifference,
  moviePictures, parseOptions, runSteps, screenshotPixels, startServer, toolsDir, waitFor, waitForMovie,
} from './harness.mjs';

const axeSource = fs.readFileSync(createRequire(path.join(toolsDir, 'package.json')).resolve('axe-core/axe.min.js'), 'utf8');

const options = parseOptions(['quillet', 'deck', 'work'], 'node page_test.mjs --quillet QUILLET --deck DECK --work DIR');

const baseName = 'Q&A "50%" #1 café\'s <deck>';
const counterColour = [0, 96, 128];
const pictureTolerance = 4;

function convert(folder, source = options.deck) {
  fs.rmSync(folder, { recursive: true, force: true });
  fs.mkdirSync(folder, { recursive: true });
  const deck = path.join(folder, `${baseName}${path.extname(source)}`);
  fs.copyFileSync(source, deck);
  const out = path.join(folder, 'out');
  fs.mkdirSync(out);
  const printed = execFileSync(options.quillet, ['convert', deck, '-o', out], { encoding: 'utf8' });
  if (!printed.startsWith('Conversion complete.\n')) throw new Error(`quillet convert printed: ${printed}`);
  const swf = fs.readFileSync(path.join(out, `${baseName}.swf`));
  const references = moviePictures(swf).map((jpeg, index) => {
    const file = path.join(folder, `reference${index + 1}.jpg`);
    fs.writeFileSync(file, jpeg);
    return decodeJpeg(file);
  });
  return { out, references };
}

// The deck printed to PDF by LibreOffice (with a profile of its own), as the
// slide exporter prints it, and the lines pdftotext reads on one page.
function printToPdf(folder) {
  fs.rmSync(folder, { recursive: true, force: true });
  fs.mkdirSync(folder, { recursive: true });
  const deck = path.join(folder, `deck${path.extname(options.deck)}`);
  fs.copyFileSync(options.deck, deck);
  execFileSync('soffice', [`-env:UserInstallation=${pathToFileURL(path.join(folder, 'profile')).href}`, '--headless',
    '--invisible', '--norestore', '--convert-to', 'pdf:impress_pdf_Export', '--outdir', folder, deck],
  { stdio: 'ignore', timeout: 120000 });
  return path.join(folder, 'deck.pdf');
}

function popplerLines(pdf, pageNumber) {
  const text = execFileSync('pdftotext', ['-f', `${pageNumber}`, '-l', `${pageNumber}`, '-enc', 'UTF-8', pdf, '-'],
    { encoding: 'utf8' });
  return text.split(/[\n\f]/).map((line) => line.replace(/\s+/g, ' ').trim()).filter((line) => line !== '');
}

async function expectTranscript(page, slideCount, thirdSlideLines, mode, name) {
  const transcript = await page.evaluate(() => {
    const details = document.getElementById('slide-text');
    if (!details) return null;
    return {
      summary: details.querySelector('summary').textContent,
      headings: Array.from(details.querySelectorAll('h2'), (heading) => heading.textContent),
      third: details.querySelectorAll('section')[2].textContent.replace(/\s+/g, ' '),
    };
  });
  if (!transcript) throw new Error(`${mode}: the page has no transcript`);
  if (transcript.summary !== `Text of the slides of ${name}`) {
    throw new Error(`${mode}: the transcript is headed ${JSON.stringify(transcript.summary)}`);
  }
  if (transcript.headings.length !== slideCount || !transcript.headings[2].startsWith(`Slide 3 of ${slideCount}`)) {
    throw new Error(`${mode}: the transcript's headings are ${JSON.stringify(transcript.headings)}`);
  }
  const missing = thirdSlideLines.filter((line) => !transcript.third.includes(line));
  if (thirdSlideLines.length === 0 || missing.length > 0) {
    throw new Error(`${mode}: slide 3's text ${JSON.stringify(transcript.third)} lacks ${JSON.stringify(missing)}`);
  }
  console.log(`  ${mode}: transcript of ${slideCount} slides; slide 3 reads ${JSON.stringify(transcript.third.trim())}`);
}

async function expectNoAxeViolation(page, mode) {
  await page.evaluate(() => {
    const details = document.getElementById('slide-text');
    if (details) details.open = true;
  });
  await page.addScriptTag({ content: axeSource });
  const result = await page.evaluate(() => window.axe.run(document, {
    runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22aa'] },
  }));
  const found = result.violations.map((violation) => `${violation.id} (${violation.nodes.map((node) => node.target.join(' ')).join(', ')})`);
  if (found.length > 0) throw new Error(`${mode}: axe-core finds ${found.join('; ')}`);
  console.log(`  ${mode}: axe-core ${result.testEngine.version}, no violation, ${result.passes.length} rules passed`);
}

async function activeElement(page) {
  return page.evaluate(() => document.activeElement && document.activeElement.tagName);
}

async function playPage(browser, url, references, mode, thirdSlideLines, name = baseName) {
  const { width, height } = references[0];
  const page = await browser.newPage({ width: width + 200, height: height + 200 });
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  await forceRuffleTestConfig(page);
  await page.goto(url);
  await waitForMovie(page);
  await hideRuffleNotices(page);
  const box = await page.evaluate(() => {
    const player = document.querySelector('ruffle-player, ruffle-object, ruffle-embed');
    const rect = player.getBoundingClientRect();
    return { x: Math.round(rect.x), y: Math.round(rect.y), width: Math.round(rect.width), height: Math.round(rect.height) };
  });
  if (box.width !== width || box.height !== height) {
    throw new Error(`${mode}: the player is ${box.width} x ${box.height}, not ${width} x ${height}`);
  }
  const title = await page.title();
  if (title !== name) throw new Error(`${mode}: the page's title is ${JSON.stringify(title)}`);
  const heading = await page.textContent('h1');
  if (heading !== name) throw new Error(`${mode}: the page's heading is ${JSON.stringify(heading)}`);

  const outsideControls = (x, y) => x < width - 110 || y < height - 32;
  const digitBox = { x: width - 76, y: height - 26, width: 12, height: 22 };
  const restBox = { x: width - 64, y: height - 26, width: 38, height: 22 };
  const at = (point) => ({ x: box.x + point.x, y: box.y + point.y });
  const nextArrow = at({ x: width - 21, y: height - 21 });
  const previousArrow = at({ x: width - 94, y: height - 21 });
  const pictureSpot = at({ x: Math.round(width / 3), y: Math.round(height / 3) });

  async function expectSlide(slide, step) {
    let last = null;
    try {
      await waitFor(async () => {
        const pixels = await screenshotPixels(page, box);
        const differences = references.map((reference) => meanDifference(pixels, reference, null, outsideControls));
        const best = differences.indexOf(Math.min(...differences));
        last = { pixels, best, differences };
        return best === slide && differences[best] <= pictureTolerance;
      }, `slide ${slide + 1}`, 15000);
    } catch {
      const seen = last ? `slide ${last.best + 1} (differences ${last.differences.map((d) => d.toFixed(2)).join(' ')})` : 'nothing';
      throw new Error(`${mode}, ${step}: expected slide ${slide + 1}, saw ${seen}; page errors: ${errors.join(' | ') || 'none'}`);
    }
    await page.mouse.move(pictureSpot.x, pictureSpot.y);
    const ink = countColour(last.pixels, { ...digitBox, width: digitBox.width + restBox.width }, counterColour, 48);
    if (ink < 25) throw new Error(`${mode}, ${step}: the counter shows only ${ink} pixels of its colour`);
    console.log(`  ${mode} ${step}: slide ${slide + 1} (difference ${last.differences[slide].toFixed(2)})`);
    return last.pixels;
  }

  const first = await expectSlide(0, 'first slide');
  const focused = await waitFor(() => page.evaluate(() => {
    const active = document.activeElement;
    return active && /^RUFFLE-/.test(active.tagName) ? active.tagName : null;
  }), 'the player to have keyboard focus', 5000);
  console.log(`  ${mode}: keyboard focus on ${focused}`);
  await page.keyboard.press('ArrowRight');
  await expectSlide(1, 'Right key');
  const announcement = await waitFor(() => page.evaluate(() => {
    const region = document.querySelector('[role="status"]');
    return region && region.textContent !== '' ? region.textContent : null;
  }), 'the live region to announce slide 2', 5000);
  const secondHeading = await page.textContent('#slide-text-2');
  if (announcement !== secondHeading || !new RegExp(`^Slide 2 of ${references.length}: .`).test(announcement)) {
    throw new Error(`${mode}: after the Right key the live region reads ${JSON.stringify(announcement)}`);
  }
  console.log(`  ${mode}: announced ${JSON.stringify(announcement)}`);
  await page.keyboard.press('ArrowLeft');
  await expectSlide(0, 'Left key');
  await page.mouse.click(pictureSpot.x, pictureSpot.y);
  const second = await expectSlide(1, 'click on the picture');
  await page.mouse.click(previousArrow.x, previousArrow.y);
  const firstAgain = await expectSlide(0, 'left arrow');
  await page.mouse.click(nextArrow.x, nextArrow.y);
  await expectSlide(1, 'right arrow');
  await page.mouse.click(nextArrow.x, nextArrow.y);
  await expectSlide(2, 'right arrow again');

  await expectTranscript(page, references.length, thirdSlideLines, mode, name);
  // Tab goes from the player to the full-screen control, then to the slide
  // list's first entry, where Enter shows slide 1; Shift+Tab comes back.
  await page.keyboard.press('Tab');
  const control = await page.evaluate(() => document.activeElement && document.activeElement.id);
  if (control !== 'fullscreen') throw new Error(`${mode}: Tab from the player reaches ${await activeElement(page)} #${control}`);
  await page.keyboard.press('Tab');
  const entry = await page.evaluate(() => document.activeElement.closest('nav#slide-list') && document.activeElement.textContent);
  if (!entry) throw new Error(`${mode}: Tab from the control reaches ${await activeElement(page)}, not the slide list`);
  await page.keyboard.press('Enter');
  await page.evaluate(() => window.scrollTo(0, 0));
  await expectSlide(0, `Enter on "${entry}"`);
  await page.keyboard.press('Shift+Tab');
  await page.keyboard.press('Shift+Tab');
  if (!/^RUFFLE-/.test(await activeElement(page))) throw new Error(`${mode}: Shift+Tab reaches ${await activeElement(page)}`);
  await expectNoAxeViolation(page, mode);

  // "1/N" and "2/N": the first digit differs, "/N" stays, "1/N" comes back alike.
  if (meanDifference(first, second, digitBox) < 2) throw new Error(`${mode}: the counter's first digit did not change`);
  if (meanDifference(first, second, restBox) > 1) throw new Error(`${mode}: the counter's "/N" changed between slides`);
  if (meanDifference(first, firstAgain, { ...digitBox, width: 50 }) > 1) {
    throw new Error(`${mode}: the counter of slide 1 differs the second time`);
  }
  if (errors.length > 0) throw new Error(`${mode}: page errors: ${errors.join(' | ')}`);
  await page.close();
}

async function expectNote(browser, url, expected, { withoutPlayer = false } = {}) {
  const page = await browser.newPage({ width: 800, height: 600 });
  await forceRuffleTestConfig(page);
  // A page route comes before the harness's CDN route: the player cannot be had.
  if (withoutPlayer) await page.route(/^https:\/\/unpkg\.com\//, (route) => route.abort());
  await page.goto(url);
  const note = await waitFor(() => page.evaluate(() => {
    const element = document.getElementById('note');
    return element && !element.hidden ? element.textContent : null;
  }), 'the page\'s note', 15000);
  if (!note.includes(expected)) throw new Error(`the note reads ${JSON.stringify(note)}`);
  const sentences = note.split(/[.!?](\s|$)/).filter((part) => part.trim() !== '');
  if (sentences.length !== 1) throw new Error(`the note is not one sentence: ${JSON.stringify(note)}`);
  const stageHidden = await page.evaluate(() => document.getElementById('stage').hidden);
  if (!stageHidden) throw new Error('the empty stage is still shown beside the note');
  if (await page.getByRole('alert').textContent() !== note) throw new Error('the note is not announced as an alert');
  await expectNoAxeViolation(page, 'note');
  console.log(`  note: ${note}`);
  await page.close();
}

const started = Date.now();
const { out, references } = convert(options.work);
if (references.length < 3) throw new Error(`the movie holds ${references.length} pictures`);
const pdf = printToPdf(path.join(options.work, 'printed'));
const thirdSlideLines = popplerLines(pdf, 3);
const pdfDeck = convert(path.join(options.work, 'as-pdf'), pdf);
const pageName = `${baseName}.html`;
const server = await startServer(out);
const browser = await launchBrowser();
const steps = [
  ['served over http', () => playPage(browser, `${server.url}/${encodeURIComponent(pageName)}`, references, 'http',
    thirdSlideLines)],
  ['opened from disk', () => playPage(browser, pathToFileURL(path.join(out, pageName)).href, references, 'file',
    thirdSlideLines)],
  ['a .pdf deck opened from disk', async () => {
    const page = await browser.newPage({ width: 800, height: 600 });
    await page.goto(pathToFileURL(path.join(pdfDeck.out, pageName)).href);
    await expectTranscript(page, pdfDeck.references.length, thirdSlideLines, 'pdf', baseName);
    await page.close();
  }],
  ['served over http without the player', () => expectNote(browser, `${server.url}/${encodeURIComponent(pageName)}`,
    'needs the Ruffle player from unpkg.com, which could not be loaded', { withoutPlayer: true })],
  ['opened from disk without the player', () => expectNote(browser, pathToFileURL(path.join(out, pageName)).href,
    'needs the Ruffle player from unpkg.com, which could not be loaded', { withoutPlayer: true })],
  // A deck named in Latin-1 (not UTF-8), as copied from an old disk: its
  // outputs are named in UTF-8 and the page plays from disk.
  ['Latin-1 name opened from disk', async () => {
    const folder = path.join(options.work, 'latin1');
    fs.rmSync(folder, { recursive: true, force: true });
    fs.mkdirSync(path.join(folder, 'out'), { recursive: true });
    execFileSync('/bin/sh', ['-c', 'deck="$2/$(printf "r\\351sum\\351.ppt")"; cp "$1" "$deck" && "$3" convert "$deck" -o "$2/out"',
      'sh', options.deck, folder, options.quillet], { encoding: 'utf8' });
    const latin1Page = pathToFileURL(path.join(folder, 'out', 'résumé.html')).href;
    await playPage(browser, latin1Page, references, 'Latin-1 file', thirdSlideLines, 'résumé');
  }],
  ['opened from disk without its script', async () => {
    fs.renameSync(path.join(out, `${baseName}.swf.js`), path.join(out, 'moved-away.js'));
    try {
      await expectNote(browser, pathToFileURL(path.join(out, pageName)).href, `${baseName}.swf.js is missing`);
    } finally {
      fs.renameSync(path.join(out, 'moved-away.js'), path.join(out, `${baseName}.swf.js`));
    }
  }],
];
await runSteps(steps, {
  started,
  cleanup: async () => {
    await browser.close();
    await server.close();
  },
});
