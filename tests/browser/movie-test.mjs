// The slide-show movie in a real player: slide shows written by the
// conversion's own slide-show code (write_slide_show) are played by
// Ruffle in headless Chromium from a loopback server, at 720 x 540, 360 x 270
// and 240 x 180 pixels. For each size the test checks that
//   - the first frame shows the first slide's picture (pixels compared with
//     the JPEG as libjpeg-turbo decodes it);
//   - a click on the picture shows the next slide, the right arrow goes on,
//     the left arrow goes back, and the right arrow on the last slide wraps
//     to the first (Play on the last frame);
//   - the counter's glyphs are drawn in the counter colour, and change from
//     slide to slide.
//
// Usage: node movie-test.mjs --writer PATH/write_slide_show --work DIR
//        [--screenshot FILE]   also saves a picture of the movie playing
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  countColour, decodeJpeg, forceRuffleTestConfig, hideRuffleNotices, launchBrowser, meanDifference, ruffleTestConfig,
  parseOptions, runSteps, screenshotPixels, startServer, waitFor, waitForMovie, writePpm,
} from './harness.mjs';

const options = parseOptions(['writer', 'work'], 'node movie-test.mjs --writer WRITE_SLIDE_SHOW --work DIR [--screenshot FILE]');

const sizes = [[720, 540], [360, 270], [240, 180]];
const slideCount = 3;
const counterColour = [0, 96, 128];
// Mean absolute channel difference allowed between the screen and the decoded JPEG.
const pictureTolerance = 3;

// A slide picture: smooth colour ramps and bands that differ per slide, and a
// light footer under the arrows and the counter.
function slidePixels(width, height, slide) {
  const rgb = Buffer.alloc(width * height * 3);
  const footer = height - 40;
  for (let y = 0; y < height; y += 1) {
    for (let x = 0; x < width; x += 1) {
      const at = (y * width + x) * 3;
      if (y >= footer) {
        rgb[at] = 236; rgb[at + 1] = 232; rgb[at + 2] = 224;
        continue;
      }
      const u = x / width;
      const v = y / height;
      const band = Math.floor((x + y * (slide + 1)) / 24) % 2;
      const ramps = [
        [230 - 90 * u, 120 + 80 * v, 60 + 40 * band],
        [70 + 60 * band, 200 - 90 * v, 90 + 120 * u],
        [240 - 40 * band, 200 * u, 230 - 150 * v],
      ][slide];
      for (let c = 0; c < 3; c += 1) rgb[at + c] = Math.round(ramps[c]);
    }
  }
  return rgb;
}

function makeMovie(folder, width, height) {
  fs.mkdirSync(folder, { recursive: true });
  const pictures = [];
  for (let slide = 0; slide < slideCount; slide += 1) {
    const ppm = path.join(folder, `slide${slide + 1}.ppm`);
    const jpeg = path.join(folder, `slide${slide + 1}.jpg`);
    writePpm(ppm, width, height, slidePixels(width, height, slide));
    execFileSync('cjpeg', ['-quality', '92', '-sample', '1x1', '-outfile', jpeg, ppm]);
    pictures.push(jpeg);
  }
  const movie = path.join(folder, 'movie.swf');
  execFileSync(options.writer, [movie, String(width), String(height), ...pictures]);
  fs.writeFileSync(path.join(folder, 'index.html'), `<!doctype html>
<html><head><meta charset="utf-8"><title>movie</title>
<style>html, body { margin: 0; padding: 0; background: #808080; overflow: hidden; }
#stage { position: absolute; left: 0; top: 0; width: ${width}px; height: ${height}px; }
#stage > * { width: ${width}px; height: ${height}px; display: block; }</style>
<script>window.RufflePlayer = window.RufflePlayer || {}; window.RufflePlayer.config = ${JSON.stringify(ruffleTestConfig)};</script>
<script src="https://unpkg.com/@ruffle-rs/ruffle"></script>
</head><body><div id="stage"></div>
<script>
  const player = window.RufflePlayer.newest().createPlayer();
  document.getElementById('stage').appendChild(player);
  player.ruffle().load({ url: 'movie.swf' });
</script></body></html>`);
  return pictures.map((file) => decodeJpeg(file));
}

