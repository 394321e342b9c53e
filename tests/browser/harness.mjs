// Browser test harness: plays SWF movies and pages in headless Chromium (and
// Firefox) with the Ruffle player, without any network but the loopback
// interface.
//
// What it gives a test:
//   startServer(root)        a static HTTP server for the folder `root` on
//                            127.0.0.1 (a free port); returns { url, close() }
//                            (close() also ends the connections still open).
//   launchBrowser()          Debian's /usr/bin/chromium through playwright-core,
//                            headless, with a fresh profile folder; requests
//                            for https://unpkg.com/@ruffle-rs/ruffle (any
//                            version, any file of the package) are answered
//                            from the npm package in tests/tools, so pages
//                            that load Ruffle from its CDN work offline.
//                            Returns { context, newPage(), close() }.
//   launchFirefox()          Debian's /usr/bin/firefox-esr through puppeteer-core
//                            (WebDriver BiDi), the same routing; its pages take
//                            the Playwright calls the shared steps make.
//                            Returns { browser, newPage(), close() }.
//   ruffleTestConfig         Ruffle settings for tests: the canvas renderer
//                            (WebGL gives blank pictures without a GPU), no
//                            splash screen, autoplay.
//   forceRuffleTestConfig(page)  makes every page the tab loads use
//                            ruffleTestConfig's renderer and overlays, even
//                            when the page sets window.RufflePlayer.config
//                            itself (call before page.goto).
//   hideRuffleNotices(page)  hides Ruffle's "hardware acceleration" notice and
//                            other modal overlays inside every ruffle-player
//                            (they would swallow the first click); test only.
//   waitForMovie(page)       waits until a ruffle-player has loaded its movie.
//   waitFor(check, what)     polls an async check until it returns a truthy
//                            value (no fixed sleeps), failing after a timeout.
//   screenshotPixels(page, clip)  the page's pixels in a rectangle, as
//                            { width, height, data } with RGBA bytes.
//   decodePng(buffer)        the same for a PNG buffer (8-bit RGB or RGBA).
//   movieTags(swf)           the tags of an SWF file (FWS, or CWS inflated),
//                            as { code, body }, in file order.
//   moviePictures(swf)       the JPEG pictures of an SWF file
//                            (DefineBitsJPEG2 bodies), in file order.
//   decodeJpeg(path)         the JPEG decoded by libjpeg-turbo's djpeg, as
//                            { width, height, data } with RGB bytes.
//   readPpm / writePpm       binary PPM pictures (cjpeg makes JPEGs of them).
//   meanDifference(a, b, region, include)  mean absolute channel difference.
//   psnr(a, b, region, include)  peak signal-to-noise ratio in dB.
//   countColour(pixels, region, [r, g, b], tolerance)  pixels near a colour.
//
// A page that loads Ruffle from https://unpkg.com/@ruffle-rs/ruffle and reads
// NAME.swf.js beside itself works both from the loopback server and from a
// file:// URL: only the CDN is routed, every other outside address is
// refused. Pixels are compared at device scale factor 1, so one CSS pixel is
// one screen pixel and 20 twips.
//
// Example (a page test):
//   const server = await startServer(folder);
//   const browser = await launchBrowser();
//   const page = await browser.newPage({ width: 800, height: 600 });
//   await forceRuffleTestConfig(page);
//   await page.goto(`${server.url}/deck.html`);
//   await waitForMovie(page);
//   await hideRuffleNotices(page);
//   ...
//   await browser.close(); await server.close();
//
// Modules resolve from tests/tools/node_modules (scripts/install-deps
// installs them from the lock file); no tool downloads a browser.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';
import zlib from 'node:zlib';

const here = path.dirname(fileURLToPath(import.meta.url));
export const toolsDir = path.join(here, '..', 'tools');
const require = createRequire(path.join(toolsDir, 'package.json'));
const { chromium } = require('playwright-core');
export const ruffleDir = path.dirname(require.resolve('@ruffle-rs/ruffle/package.json'));
export const chromiumPath = '/usr/bin/chromium';

export const ruffleTestConfig = {
  preferredRenderer: 'canvas',
  autoplay: 'on',
  unmuteOverlay: 'hidden',
  splashScreen: false,
  warnOnUnsupportedContent: false,
  contextMenu: 'off',
  letterbox: 'off',
  logLevel: 'warn',
};

const contentTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.swf': 'application/x-shockwave-flash',
  '.json': 'application/json',
  '.map': 'application/json',
  '.jpg': 'image/jpeg',
  '.png': 'image/png',
  '.css': 'text/css',
};

function contentType(file) {
  return contentTypes[path.extname(file).toLowerCase()] ?? 'application/octet-stream';
}

