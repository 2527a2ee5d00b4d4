// The page as a user meets it, in Chromium: it draws the panel exactly as tracker-render does, at
// the largest whole number of device pixels a pixel that fits, wholly in view and on black, on
// desktops, phones and tablets and in full screen; Space or a tap shows the read-out; a hidden or
// unfocused page pauses and resumes; Escape ends the program with status 0 (but only leaves full
// screen); start-up failures show their boxes.
//
// Usage: node page_test.cjs SCENARIO --page DIR --render TRACKER_RENDER --modules DIR
//                                    --chromium PATH --work DIR
// SCENARIO: desktop, ratios, phone, fullscreen, pause, focus, escape, no-canvas, no-wasm, app,
// lighthouse (skipped without Lighthouse), or measure (frame rate and main-thread time per frame at 2x; prints figures, fails only if the
// page fails). A scenario the machine cannot run (focus, without Xvfb) exits with status 77.
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const http = require('http');
const path = require('path');
const zlib = require('zlib');

const Width = 640, Height = 480;
// A phone held upright, as Chromium emulates one.
const Phone = { width: 390, height: 844, mobile: true };
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

// The page's folder over HTTP on 127.0.0.1, at a port the system picks. A folder's address
// gives its index.html, as static servers do. What the server answers can change while it runs:
// `root` (the folder), `missing` (names it answers 404 for) and `down` (503 for everything).
async function serve(folder) {
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                  '.webmanifest': 'application/manifest+json', '.png': 'image/png' };
  const site = { root: folder, missing: new Set(), down: false, requests: [] };
  const server = http.createServer((request, response) => {
    let name = path.normalize(decodeURIComponent(request.url.split('?')[0]));
    if (name.endsWith(path.sep)) name += 'index.html';
    const file = path.join(site.root, name);
    site.requests.push(request.url);
    if (!file.startsWith(site.root + path.sep) || site.down || site.missing.has(path.basename(file))) {
      response.writeHead(site.down ? 503 : 404);
      response.end();
      return;
    }
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404);
        response.end();
        return;
      }
      const headers = { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' };
      // Compressed where the browser takes it, as the static servers that host pages do.
      if (/\bgzip\b/.test(request.headers['accept-encoding'] || '') && path.extname(file) !== '.png') {
        data = zlib.gzipSync(data);
        headers['Content-Encoding'] = 'gzip';
      }
      response.writeHead(200, headers);
      response.end(data);
    });
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', resolve);
  });
  server.site = site;
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

// The pixels of a PNG of 8-bit RGB or RGBA, not interlaced (as Chromium's screenshots are), as
// RGBA bytes.
function decodePng(png) {
  if (png.readUInt32BE(0) !== 0x89504E47) fail('a screenshot is not a PNG');
  const width = png.readUInt32BE(16), height = png.readUInt32BE(20);
  const depth = png[24], type = png[25], interlace = png[28];
  if (depth !== 8 || (type !== 2 && type !== 6) || interlace)
    fail(`a screenshot PNG of depth ${depth}, colour type ${type}, interlace ${interlace}: not decoded here`);
  const parts = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at), kind = png.toString('latin1', at + 4, at + 8);
    if (kind === 'IDAT') parts.push(png.subarray(at + 8, at + 8 + length));
    at += 12 + length;
  }
  const data = zlib.inflateSync(Buffer.concat(parts));
  const channels = type === 6 ? 4 : 3, stride = width * channels;
  if (data.length !== height * (stride + 1)) fail('a screenshot PNG has the wrong amount of data');
  const rows = Buffer.alloc(height * stride);
  const zero = Buffer.alloc(stride);
  for (let y = 0; y < height; ++y) {
    const filter = data[y * (stride + 1)];
    const line = data.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const out = rows.subarray(y * stride, (y + 1) * stride), up = y ? rows.subarray((y - 1) * stride, y * stride) : zero;
    if (filter === 0) {
      line.copy(out);
    } else if (filter === 1) {
      for (let i = 0; i < stride; ++i) out[i] = line[i] + (i >= channels ? out[i - channels] : 0);
    } else if (filter === 2) {
      for (let i = 0; i < stride; ++i) out[i] = line[i] + up[i];
    } else if (filter === 3) {
      for (let i = 0; i < stride; ++i) out[i] = line[i] + (((i >= channels ? out[i - channels] : 0) + up[i]) >> 1);
    } else if (filter === 4) {
      for (let i = 0; i < stride; ++i) {
        const a = i >= channels ? out[i - channels] : 0, b = up[i], c = i >= channels ? up[i - channels] : 0;
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        out[i] = line[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
      }
    } else {
      fail(`a screenshot PNG row has filter ${filter}`);
    }
  }
  if (channels === 4) return { rgba: rows, width, height };
  const rgba = Buffer.alloc(width * height * 4, 255);
  for (let i = 0, j = 0; i < rows.length; i += 3, j += 4) {
    rgba[j] = rows[i];
    rgba[j + 1] = rows[i + 1];
    rgba[j + 2] = rows[i + 2];
  }
  return { rgba, width, height };
}

