// Presenting a converted deck in headless Chromium with Ruffle. A 12-page PDF
// deck (each page its own colour, strewn with small squares of random colours
// so that its pictures are as large as real slides', with a white square that
// moves along) is converted by quillet convert; its page is opened and
// nothing is clicked. Served over http and opened from disk, the test
//   - presses Right, PageDown and Space as a clicker would, with nothing
//     focused by the test, then Left, End and Home, and checks the slide shown
//     after each key against the movie's own pictures, and the address (#N);
//   - opens page.html#12 and sees slide 12, though the player is still
//     loading the movie's last frames when its first frame runs; the address
//     never reads #1 meanwhile, and the live region announces slide 12 (and,
//     served, #13 opens slide 1);
//   - presses F: the player is the full-screen element and the slide has not
//     changed; Escape leaves full screen.
// Then two decks are converted in one call with --player local: the folder
// holds one copy of the pinned player's files, byte for byte the npm
// package's; served from loopback the page plays and asks nothing of any
// other host; opened from disk, where Chromium refuses the player's own
// fetches, it says in one sentence to serve the folder.
//
// Usage: node presenting_test.mjs --quillet PATH/quillet --work DIR
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import {
  decodeJpeg, forceRuffleTestConfig, hideRuffleNotices, launchBrowser, meanDifference, moviePictures, ruffleDir,
  parseOptions, runSteps, screenshotPixels, startServer, waitFor, waitForMovie,
} from './harness.mjs';

const options = parseOptions(['quillet', 'work'], 'node presenting_test.mjs --quillet QUILLET --work DIR');

const slideCount = 12;
const pictureTolerance = 4;

// A PDF file of `pages` pages of 480 x 360 points, page k in its own colour,
// half of a grid of 12-point squares in random colours, and a white square
// further right on each page.
function pdfDeck(pages) {
  const objects = ['<< /Type /Catalog /Pages 2 0 R >>', null];
  const kids = [];
  let seed = 1;
  const random = () => {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed / 2147483648;
  };
  for (let page = 0; page < pages; page += 1) {
    const [r, g, b] = [0, 1, 2].map((k) => (0.5 + 0.45 * Math.cos(2 * Math.PI * (page / pages + k / 3))).toFixed(3));
    let content = `${r} ${g} ${b} rg 0 0 480 360 re f`;
    for (let y = 0; y < 360; y += 12) {
      for (let x = 0; x < 480; x += 12) {
        const colour = [random(), random(), random()].map((value) => value.toFixed(2)).join(' ');
        if (random() < 0.5) content += ` ${colour} rg ${x} ${y} 12 12 re f`;
      }
    }
    content += ` 1 1 1 rg ${30 + page * 30} 200 60 60 re f`;
    objects.push(`<< /Length ${content.length} >>\nstream\n${content}\nendstream`);
    objects.push(`<< /Type /Page /Parent 2 0 R /MediaBox [0 0 480 360] /Contents ${objects.length} 0 R >>`);
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

// Converts the 12-page deck into folder/out (with `more`, more decks and
// options in the same call).
function convert(folder, out = path.join(folder, 'out'), more = []) {
  fs.rmSync(out, { recursive: true, force: true });
  fs.mkdirSync(out, { recursive: true });
  const deck = path.join(folder, 'deck.pdf');
  fs.writeFileSync(deck, pdfDeck(slideCount));
  execFileSync(options.quillet, ['convert', deck, ...more, '-o', out, '--quiet']);
  const references = moviePictures(fs.readFileSync(path.join(out, 'deck.swf'))).map((jpeg, index) => {
    const file = path.join(folder, `reference${index + 1}.jpg`);
    fs.writeFileSync(file, jpeg);
    return decodeJpeg(file);
  });
  if (references.length !== slideCount) throw new Error(`the movie holds ${references.length} pictures`);
  return { out, references };
}

// Opens the page and waits for the movie; nothing is clicked. Every
// address the page sets is kept in window.addresses.
async function openPage(browser, url, references, mode) {
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
        last = { best, differences };
        return best === slide - 1 && differences[best] <= pictureTolerance;
      }, `slide ${slide}`, 15000);
    } catch {
      const seen = last ? `slide ${last.best + 1} (difference ${last.differences[last.best].toFixed(2)})` : 'nothing';
      throw new Error(`${mode}, ${step}: expected slide ${slide}, saw ${seen}; page errors: ${errors.join(' | ') || 'none'}`);
    }
    if (errors.length > 0) throw new Error(`${mode}, ${step}: page errors: ${errors.join(' | ')}`);
  }

  async function expectAddress(hash, step) {
    const seen = await waitFor(async () => {
      const current = await page.evaluate(() => location.hash);
      return current === hash ? current : null;
    }, `the address to end in ${hash}`, 5000).catch(() => null);
    if (!seen) throw new Error(`${mode}, ${step}: the address ends in ${JSON.stringify(await page.evaluate(() => location.hash))}, not ${hash}`);
  }
  return { page, expectSlide, expectAddress };
}