// Static files of `root` on the loopback interface.
export async function startServer(root) {
  const base = path.resolve(root);
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://127.0.0.1');
    const file = path.resolve(base, '.' + decodeURIComponent(url.pathname));
    if (!file.startsWith(base + path.sep) && file !== base) {
      response.writeHead(403).end();
      return;
    }
    fs.readFile(file, (error, body) => {
      if (error) {
        response.writeHead(404, { 'content-type': 'text/plain' }).end('not found');
        return;
      }
      response.writeHead(200, { 'content-type': contentType(file), 'cache-control': 'no-store' }).end(body);
    });
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', resolve);
  });
  const { port } = server.address();
  return {
    url: `http://127.0.0.1:${port}`,
    // Connections a browser that stays open keeps alive would hold close()
    // back for a minute or more: they end here.
    close: () => new Promise((resolve) => {
      server.close(resolve);
      server.closeAllConnections();
    }),
  };
}

// The answer to https://unpkg.com/@ruffle-rs/ruffle[@version][/file] from
// the npm package; the bare package URL gives its main script, ruffle.js.
// Ruffle then loads its other files relative to the script's URL (for the
// bare URL, from https://unpkg.com/@ruffle-rs/ruffle/...), answered here too.
const ruffleCdn = /^https:\/\/unpkg\.com\/@ruffle-rs\//;
function ruffleCdnAnswer(address) {
  const url = new URL(address);
  const match = url.pathname.match(/^\/@ruffle-rs\/(?:ruffle(?:@[^/]*)?)?\/?(.*)$/);
  const file = match && match[1] !== '' ? match[1] : 'ruffle.js';
  const local = path.resolve(ruffleDir, file);
  if (!local.startsWith(ruffleDir + path.sep) || !fs.existsSync(local)) return { status: 404, body: 'not in the package' };
  return {
    status: 200,
    headers: { 'content-type': contentType(local), 'access-control-allow-origin': '*' },
    body: fs.readFileSync(local),
  };
}

async function routeRuffleCdn(context) {
  await context.route(ruffleCdn, (route) => route.fulfill(ruffleCdnAnswer(route.request().url())));
}

export async function launchBrowser() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quillet-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-background-networking',
      '--disable-component-update',
      '--no-first-run',
      '--disable-sync',
    ],
    viewport: { width: 800, height: 600 },
    deviceScaleFactor: 1,
  });
  await routeRuffleCdn(context);
  // Only the loopback server and the routed CDN are reachable.
  await context.route(/^https?:\/\/(?!(?:127\.0\.0\.1|localhost|\[::1\])[:/]|unpkg\.com\/@ruffle-rs\/)/, (route) => route.abort());
  return {
    context,
    async newPage(viewport) {
      const page = await context.newPage();
      if (viewport) await page.setViewportSize(viewport);
      return page;
    },
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Debian's Firefox ESR through puppeteer-core over WebDriver BiDi, headless,
// in a profile puppeteer makes and removes. Its pages answer the calls of
// Playwright's Page that the shared steps use (addInitScript,
// waitForFunction, screenshot; the rest is puppeteer's own), and requests go
// as launchBrowser's do: the Ruffle CDN from the package, loopback as asked,
// every other outside address refused.
export const firefoxPath = '/usr/bin/firefox-esr';

export async function launchFirefox() {
  const puppeteer = require('puppeteer-core');
  const browser = await puppeteer.launch({ browser: 'firefox', executablePath: firefoxPath, headless: true });
  return {
    browser,
    async newPage(viewport = { width: 800, height: 600 }) {
      const page = await browser.newPage();
      await page.setViewport({ ...viewport, deviceScaleFactor: 1 });
      await page.setRequestInterception(true);
      page.on('request', (request) => {
        const url = request.url();
        if (ruffleCdn.test(url)) {
          const { status, headers, body } = ruffleCdnAnswer(url);
          request.respond({ status, headers, body });
        } else if (/^https?:/.test(url) && !/^http:\/\/(?:127\.0\.0\.1|localhost|\[::1\])[:/]/.test(url)) {
          request.abort();
        } else {
          request.continue();
        }
      });
      return new Proxy(page, {
        get(target, name) {
          if (name === 'addInitScript') return (script, arg) => target.evaluateOnNewDocument(script, arg);
          if (name === 'waitForFunction') return (check, arg, options) => target.waitForFunction(check, options, arg);
          if (name === 'screenshot') {
            return async ({ clip, type }) => Buffer.from(await target.screenshot({ clip, type }));
          }
          const value = Reflect.get(target, name, target);
          return typeof value === 'function' ? value.bind(target) : value;
        },
      });
    },
    close: () => browser.close(),
  };
}

// Settings a page under test may not override: the renderer that draws
// without a GPU, and no overlays over the movie.
const forcedRuffleSettings = {
  preferredRenderer: 'canvas',
  splashScreen: false,
  unmuteOverlay: 'hidden',
  warnOnUnsupportedContent: false,
};

export async function forceRuffleTestConfig(page, forced = forcedRuffleSettings) {
  await page.addInitScript((settings) => {
    // Whatever the page (or ruffle.js) stores as window.RufflePlayer, its
    // config always comes back with the forced settings merged in.
    const force = (value) => {
      if (value === null || typeof value !== 'object') return value;
      let config = { ...(value.config ?? {}), ...settings };
      Object.defineProperty(value, 'config', {
        configurable: true,
        enumerable: true,
        get: () => config,
        set: (next) => { config = { ...(next ?? {}), ...settings }; },
      });
      return value;
    };
    let current;
    Object.defineProperty(window, 'RufflePlayer', {
      configurable: true,
      get: () => current,
      set: (value) => { current = force(value); },
    });
  }, forced);
}

export async function waitFor(check, what, timeoutMs = 20000, intervalMs = 50) {
  const deadline = Date.now() + timeoutMs;
  let last;
  for (;;) {
    last = await check();
    if (last) return last;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, intervalMs));
  }
}

