// The page as a user meets it, in headless Chromium: it draws the panel exactly as tracker-render
// does at a whole-number scale on black, Space shows the read-out, a hidden page pauses and
// resumes, Escape ends the program with status 0, and start-up failures show their boxes.
//
// Usage: node page_test.cjs SCENARIO --page DIR --render TRACKER_RENDER --modules DIR
//                                    --chromium PATH --work DIR
// SCENARIO: panel-1x, panel-2x, readout, pause, escape, no-canvas, no-wasm, or measure (frame
// rate and main-thread time per frame at 2x; prints figures, fails only if the page fails).
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const http = require('http');
const path = require('path');

const Width = 640, Height = 480;
// The parts of the picture that do not depend on the clock: button grid, lists, bank buttons.
const Panel = { x: 290, y: 0, w: 350, h: 200 };
// The top-left corner, where the read-out appears; the position box under it never moves.
const Corner = { x: 0, y: 0, w: 80, h: 16 };
// The scopes, which move with every frame.
const Scopes = { x: 0, y: 79, w: 284, h: 115 };

function fail(message) {
  throw new Error(message);
}

function parseArguments(argv) {
  const options = { scenario: argv[0] };
  for (let i = 1; i < argv.length; i += 2) {
    const key = argv[i].replace(/^--/, '');
    if (i + 1 >= argv.length) fail(`${argv[i]} needs a value`);
    options[key] = argv[i + 1];
  }
  for (const key of ['page', 'render', 'modules', 'chromium', 'work'])
    if (!options[key]) fail(`--${key} is missing`);
  return options;
}