async function presenterKeys(browser, url, references, mode) {
  const { page, expectSlide, expectAddress } = await openPage(browser, url, references, mode);
  await expectSlide(1, 'opened');
  const historyBefore = await page.evaluate(() => history.length);
  const steps = [['ArrowRight', 2], ['PageDown', 3], ['Space', 4], ['ArrowLeft', 3], ['End', 12], ['Home', 1]];
  for (const [key, slide] of steps) {
    await page.keyboard.press(key);
    await expectSlide(slide, key);
    if (key === 'Space' || key === 'End' || key === 'Home') await expectAddress(`#${slide}`, key);
  }
  const historyAfter = await page.evaluate(() => history.length);
  if (historyAfter !== historyBefore) throw new Error(`${mode}: the keys added ${historyAfter - historyBefore} history entries`);
  console.log(`  ${mode}: ${steps.map(([key, slide]) => `${key} -> ${slide}`).join(', ')}`);
  await page.close();
}

async function startAt(browser, url, references, mode, hash, slide) {
  const { page, expectSlide, expectAddress } = await openPage(browser, url + hash, references, mode);
  await expectSlide(slide, `opened at ${hash}`);
  await expectAddress(`#${slide}`, `opened at ${hash}`);
  if (slide !== 1) {
    const addresses = await page.evaluate(() => window.addresses);
    if (addresses.length > 0) throw new Error(`${mode}: opened at ${hash}, the page set the address to ${addresses.join(', ')}`);
    const heading = `Slide ${slide} of ${slideCount}`;
    const announced = await waitFor(() => page.evaluate((text) => {
      const status = document.getElementById('slide-status').textContent;
      return status === text ? status : null;
    }, heading), 'the announcement', 5000).catch(() => null);
    if (!announced) {
      const status = await page.evaluate(() => document.getElementById('slide-status').textContent);
      throw new Error(`${mode}: opened at ${hash}, the live region reads ${JSON.stringify(status)}, not ${heading}`);
    }
  }
  // Home goes to the first slide, and stays there: the start slide is used once.
  await page.keyboard.press('Home');
  await expectSlide(1, `Home after ${hash}`);
  console.log(`  ${mode}: ${hash} opens slide ${slide}`);
  await page.close();
}

async function fullScreen(browser, url, references, mode) {
  const { page, expectSlide } = await openPage(browser, url, references, mode);
  await expectSlide(1, 'opened');
  await page.keyboard.press('ArrowRight');
  await expectSlide(2, 'ArrowRight');
  const control = await page.evaluate(() => {
    const button = document.getElementById('fullscreen');
    return button && !button.hidden ? { name: button.getAttribute('aria-label'), tip: button.title } : null;
  });
  if (!control || !control.name || !control.tip) throw new Error(`${mode}: no full-screen control with a name and a tooltip`);
  await page.keyboard.press('f');
  await waitFor(() => page.evaluate(() => document.fullscreenElement === document.getElementById('player')),
    'the player to be in full screen', 5000);
  const size = await page.evaluate(() => {
    const rect = document.getElementById('player').getBoundingClientRect();
    return `${rect.width} x ${rect.height} in ${innerWidth} x ${innerHeight}`;
  });
  const slide = await page.evaluate(() => location.hash);
  if (slide !== '#2') throw new Error(`${mode}: F changed the slide to ${slide}`);
  await page.keyboard.press('Escape');
  await waitFor(() => page.evaluate(() => document.fullscreenElement === null), 'full screen to end', 5000);
  console.log(`  ${mode}: F puts the player in full screen (${size}); Escape leaves; still slide 2`);
  await page.close();
}