// Ruffle's readyState 2 means the movie has loaded and plays.
export async function waitForMovie(page, timeoutMs = 30000) {
  await page.waitForFunction(
    () => {
      const player = document.querySelector('ruffle-player, ruffle-object, ruffle-embed');
      return player !== null && player.readyState === 2;
    },
    null,
    { timeout: timeoutMs, polling: 50 },
  );
}

export async function hideRuffleNotices(page) {
  await page.evaluate(() => {
    for (const player of document.querySelectorAll('ruffle-player, ruffle-object, ruffle-embed')) {
      const root = player.shadowRoot;
      if (!root || root.getElementById('quillet-test-hide-notices')) continue;
      const style = document.createElement('style');
      style.id = 'quillet-test-hide-notices';
      style.textContent = '#hardware-acceleration-modal, .modal, #splash-screen, #unmute-overlay { display: none !important; }';
      root.appendChild(style);
    }
  });
}

// PNG decoding for Chromium's screenshots: 8-bit RGB or RGBA, not interlaced.
export function decodePng(buffer) {
  let at = 8;
  let width = 0;
  let height = 0;
  let channels = 0;
  const chunks = [];
  while (at < buffer.length) {
    const length = buffer.readUInt32BE(at);
    const type = buffer.toString('latin1', at + 4, at + 8);
    const body = buffer.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      const depth = body[8];
      const colourType = body[9];
      if (depth !== 8 || body[12] !== 0 || (colourType !== 2 && colourType !== 6)) {
        throw new Error(`unsupported PNG (depth ${depth}, colour type ${colourType})`);
      }
      channels = colourType === 6 ? 4 : 3;
    } else if (type === 'IDAT') {
      chunks.push(body);
    }
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(chunks));
  const stride = width * channels;
  const rgba = Buffer.alloc(width * height * 4);
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; y += 1) {
    const filter = raw[y * (stride + 1)];
    const line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let x = 0; x < stride; x += 1) {
      const left = x >= channels ? line[x - channels] : 0;
      const up = previous[x];
      const upLeft = x >= channels ? previous[x - channels] : 0;
      let add = 0;
      if (filter === 1) add = left;
      else if (filter === 2) add = up;
      else if (filter === 3) add = (left + up) >> 1;
      else if (filter === 4) {
        const p = left + up - upLeft;
        const pa = Math.abs(p - left);
        const pb = Math.abs(p - up);
        const pc = Math.abs(p - upLeft);
        add = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
      }
      line[x] = (line[x] + add) & 0xff;
    }
    for (let x = 0; x < width; x += 1) {
      for (let c = 0; c < 4; c += 1) {
        rgba[(y * width + x) * 4 + c] = c < channels ? line[x * channels + c] : 255;
      }
    }
    previous = line;
  }
  return { width, height, channels: 4, data: rgba };
}

export async function screenshotPixels(page, clip) {
  const png = await page.screenshot({ clip, type: 'png', animations: 'allow', caret: 'initial' });
  return decodePng(png);
}

// The tags of an SWF movie as { code, body }, in file order; a compressed
// movie (CWS) is inflated first.
export function movieTags(movie) {
  const signature = movie.toString('latin1', 0, 3);
  if (signature !== 'FWS' && signature !== 'CWS') throw new Error('the movie is not an SWF file');
  const swf = signature === 'CWS' ? Buffer.concat([movie.subarray(0, 8), zlib.inflateSync(movie.subarray(8))]) : movie;
  const bits = swf[8] >> 3;
  let at = 8 + Math.ceil((5 + 4 * bits) / 8) + 4;
  const tags = [];
  while (at < swf.length) {
    const codeAndLength = swf.readUInt16LE(at);
    let length = codeAndLength & 0x3f;
    at += 2;
    if (length === 0x3f) {
      length = swf.readUInt32LE(at);
      at += 4;
    }
    tags.push({ code: codeAndLength >> 6, body: swf.subarray(at, at + length) });
    at += length;
  }
  return tags;
}