async function checkSize(browser, server, width, height) {
  const name = `${width}x${height}`;
  const references = makeMovie(path.join(options.work, name), width, height);
  const page = await browser.newPage({ width, height });
  const messages = [];
  page.on('pageerror', (error) => messages.push(error.message));
  await forceRuffleTestConfig(page);
  await page.goto(`${server.url}/${name}/index.html`);
  await waitForMovie(page);
  await hideRuffleNotices(page);

  // The controls and the counter sit in the bottom-right corner (twips / 20).
  const controls = { x: width - 110, y: height - 32 };
  const outsideControls = (x, y) => x < controls.x || y < controls.y;
  const counterBox = { x: width - 76, y: height - 26, width: 50, height: 22 };
  const nextArrow = { x: width - 21, y: height - 21 };
  const previousArrow = { x: width - 94, y: height - 21 };
  const pictureSpot = { x: Math.round(width / 3), y: Math.round(height / 3) };

  async function shown() {
    const pixels = await screenshotPixels(page, { x: 0, y: 0, width, height });
    const differences = references.map((reference) => meanDifference(pixels, reference, null, outsideControls));
    const best = differences.indexOf(Math.min(...differences));
    return { pixels, slide: best, difference: differences[best], differences };
  }

  async function expectSlide(slide, step) {
    let last;
    try {
      last = await waitFor(async () => {
        const state = await shown();
        last = state;
        return state.slide === slide && state.difference <= pictureTolerance ? state : null;
      }, `slide ${slide + 1}`, 15000);
    } catch (error) {
      const seen = last ? `slide ${last.slide + 1}, differences ${last.differences.map((d) => d.toFixed(2)).join(' ')}` : 'nothing';
      throw new Error(`${name}, ${step}: expected slide ${slide + 1}, saw ${seen}; page errors: ${messages.join(' | ') || 'none'}`);
    }
    // Move the pointer off the arrows so their over state does not tint them.
    await page.mouse.move(pictureSpot.x, pictureSpot.y);
    const counterPixels = countColour(last.pixels, counterBox, counterColour, 48);
    if (counterPixels < 25) throw new Error(`${name}, ${step}: the counter shows only ${counterPixels} pixels of its colour`);
    const counter = last.pixels;
    console.log(`  ${name} ${step}: slide ${slide + 1} (difference ${last.difference.toFixed(2)}), counter ${counterPixels} pixels`);
    return { counter, pixels: last.pixels };
  }

  const seenCounters = [];
  const remember = (state, slide) => { seenCounters[slide] = state.counter; };
  remember(await expectSlide(0, 'first frame'), 0);
  await page.mouse.click(pictureSpot.x, pictureSpot.y);
  remember(await expectSlide(1, 'click on the picture'), 1);
  await page.mouse.click(previousArrow.x, previousArrow.y);
  await expectSlide(0, 'click on the left arrow');
  await page.mouse.click(nextArrow.x, nextArrow.y);
  await expectSlide(1, 'click on the right arrow');
  await page.mouse.click(nextArrow.x, nextArrow.y);
  remember(await expectSlide(2, 'right arrow again'), 2);
  await page.mouse.click(previousArrow.x, previousArrow.y);
  await expectSlide(1, 'left arrow from the last slide');
  await page.mouse.click(nextArrow.x, nextArrow.y);
  await expectSlide(2, 'right arrow to the last slide');
  await page.mouse.click(nextArrow.x, nextArrow.y);
  await expectSlide(0, 'right arrow on the last slide wraps to the first');

  // The counters of different slides differ ("1/3", "2/3", "3/3").
  for (let a = 0; a < slideCount; a += 1) {
    for (let b = a + 1; b < slideCount; b += 1) {
      const difference = meanDifference(seenCounters[a], seenCounters[b], counterBox);
      if (difference < 2) throw new Error(`${name}: the counters of slides ${a + 1} and ${b + 1} look the same`);
    }
  }
  if (messages.length > 0) throw new Error(`${name}: page errors: ${messages.join(' | ')}`);
  await page.close();
}

