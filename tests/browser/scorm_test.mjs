// The learning-platform package in a platform: scorm-again's SCORM 1.2
// run-time (the one LMS developers embed) plays the platform. A host page
// served from loopback makes its Scorm12API window.API and shows the
// unzipped package's page in an iframe, as a platform does. The 12-page PDF
// deck of slide_page.mjs, converted with --scorm, is driven with the keys;
// the slide shown is compared with the movie's own pictures.
//
// Usage: node scorm_test.mjs --quillet PATH/quillet --work DIR
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  decodePng, forceRuffleTestConfig, hideRuffleNotices, launchBrowser, meanDifference, parseOptions, runSteps,
  startServer, toolsDir, waitFor,
} from './harness.mjs';
import { convert, slideCount } from './slide_page.mjs';

const options = parseOptions(['quillet', 'work'], 'node scorm_test.mjs --quillet QUILLET --work DIR');

// The platform: window.startPlatform(data, refuse) makes a fresh run-time
// with the CMI data of an earlier visit and loads the package's page.
// With `refuse`, every LMSSetValue answers "false". What the page set last
// for each element (write-only ones included), the commits and whether it
// finished are kept for the test.
const hostPage = `<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>platform</title>
<script src="scorm12.min.js"></script></head>
<body><iframe id="sco" title="course" width="400" height="320"></iframe>
<script>
window.startPlatform = function (data, refuse) {
  window.API = new Scorm12API({ logLevel: 5 });
  if (data) window.API.loadFromJSON(data);
  window.commits = 0;
  window.values = {};
  var api = window.API, commit = api.LMSCommit, setValue = api.LMSSetValue;
  api.LMSCommit = function (argument) { window.commits += 1; return commit.call(api, argument); };
  api.LMSSetValue = function (element, value) {
    if (refuse) return "false";
    var result = setValue.call(api, element, value);
    if (String(result) === "true") window.values[element] = value;
    return result;
  };
  document.getElementById("sco").src = "package/deck.html";
};
window.cmi = function () {
  var core = window.API.cmi.core, values = window.values;
  return { location: core.lesson_location, status: core.lesson_status, seen: window.API.cmi.suspend_data,
           time: values["cmi.core.session_time"], exit: values["cmi.core.exit"], state: window.API.currentState,
           commits: window.commits };
};
</script></body></html>`;

async function site() {
  const { out, references } = convert(options.quillet, options.work, path.join(options.work, 'out'),
    ['--scorm', '--size', 'small']);
  const root = path.join(options.work, 'site');
  fs.rmSync(root, { recursive: true, force: true });
  fs.mkdirSync(root);
  execFileSync('python3', ['-m', 'zipfile', '-e', path.join(out, 'deck.zip'), path.join(root, 'package')]);
  fs.copyFileSync(path.join(toolsDir, 'node_modules', 'scorm-again', 'dist', 'scorm12.min.js'), path.join(root, 'scorm12.min.js'));
  fs.writeFileSync(path.join(root, 'platform.html'), hostPage);
  return { root, references };
}

const { root, references } = await site();
const server = await startServer(root);
const browser = await launchBrowser();
const { width, height } = references[0];
const outsideControls = (x, y) => x < width - 110 || y < height - 32;

