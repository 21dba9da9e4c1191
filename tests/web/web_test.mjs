// The web page as a user's browser runs it: headless chromium opens the
// built page from a local server, drives it through window.nerelle, keys and
// the mouse, and compares its screenshots with the desktop references.
//
//   node tests/web/web_test.mjs PAGE_DIR REFERENCES_DIR OUT_DIR
//
// One line per case (PASS/FAIL name: figures), then the page's download size,
// its frame time and a summary; exit status 0 only if every case passed. A
// failed comparison writes <view>_actual.png and <view>_diff.png (differences
// times 8) to OUT_DIR; NERELLE_WEB_SAVE_ALL=1 writes every screenshot there.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { Browser } from './cdp.mjs';
import { crop, decodePng, difference, encodePng, psnr } from './png.mjs';
import { startServer } from './server.mjs';

const WIDTH = 640, HEIGHT = 360;
const REPOSITORY = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
// ANGLE on SwiftShader rasterises differently from llvmpipe, and the page
// draws without multisampling, so the screenshots only come close to the
// references; each view has its bound a few dB under what it measured.
// Measured: above 36.5 dB, flight 44.3, hud 40.7; below 29.4 and error_view
// 29.0, where the tracks are three pixels wide as on the desktop but without
// its smoothed edges. With the tracks one pixel wide (WebGL here draws no
// wider lines: ALIASED_LINE_WIDTH_RANGE is [1, 1]) those two measured 23.1
// and 23.0, and another view entirely is about 8 dB.
const MIN_PSNR_PLAIN = 33;   // views without many thin lines
const MIN_PSNR_TRACKS = 27;  // views full of track lines
// Start-up compiles the program and draws a frame in software: seconds, but
// many of them on a loaded machine.
const READY_TIMEOUT_S = 90;
const TIMEOUT_S = Number(process.env.NERELLE_WEB_TIMEOUT_S) || 300;
const SAVE_ALL = ['1', 'yes', 'true'].includes(process.env.NERELLE_WEB_SAVE_ALL ?? '');
const PAGE_FILES = ['/index.html', '/nerelle.js', '/nerelle.wasm', '/nerelle.data'];

const ABOVE = 'nerelle.place(-14, 14, -18, 2.4, 0.6)';
const BELOW = 'nerelle.place(-12, -12.5, -13.5, 1.9, -0.5)';
const FLIGHT = 'data/flights/demo.txt';
// The HUD's panel with a margin, in the frame.
const HUD_REGION = { x: 24, y: 262, width: 288, height: 98 };
const FULL = { x: 0, y: 0, width: WIDTH, height: HEIGHT };

// The golden views: the page set up as the desktop test sets up its render.
const VIEWS = [
  { name: 'above', setUp: `${ABOVE}; nerelle.seek(120)`, hud: false, minPsnr: MIN_PSNR_PLAIN },
  { name: 'below', setUp: `${BELOW}; nerelle.seek(120)`, hud: false, minPsnr: MIN_PSNR_TRACKS },
  { name: 'flight', setUp: `if (!nerelle.flyKeys('${FLIGHT}')) throw new Error('flyKeys refused ${FLIGHT}');` +
                           ' nerelle.seek(10)', hud: false, minPsnr: MIN_PSNR_PLAIN },
  { name: 'error_view', setUp: `nerelle.errorView(true); ${BELOW}; nerelle.seek(120)`, hud: true,
    minPsnr: MIN_PSNR_TRACKS },
  { name: 'hud', setUp: `${ABOVE}; nerelle.seek(120)`, hud: true, region: HUD_REGION, minPsnr: MIN_PSNR_PLAIN },
];

function usage() {
  console.error('usage: node web_test.mjs PAGE_DIR REFERENCES_DIR OUT_DIR');
  process.exit(2);
}

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

function check(condition, message) {
  if (!condition) throw new Error(message);
}

function dB(value) {
  return value === Infinity ? 'identical' : `${value.toFixed(2)} dB`;
}

