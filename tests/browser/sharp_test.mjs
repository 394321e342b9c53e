// The page on screens of every size, its loading bar, and the kiosk timer,
// in headless Chromium with Ruffle; PDF decks (no LibreOffice):
//   - fit: a `big` movie of 720 x 540 shows at 720 px wide in a 1366 x 768
//     window; in a 390 x 844 phone window the player is no wider than the
//     window and keeps the slide's shape; at 360 px nothing runs off the
//     page sideways;
//   - loading: a 20-slide hd movie at quality 40, served slowly, opened at
//     #20: before it has loaded the page shows the bar over the stage (not an
//     empty box), and once loaded the bar goes and slide 20 is told; the
//     1440 px wide movie shows at half, 720 px;
//   - kiosk: a movie made with --advance 1 shows slide 2 about a second
//     after slide 1 and slide 3 about a second later, with no key pressed;
//   - Ruffle's "hardware acceleration is disabled" notice, which Ruffle opens
//     over the slide at the first mouse move when it draws with the
//     processor, is not shown;
//   - a player whose element is never upgraded (as WebKitGTK does with
//     Ruffle 0.6.0): the bar, then, after the page's 20 s of patience, the
//     sentence that this browser could not start the player, the slides'
//     text opened below.
// With --shots DIR, the test keeps its screenshots there.
//
// Usage: node sharp_test.mjs --quillet PATH/quillet --work DIR [--shots DIR]
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import {
  forceRuffleTestConfig, hideRuffleNotices, launchBrowser, parseOptions, runSteps, screenshotPixels, startServer,
  waitFor, waitForMovie,
} from './harness.mjs';
import { pdfDeck } from './slide_page.mjs';

const options = parseOptions(['quillet', 'work'], 'node sharp_test.mjs --quillet QUILLET --work DIR [--shots DIR]');
const shotsIndex = process.argv.indexOf('--shots');
const shots = shotsIndex > 0 ? process.argv[shotsIndex + 1] : null;
if (shots) fs.mkdirSync(shots, { recursive: true });

// Converts a deck of `pages` pages of 720 x 540 points into work/NAME.
function convertDeck(name, pages, more) {
  const folder = path.join(options.work, name);
  fs.rmSync(folder, { recursive: true, force: true });
  fs.mkdirSync(folder, { recursive: true });
  fs.writeFileSync(path.join(folder, 'deck.pdf'), pdfDeck(pages, 1.5));
  execFileSync(options.quillet, ['convert', path.join(folder, 'deck.pdf'), ...more, '-o', folder, '--quiet']);
  return folder;
}

