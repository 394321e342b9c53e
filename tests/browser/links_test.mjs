// Links on a slide, played by Ruffle in headless Chromium. A small deck made
// with LibreOffice (tests/conversion/data/links-deck.fodp: on slide 1 a web
// link, a mailto: link, a jump to slide 3 and a javascript: link) is
// converted by quillet convert and its page served over http. The link
// areas are read back from the movie (a button with a hit state only, over a
// rectangle). The test checks that
//   - quillet names the javascript: link it left out, and the movie holds
//     exactly three link areas, all on slide 1;
//   - the transcript lists the three kept links as <a href> under slide 1;
//   - a click on the web link's area opens a new page at that address (caught
//     before anything loads), and so does a click on the mailto: link's;
//   - a click on the jump shows slide 3 (compared with the movie's own
//     picture), and the address follows (#3);
//   - a click where the javascript: link stood opens no page and shows no
//     dialog: the picture under it plays on to slide 2, as any click on the
//     picture does.
// The deck's slides 1 and 3 have speaker notes. Converted again with
// --notes, the transcript holds exactly those notes under a Notes heading in
// those slides' sections, and the movie still has a frame per slide; the
// outputs made without --notes hold no word of them.
//
// Usage: node links_test.mjs --quillet PATH/quillet --deck DECK --work DIR
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  decodeJpeg, launchBrowser, moviePictures, movieTags, parseOptions, runSteps, startServer,
} from './harness.mjs';
import { openPage } from './slide_page.mjs';

const options = parseOptions(['quillet', 'deck', 'work'], 'node links_test.mjs --quillet QUILLET --deck DECK --work DIR');

// Each link area: its frame (0-based), its rectangle in pixels and its action's bytes as text.
function linkAreas(swf) {
  const areas = [];
  let frame = 0;
  let shape = null;
  for (const { code, body } of movieTags(swf)) {
    if (code === 1) frame += 1;
    if (code === 2) {
      const bits = body[2] >> 3;
      const value = (index) => {
        let number = 0;
        for (let bit = 5 + index * bits; bit < 5 + (index + 1) * bits; bit += 1) {
          number = number * 2 + ((body[2 + (bit >> 3)] >> (7 - (bit & 7))) & 1);
        }
        return number >= 2 ** (bits - 1) ? number - 2 ** bits : number;
      };
      shape = { x: value(0) / 20, right: value(1) / 20, y: value(2) / 20, bottom: value(3) / 20 };
    }
    if (code === 34 && body[5] === 0x08) areas.push({ frame, ...shape, action: body.toString('latin1') });
  }
  return areas;
}

fs.rmSync(options.work, { recursive: true, force: true });
const out = path.join(options.work, 'out');
fs.mkdirSync(out, { recursive: true });
const run = spawnSync(options.quillet, ['convert', options.deck, '-o', out], { encoding: 'utf8' });
if (run.status !== 0) throw new Error(`quillet convert failed: ${run.stderr}`);
const name = path.basename(options.deck).replace(/\.[^.]*$/, '');
const swf = fs.readFileSync(path.join(out, `${name}.swf`));
const references = moviePictures(swf).map((jpeg, index) => {
  const file = path.join(options.work, `reference${index + 1}.jpg`);
  fs.writeFileSync(file, jpeg);
  return decodeJpeg(file);
});
const areas = linkAreas(swf);
// The centre of the area whose action names `text` (a jump names no address).
const find = (text) => {
  const area = areas.find((entry) => (text ? entry.action.includes(text) : !entry.action.includes('_blank')));
  if (!area) throw new Error(`no link area holds ${text}`);
  return { x: Math.round((area.x + area.right) / 2), y: Math.round((area.y + area.bottom) / 2) };
};

const server = await startServer(out);
const browser = await launchBrowser();
const url = `${server.url}/${name}.html`;
const started = Date.now();

async function clickOpens(address) {
  const { page, expectSlide } = await openPage(browser, url, references, 'http');
  await expectSlide(1, 'opened');
  // What the player asks the browser to open, and in which window.
  await page.evaluate(() => {
    const open = window.open;
    window.opened = [];
    window.open = function (...args) {
      window.opened.push(`${args[0]} ${args[1]}`);
      return open.apply(this, args);
    };
  });
  const player = await page.evaluate(() => {
    const rect = document.getElementById('player').getBoundingClientRect();
    return { x: rect.x, y: rect.y };
  });
  const spot = find(address);
  const popup = page.waitForEvent('popup', { timeout: 10000 });
  await page.mouse.click(player.x + spot.x, player.y + spot.y);
  const opened = await popup;
  const asked = await page.evaluate(() => window.opened.join());
  if (asked !== `${address} _blank`) throw new Error(`the player asked to open ${JSON.stringify(asked)}`);
  // A web address loads in the new page (the request is answered here).
  if (address.startsWith('http')) await opened.waitForURL(address, { timeout: 10000 });
  console.log(`  a click on its area opened ${address} in a new page`);
  await opened.close();
  await page.close();
}

