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
//     changed; Escape leaves full screen;
//   - chooses entry 5 of the slide list, then sets the address to #7: the
//     player shows slide 5, then 7, the list marks it current, and a variable
//     set on window before is still there (the page was not loaded again).
// Then two decks are converted in one call with --player local: the folder
// holds one copy of the pinned player's files, byte for byte the npm
// package's; served from loopback the page plays and asks nothing of any
// other host; opened from disk, where Chromium refuses the player's own
// fetches, it says in one sentence to serve the folder.
//
// Usage: node presenting_test.mjs --quillet PATH/quillet --work DIR
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import {
  forceRuffleTestConfig, launchBrowser, ruffleDir, parseOptions, runSteps, startServer, waitFor,
} from './harness.mjs';
import { convert, openPage, pdfDeck, slideCount } from './slide_page.mjs';

const options = parseOptions(['quillet', 'work'], 'node presenting_test.mjs --quillet QUILLET --work DIR');

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

async function slideList(browser, url, references, mode) {
  const { page, expectSlide, expectAddress } = await openPage(browser, url, references, mode);
  await expectSlide(1, 'opened');
  await page.evaluate(() => { window.stillHere = 'yes'; });
  const entries = await page.locator('nav#slide-list a').count();
  if (entries !== slideCount) throw new Error(`${mode}: the slide list has ${entries} entries`);
  await page.locator('nav#slide-list a').nth(4).click();
  await page.evaluate(() => window.scrollTo(0, 0));
  await expectSlide(5, 'entry 5');
  await expectAddress('#5', 'entry 5');
  await page.evaluate(() => { location.hash = '#7'; });
  await expectSlide(7, '#7');
  const state = await page.evaluate(() => ({
    stillHere: window.stillHere,
    current: [...document.querySelectorAll('#slide-list a[aria-current]')].map((link) => link.textContent),
  }));
  if (state.stillHere !== 'yes') throw new Error(`${mode}: the page was loaded again`);
  if (state.current.join() !== 'Slide 7') throw new Error(`${mode}: the list marks ${JSON.stringify(state.current)} current`);
  console.log(`  ${mode}: entry 5 -> slide 5, #7 -> slide 7, no reload, list marks Slide 7`);
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
const { out, references } = convert(options.quillet, options.work);
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
  ['slide list and #7, served over http', () => slideList(browser, served, references, 'http')],
  ['slide list and #7, opened from disk', () => slideList(browser, fromDisk, references, 'file')],
  ['--player local, two decks in one call', async () => {
    const local = path.join(options.work, 'local');
    fs.writeFileSync(path.join(options.work, 'second.pdf'), pdfDeck(3));
    convert(options.quillet, options.work, local, [path.join(options.work, 'second.pdf'), '--player', 'local']);
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