// Served from loopback with the player beside the page: it plays, and every
// request stays on loopback.
async function localPlayerServed(browser, url, references) {
  const outside = [];
  const record = (request) => {
    if (!/^http:\/\/127\.0\.0\.1[:/]/.test(request.url())) outside.push(request.url());
  };
  browser.context.on('request', record);
  try {
    const { page, expectSlide } = await openPage(browser, url, references, 'local player');
    await expectSlide(1, 'opened');
    await page.keyboard.press('PageDown');
    await expectSlide(2, 'PageDown');
    const script = await page.evaluate(() => document.getElementById('player-script').src);
    if (!script.endsWith('/ruffle/ruffle.js')) throw new Error(`the page loads the player from ${script}`);
    if (outside.length > 0) throw new Error(`the page asked other hosts: ${outside.join(' ')}`);
    console.log(`  local player: plays from ${script}, no request beyond loopback`);
    await page.close();
  } finally {
    browser.context.off('request', record);
  }
}

async function localPlayerFromDisk(browser, url) {
  const page = await browser.newPage({ width: 800, height: 600 });
  await forceRuffleTestConfig(page);
  await page.goto(url);
  const note = await waitFor(() => page.evaluate(() => {
    const element = document.getElementById('note');
    return element && !element.hidden ? element.textContent : null;
  }), 'the page\'s note', 15000);
  if (!note.includes('serve the folder with a web server')) throw new Error(`the note reads ${JSON.stringify(note)}`);
  if (note.split(/[.!?](\s|$)/).filter((part) => part.trim() !== '').length !== 1) {
    throw new Error(`the note is not one sentence: ${JSON.stringify(note)}`);
  }
  console.log(`  local player from disk: ${note}`);
  await page.close();
}

// The player's files beside the pages are the pinned package's, once.
function expectPlayerFiles(folder) {
  const copied = fs.readdirSync(path.join(folder, 'ruffle')).sort();
  const wanted = fs.readdirSync(ruffleDir).filter((name) => /\.(js|wasm)$/.test(name)).sort();
  for (const name of wanted) {
    if (!copied.includes(name)) throw new Error(`ruffle/${name} is missing beside the pages`);
    if (!fs.readFileSync(path.join(folder, 'ruffle', name)).equals(fs.readFileSync(path.join(ruffleDir, name)))) {
      throw new Error(`ruffle/${name} differs from the npm package's`);
    }
  }
  console.log(`  ruffle/: ${copied.length} files, the package's ${wanted.length} scripts and programs among them`);
}

const started = Date.now();
const { out, references } = convert(options.work);
const server = await startServer(out);
const browser = await launchBrowser();
const served = `${server.url}/deck.html`;
const fromDisk = pathToFileURL(path.join(out, 'deck.html')).href;
const steps = [
  ['keys, served over http', () => presenterKeys(browser, served, references, 'http')],
  ['keys, opened from disk', () => presenterKeys(browser, fromDisk, references, 'file')],
  ['#12, served over http', () => startAt(browser, served, references, 'http', '#12', 12)],
  ['#12, opened from disk', () => startAt(browser, fromDisk, references, 'file', '#12', 12)],
  ['#13, served over http', () => startAt(browser, served, references, 'http', '#13', 1)],
  ['full screen, served over http', () => fullScreen(browser, served, references, 'http')],
  ['--player local, two decks in one call', async () => {
    const local = path.join(options.work, 'local');
    fs.writeFileSync(path.join(options.work, 'second.pdf'), pdfDeck(3));
    convert(options.work, local, [path.join(options.work, 'second.pdf'), '--player', 'local']);
    expectPlayerFiles(local);
    const localServer = await startServer(local);
    try {
      await localPlayerServed(browser, `${localServer.url}/deck.html`, references);
    } finally {
      await localServer.close();
    }
    await localPlayerFromDisk(browser, pathToFileURL(path.join(local, 'second.html')).href);
  }],
];
await runSteps(steps, {
  started,
  cleanup: async () => {
    await browser.close();
    await server.close();
  },
});