// A screenshot of the viewport in device pixels, as RGBA bytes.
async function screenshot(page, name, options) {
  const png = Buffer.from(await page.screenshot({ type: 'png', optimizeForSpeed: true }));
  fs.writeFileSync(path.join(options.work, name + '.png'), png);
  return decodePng(png);
}

// What the user sees of the page, in device pixels.
function deviceViewport(page) {
  return page.evaluate(() => {
    const view = window.visualViewport || { width: innerWidth, height: innerHeight };
    return { width: Math.floor(view.width * devicePixelRatio + 0.001), height: Math.floor(view.height * devicePixelRatio + 0.001) };
  });
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

// Screen pixels outside the frame's place, and outside `spared` ({ left, top, right, bottom } in
// device pixels, the full-screen control's box), that are not black.
function borderPixels(shot, place, spared) {
  let count = 0;
  const right = place.left + Width * place.scale, bottom = place.top + Height * place.scale;
  const spare = spared || { left: 0, top: 0, right: 0, bottom: 0 };
  for (let y = 0; y < shot.height; ++y) {
    for (let x = 0; x < shot.width; ++x) {
      if (x >= place.left && x < right && y >= place.top && y < bottom) continue;
      if (x >= spare.left && x < spare.right && y >= spare.top && y < spare.bottom) continue;
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
    server = childProcess.spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp', '-noreset'],
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

// `setup` as Setups describes it; headless unless it asks for windows, which are X windows
// on `display` that lose the focus to each other as a desktop's do (headless ones all keep it).
async function launch(options, setup, display) {
  const puppeteer = require(require.resolve('puppeteer-core', { paths: [options.modules] }));
  const profile = fs.mkdtempSync(path.join(options.work, 'profile-'));
  const browser = await puppeteer.launch({
    executablePath: options.chromium,
    headless: !display,
    // Root may run no sandbox; the rest keeps the browser from talking to the network or
    // doing anything beside the page.
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run',
           `--user-data-dir=${profile}`].concat(
             display ? ['--ozone-platform=x11'] : [],
             setup.ratio ? [`--force-device-scale-factor=${setup.ratio}`] : [],
             setup.args || []),
    defaultViewport: null,  // setView's, or the window's own
    env: display ? { ...process.env, DISPLAY: display } : process.env,
  });
  return browser;
}

// The viewport in CSS pixels, a phone's (`mobile`: touch, and the page's viewport tag applies)
// or a desktop window's, at the browser's own device pixel ratio. (DevTools' emulated ratios
// resample the page's whole output, so no page is pixel-exact under them: the ratio is the
// browser's, from --force-device-scale-factor.)
async function setView(page, view) {
  // Overrides last as long as their session: one per page, kept open.
  if (!Views.has(page)) Views.set(page, await page.createCDPSession());
  const session = Views.get(page);
  const upright = view.height >= view.width;
  await session.send('Emulation.setDeviceMetricsOverride', {
    width: view.width, height: view.height, deviceScaleFactor: 0, mobile: !!view.mobile,
    screenOrientation: upright ? { type: 'portraitPrimary', angle: 0 } : { type: 'landscapePrimary', angle: 90 },
  });
  await session.send('Emulation.setTouchEmulationEnabled', view.mobile ? { enabled: true, maxTouchPoints: 5 } : { enabled: false });
}
const Views = new WeakMap();

// Waits until the page sees the view it was given: what it lays the frame out in.
async function waitForView(page, view) {
  let seen;
  await waitFor(`a view of ${view.width} x ${view.height}`, 10, async () => {
    seen = await page.evaluate(() => [window.visualViewport.width, window.visualViewport.height]);
    return seen[0] === view.width && seen[1] === view.height;
  }).catch((error) => fail(`${error.message}: the page sees ${seen.join(' x ')}`));
}

// Opens the page in a new browser made as `setup` says (closing the context's last one), for
// the scenario, which may start several in turn.
async function start(context, setup) {
  const { options } = context;
  if (context.browser) await context.browser.close();
  context.browser = null;
  const display = setup.windows ? await startXvfb(options) : null;
  context.browser = await launch(options, setup, display);
  const page = await context.browser.newPage();
  page.on('console', (message) => context.log.push(message.text()));
  page.on('pageerror', (error) => context.log.push(`page error: ${error.message}`));
  if (setup.view !== null) await setView(page, setup.view || { width: 640, height: 480 });
  const prepare = Preparations[options.scenario];
  if (prepare) await page.evaluateOnNewDocument(prepare);
  await page.goto(context.url);
  if (setup.view) await waitForView(page, setup.view);
  context.page = page;
  context.ratio = setup.ratio || 1;
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

// Every place `from` occurs in `data`, replaced by `to`; and how many there were.
function replaced(data, from, to) {
  const parts = [];
  let at = 0, count = 0;
  for (let found; (found = data.indexOf(from, at)) >= 0; at = found + from.length, ++count)
    parts.push(data.subarray(at, found), to);
  parts.push(data.subarray(at));
  return { data: Buffer.concat(parts), count };
}

// The version the build gave its files, and the cache its service worker fills.
function builtRelease(folder) {
  const worker = fs.readFileSync(path.join(folder, 'tracker-screen-sw.js'), 'latin1');
  const version = /const Version = '([^']+)'/.exec(worker);
  const digest = /const Cache = Prefix \+ Version \+ '-([0-9a-f]+)'/.exec(worker);
  if (!version || !digest) fail('tracker-screen-sw.js names no version or cache');
  return { version: version[1], cache: `tracker-screen-${version[1]}-${digest[1]}` };
}

// The page's files as the web zip holds them (the page as index.html) in work/NAME; with
// `version`, of the same length as the build's, a later release: its version in every file. With
// `from`, the files whose names match it come from that folder instead (a release half updated).
function release(options, name, version, from) {
  const folder = path.join(options.work, name);
  fs.mkdirSync(folder, { recursive: true });
  const built = builtRelease(options.page).version;
  for (const file of fs.readdirSync(options.page).filter((f) => /^tracker-screen(-.*)?\.(html|js|wasm|webmanifest|png)$/.test(f))) {
    let data = fs.readFileSync(path.join(options.page, file));
    if (version) {
      const change = replaced(data, Buffer.from(built), Buffer.from(version));
      if (/\.(html|js)$/.test(file) ? change.count < 1 : /\.wasm$/.test(file) && change.count !== 1)
        fail(`${file} names the version ${built} ${change.count} times`);
      data = change.data;
    }
    const target = file === 'tracker-screen.html' ? 'index.html' : file;
    if (from && from.names.test(target)) data = fs.readFileSync(path.join(from.folder, target));
    fs.writeFileSync(path.join(folder, target), data);
  }
  return folder;
}

// The manifest as a browser reads it: the app's name, a display without the browser's frame,
// landscape on black, addresses relative to its folder (the zip works from any), and PNG icons
// of the sizes it says, a maskable one among them.
function checkManifest(folder) {
  let manifest;
  try {
    manifest = JSON.parse(fs.readFileSync(path.join(folder, 'tracker-screen.webmanifest'), 'utf8'));
  } catch (error) {
    fail(`the manifest does not parse: ${error.message}`);
  }
  const want = { name: 'Tracker Screen', display: 'fullscreen', orientation: 'landscape',
                 background_color: '#000000', theme_color: '#000000' };
  for (const [key, value] of Object.entries(want))
    if (manifest[key] !== value) fail(`the manifest's ${key} is ${JSON.stringify(manifest[key])}, not "${value}"`);
  if (!manifest.short_name || manifest.short_name.length > 12 || !manifest.description)
    fail(`the manifest lacks a short name of at most 12 characters or a description`);
  if (!(manifest.display_override || []).includes('standalone')) fail('the manifest has no standalone fallback');
  for (const key of ['start_url', 'scope'])
    if (typeof manifest[key] !== 'string' || /^\/|:/.test(manifest[key])) fail(`the manifest's ${key} is not relative`);
  const sizes = [];
  for (const icon of manifest.icons || []) {
    const png = fs.readFileSync(path.join(folder, icon.src));
    const size = decodePng(png);
    if (icon.type !== 'image/png' || icon.sizes !== `${size.width}x${size.height}`)
      fail(`the icon ${icon.src} is ${size.width}x${size.height} ${icon.type}, but the manifest says ${icon.sizes}`);
    sizes.push(`${icon.sizes} ${icon.purpose || 'any'}`);
  }
  for (const wanted of ['192x192 any', '512x512 any', '512x512 maskable'])
    if (!sizes.includes(wanted)) fail(`the manifest has no ${wanted} icon: ${sizes.join(', ')}`);
}

function cacheNames(page) {
  return page.evaluate(() => caches.keys());
}

// The read-out shows on Space: the program runs and takes keys.
async function spaceShowsReadout({ page, reference, options }, where) {
  const place = placement(await deviceViewport(page));
  await page.keyboard.press('Space');
  await waitFor(`the read-out on Space ${where}`, 10, async () =>
    compareRegion(await screenshot(page, 'space', options), reference, Corner, place).count > 0);
}

// Loads the page's address in `page` and waits until the program has shown a box or ended:
// the box's text and how many times the server was asked for the page.
async function startsMixed({ page }, site, url) {
  const before = site.requests.filter((request) => request === '/').length;
  await page.goto(url);
  // The page reloads itself once on the way: a look taken just then sees it go, and looks again.
  const box = await waitFor('the box that says the files are of two versions', 30, () => shownBox(page)
    .catch((error) => { if (/context was destroyed/.test(error.message)) return null; throw error; }));
  return { box, loads: site.requests.filter((request) => request === '/').length - before };
}

// A swipe, a long press and a second finger are no Space; a double tap, its taps apart by the
// slop one way and then the other, toggles full screen once each (a double click made of the
// same touches is no second toggle). The Spaces and toggles the host hands on are
// counted; a tap far from the rest, whose Space comes after anything the gesture could have
// made, marks the end of each.
async function gestures(page, canvas, middle) {
  await page.evaluate(() => {
    window.handed = { spaces: 0, toggles: 0 };
    const keyDown = WebHost.keyDown, toggle = TrackerPage.toggleFullScreen;
    WebHost.keyDown = function(key) {
      if (key === 0x20) ++window.handed.spaces;
      return keyDown.apply(this, arguments);
    };
    TrackerPage.toggleFullScreen = function() {
      ++window.handed.toggles;
      return toggle.apply(this, arguments);
    };
  });
  const handed = () => page.evaluate(() => ({ ...window.handed, full: !!document.fullscreenElement }));
  const [x, y] = middle;
  let spaces = 0;
  const marked = async (what, toggles) => {
    await page.touchscreen.tap(canvas.left + 8, canvas.top + 8);
    const now = await waitFor(`the Space of the tap after ${what}`, 10, async () => {
      const seen = await handed();
      return seen.spaces > spaces && seen;
    });
    if (now.spaces !== spaces + 1 || now.toggles !== toggles)
      fail(`${what} handed on ${now.spaces - spaces - 1} Spaces and ${now.toggles} full-screen toggles in all, not 0 and ${toggles}`);
    spaces = now.spaces;
  };
  await page.touchscreen.touchStart(x, y);
  await page.touchscreen.touchMove(x + 30, y);
  await page.touchscreen.touchMove(x + 60, y);
  await page.touchscreen.touchEnd();
  await marked('a swipe', 0);
  await page.touchscreen.touchStart(x, y);
  await sleep(800);  // the press itself: longer than any tap
  await page.touchscreen.touchEnd();
  await marked('a long press', 0);
  const first = await page.touchscreen.touchStart(x, y);
  const second = await page.touchscreen.touchStart(x + 50, y);
  await second.end();
  await first.end();
  await marked('two fingers', 0);
  for (const [dx, dy, toggles, full] of [[30, -30, 1, true], [-30, 30, 2, false]]) {
    await page.touchscreen.tap(x, y);
    await page.touchscreen.tap(x + dx, y + dy);
    await waitFor(`a double tap to toggle full screen ${full ? 'on' : 'off'}`, 10, async () => (await handed()).full === full);
    // The double click some browsers make of the same two taps (Chromium here makes none).
    await page.evaluate(() => document.getElementById('screen').dispatchEvent(new MouseEvent('dblclick', { bubbles: true })));
    await marked(`a double tap ${dx}, ${dy} apart`, toggles);
  }
}

const scenarios = {
  // The page as an app, from the zip's files: installable with a manifest that parses; after one
  // load it opens and runs without the network; a new release replaces the cache whole on the
  // next load and the one after runs it alone. Files of two releases reload once, then say so;
  // the page runs without its manifest and service worker, and where no service worker is
  // allowed (plain http from a host that is not this machine).
  async app(context) {
    const { options, site, url } = context;
    const first = release(options, 'release-1');
    const built = builtRelease(options.page);
    const next = built.version.slice(0, -1) + (built.version.endsWith('9') ? '8' : '9');
    const second = release(options, 'release-2', next);
    const nextCache = builtRelease(second).cache;
    checkManifest(first);
    site.root = first;
    await start(context, {});
    const { page } = context;
    await waitForPanel(page, context.reference, options);
    const head = await page.evaluate(async () => {
      const link = (rel) => document.querySelector(`link[rel="${rel}"]`);
      const icon = await fetch(link('icon').href);
      return { manifest: link('manifest') && link('manifest').href, icon: icon.ok && icon.headers.get('Content-Type'),
               description: (document.querySelector('meta[name="description"]') || {}).content };
    });
    if (!head.manifest || head.icon !== 'image/png' || !head.description)
      fail(`the page lacks its manifest link, PNG icon or description: ${JSON.stringify(head)}`);
    const session = await page.createCDPSession();
    const manifest = await session.send('Page.getAppManifest');
    if (manifest.errors.length || !manifest.url.endsWith('/tracker-screen.webmanifest'))
      fail(`Chromium read the manifest at ${manifest.url} with errors: ${JSON.stringify(manifest.errors)}`);
    let errors;
    await waitFor('Chromium to find the page installable', 30, async () => {
      errors = (await session.send('Page.getInstallabilityErrors')).installabilityErrors;
      return errors.length === 0;
    }).catch((error) => fail(`${error.message}: ${JSON.stringify(errors)}`));
    // The cache's name shows as soon as its filling starts: wait for the worker that filled it.
    await waitFor(`the cache ${built.cache} alone, filled by the worker now in charge`, 30, async () =>
      (await cacheNames(page)).join() === built.cache &&
      await page.evaluate(() => !!navigator.serviceWorker.controller && navigator.serviceWorker.controller.state === 'activated'));

    // Without the network, and with the server refusing everything too.
    await session.send('Network.enable');
    const network = (offline) => session.send('Network.emulateNetworkConditions',
      { offline, latency: 0, downloadThroughput: -1, uploadThroughput: -1 });
    await network(true);
    site.down = true;
    await page.reload();
    await waitForPanel(page, context.reference, options).catch((error) => fail(`offline: ${error.message}`));
    await spaceShowsReadout(context, 'offline');
    await network(false);
    site.down = false;

    // A new release on the server: the next load fills its cache and drops the old one; the
    // load after that is the new release alone.
    site.root = second;
    await page.reload();
    await waitFor(`the new release's cache ${nextCache} alone`, 30, async () => (await cacheNames(page)).join() === nextCache);
    await page.reload();
    await waitForPanel(page, context.reference, options);
    const now = await page.evaluate(async (cache, version) => {
      const stale = [];
      const store = await caches.open(cache);
      for (const request of await store.keys()) {
        const body = new TextDecoder('latin1').decode(await (await store.match(request)).arrayBuffer());
        if (/(\/|\.html|\.js|\.wasm)$/.test(request.url) && !body.includes(version)) stale.push(request.url);
      }
      return { version: TrackerPage.version, stale, controlled: !!navigator.serviceWorker.controller };
    }, nextCache, next);
    if (now.version !== next || now.stale.length || !now.controlled)
      fail(`after the update the page is version ${now.version} (not ${next}), controlled ${now.controlled}, ` +
           `with files of the old one cached: ${now.stale.join(', ')}`);
    await spaceShowsReadout(context, 'after the update');

    // Straight from the server, files of two releases: one reload, then a box that says why.
    await page.setBypassServiceWorker(true);
    for (const [what, names] of [['script', /\.(js|wasm)$/], ['module', /\.wasm$/]]) {
      site.root = release(options, `mixed-${what}`, next, { folder: first, names });
      const mixed = await startsMixed(context, site, url);
      const text = `The demo could not start: its page is version ${next} but its ${what} version ${built.version}; ` +
                   'reload the page when the site has been updated.';
      if (mixed.box.text !== text || mixed.loads !== 2)
        fail(`with a ${what} of another release the page loaded ${mixed.loads} times and says "${mixed.box.text}"`);
    }

    // No manifest and no service worker to be had: the page runs as a plain page; and so it
    // does from a host that is not this machine, over http, where none is allowed.
    site.root = first;
    site.missing = new Set(['tracker-screen.webmanifest', 'tracker-screen-sw.js']);
    await start(context, { args: ['--host-resolver-rules=MAP tracker.test 127.0.0.1'] });
    await waitForPanel(context.page, context.reference, options).catch((error) => fail(`without a manifest and service worker: ${error.message}`));
    await waitFor('the failed registration to be logged', 10, () => context.log.some((line) => /^Service worker: /.test(line)));
    await context.page.goto(url.replace('127.0.0.1', 'tracker.test'));
    await waitForPanel(context.page, context.reference, options).catch((error) => fail(`over plain http: ${error.message}`));
    if (await context.page.evaluate(() => window.isSecureContext || 'serviceWorker' in navigator))
      fail('the page over plain http from another host is a secure context: this tells nothing');
  },

  // Lighthouse's scores for the page as the zip serves it, as a phone (its default) and as a
  // desktop: accessibility, best practices and SEO 100 on every run; performance 100 as a desktop
  // at best of five. The phone's performance is printed, not asserted: it multiplies this
  // machine's own main-thread times by four, so it falls whenever other work shares the cores.
  async lighthouse(context) {
    const { options, site, url } = context;
    const core = path.join(options.modules, 'node_modules', 'lighthouse', 'core');
    if (!fs.existsSync(path.join(core, 'index.js')))
      throw new Unavailable(`no Lighthouse in ${options.modules}: tests/web/npm-ci.sh installs it`);
    const load = async (file) => (await import(require('url').pathToFileURL(path.join(core, file)).href)).default;
    let lighthouse, desktop;
    try {
      lighthouse = await load('index.js');
      desktop = await load('config/desktop-config.js');
    } catch (error) {
      throw new Unavailable(`Lighthouse does not load under this node: ${error.message}`);
    }
    site.root = release(options, 'release');
    context.browser = await launch(options, {});
    const categories = ['performance', 'accessibility', 'best-practices', 'seo'];
    const best = { phone: null, desktop: null };
    for (let run = 1; run <= 5 && best.desktop !== 100; ++run) {
      for (const [form, config] of [['phone', undefined], ['desktop', desktop]]) {
        // A tab of its own each run, as a user opening the page has.
        const tab = await context.browser.newPage();
        const { lhr } = await lighthouse(url, { output: 'json', logLevel: 'error', onlyCategories: categories }, config, tab);
        await tab.close();
        if (lhr.runtimeError) fail(`Lighthouse run ${run} as a ${form}: ${lhr.runtimeError.code}: ${lhr.runtimeError.message}`);
        const scores = Object.fromEntries(categories.map((name) => {
          const score = lhr.categories[name].score;
          return [name, score === null ? null : Math.round(score * 100)];
        }));
        console.log(`Lighthouse ${lhr.lighthouseVersion} run ${run} as a ${form}: ${JSON.stringify(scores)}`);
        for (const name of categories) {
          if (scores[name] === 100) continue;
          const short = lhr.categories[name].auditRefs.map((ref) => lhr.audits[ref.id])
            .filter((audit) => audit.score !== null && audit.score < 1 && audit.scoreDisplayMode !== 'informative')
            .map((audit) => `${audit.id} (${audit.displayValue || audit.score})`);
          console.log(`  ${name} ${scores[name]}: ${short.join('; ') || 'no audit below 1'}`);
          if (name !== 'performance') fail(`Lighthouse scores ${name} ${scores[name]} as a ${form}, not 100`);
        }
        // A performance score on every run: the page always has its largest contentful paint.
        if (scores.performance === null) fail(`Lighthouse gave no performance score as a ${form}`);
        best[form] = Math.max(best[form] || 0, scores.performance);
      }
    }
    console.log(`Lighthouse's best performance: ${best.desktop} as a desktop, ${best.phone} as a phone`);
    if (best.desktop !== 100) fail(`Lighthouse's best performance score as a desktop is ${best.desktop}, not 100`);
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
    // This browser has no Fullscreen API: no control, though the window has room for one, and F
    // is just a key.
    if (!(await page.evaluate(() => document.getElementById('full-screen').hidden)))
      fail('the full-screen control shows in a browser without full screen');
    await page.keyboard.press('KeyF');
    await waitFor('the demo to draw on after F', 10, () => scopesMoving(page));
    if ((await exitStatus(page)) !== undefined || (await page.evaluate(() => !!document.fullscreenElement)))
      fail('F did something in a browser without full screen');
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

  // Desktop windows at one device pixel a pixel: the frame as it is, with the keyboard, the
  // read-out and the cursor hidden over it; twice over with black either side; fits with a fraction of one half
  // or more (the whole frame, at the scale below); and one smaller than the frame.
  async desktop(context) {
    await panelAt(context, { width: 640, height: 480 });
    await readout(context);
    for (const view of [{ width: 1400, height: 1000 }, { width: 1000, height: 750 }, { width: 1279, height: 959 }])
      await frameAt(context, view);
    // Shrunk to fit: whole and centred, in a canvas of the device pixels it covers.
    await setView(context.page, { width: 480, height: 400 });
    const small = await waitFor('the frame shrunk into 480 x 400', 10, async () => {
      const now = await pageLayout(context.page);
      return now.canvas.right - now.canvas.left === 480 && now;
    });
    if (small.canvas.left !== 0 || small.canvas.top !== 20 || small.canvas.bottom !== 380 ||
        small.backing.join() !== '480,360')
      fail(`the frame shrunk into 480 x 400 is not 480 x 360 at (0, 20): ${JSON.stringify(small)}`);
  },

  // Desktop windows at the other common device pixel ratios, where a CSS pixel is no whole
  // number of device pixels.
  async ratios(context) {
    await frameHere(context, 'at 1100 x 800');
    await start(context, { ratio: 1.5, view: { width: 1000, height: 750 } });
    await frameHere(context, 'at 1000 x 750');
  },

  // A phone upright (where the page loads), on its side, and a tablet; on the phone a tap shows
  // the read-out and the next one hides it, as Space does.
  async phone(context) {
    await frameHere(context, 'on a phone upright');
    const { page, reference, options } = context;
    const place = placement(await deviceViewport(page));
    const readout = async (name) =>
      compareRegion(await screenshot(page, name, options), reference, Corner, place).count > 0;
    const canvas = (await pageLayout(page)).canvas;
    const middle = [(canvas.left + canvas.right) / 2, (canvas.top + canvas.bottom) / 2];
    await page.touchscreen.tap(middle[0], middle[1]);
    await waitFor('a tap to show the read-out', 10, () => readout('tapped'));
    await page.touchscreen.tap(middle[0], middle[1]);
    await waitFor('another tap to hide it', 10, async () => !(await readout('tapped-again')));
    await checkLayout(page, 'on a phone upright, tapped');
    if ((await exitStatus(page)) !== undefined) fail('the program ended on a tap');
    await gestures(page, canvas, middle);
    await frameAt(context, { ...Phone, width: Phone.height, height: Phone.width });
    await start(context, { ratio: 2, view: { width: 820, height: 1180, mobile: true } });
    await frameHere(context, 'on a tablet upright');
  },

  // Full screen by F, by the control and by a double click; out of it by Escape (which then does
  // not end the program), the control and a double click: the frame fits the screen, then the
  // window again. Escape outside full screen still ends the program.
  async fullscreen(context) {
    const { page } = context;
    const windowed = await frameHere(context, 'in the window');
    const screenSize = await page.evaluate(() => [screen.width, screen.height]);
    const full = async (how) => {
      await waitFor(`full screen by ${how}`, 10, () => page.evaluate(() => !!document.fullscreenElement));
      const { place, control } = await frameHere(context, `in full screen by ${how}`);
      const size = await deviceViewport(page);
      if (size.width !== screenSize[0] || size.height !== screenSize[1])
        fail(`in full screen by ${how} the page is ${size.width} x ${size.height}, not the screen's ${screenSize}`);
      return { place, control };
    };
    const back = async (how) => {
      await waitFor(`leaving full screen by ${how}`, 10, () => page.evaluate(() => !document.fullscreenElement));
      const { place } = await frameHere(context, `back from full screen by ${how}`);
      if (place.scale !== windowed.place.scale || place.left !== windowed.place.left)
        fail(`back from full screen by ${how} the frame is at ${JSON.stringify(place)}, not ${JSON.stringify(windowed.place)}`);
    };
    if (!windowed.control) fail('no full-screen control in a window with room for it');
    await page.keyboard.press('KeyF');
    const inFull = await full('F');
    if (inFull.place.scale <= windowed.place.scale) fail('full screen did not enlarge the frame');
    await page.keyboard.press('Escape');
    await back('Escape');
    const after = await waitFor('the demo to draw on, or end', 10, async () =>
      ((await exitStatus(page)) !== undefined ? 'ended' : (await scopesMoving(page)) && 'drawing'));
    if (after !== 'drawing') fail('the Escape that left full screen also ended the program');
    await page.click('#full-screen');
    const byControl = await full('the control');
    if (!byControl.control) fail('no control to leave full screen with');
    await page.click('#full-screen');
    await back('the control');
    const middle = async () => {
      const canvas = (await pageLayout(page)).canvas;
      return [(canvas.left + canvas.right) / 2, (canvas.top + canvas.bottom) / 2];
    };
    await page.mouse.click(...await middle(), { count: 2 });
    await full('a double click');
    await page.mouse.click(...await middle(), { count: 2 });
    await back('a double click');
    await page.keyboard.press('Escape');
    const status = await waitFor('trackerExitStatus after Escape', 10, async () => {
      const value = await exitStatus(page);
      return value === undefined ? null : { value };
    });
    if (status.value !== 0) fail(`trackerExitStatus is ${JSON.stringify(status.value)} after Escape, expected 0`);
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
    const size = await deviceViewport(page);
    const place = placement(size);
    console.log(`${place.scale}x scale, viewport ${size.width} x ${size.height}: ` +
                `${(frames / elapsed).toFixed(1)} frames/s presented over ${elapsed.toFixed(1)} s, ` +
                `the browser's animation frames ${(browserFrames / elapsed).toFixed(1)}/s`);
    console.log(`per frame: main thread busy ${per('TaskDuration')} ms, of which script ${per('ScriptDuration')} ms`);
  },
};

// The canvas's and the full-screen control's boxes and what the user sees of the page, in CSS
// pixels; how far the page scrolls and is zoomed.
function pageLayout(page) {
  return page.evaluate(() => {
    const box = (element) => {
      const r = element.getBoundingClientRect();
      return { left: r.left, top: r.top, right: r.right, bottom: r.bottom };
    };
    const control = document.getElementById('full-screen');
    const view = window.visualViewport;
    return {
      canvas: box(document.getElementById('screen')),
      backing: [document.getElementById('screen').width, document.getElementById('screen').height],
      control: control && !control.hidden ? box(control) : null,
      view: { width: view.width, height: view.height, scale: view.scale },
      layoutWidth: innerWidth,
      ratio: devicePixelRatio,
      scroll: { x: scrollX, y: scrollY, width: document.documentElement.scrollWidth,
                height: document.documentElement.scrollHeight },
    };
  });
}

function overlaps(a, b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The whole frame where the rule puts it in device pixels, inside what the user sees, the
// control (if shown) beside it, and nothing scrolled, zoomed or scrollable.
async function checkLayout(page, where) {
  const now = await pageLayout(page);
  const place = placement(await deviceViewport(page));
  const { canvas, view, scroll, ratio } = now;
  if (canvas.left < 0 || canvas.top < 0 || canvas.right > view.width || canvas.bottom > view.height)
    fail(`${where}: the frame reaches beyond what the user sees: ${JSON.stringify(canvas)} in ${view.width} x ${view.height}`);
  // Chromium lays boxes out in 1/64ths of a CSS pixel: within a device pixel of the rule.
  const want = { left: place.left, top: place.top, right: place.left + Width * place.scale, bottom: place.top + Height * place.scale };
  for (const side of ['left', 'top', 'right', 'bottom'])
    if (Math.abs(canvas[side] * ratio - want[side]) > 0.5)
      fail(`${where}: the frame's ${side} edge is at ${canvas[side] * ratio} device pixels, not ${want[side]}: ${JSON.stringify(now)}`);
  if (now.backing[0] !== Width * place.scale || now.backing[1] !== Height * place.scale)
    fail(`${where}: the canvas holds ${now.backing.join(' x ')} pixels for a frame of ${Width * place.scale} x ${Height * place.scale}`);
  if (now.control && overlaps(now.control, canvas)) fail(`${where}: the full-screen control covers the picture`);
  if (scroll.x || scroll.y || scroll.width > Math.ceil(now.layoutWidth) || now.layoutWidth > Math.ceil(view.width) ||
      view.scale !== 1)
    fail(`${where}: the page scrolls or is zoomed: ${JSON.stringify(now)}`);
  return { place, control: now.control && deviceBox(now.control, ratio) };
}

// A CSS box in whole device pixels, rounded outwards.
function deviceBox(box, ratio) {
  return { left: Math.floor(box.left * ratio), top: Math.floor(box.top * ratio),
           right: Math.ceil(box.right * ratio), bottom: Math.ceil(box.bottom * ratio) };
}

// The frame in `viewport`: its panel exactly tracker-render's at the scale the rule gives, in
// its place, and black around it.
async function frameAt(context, view) {
  await setView(context.page, view);
  await waitForView(context.page, view);
  return frameHere(context, `at ${view.width} x ${view.height}`);
}

async function frameHere({ page, reference, options, ratio }, where) {
  where += ratio === 1 ? '' : ` at ${ratio} device pixels a pixel`;
  const shot = await waitForPanel(page, reference, options).catch((error) => fail(`${where}: ${error.message}`));
  const { place, control } = await waitFor('the layout to settle', 10, async () => {
    try {
      return await checkLayout(page, where);
    } catch (error) {
      return null;
    }
  }).catch(() => checkLayout(page, where));
  const border = borderPixels(shot, place, control);
  if (border) fail(`${where}: ${border} pixels around the ${place.scale}x frame are not black`);
  return { place, control };
}

// Space shows the read-out in the top-left corner and hides it again, leaving the panel alone;
// it and the arrows have their default actions prevented.
async function readout({ page, reference, options }) {
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
  escape: () => {
    delete Element.prototype.requestFullscreen;
    delete Document.prototype.exitFullscreen;
    Object.defineProperty(Document.prototype, 'fullscreenEnabled', { get: () => false });
  },
};

// What a scenario's first browser needs beyond a headless one with a 640 x 480 view: its `view`
// (see setView; null for the window's own) at a device pixel `ratio`, `windows` on an X display,
// more command-line `args`.
const Setups = {
  measure: { view: { width: 1400, height: 1000 } },
  focus: { windows: true },
  escape: { view: { width: 800, height: 600 } },
  ratios: { ratio: 1.25, view: { width: 1100, height: 800 } },
  phone: { ratio: 3, view: Phone },
  // The window's own viewport, which full screen resizes, on a screen larger than the window.
  fullscreen: { view: null, args: ['--window-size=1000,760', '--screen-info={1600x1200}'] },
};

// Scenarios that serve the page as the web zip holds it and start their own browsers.
const Zipped = ['app', 'lighthouse'];

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
  const server = await serve(options.page);
  const context = { reference, options, log: [], browser: null, site: server.site,
                    url: `http://127.0.0.1:${server.address().port}/${Zipped.includes(options.scenario) ? '' : 'tracker-screen.html'}` };
  try {
    if (!Zipped.includes(options.scenario)) await start(context, Setups[options.scenario] || {});
    await scenario(context);
    const errors = context.log.filter((line) => /^page error/.test(line));
    if (errors.length && !options.scenario.startsWith('no-')) fail(`the page reported errors: ${errors.join('; ')}`);
    console.log(`PASS: ${options.scenario}`);
  } catch (error) {
    if (context.log.length) console.error(`console of the page:\n  ${context.log.join('\n  ')}`);
    throw error;
  } finally {
    if (context.browser) await context.browser.close();
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
