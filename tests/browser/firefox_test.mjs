// A converted deck's page in a second engine: Debian's Firefox ESR, driven
// by puppeteer-core over WebDriver BiDi. The 12-page PDF deck of
// slide_page.mjs is converted and its page served from loopback; with
// nothing clicked, the test checks that the player has the keyboard, that
// Right shows slide 2, that the address follows (#2) and the live region
// announces it, and that the frame shown is the movie's picture (PSNR).
//
// Usage: node firefox_test.mjs --quillet PATH/quillet --work DIR
import { launchFirefox, parseOptions, psnr, runSteps, startServer, waitFor } from './harness.mjs';
import { convert, openPage, slideCount } from './slide_page.mjs';

const options = parseOptions(['quillet', 'work'], 'node firefox_test.mjs --quillet QUILLET --work DIR');

// The player draws the JPEG at its own size, so the frame differs from
// libjpeg-turbo's decoding only by the browser's own decoder (rounding,
// chroma upsampling): 40 dB is a root-mean-square difference of 2.6 levels.
const leastPsnr = 40;

async function presenterRight(browser, url, references) {
  const { page, expectSlide, expectAddress, outsideControls } = await openPage(browser, url, references, 'firefox');
  await expectSlide(1, 'opened');
  const focused = await waitFor(() => page.evaluate(() => {
    const active = document.activeElement;
    return active && /^RUFFLE-/.test(active.tagName) ? active.tagName : null;
  }), 'the player to have keyboard focus', 5000);
  await page.keyboard.press('ArrowRight');
  const frame = await expectSlide(2, 'ArrowRight');
  await expectAddress('#2', 'ArrowRight');
  const heading = `Slide 2 of ${slideCount}`;
  const status = () => page.evaluate(() => document.getElementById('slide-status').textContent);
  if (!await waitFor(async () => (await status()) === heading, 'the announcement', 5000).catch(() => false)) {
    throw new Error(`after Right the live region reads ${JSON.stringify(await status())}, not ${heading}`);
  }
  const quality = psnr(frame, references[1], null, outsideControls);
  if (!(quality >= leastPsnr)) throw new Error(`slide 2 is shown at ${quality.toFixed(1)} dB PSNR, under ${leastPsnr}`);
  console.log(`  firefox: focus on ${focused}; Right -> slide 2, #2, announced ${JSON.stringify(heading)}, `
    + `${quality.toFixed(1)} dB PSNR`);
  await page.close();
}

const started = Date.now();
const { out, references } = convert(options.quillet, options.work);
const server = await startServer(out);
const browser = await launchFirefox();
console.log(`  ${await browser.browser.version()}`);
await runSteps([
  ['keys, address, announcement and frame, served over http', () => presenterRight(browser, `${server.url}/deck.html`,
    references)],
], {
  started,
  cleanup: async () => {
    await browser.close();
    await server.close();
  },
});