// The JPEG pictures of an SWF movie (DefineBitsJPEG2 tags), in file order.
export function moviePictures(movie) {
  return movieTags(movie).filter(({ code }) => code === 21).map(({ body }) => body.subarray(2));
}

// Reference pixels from an independent decoder (libjpeg-turbo's djpeg).
export function decodeJpeg(file) {
  const ppm = execFileSync('djpeg', ['-ppm', file], { maxBuffer: 1 << 28 });
  return readPpm(ppm);
}

export function readPpm(buffer) {
  const header = buffer.toString('latin1', 0, 64).match(/^P6\s+(\d+)\s+(\d+)\s+(\d+)\s/);
  if (!header) throw new Error('not a binary PPM');
  const width = Number(header[1]);
  const height = Number(header[2]);
  const data = buffer.subarray(header[0].length, header[0].length + width * height * 3);
  return { width, height, channels: 3, data };
}

export function writePpm(file, width, height, rgb) {
  fs.writeFileSync(file, Buffer.concat([Buffer.from(`P6\n${width} ${height}\n255\n`, 'latin1'), rgb]));
}

// The sum of term(difference) over the colour channels of the pixels of
// `region` ({x, y, width, height}, default the whole picture) for which
// `include(x, y)` holds, and the number of channels summed.
function sumDifferences(a, b, region, include, term) {
  const area = region ?? { x: 0, y: 0, width: Math.min(a.width, b.width), height: Math.min(a.height, b.height) };
  let sum = 0;
  let count = 0;
  for (let y = area.y; y < area.y + area.height; y += 1) {
    for (let x = area.x; x < area.x + area.width; x += 1) {
      if (!include(x, y)) continue;
      const pa = (y * a.width + x) * a.channels;
      const pb = (y * b.width + x) * b.channels;
      for (let c = 0; c < 3; c += 1) sum += term(a.data[pa + c] - b.data[pb + c]);
      count += 3;
    }
  }
  return { sum, count };
}

// Mean absolute channel difference over the pixels of `region` for which
// `include(x, y)` holds.
export function meanDifference(a, b, region, include = () => true) {
  const { sum, count } = sumDifferences(a, b, region, include, Math.abs);
  return count === 0 ? 0 : sum / count;
}

// Peak signal-to-noise ratio in dB over the same pixels: 10 log10(255^2 /
// mean squared channel difference); Infinity when they are equal.
export function psnr(a, b, region, include = () => true) {
  const { sum, count } = sumDifferences(a, b, region, include, (difference) => difference * difference);
  if (count === 0) throw new Error('no pixel to compare');
  return sum === 0 ? Infinity : 10 * Math.log10((255 * 255 * count) / sum);
}

// Pixels in `region` within `tolerance` of colour [r, g, b].
export function countColour(pixels, region, colour, tolerance) {
  let count = 0;
  for (let y = region.y; y < region.y + region.height; y += 1) {
    for (let x = region.x; x < region.x + region.width; x += 1) {
      const p = (y * pixels.width + x) * pixels.channels;
      if (colour.every((value, c) => Math.abs(pixels.data[p + c] - value) <= tolerance)) count += 1;
    }
  }
  return count;
}

// The command line's `--name value` pairs. When one of `required` is missing
// it prints `usage` and exits with 2.
export function parseOptions(required, usage) {
  const options = {};
  for (let index = 2; index < process.argv.length; index += 2) {
    options[process.argv[index].replace(/^--/, '')] = process.argv[index + 1];
  }
  if (required.some((name) => !options[name])) {
    console.error(`usage: ${usage}`);
    process.exit(2);
  }
  return options;
}

// Runs each [name, step] in turn and prints "ok NAME" or "FAILED NAME: why";
// then, when every step passed, `whenAllPassed`; then `cleanup` whatever
// happened. Prints the count and exits 0 only when every step passed.
export async function runSteps(steps, { started, cleanup, whenAllPassed = async () => {} }) {
  let failed = 0;
  try {
    for (const [name, step] of steps) {
      try {
        await step();
        console.log(`ok ${name}`);
      } catch (error) {
        failed += 1;
        console.log(`FAILED ${name}: ${error.message}`);
      }
    }
    if (failed === 0) await whenAllPassed();
  } finally {
    await cleanup();
  }
  console.log(`${steps.length - failed} passed, ${failed} failed (${((Date.now() - started) / 1000).toFixed(1)} s)`);
  process.exit(failed === 0 ? 0 : 1);
}