class Run {
  constructor(page, server, references, out) {
    this.page = page;
    this.server = server;
    this.origin = server.origin;
    this.references = references;
    this.out = out;
  }

  // Opens the page with the URL parameters.
  async navigate(query) {
    await this.page.navigate(`${this.origin}/index.html?${query}`);
  }

  // What nerelle.ready comes to: null once resolved, else the message it
  // rejected with; throws when it does neither in time.
  async startUp() {
    try {
      return await this.page.evaluate(
        'nerelle.ready.then(() => null, (e) => String(e && e.message !== undefined ? e.message : e))',
        READY_TIMEOUT_S * 1000);
    } catch (e) {
      const errors = this.page.consoleErrors();
      throw new Error(`nerelle.ready neither resolved nor rejected (${e.message})` +
                      (errors.length ? `; the page's errors: ${errors.join(' | ')}` : ''));
    }
  }

  // Opens the page and waits for its first frame.
  async open({ query }) {
    await this.navigate(query);
    const failure = await this.startUp();
    if (failure !== null) throw new Error(`the page did not start: ${failure}`);
  }

  async state() {
    return this.page.evaluate('nerelle.state()');
  }

  async afterFrames(n = 2) {
    await this.page.evaluate(`nerelle.afterFrames(${n})`);
  }

  // Back to a plain paused scene: no keys, no error view, no HUD, no bar.
  async reset() {
    await this.page.evaluate('nerelle.pause(true); nerelle.stopKeys(); nerelle.errorView(false); ' +
                             'nerelle.hud(false); nerelle.bar(false)');
  }

  async shoot(view) {
    await this.afterFrames(2);
    const image = decodePng(await this.page.screenshot(FULL));
    if (SAVE_ALL) this.save(`${view}_actual`, image);
    return image;
  }

  async showView({ setUp, hud }) {
    await this.reset();
    await this.page.evaluate(`${setUp}; nerelle.hud(${hud})`);
  }

  reference(name) {
    return decodePng(fs.readFileSync(path.join(this.references, `${name}.png`)));
  }

  save(name, image) {
    fs.mkdirSync(this.out, { recursive: true });
    const file = path.join(this.out, `${name}.png`);
    fs.writeFileSync(file, encodePng(image));
    return file;
  }

  // PSNR against the reference; below the bound, the actual and difference
  // images go to the output directory.
  compare(view, image, minPsnr, referenceName = view) {
    const reference = this.reference(referenceName);
    const value = psnr(image, reference);
    if (value < minPsnr) {
      const actual = this.save(`${view}_actual`, image);
      const diff = this.save(`${view}_diff`, difference(image, reference));
      throw new Error(`PSNR ${dB(value)} against ${referenceName}.png (at least ${dB(minPsnr)} wanted); ` +
                      `look at ${actual} and ${diff}`);
    }
    return `PSNR ${dB(value)}`;
  }

  async pressAll(...keys) {
    for (const key of keys) await this.page.press(key);
    await this.afterFrames(1);
  }

  async expectConsole(pattern, after) {
    check(await this.page.waitForConsole(pattern), `no console line matching ${pattern} after ${after}`);
  }

  // Presses the key and waits for a new console line matching the pattern.
  async expectKeyPrints(key, pattern) {
    const from = this.page.console.length;
    await this.pressAll(key);
    check(await this.page.waitForConsole(pattern, from), `no console line matching ${pattern} after ${key}`);
  }
}