// A picture of the movie playing, for the documentation: three slides drawn
// by the browser itself, written as a movie, shown on its second slide.
async function saveScreenshot(browser, server, file) {
  const [width, height] = [720, 540];
  const folder = path.join(options.work, 'screenshot');
  fs.mkdirSync(folder, { recursive: true });
  const slides = [
    ['Quillet', ['Presentations become SWF slide shows', 'One frame per slide', 'Arrows and a counter on every frame']],
    ['How it works', ['Slides exported as pictures', 'Re-encoded by its own JPEG encoder', 'Assembled by its own SWF writer']],
    ['Played by Ruffle', ['Any browser, no plug-in', 'Click the slide or the arrows', 'The counter shows where you are']],
  ];
  const painter = await browser.newPage({ width, height });
  const pictures = [];
  for (const [index, [title, points]] of slides.entries()) {
    await painter.setContent(`<!doctype html><html><body style="margin:0;width:${width}px;height:${height}px;
      font-family:'Liberation Sans',sans-serif;background:linear-gradient(160deg,#fdfbf6,#e9eef2);">
      <div style="background:#1d4e63;color:#fff;padding:48px 56px 28px;font-size:44px;font-weight:bold">${title}</div>
      <ul style="margin:40px 56px;font-size:28px;color:#223;line-height:1.9">${points.map((p) => `<li>${p}</li>`).join('')}</ul>
      <div style="position:absolute;left:56px;bottom:18px;font-size:16px;color:#667">Slide ${index + 1}</div></body></html>`);
    const jpeg = path.join(folder, `Slide${index + 1}.jpg`);
    fs.writeFileSync(jpeg, await painter.screenshot({ type: 'jpeg', quality: 92 }));
    pictures.push(jpeg);
  }
  await painter.close();
  execFileSync(options.writer, [path.join(folder, 'movie.swf'), String(width), String(height), ...pictures]);
  fs.copyFileSync(path.join(options.work, `${width}x${height}`, 'index.html'), path.join(folder, 'index.html'));
  const references = pictures.map((picture) => decodeJpeg(picture));
  const page = await browser.newPage({ width, height });
  await page.goto(`${server.url}/screenshot/index.html`);
  await waitForMovie(page);
  await hideRuffleNotices(page);
  const showing = (slide) => async () => {
    const pixels = await screenshotPixels(page, { x: 0, y: 0, width, height });
    return meanDifference(pixels, references[slide], null, (x, y) => x < width - 110 || y < height - 32) < 4;
  };
  await waitFor(showing(0), 'the first slide of the screenshot movie');
  await page.mouse.click(width / 2, height / 2);
  await waitFor(showing(1), 'the second slide of the screenshot movie');
  await page.mouse.move(10, 10);
  await page.screenshot({ path: file, clip: { x: 0, y: 0, width, height } });
  await page.close();
  console.log(`screenshot saved to ${file}`);
}

const started = Date.now();
fs.mkdirSync(options.work, { recursive: true });
const server = await startServer(options.work);
const browser = await launchBrowser();
const steps = sizes.map(([width, height]) => [`${width}x${height}`, () => checkSize(browser, server, width, height)]);
await runSteps(steps, {
  started,
  whenAllPassed: async () => {
    if (options.screenshot) await saveScreenshot(browser, server, path.resolve(options.screenshot));
  },
  cleanup: async () => {
    await browser.close();
    await server.close();
  },
});