const steps = [
  ['the warning, the link areas and the transcript', async () => {
    if (!/javascript:alert\(1\)/.test(run.stderr)) throw new Error(`quillet did not name the javascript: link: ${run.stderr}`);
    const summary = areas.map((area) => `frame ${area.frame}`).join(', ');
    if (areas.length !== 3 || areas.some((area) => area.frame !== 0)) throw new Error(`link areas: ${summary}`);
    const page = fs.readFileSync(path.join(out, `${name}.html`), 'utf8');
    const section = page.slice(page.indexOf('id="slide-text-1"'), page.indexOf('id="slide-text-2"'));
    const links = [...section.matchAll(/<a href="([^"]*)">([^<]*)<\/a>/g)].map((match) => `${match[2]} -> ${match[1]}`);
    const wanted = ['Example site -> https://example.com/quillet', 'Write to us -> mailto:team@example.com',
      'Go to the third slide -> #3'];
    if (links.join('|') !== wanted.join('|')) throw new Error(`slide 1's links in the transcript: ${links.join(', ')}`);
    if (page.includes('javascript:')) throw new Error('the page holds the javascript: link');
    console.log(`  three link areas on slide 1; transcript: ${links.join(', ')}`);
  }],
  ['the web link', async () => {
    await browser.context.route('https://example.com/**', (route) => route.fulfill({ status: 200, body: 'caught' }));
    await clickOpens('https://example.com/quillet');
  }],
  ['the mailto: link', () => clickOpens('mailto:team@example.com')],
  ['the jump and the javascript: link', async () => {
    const { page, expectSlide, expectAddress } = await openPage(browser, url, references, 'http');
    await expectSlide(1, 'opened');
    const player = await page.evaluate(() => {
      const rect = document.getElementById('player').getBoundingClientRect();
      return { x: rect.x, y: rect.y };
    });
    const jump = find(null);
    await page.mouse.click(player.x + jump.x, player.y + jump.y);
    await expectSlide(3, 'the jump');
    await expectAddress('#3', 'the jump');
    console.log('  the jump showed slide 3');
    await page.keyboard.press('Home');
    await expectSlide(1, 'Home');
    const popups = [];
    const dialogs = [];
    page.on('popup', (popup) => popups.push(popup.url()));
    page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.dismiss(); });
    // Where "Run a script" stands: below the jump, as far as the jump is below the mailto: link.
    const mail = find('mailto:');
    await page.mouse.click(player.x + jump.x, player.y + 2 * jump.y - mail.y);
    await expectSlide(2, 'the javascript: link\'s place');
    await new Promise((resolve) => setTimeout(resolve, 500));
    if (popups.length > 0 || dialogs.length > 0) throw new Error(`popups ${popups.join()}, dialogs ${dialogs.join()}`);
    console.log('  where the javascript: link stood, the click played on to slide 2; no page, no dialog');
    await page.close();
  }],
  ['speaker notes', () => {
    const notesOut = path.join(options.work, 'notes');
    fs.mkdirSync(notesOut, { recursive: true });
    const withNotes = spawnSync(options.quillet, ['convert', options.deck, '-o', notesOut, '--notes', '--quiet'], { encoding: 'utf8' });
    if (withNotes.status !== 0) throw new Error(`quillet convert --notes failed: ${withNotes.stderr}`);
    const page = fs.readFileSync(path.join(notesOut, `${name}.html`), 'utf8');
    const notesOf = (slide) => {
      const start = page.indexOf(`id="slide-text-${slide}"`);
      const section = page.slice(start, page.indexOf('</section>', start));
      const at = section.indexOf('<h3>Notes</h3>');
      return at < 0 ? [] : [...section.slice(at).matchAll(/<p>([^<]*)<\/p>/g)].map((match) => match[1]);
    };
    const found = [1, 2, 3].map(notesOf);
    const wanted = [['Say hello to the room.', 'Mention the mailing list.'], [], ['Third slide notes: questions.']];
    if (JSON.stringify(found) !== JSON.stringify(wanted)) throw new Error(`notes per slide: ${JSON.stringify(found)}`);
    const frames = moviePictures(fs.readFileSync(path.join(notesOut, `${name}.swf`))).length;
    if (frames !== 3) throw new Error(`with --notes the movie has ${frames} pictures, not 3`);
    for (const file of [`${name}.html`, `${name}.swf`]) {
      const bytes = fs.readFileSync(path.join(out, file));
      for (const words of ['hello to the room', 'mailing list', 'questions']) {
        if (bytes.includes(words)) throw new Error(`${file}, made without --notes, holds "${words}"`);
      }
    }
    console.log(`  notes: ${JSON.stringify(found)}; 3 frames; none in the outputs made without --notes`);
  }],
];
await runSteps(steps, {
  started,
  cleanup: async () => {
    await browser.close();
    await server.close();
  },
});