// Each case returns its figures or throws why it failed.
const CASES = [
  ...VIEWS.map((view) => ({
    name: `golden ${view.name}`,
    query: `size=${WIDTH}x${HEIGHT}&paused=1`,
    async run(r) {
      await r.showView(view);
      const frame = await r.shoot(view.name);
      return r.compare(view.name, view.region ? crop(frame, view.region) : frame, view.minPsnr);
    },
  })),
  {
    name: 'golden bound rejects another view',
    query: `size=${WIDTH}x${HEIGHT}&paused=1`,
    async run(r) {
      await r.showView(VIEWS[0]);
      const value = psnr(await r.shoot('above_as_below'), r.reference('below'));
      check(value < MIN_PSNR_TRACKS, `the "above" page view is ${dB(value)} from below.png, within the bound`);
      return `above against below.png: ${dB(value)}`;
    },
  },
  {
    name: 'mouse drag turns the camera',
    query: `size=${WIDTH}x${HEIGHT}&paused=1`,
    async run(r) {
      await r.showView(VIEWS[0]);
      const before = await r.shoot('before_drag');
      await r.page.drag({ x: 320, y: 180 }, { x: 420, y: 190 });
      const value = psnr(await r.shoot('after_drag'), before);
      check(value < MIN_PSNR_PLAIN, `the view after a 100-pixel drag is ${dB(value)} from the one before`);
      return `after against before: ${dB(value)}`;
    },
  },
  {
    name: 'camera keys save, load and play',
    query: `size=${WIDTH}x${HEIGHT}&paused=1`,
    async run(r) {
      await r.reset();
      await r.pressAll('n');
      check((await r.state()).keys === 1, 'n recorded no camera key');
      // Paused, the playback time stands: a key there again is refused; a
      // step on makes room for it.
      await r.pressAll('d', 'n');
      check((await r.state()).keys === 1, 'a second n at the same paused time made a key');
      await r.pressAll('d', '.', 'n');
      check((await r.state()).keys === 2, 'a second n after a step did not make two keys');
      await r.expectKeyPrints('k', 'saved 2 keypoints');
      await r.pressAll('j');
      check((await r.state()).keys === 0, 'j left keys');
      await r.expectKeyPrints('l', 'loaded 2 keypoints');
      check((await r.state()).keys === 2, 'l did not bring back 2 keys');
      await r.pressAll('m');
      check((await r.state()).playing, 'm did not play the keys');
      return 'n n k j l m';
    },
  },
  {
    name: 'playback keys',
    query: `size=${WIDTH}x${HEIGHT}&paused=1`,
    async run(r) {
      await r.reset();
      const start = await r.state();
      await r.pressAll(' ');
      check((await r.state()).paused !== start.paused, 'space did not flip the pause');
      await r.pressAll(']');
      const faster = await r.state();
      check(faster.speedLevel === start.speedLevel + 1, `] went from speed level ${start.speedLevel} to ${faster.speedLevel}`);
      await r.page.evaluate('nerelle.pause(true); nerelle.seek(60)');
      await r.pressAll('Home');
      const home = await r.state();
      check(home.time < 0.5, `Home left the time at ${home.time} s`);
      return `speed level ${start.speedLevel} -> ${faster.speedLevel}, time after Home ${home.time.toFixed(3)} s`;
    },
  },
  {
    name: 'key errors and unavailable commands',
    query: `size=${WIDTH}x${HEIGHT}&paused=1`,
    async run(r) {
      await r.reset();
      await r.pressAll('j');
      await r.expectKeyPrints('m', /^error: /);
      check(!(await r.state()).playing, 'm without keys started playing');
      await r.expectKeyPrints('p', 'not available in the web page');
      await r.expectKeyPrints('v', 'not available in the web page');
      return 'm without keys, p, v';
    },
  },
  {
    name: 'start-up prints the controls',
    fresh: true,
    query: `size=${WIDTH}x${HEIGHT}&paused=1`,
    async run(r) {
      await r.expectConsole(/^controls:$/, 'start-up');
      await r.expectConsole('n: onPushSplinePose()', 'start-up');
      return `${r.page.console.length} console lines`;
    },
  },
  {
    name: 'playback runs',
    fresh: true,
    query: `size=${WIDTH}x${HEIGHT}`,
    async run(r) {
      const first = await r.state();
      await sleep(1000);
      const second = await r.state();
      check(!first.paused && second.time > first.time, `time went from ${first.time} to ${second.time} s`);
      // Frames drawn over about 3 s of playback, counted by the page.
      const { frames, ms } = await r.page.evaluate(`(async () => {
        const f = nerelle.state().frames, t = performance.now();
        await new Promise((resolve) => setTimeout(resolve, 3000));
        return { frames: nerelle.state().frames - f, ms: performance.now() - t };
      })()`);
      check(frames > 0, 'no frame drawn in 3 s');
      r.frameTime = ms / frames;
      r.startMs = await r.page.evaluate('nerelle.startMs');
      return `time ${first.time.toFixed(2)} -> ${second.time.toFixed(2)} s; ${frames} frames in ${ms.toFixed(0)} ms`;
    },
  },
  {
    name: 'paused=1 starts paused',
    fresh: true,
    query: `size=${WIDTH}x${HEIGHT}&paused=1`,
    async run(r) {
      const first = await r.state();
      await r.afterFrames(10);
      const second = await r.state();
      check(first.paused && second.time === first.time, `paused, time went from ${first.time} to ${second.time} s`);
      return `time ${second.time} s after 10 frames`;
    },
  },
  {
    name: 'dataset from a URL',
    fresh: true,
    query: `data=/datasets/spiral_long&size=${WIDTH}x${HEIGHT}&paused=1`,
    async run(r) {
      // It is the bundled dive too: only the requests tell them apart.
      for (const file of ['manifest.txt', 'solution.txt'])
        check(r.server.responseBytes.has(`/datasets/spiral_long/${file}`), `the page did not fetch ${file}`);
      await r.showView(VIEWS[0]);
      return r.compare('above_from_url', await r.shoot('above_from_url'), MIN_PSNR_PLAIN, 'above');
    },
  },
  {
    // A script's drop of the two files, as a user's drop of a directory
    // reaches the page's handler: a dive of 100 s instead of 361 puts a
    // time of 150 s at 51 s of its period; a drop without solution.txt
    // keeps the dive shown.
    name: 'dropped dataset',
    query: `size=${WIDTH}x${HEIGHT}&paused=1`,
    async run(r) {
      const drop = async (files) => r.page.evaluate(`(async () => {
        const files = ${JSON.stringify(files)};
        const transfer = new DataTransfer();
        for (const [name, text] of Object.entries(files)) transfer.items.add(new File([text], name));
        const status = document.getElementById('status'), before = status.textContent;
        window.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, cancelable: true }));
        for (let i = 0; i < 100 && status.textContent === before; ++i)
          await new Promise((resolve) => setTimeout(resolve, 50));
        await nerelle.afterFrames(2);
        return status.textContent;
      })()`);
      const read = (name) => fs.readFileSync(path.join(REPOSITORY, 'data', 'spiral_long', name), 'utf8');
      const manifest = read('manifest.txt').replace(/^time=.*$/m, 'time=100');
      const shown = await drop({ 'manifest.txt': manifest, 'solution.txt': read('solution.txt') });
      check(/dropped/.test(shown), `the page says "${shown}" after the drop`);
      await r.page.evaluate('nerelle.pause(true); nerelle.seek(150)');
      const wrapped = (await r.state()).position;
      check(wrapped < 100, `time 150 s of the dropped 100 s dive shows as ${wrapped} s`);
      const from = r.page.console.length;
      const refused = await drop({ 'manifest.txt': manifest });
      check(/stays/.test(refused), `the page says "${refused}" after a drop without solution.txt`);
      check(await r.page.waitForConsole(/^error: /, from), 'no "error: " line after the drop without solution.txt');
      await r.page.evaluate('nerelle.seek(150)');
      check((await r.state()).position === wrapped, 'the dive shown before is gone');
      return `time 150 s wraps to ${wrapped.toFixed(1)} s; "${refused}"`;
    },
  },
  {
    name: 'missing dataset',
    query: `data=/datasets/none&size=${WIDTH}x${HEIGHT}`,
    async open(r) {
      await r.navigate(this.query);
    },
    async run(r) {
      const outcome = await r.startUp();
      check(outcome !== null, 'ready resolved without the dataset');
      check(outcome.trim() !== '', 'ready rejected without a message');
      await r.expectConsole(/^error: /, 'a missing dataset');
      check((await r.page.evaluate('1 + 1')) === 2, 'the page no longer evaluates');
      return `rejected: ${outcome}`;
    },
  },
];