// Waits until `test` gives a true value and returns it; fails with `what` after `seconds`.
async function waitFor(what, seconds, test) {
  const deadline = Date.now() + seconds * 1000;
  let last;
  for (;;) {
    last = await test();
    if (last) return last;
    if (Date.now() > deadline) fail(`timed out after ${seconds} s waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
}

// The page's folder over HTTP on 127.0.0.1, at a port the system picks.
async function serve(folder) {
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
  const server = http.createServer((request, response) => {
    const name = path.normalize(decodeURIComponent(request.url.split('?')[0]));
    const file = path.join(folder, name);
    if (!file.startsWith(folder + path.sep)) {
      response.writeHead(403);
      response.end();
      return;
    }
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404);
        response.end();
        return;
      }
      response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
      response.end(data);
    });
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', resolve);
  });
  return server;
}

// The reference frame: tracker-render's words 0xAARRGGBB at clock 0.
function referenceFrame(options) {
  const folder = path.join(options.work, 'reference');
  fs.mkdirSync(folder, { recursive: true });
  childProcess.execFileSync(options.render, ['--out', folder, '--raw', '0'], { stdio: 'inherit' });
  const raw = fs.readFileSync(path.join(folder, 'frame-0000.raw'));
  if (raw.length !== Width * Height * 4) fail(`the reference frame has ${raw.length} bytes`);
  return raw;
}

// A screenshot of the viewport in device pixels as RGBA bytes (ImageMagick decodes the PNG).
async function screenshot(page, name, options) {
  const png = Buffer.from(await page.screenshot({ type: 'png' }));
  fs.writeFileSync(path.join(options.work, name + '.png'), png);
  const width = png.readUInt32BE(16), height = png.readUInt32BE(20);  // from the PNG's header
  const rgba = childProcess.execFileSync('convert', ['png:-', '-depth', '8', 'rgba:-'], {
    input: png, maxBuffer: 256 << 20 });
  if (rgba.length !== width * height * 4) fail(`the screenshot ${name} does not decode to ${width} x ${height}`);
  return { rgba, width, height };
}

// The viewport's size in device pixels, as the page sees it.
function deviceViewport(page) {
  return page.evaluate(() => ({ width: Math.round(innerWidth * devicePixelRatio),
                                height: Math.round(innerHeight * devicePixelRatio) }));
}

// Where the frame lies in a viewport of device pixels: the largest whole-number scale that fits,
// centred.
function placement(viewport) {
  const scale = Math.floor(Math.min(viewport.width / Width, viewport.height / Height));
  return {
    scale,
    left: Math.floor((viewport.width - Width * scale) / 2),
    top: Math.floor((viewport.height - Height * scale) / 2),
  };
}

// Differences between a region of the frame as the screenshot shows it and the reference's
// colours (top byte ignored, as the display does); the first one described.
function compareRegion(shot, reference, region, place) {
  let count = 0, first = null;
  for (let y = region.y; y < region.y + region.h; ++y) {
    for (let x = region.x; x < region.x + region.w; ++x) {
      const word = reference.readUInt32LE((y * Width + x) * 4);
      const want = [(word >>> 16) & 255, (word >>> 8) & 255, word & 255];
      for (let dy = 0; dy < place.scale; ++dy) {
        for (let dx = 0; dx < place.scale; ++dx) {
          const sx = place.left + x * place.scale + dx, sy = place.top + y * place.scale + dy;
          const at = (sy * shot.width + sx) * 4;
          const got = [shot.rgba[at], shot.rgba[at + 1], shot.rgba[at + 2]];
          if (got[0] !== want[0] || got[1] !== want[1] || got[2] !== want[2]) {
            ++count;
            if (!first) first = `frame (${x}, ${y}) at screen (${sx}, ${sy}): got rgb(${got}), expected rgb(${want})`;
          }
        }
      }
    }
  }
  return { count, first };
}

// Screen pixels outside the frame's place that are not black.
function borderPixels(shot, place) {
  let count = 0;
  const right = place.left + Width * place.scale, bottom = place.top + Height * place.scale;
  for (let y = 0; y < shot.height; ++y) {
    for (let x = 0; x < shot.width; ++x) {
      if (x >= place.left && x < right && y >= place.top && y < bottom) continue;
      const at = (y * shot.width + x) * 4;
      if (shot.rgba[at] || shot.rgba[at + 1] || shot.rgba[at + 2]) ++count;
    }
  }
  return count;
}

// A region of the canvas's own pixels, read in the page (works while the page is hidden too).
function canvasRegion(page, region) {
  return page.evaluate((r) => {
    const canvas = document.getElementById('screen');
    return Array.from(canvas.getContext('2d').getImageData(r.x, r.y, r.w, r.h).data).join(',');
  }, region);
}

// What a scenario needs the machine to have, but it may lack: the test reports itself skipped.
class Unavailable extends Error {}
const SkipStatus = 77;

// An X server of its own for a browser with windows; its display number is what it writes on the
// descriptor -displayfd names. Unavailable when there is no Xvfb or it does not start.
async function startXvfb(options) {
  let server;
  try {
    server = childProcess.spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
                                { stdio: ['ignore', 'ignore', 'pipe', 'pipe'] });
  } catch (error) {
    throw new Unavailable(`no X server to take the focus away with: ${error.message}`);
  }
  let said = '', errors = '';
  server.stderr.on('data', (data) => { errors += data; });
  server.stdio[3].on('data', (data) => { said += data; });
  const started = await new Promise((resolve) => {
    server.once('error', (error) => resolve(error.message));
    server.once('exit', (code) => resolve(`Xvfb ended with status ${code}: ${errors.trim()}`));
    const deadline = Date.now() + 20000;
    const check = () => {
      if (/\n/.test(said)) resolve(true);
      else if (Date.now() > deadline) resolve('Xvfb gave no display number within 20 s');
      else setTimeout(check, 50);
    };
    check();
  });
  if (started !== true) {
    server.kill();
    throw new Unavailable(`no X server to take the focus away with: ${started}`);
  }
  options.cleanups.push(() => server.kill());
  return `:${said.trim()}`;
}

// Headless unless `display` is given: then the browser's windows are X windows there, which
// lose the focus to each other as a desktop's do (headless ones all keep it).
function sleep(milliseconds) {
  return new Promise((resolve) => setTimeout(resolve, milliseconds));
}

// Whether the scopes change over a short while: the program is drawing.
async function scopesMoving(page) {
  const before = await canvasRegion(page, Scopes);
  await sleep(300);
  return before !== await canvasRegion(page, Scopes);
}

async function launch(options, viewport, display) {
  const puppeteer = require(require.resolve('puppeteer-core', { paths: [options.modules] }));
  const profile = fs.mkdtempSync(path.join(options.work, 'profile-'));
  const browser = await puppeteer.launch({
    executablePath: options.chromium,
    headless: !display,
    // Root may run no sandbox; the rest keeps the browser from talking to the network or
    // doing anything beside the page.
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run',
           `--user-data-dir=${profile}`].concat(display ? ['--ozone-platform=x11'] : []),
    defaultViewport: viewport,
    env: display ? { ...process.env, DISPLAY: display } : process.env,
  });
  return browser;
}

async function openPage(browser, options, url, prepare) {
  const page = await browser.newPage();
  const log = [];
  page.on('console', (message) => log.push(message.text()));
  page.on('pageerror', (error) => log.push(`page error: ${error.message}`));
  if (prepare) await page.evaluateOnNewDocument(prepare);
  await page.goto(url);
  return { page, log };
}

// Waits until the panel on the page is the panel tracker-render draws, and returns the shot.
async function waitForPanel(page, reference, options) {
  const place = placement(await deviceViewport(page));
  let result;
  await waitFor('the panel to match tracker-render\'s', 30, async () => {
    const shot = await screenshot(page, 'panel', options);
    result = { shot, diff: compareRegion(shot, reference, Panel, place) };
    return result.diff.count === 0;
  }).catch((error) => {
    fail(`${error.message}: ${result ? result.diff.count : '?'} pixels differ, first ${result && result.diff.first}`);
  });
  return result.shot;
}

async function exitStatus(page) {
  return page.evaluate(() => window.trackerExitStatus);
}

// The box on the page: its caption and text, or null when none is shown.
function shownBox(page) {
  return page.evaluate(() => {
    const layer = document.getElementById('box-layer');
    if (layer.hidden) return null;
    return { caption: document.getElementById('box-caption').textContent,
             text: document.getElementById('box-text').textContent };
  });
}

const scenarios = {
  async 'panel-1x'(context) {
    await panelAt(context, { width: 640, height: 480 });
  },

  // 1400 x 1000 holds the frame twice over with 60 and 20 pixels of black either side.
  async 'panel-2x'(context) {
    await panelAt(context, { width: 1400, height: 1000 });
  },

  async readout({ page, reference, options }) {
    const place = placement(await deviceViewport(page));
    await waitForPanel(page, reference, options);
    // Registered after the host's listener, so it sees what the host did with each key.
    await page.evaluate(() => {
      window.keysSeen = [];
      window.addEventListener('keydown', (event) => window.keysSeen.push([event.code, event.defaultPrevented]));
    });
    const before = compareRegion(await screenshot(page, 'before-space', options), reference, Corner, place);
    if (before.count) fail(`the corner differs from tracker-render's before Space: ${before.first}`);
    await page.keyboard.press('Space');
    await waitFor('the read-out in the top-left corner', 10, async () =>
      compareRegion(await screenshot(page, 'after-space', options), reference, Corner, place).count > 0);
    const shot = await screenshot(page, 'read-out', options);
    const panel = compareRegion(shot, reference, Panel, place);
    if (panel.count) fail(`the panel changed with the read-out on: ${panel.first}`);
    const scrolled = await page.evaluate(() => [window.scrollX, window.scrollY]);
    if (scrolled[0] || scrolled[1]) fail(`Space scrolled the page to ${scrolled}`);
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('Space');
    await waitFor('the read-out to go again', 10, async () =>
      compareRegion(await screenshot(page, 'space-again', options), reference, Corner, place).count === 0);
    // Their default actions would scroll the page or press whatever control has the focus.
    const seen = await page.evaluate(() => window.keysSeen);
    const wanted = ['Space', 'ArrowDown', 'Space'];
    if (seen.map((key) => key[0]).join() !== wanted.join()) fail(`the page saw the keys ${JSON.stringify(seen)}`);
    const kept = seen.filter((key) => !key[1]).map((key) => key[0]);
    if (kept.length) fail(`the browser's default action was not prevented for ${kept.join(', ')}`);
  },

  async pause({ browser, page, reference, options }) {
    await waitForPanel(page, reference, options);
    await waitFor('the scopes to move', 10, async () => {
      const a = await canvasRegion(page, Scopes);
      await new Promise((resolve) => setTimeout(resolve, 100));
      return a !== await canvasRegion(page, Scopes);
    });
    // Another tab in front hides this one.
    const other = await browser.newPage();
    await other.bringToFront();
    await waitFor('the page to be hidden', 10, () => page.evaluate(() => document.visibilityState === 'hidden'));
    // Not moving is only seen over time: a slower machine makes it only easier to see.
    const first = await canvasRegion(page, Scopes);
    await new Promise((resolve) => setTimeout(resolve, 700));
    if (first !== await canvasRegion(page, Scopes)) fail('the scopes moved while the page was hidden');
    await page.bringToFront();
    await waitFor('the scopes to move again', 10, async () => first !== await canvasRegion(page, Scopes));
    if ((await exitStatus(page)) !== undefined) fail('the program ended while paused');
  },

  async escape({ page, reference, options }) {
    await waitForPanel(page, reference, options);
    if ((await exitStatus(page)) !== undefined) fail('trackerExitStatus is set while the program runs');
    // Escape on a box in the page dismisses the box and nothing else.
    await page.evaluate(() => { TrackerPage.messageBox('Note', 'A box over the running demo\n', 0); });
    await waitFor('the box over the demo', 10, () => shownBox(page));
    await page.keyboard.press('Escape');
    await waitFor('Escape to dismiss the box', 10, async () => !(await shownBox(page)));
    const after = await waitFor('the demo to draw on, or end', 10, async () =>
      ((await exitStatus(page)) !== undefined ? 'ended' : (await scopesMoving(page)) && 'drawing'));
    if (after !== 'drawing') fail('the Escape that dismissed a box also ended the program');
    await page.keyboard.press('Escape');
    const status = await waitFor('trackerExitStatus after Escape', 10, async () => {
      const value = await exitStatus(page);
      return value === undefined ? null : { value };
    });
    if (status.value !== 0) fail(`trackerExitStatus is ${JSON.stringify(status.value)} after Escape, expected 0`);
    const ended = await page.evaluate(() => ({
      note: document.getElementById('note').innerText,
      canvas: getComputedStyle(document.getElementById('screen')).visibility,
    }));
    if (!/ended/.test(ended.note) || !/start it again/i.test(ended.note))
      fail(`the page does not say the demo ended and how to start it again: "${ended.note}"`);
    if (ended.canvas !== 'hidden') fail('the canvas still shows after the end');
    // With no frame anywhere, every lit pixel is the page's own text.
    const lit = borderPixels(await screenshot(page, 'ended', options), { scale: 0, left: 0, top: 0 });
    if (lit === 0) fail('the ended page shows nothing');
  },

  // No 2D canvas is no display: window creation fails, as the Linux program's does without one.
  // (Its box is dismissed with Enter.)
  async 'no-canvas'({ page, log }) {
    await expectBoxes(page, log, [{ caption: 'ERROR', text: 'WIN_Init' }], 0, 'Enter');
  },

  async 'no-wasm'({ page, log }) {
    await expectBoxes(page, log, [{ caption: 'Error', text: 'The demo could not start: this browser does not run WebAssembly.' }], 1, 'click');
  },

  // Windows whose fit has a fraction of one half or more: the whole frame, at the scale below.
  async desktop(context) {
    for (const viewport of [{ width: 1000, height: 750 }, { width: 1279, height: 959 }])
      await frameAt(context, viewport);
  },

  // The program pauses while another window has the focus, though its page stays in view, and
  // carries on when the focus comes back. The other window is a second browser window brought to
  // the front on the same X display.
  async focus({ browser, page }) {
    await page.bringToFront();
    await waitFor('the page to have the focus', 10, () => page.evaluate(() => document.hasFocus()));
    await waitFor('the scopes to move', 20, () => scopesMoving(page));
    const session = await browser.target().createCDPSession();
    const { targetId } = await session.send('Target.createTarget', { url: 'about:blank', newWindow: true });
    await session.send('Target.activateTarget', { targetId });
    await waitFor('the other window to take the focus', 10, () => page.evaluate(() => !document.hasFocus()));
    if ((await page.evaluate(() => document.visibilityState)) !== 'visible')
      fail('the page was hidden as well as unfocused, so this cannot tell the two apart');
    await waitFor('the scopes to stop', 10, async () => !(await scopesMoving(page)));
    // Not moving is only seen over time: a slower machine makes it only easier to see.
    const still = await canvasRegion(page, Scopes);
    await sleep(700);
    if (still !== await canvasRegion(page, Scopes)) fail('the scopes moved while another window had the focus');
    await page.bringToFront();
    await waitFor('the page to have the focus again', 10, () => page.evaluate(() => document.hasFocus()));
    await waitFor('the scopes to move again', 10, async () => still !== await canvasRegion(page, Scopes));
    if ((await exitStatus(page)) !== undefined) fail('the program ended while paused');
  },

  async measure({ page, reference, options }) {
    await waitForPanel(page, reference, options);
    const session = await page.createCDPSession();
    await session.send('Performance.enable');
    const metrics = async () => Object.fromEntries(
      (await session.send('Performance.getMetrics')).metrics.map((m) => [m.name, m.value]));
    const count = () => page.evaluate(() => [window.trackerPresents, window.trackerBrowserFrames]);
    const seconds = Number(options.seconds || 10);
    const start = { metrics: await metrics(), presents: await count(), time: Date.now() };
    await new Promise((resolve) => setTimeout(resolve, seconds * 1000));
    const end = { metrics: await metrics(), presents: await count(), time: Date.now() };
    const frames = end.presents[0] - start.presents[0];
    const browserFrames = end.presents[1] - start.presents[1];
    const elapsed = (end.time - start.time) / 1000;
    if (!(frames > 0)) fail('no frames were presented');
    const per = (name) => ((end.metrics[name] - start.metrics[name]) * 1000 / frames).toFixed(2);
    const place = placement(await deviceViewport(page));
    console.log(`${place.scale}x scale, viewport ${page.viewport().width} x ${page.viewport().height}: ` +
                `${(frames / elapsed).toFixed(1)} frames/s presented over ${elapsed.toFixed(1)} s, ` +
                `the browser's animation frames ${(browserFrames / elapsed).toFixed(1)}/s`);
    console.log(`per frame: main thread busy ${per('TaskDuration')} ms, of which script ${per('ScriptDuration')} ms`);
  },
};

// The frame in `viewport`: its panel exactly tracker-render's at the scale the rule gives, the
// whole frame inside the viewport, black around it, and nothing to scroll.
async function frameAt({ page, reference, options }, viewport) {
  await page.setViewport(viewport);
  const where = `at ${viewport.width} x ${viewport.height}`;
  const place = placement(await deviceViewport(page));
  const shot = await waitForPanel(page, reference, options).catch((error) => fail(`${where}: ${error.message}`));
  const border = borderPixels(shot, place);
  if (border) fail(`${where}: ${border} pixels around the ${place.scale}x frame are not black`);
  const page_ = await page.evaluate(() => {
    const box = document.getElementById('screen').getBoundingClientRect();
    return { box: [box.left, box.top, box.right, box.bottom], view: [innerWidth, innerHeight],
             scroll: [document.documentElement.scrollWidth, document.documentElement.scrollHeight] };
  });
  const [left, top, right, bottom] = page_.box;
  if (left < 0 || top < 0 || right > page_.view[0] || bottom > page_.view[1])
    fail(`${where}: the frame reaches beyond the viewport: ${page_.box}`);
  if (page_.scroll[0] > page_.view[0] || page_.scroll[1] > page_.view[1])
    fail(`${where}: the page scrolls: ${page_.scroll}`);
}

async function panelAt(context, viewport) {
  await frameAt(context, viewport);
  const { page } = context;
  const focused = await page.evaluate(() => document.activeElement && document.activeElement.id);
  if (focused !== 'screen') fail(`the canvas does not have the focus (${focused} has)`);
  await page.evaluate(() => document.getElementById('screen').dispatchEvent(new PointerEvent('pointermove', { bubbles: true })));
  let cursor;
  await waitFor('the cursor over the canvas to be hidden', 10, async () => {
    cursor = await page.evaluate(() => getComputedStyle(document.getElementById('screen')).cursor);
    return cursor === 'none';
  }).catch(() => fail(`the cursor over the canvas is "${cursor}", not hidden`));
}

// Each box in turn: shown with its caption and text, logged to the console, dismissed with
// `dismiss` (a key, or 'click' for OK); then the program ends with `status`.
async function expectBoxes(page, log, boxes, status, dismiss) {
  for (const want of boxes) {
    const box = await waitFor(`the box "${want.caption}: ${want.text}"`, 20, () => shownBox(page));
    if (box.caption !== want.caption || box.text !== want.text)
      fail(`the box says "${box.caption}: ${box.text}", expected "${want.caption}: ${want.text}"`);
    if (!log.includes(`${want.caption}: ${want.text}`))
      fail(`the console lacks "${want.caption}: ${want.text}": ${JSON.stringify(log)}`);
    if ((await exitStatus(page)) !== undefined) fail('the program ended before its box was dismissed');
    if (dismiss === 'click') {
      await page.click('#box-ok');
    } else {
      // The box takes its keys wherever the focus is, not only as OK's own keys while it has it.
      await page.click('#box-text');
      await page.keyboard.press(dismiss);
    }
    await waitFor('the box to go', 10, async () => {
      const now = await shownBox(page);
      return !now || now.text !== want.text || now.caption !== want.caption;
    });
  }
  const value = await waitFor('trackerExitStatus', 10, async () => {
    const v = await exitStatus(page);
    return v === undefined ? null : { v };
  });
  if (value.v !== status) fail(`trackerExitStatus is ${value.v}, expected ${status}`);
  if (await shownBox(page)) fail('another box followed');
}

const Preparations = {
  // Counts the frames presented, and the browser's own animation frames beside them.
  measure: () => {
    window.trackerPresents = 0;
    window.trackerBrowserFrames = 0;
    const tick = () => {
      ++window.trackerBrowserFrames;
      requestAnimationFrame(tick);
    };
    requestAnimationFrame(tick);
    const put = CanvasRenderingContext2D.prototype.putImageData;
    CanvasRenderingContext2D.prototype.putImageData = function() {
      ++window.trackerPresents;
      return put.apply(this, arguments);
    };
  },
  'no-canvas': () => {
    HTMLCanvasElement.prototype.getContext = function() { return null; };
  },
  'no-wasm': () => {
    delete window.WebAssembly;
  },
};

// What a scenario's browser needs beyond the headless one at 640 x 480.
const Setups = {
  measure: { viewport: { width: 1400, height: 1000 } },
  focus: { windows: true },
};

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const scenario = scenarios[options.scenario];
  if (!scenario) fail(`unknown scenario "${options.scenario}"; one of ${Object.keys(scenarios).join(', ')}`);
  options.page = path.resolve(options.page);
  options.cleanups = [];
  fs.rmSync(options.work, { recursive: true, force: true });
  fs.mkdirSync(options.work, { recursive: true });
  for (const file of ['tracker-screen.html', 'tracker-screen.js', 'tracker-screen.wasm'])
    if (!fs.existsSync(path.join(options.page, file))) fail(`no ${file} in ${options.page}: build the web preset first`);
  if (!fs.existsSync(options.chromium)) fail(`no Chromium at ${options.chromium}`);

  const reference = referenceFrame(options);
  const setup = Setups[options.scenario] || {};
  const server = await serve(options.page);
  let browser;
  let context;
  try {
    const display = setup.windows ? await startXvfb(options) : null;
    browser = await launch(options, setup.viewport || { width: 640, height: 480 }, display);
    const url = `http://127.0.0.1:${server.address().port}/tracker-screen.html`;
    const opened = await openPage(browser, options, url, Preparations[options.scenario]);
    context = { browser, page: opened.page, log: opened.log, reference, options };
    await scenario(context);
    const errors = opened.log.filter((line) => /^page error/.test(line));
    if (errors.length && !options.scenario.startsWith('no-')) fail(`the page reported errors: ${errors.join('; ')}`);
    console.log(`PASS: ${options.scenario}`);
  } catch (error) {
    if (context) console.error(`console of the page:\n  ${context.log.join('\n  ')}`);
    throw error;
  } finally {
    if (browser) await browser.close();
    server.close();
    for (const cleanup of options.cleanups) cleanup();
  }
}

main().catch((error) => {
  if (error instanceof Unavailable) {
    console.log(`SKIP: ${error.message}`);
    process.exitCode = SkipStatus;
    return;
  }
  console.error(`FAIL: ${error.message}`);
  process.exitCode = 1;
});