// A server of `root` that sends NAME.swf in small pieces over about
// `seconds`, with its length told first; everything else at once.
async function slowServer(root, seconds) {
  const server = http.createServer((request, response) => {
    const file = path.join(root, path.basename(decodeURIComponent(new URL(request.url, 'http://x').pathname)));
    if (!fs.existsSync(file)) { response.writeHead(404).end(); return; }
    const body = fs.readFileSync(file);
    const type = file.endsWith('.html') ? 'text/html; charset=utf-8' : 'application/octet-stream';
    response.writeHead(200, { 'content-type': type, 'content-length': body.length, 'cache-control': 'no-store' });
    if (!file.endsWith('.swf')) { response.end(body); return; }
    const pieces = 40;
    const piece = Math.ceil(body.length / pieces);
    let at = 0;
    const timer = setInterval(() => {
      response.write(body.subarray(at, at + piece));
      at += piece;
      if (at >= body.length) { clearInterval(timer); response.end(); }
    }, (seconds * 1000) / pieces);
    response.on('close', () => clearInterval(timer));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}`,
    close: () => new Promise((resolve) => { server.close(resolve); server.closeAllConnections(); }),
  };
}

const started = Date.now();
fs.mkdirSync(options.work, { recursive: true });
const bigFolder = convertDeck('big', 2, ['--size', 'big']);
const server = await startServer(bigFolder);
const browser = await launchBrowser();

async function playerBox(page) {
  return page.evaluate(() => {
    const rect = document.getElementById('player').getBoundingClientRect();
    return { x: rect.x, y: rect.y, width: rect.width, height: rect.height, pageWidth: document.documentElement.scrollWidth };
  });
}

async function openFitted(width, height) {
  const page = await browser.newPage({ width, height });
  await forceRuffleTestConfig(page);
  await page.goto(`${server.url}/deck.html`);
  await waitForMovie(page);
  await hideRuffleNotices(page);
  return page;
}

const steps = [
  ['a big movie shows at its own 720 px in a 1366 x 768 window', async () => {
    const page = await openFitted(1366, 768);
    const box = await playerBox(page);
    if (Math.round(box.width) !== 720 || Math.round(box.height) !== 540) throw new Error(`the player is ${box.width} x ${box.height}`);
    if (shots) await page.screenshot({ path: path.join(shots, 'laptop-1366x768.png') });
    await page.close();
  }],
  ['on a phone the player fits the width and keeps the shape', async () => {
    const page = await openFitted(390, 844);
    for (const width of [390, 360]) {
      await page.setViewportSize({ width, height: 844 });
      const box = await waitFor(async () => {
        const seen = await playerBox(page);
        return seen.width <= width - 20 ? seen : null;
      }, `the player to follow a ${width} px window`, 5000);
      if (Math.abs(box.width * 3 - box.height * 4) > 4) throw new Error(`${width} px: the player is ${box.width} x ${box.height}, not 4:3`);
      if (box.x < 0 || box.x + box.width > width || box.pageWidth > width) {
        throw new Error(`${width} px: the player spans ${box.x} to ${box.x + box.width}, the page ${box.pageWidth} px`);
      }
      if (shots && width === 390) await page.screenshot({ path: path.join(shots, 'phone-390x844.png') });
    }
    await page.close();
  }],
  ['Ruffle\'s hardware-acceleration notice stays off the slide', async () => {
    // Ruffle's own renderer choice (no forced canvas): on a machine drawing
    // with the processor it opens the notice at the first mouse move.
    const page = await browser.newPage({ width: 1000, height: 800 });
    try {
      await page.goto(`${server.url}/deck.html`);
      await waitForMovie(page);
      await page.mouse.move(300, 300);
      await page.mouse.move(400, 350);
      await page.waitForTimeout(300);
      const notice = await page.evaluate(() => {
        const modal = document.getElementById('player').shadowRoot.getElementById('hardware-acceleration-modal');
        return modal && { opened: !modal.classList.contains('hidden'), display: getComputedStyle(modal).display };
      });
      if (notice && notice.display !== 'none') throw new Error(`the notice shows (${JSON.stringify(notice)})`);
      console.log(`  notice ${notice ? (notice.opened ? 'opened by Ruffle, not shown' : 'not opened') : 'absent'}`);
    } finally {
      await page.close();
    }
  }],
  ['a slow hd movie opened at #20 shows the loading bar, then slide 20', async () => {
    const folder = convertDeck('hd', 20, ['--size', 'hd', '--quality', '40']);
    const slow = await slowServer(folder, 4);
    const page = await browser.newPage({ width: 1000, height: 800 });
    try {
      await forceRuffleTestConfig(page);
      await page.goto(`${slow.url}/deck.html#20`, { waitUntil: 'domcontentloaded' });
      const bar = await waitFor(() => page.evaluate(() => {
        const loading = document.getElementById('loading');
        const fill = document.getElementById('loading-fill');
        if (!loading || loading.hidden || fill.getBoundingClientRect().width <= 0) return null;
        const rect = document.getElementById('loading-bar').getBoundingClientRect();
        return { x: rect.x, y: rect.y, width: rect.width, height: rect.height, text: document.getElementById('loading-text').textContent };
      }), 'the loading bar with some of the movie loaded', 10000);
      const pixels = await screenshotPixels(page, { x: Math.round(bar.x), y: Math.round(bar.y), width: Math.round(bar.width), height: Math.round(bar.height) });
      let blue = 0;
      for (let i = 0; i < pixels.data.length; i += 4) if (pixels.data[i + 2] > 150 && pixels.data[i] < 60) blue += 1;
      if (blue === 0) throw new Error(`the bar (${bar.text}) shows no fill`);
      if (shots) await page.screenshot({ path: path.join(shots, 'loading-bar.png') });
      await waitFor(() => page.evaluate(() => location.hash === '#20' && document.getElementById('loading').hidden), 'slide 20 and no bar', 30000);
      const status = await waitFor(() => page.evaluate(() => document.getElementById('slide-status').textContent), 'the announcement', 5000);
      if (!/20/.test(status)) throw new Error(`the page announced ${JSON.stringify(status)}`);
      const shown = await playerBox(page);
      if (Math.round(shown.width) !== 720) throw new Error(`the 1440 px hd movie shows ${shown.width} px wide, not half, 720`);
      console.log(`  the bar said "${bar.text}", then ${status}`);
    } finally {
      await page.close();
      await slow.close();
    }
  }],
  ['--advance 1 moves on about every second with no key pressed', async () => {
    const folder = convertDeck('kiosk', 4, ['--size', 'small', '--advance', '1']);
    const kiosk = await startServer(folder);
    const page = await browser.newPage({ width: 800, height: 600 });
    try {
      await page.addInitScript(() => {
        window.seen = [];
        const replaceState = history.replaceState.bind(history);
        history.replaceState = (state, title, address) => {
          window.seen.push([String(address), performance.now()]);
          return replaceState(state, title, address);
        };
      });
      await forceRuffleTestConfig(page);
      await page.goto(`${kiosk.url}/deck.html`);
      const seen = await waitFor(() => page.evaluate(() => (window.seen.length >= 3 ? window.seen : null)), 'three slides', 15000);
      const [[first, t1], [second, t2], [third, t3]] = seen;
      if (first !== '#1' || second !== '#2' || third !== '#3') throw new Error(`the slides went ${seen.map((s) => s[0]).join(', ')}`);
      const a = (t2 - t1) / 1000;
      const b = (t3 - t1) / 1000;
      console.log(`  slide 2 after ${a.toFixed(2)} s, slide 3 after ${b.toFixed(2)} s`);
      if (a < 0.6 || a > 3 || b < 1.5 || b > 5) throw new Error(`slide 2 after ${a} s, slide 3 after ${b} s`);
    } finally {
      await page.close();
      await kiosk.close();
    }
  }],
  ['a player that never starts gets a sentence, not an empty stage', async () => {
    const page = await browser.newPage({ width: 800, height: 600 });
    try {
      // As in WebKitGTK: Ruffle's script runs, but its elements are never
      // upgraded into players.
      await page.addInitScript(() => { window.customElements.define = () => {}; });
      await page.goto(`${server.url}/deck.html`);
      const waiting = await page.evaluate(() => !document.getElementById('loading').hidden);
      if (!waiting) throw new Error('no bar while the player does not start');
      const said = await waitFor(() => page.evaluate(() => {
        const note = document.getElementById('note');
        return note.hidden ? null : { text: note.textContent, open: document.getElementById('slide-text').open };
      }), 'the sentence', 30000);
      if (!/could not start the Ruffle player/.test(said.text) || !said.open) throw new Error(`the page said ${JSON.stringify(said)}`);
    } finally {
      await page.close();
    }
  }],
];

await runSteps(steps, {
  started,
  cleanup: async () => { await browser.close(); await server.close(); },
});