async function main() {
  const [pageDir, references, out] = process.argv.slice(2);
  if (!pageDir || !references || !out) usage();
  for (const dir of [pageDir, references])
    if (!fs.statSync(dir, { throwIfNoEntry: false })?.isDirectory()) {
      console.error(`error: ${dir} is not a directory`);
      process.exit(2);
    }
  const server = await startServer(pageDir, {
    '/datasets/spiral_long/': path.join(REPOSITORY, 'data', 'spiral_long'),
    '/references/': references,  // only the mock page reads them
  });
  let browser = null;
  const cleanUp = () => browser?.killNow();
  process.on('exit', cleanUp);
  for (const signal of ['SIGINT', 'SIGTERM'])
    process.on(signal, () => {
      console.error(`error: stopped by ${signal}`);
      process.exit(2);
    });
  const watchdog = setTimeout(() => {
    console.error(`error: the browser tests took longer than ${TIMEOUT_S} s; stopped`);
    process.exit(2);
  }, TIMEOUT_S * 1000);

  let passed = 0;
  let run = null;
  try {
    browser = await Browser.launch({ width: WIDTH + 100, height: HEIGHT + 100 });
    run = new Run(browser.page, server, references, out);
    // Cases with the same URL share a page load unless they ask for their
    // own (each load starts the program again, which takes seconds).
    // A page that did not start once will not start for the next case
    // either: those fail at once instead of each waiting for it.
    let opened = null, startFailure = null;
    for (const c of CASES) {
      const reload = c.fresh || c.query !== opened;
      const earlier = reload ? 0 : browser.page.exceptions.length;  // a load forgets them
      let figures;
      try {
        if (reload) {
          opened = null;
          if (c.open) {
            await c.open(run);
          } else {
            check(!startFailure, 'not run: the page did not start (above)');
            await run.open(c).catch((e) => {
              startFailure = e.message;
              throw e;
            });
          }
          opened = c.query;
        }
        figures = await c.run(run);
      } catch (e) {
        opened = null;  // whatever state it left, the next case starts afresh
        figures = e;
      }
      const thrown = browser.page.exceptions.slice(earlier);
      if (thrown.length) figures = new Error(`${figures.message ?? figures}; uncaught: ${thrown.join(' | ')}`);
      if (figures instanceof Error) {
        console.log(`FAIL ${c.name}: ${figures.message}`);
        continue;
      }
      ++passed;
      console.log(`PASS ${c.name}: ${figures}`);
    }
  } catch (e) {
    console.log(`FAIL browser: ${e.message}`);
  } finally {
    clearTimeout(watchdog);
    await browser?.close();
    await server.close();
  }

  const sizes = PAGE_FILES.map((file) => [file, server.responseBytes.get(file)]);
  const missing = sizes.filter(([, bytes]) => bytes === undefined).map(([file]) => file);
  const total = sizes.reduce((sum, [, bytes]) => sum + (bytes ?? 0), 0);
  console.log(`download size: ${total} bytes (${(total / 1048576).toFixed(2)} MiB: ` +
              sizes.filter(([, b]) => b !== undefined).map(([f, b]) => `${f.slice(1)} ${b}`).join(', ') +
              (missing.length ? `; not served: ${missing.join(', ')}` : '') + ')');
  console.log(run?.frameTime !== undefined ? `frame time: ${run.frameTime.toFixed(1)} ms per frame`
                                           : 'frame time: not measured');
  console.log(typeof run?.startMs === 'number'
    ? `start-up: ${run.startMs.toFixed(0)} ms from navigation to the first frame` : 'start-up: not measured');
  console.log(`${passed} of ${CASES.length} cases passed`);
  process.exit(passed === CASES.length ? 0 : 1);
}

main().catch((e) => {
  console.error(`error: ${e.message}`);
  process.exit(2);
});