// Opens the platform with `data`; returns helpers for the package's frame.
async function visit(data, refuse = false) {
  const page = await browser.newPage({ width: 600, height: 500 });
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  await forceRuffleTestConfig(page);
  await page.goto(`${server.url}/platform.html`);
  await page.evaluate(([earlier, no]) => window.startPlatform(earlier, no), [data, refuse]);
  const frame = await waitFor(() => page.frames().find((f) => f.url().includes('/package/deck.html')), 'the package');
  await frame.waitForFunction(() => document.getElementById('player')?.readyState === 2, null, { timeout: 30000 });
  await hideRuffleNotices(frame);
  await frame.locator('#player').focus();
  const cmi = () => page.evaluate(() => window.cmi());

  async function expectSlide(slide, step) {
    let best = -1;
    await waitFor(async () => {
      const pixels = decodePng(await frame.locator('#player').screenshot());
      const differences = references.map((reference) => meanDifference(pixels, reference, null, outsideControls));
      best = differences.indexOf(Math.min(...differences));
      return best === slide - 1 && differences[best] <= 4;
    }, `slide ${slide}`, 15000).catch(() => {
      throw new Error(`${step}: expected slide ${slide}, saw slide ${best + 1}; errors: ${errors.join(' | ') || 'none'}`);
    });
  }
  async function expectCmi(expected, step) {
    const matches = (values) => Object.entries(expected).every(([key, value]) => values[key] === value);
    const values = await waitFor(async () => { const v = await cmi(); return matches(v) ? v : null; },
      'the CMI values', 5000).catch(async () => {
      throw new Error(`${step}: expected ${JSON.stringify(expected)}, the run-time holds ${JSON.stringify(await cmi())}`);
    });
    console.log(`  ${step}: ${JSON.stringify(values)}`);
    return values;
  }
  // Right, `times` times, each once the page has shown the slide before.
  async function right(times) {
    for (let i = 0; i < times; i += 1) {
      const from = await frame.evaluate(() => location.hash);
      await page.keyboard.press('ArrowRight');
      await waitFor(() => frame.evaluate((hash) => location.hash !== hash, from), 'the next slide', 10000);
    }
  }
  async function leave() {
    await page.evaluate(() => { document.getElementById('sco').src = 'about:blank'; });
  }
  return { page, errors, cmi, expectSlide, expectCmi, right, leave };
}

let firstVisit = null;

async function throughEverySlide() {
  const show = await visit(null);
  await show.expectSlide(1, 'opened');
  await show.expectCmi({ location: '1', status: 'incomplete', seen: '100' }, 'opened');
  await show.right(4);
  await show.expectSlide(5, 'Right x4');
  await show.expectCmi({ location: '5', status: 'incomplete', seen: 'f10' }, 'Right x4');
  await show.leave();
  const left = await show.expectCmi({ state: 2, exit: 'suspend' }, 'left at slide 5');
  if (!/^\d{2,4}:\d\d:\d\d(\.\d\d?)?$/.test(left.time)) throw new Error(`session time ${JSON.stringify(left.time)}`);
  firstVisit = { core: { lesson_location: left.location, lesson_status: left.status }, suspend_data: left.seen };
  await show.page.close();
}

async function resumesAndCompletes() {
  if (!firstVisit) throw new Error('needs the first visit');
  const show = await visit(firstVisit);
  await show.expectSlide(5, 'resumed');
  await show.expectCmi({ location: '5', status: 'incomplete' }, 'resumed');
  // A burst of keys: the platform hears of it once or twice, not six times.
  const before = (await show.cmi()).commits;
  await show.right(6);
  await show.expectSlide(11, 'Right x6');
  const burst = await show.expectCmi({ location: '11', status: 'incomplete', seen: 'ff7' },
    'Right x6');
  if (burst.commits - before > 2) throw new Error(`${burst.commits - before} commits for one burst of keys`);
  await show.right(1);
  await show.expectSlide(12, 'Right to the last slide');
  await show.expectCmi({ location: '12', status: 'completed', seen: 'fff' }, 'last slide');
  await show.right(1);
  await show.expectSlide(1, 'Right past the end');
  await show.leave();
  await show.expectCmi({ state: 2, status: 'completed', exit: '' }, 'left');
  if (show.errors.length > 0) throw new Error(`page errors: ${show.errors.join(' | ')}`);
  await show.page.close();
}

async function refusingPlatform() {
  const show = await visit(null, true);
  await show.expectSlide(1, 'opened');
  await show.right(2);
  await show.expectSlide(3, 'Right x2');
  if (show.errors.length > 0) throw new Error(`page errors: ${show.errors.join(' | ')}`);
  await show.page.close();
}

await runSteps([
  ['first visit: location follows, incomplete, left at slide 5', throughEverySlide],
  ['second visit: resumes at 5, completed only after the last unseen slide', resumesAndCompletes],
  [`a platform that refuses every LMSSetValue leaves the show working (${slideCount} slides)`, refusingPlatform],
], {
  started: Date.now(),
  cleanup: async () => {
    await browser.close();
    await server.close();
  },
});
