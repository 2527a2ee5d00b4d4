// The browser host's decisions that need no browser, under node: which keys the program gets and
// which the browser keeps, when the program is told it is active, where the frame goes, and
// which touches are taps.
//
// Usage: node host_test.cjs PATH/TO/library.js
'use strict';

const assert = require('assert');
const fs = require('fs');
const test = require('node:test');
const vm = require('vm');

const libraryPath = process.argv[2];
if (!libraryPath) throw new Error('usage: node host_test.cjs PATH/TO/library.js');
const librarySource = fs.readFileSync(libraryPath, 'utf8');

const VK = { SPACE: 0x20, ESCAPE: 0x1B, ENTER: 0x0D, LEFT: 0x25, UP: 0x26, RIGHT: 0x27, DOWN: 0x28 };
const KEYDOWN = 2, ACTIVATE = 1;

// The host as emscripten links it, its page and browser replaced by `page`'s stand-ins and any
// other `globals`.
function loadHost(page = {}, globals = {}) {
  const library = {};
  const state = { visibility: 'visible', focused: true, boxOpen: false };
  const context = vm.createContext({
    mergeInto: (target, source) => Object.assign(target, source),
    LibraryManager: { library },
    document: {
      get visibilityState() { return state.visibility; },
      hasFocus: () => state.focused,
    },
    TrackerPage: { boxOpen: () => state.boxOpen, canFullScreen: () => false, fullScreen: () => false, ...page },
    cancelAnimationFrame: () => {},
    ...globals,
  });
  vm.runInContext(librarySource, context, { filename: libraryPath });
  context.WebHost = library.$WebHost;
  return { host: library.$WebHost, state };
}

// The host's arrays belong to its own realm: compared as plain data.
function plain(value) {
  return JSON.parse(JSON.stringify(value));
}

// A keydown as the browser gives it, recording whether its default action was prevented.
function keyEvent(code, extra = {}) {
  return { code, repeat: false, altKey: false, metaKey: false, ctrlKey: false, shiftKey: false,
           prevented: false, preventDefault() { this.prevented = true; }, ...extra };
}

test.describe('keys', () => {
  test.it('Space and the keys that scroll reach the program with their default action prevented', () => {
    const { host } = loadHost();
    for (const [code, key] of [['Space', VK.SPACE], ['ArrowLeft', VK.LEFT], ['ArrowUp', VK.UP],
                               ['ArrowRight', VK.RIGHT], ['ArrowDown', VK.DOWN],
                               ['PageUp', 0x21], ['PageDown', 0x22], ['End', 0x23], ['Home', 0x24]]) {
      const event = keyEvent(code);
      host.onKeyDown(event);
      assert.ok(event.prevented, `${code} would scroll the page or press a focused control`);
      assert.deepStrictEqual(plain(host.events.pop()), [KEYDOWN, key, 0], code);
    }
  });

  test.it('other keys reach the program and keep the browser\'s default', () => {
    const { host } = loadHost();
    for (const [code, key] of [['Escape', VK.ESCAPE], ['Enter', VK.ENTER], ['KeyA', 0x41],
                               ['Digit0', 0x30], ['F1', 0x70], ['F12', 0x7B], ['Numpad9', 0x69]]) {
      const event = keyEvent(code);
      host.onKeyDown(event);
      assert.ok(!event.prevented, `${code}'s default was prevented`);
      assert.deepStrictEqual(plain(host.events.pop()), [KEYDOWN, key, 0], code);
    }
  });

  test.it('a held key is sent as a repeat', () => {
    const { host } = loadHost();
    host.onKeyDown(keyEvent('Space', { repeat: true }));
    assert.deepStrictEqual(plain(host.events), [[KEYDOWN, VK.SPACE, 1]]);
  });

  test.it('keys with Alt or the platform key, keys it has no code for, and keys under a box stay with the browser', () => {
    const { host, state } = loadHost();
    const events = [keyEvent('Space', { altKey: true }), keyEvent('ArrowDown', { metaKey: true }),
                    keyEvent('IntlBackslash')];
    for (const event of events) host.onKeyDown(event);
    state.boxOpen = true;
    const underBox = keyEvent('Space');
    host.onKeyDown(underBox);
    assert.deepStrictEqual(plain(host.events), []);
    for (const event of [...events, underBox]) assert.ok(!event.prevented, `${event.code}'s default was prevented`);
  });
});

test.describe('activation', () => {
  // The page's states in turn and what the program must hear after each, once per change.
  function told(steps) {
    const { host, state } = loadHost();
    host.shown = true;
    const heard = [];
    for (const [visibility, focused] of steps) {
      state.visibility = visibility;
      state.focused = focused;
      host.updateActive();
      heard.push(plain(host.events.splice(0)).map((event) => (event[0] === ACTIVATE ? event[1] : 'other')));
    }
    return heard;
  }

  test.it('a visible page is inactive without the focus and active again with it', () => {
    assert.deepStrictEqual(told([['visible', true], ['visible', false], ['visible', true]]), [[1], [0], [1]]);
  });

  test.it('a hidden page is inactive, focused or not', () => {
    assert.deepStrictEqual(told([['visible', true], ['hidden', true], ['visible', true], ['hidden', false]]),
                           [[1], [0], [1], [0]]);
  });

  test.it('each change is told once, however many events report it', () => {
    assert.deepStrictEqual(told([['visible', true], ['visible', true], ['visible', false], ['hidden', false],
                                 ['hidden', false], ['visible', true]]),
                           [[1], [], [0], [], [], [1]]);
  });

  test.it('nothing is told before the window is shown', () => {
    const { host } = loadHost();
    host.updateActive();
    assert.deepStrictEqual(plain(host.events), []);
  });
});

test.describe('the frame\'s place', () => {
  // [view width, view height] in device pixels -> [scale, left, top, width, height]
  const cases = [
    [[640, 480], [1, 0, 0, 640, 480]],
    [[1280, 960], [2, 0, 0, 1280, 960]],
    [[1279, 959], [1, 319, 239, 640, 480]],      // one pixel short of twice: once, not cut
    [[1000, 750], [1, 180, 135, 640, 480]],      // a fit of 1.56 is floored, not rounded
    [[1400, 1000], [2, 60, 20, 1280, 960]],
    [[1641, 1231], [2, 180, 135, 1280, 960]],    // odd margins: the extra pixel goes right and below
    [[1170, 2532], [1, 265, 1026, 640, 480]],    // a phone upright at 3 device pixels a pixel
    [[2532, 1170], [2, 626, 105, 1280, 960]],    // and on its side
    [[3840, 2160], [4, 640, 120, 2560, 1920]],
    [[400, 300], [0.625, 0, 0, 400, 300]],       // smaller than the frame: shrunk to fit, whole
    [[300, 600], [0.46875, 0, 187, 300, 225]],
  ];
  test.it('is the largest whole scale that fits, centred, or the frame shrunk to fit', () => {
    const { host } = loadHost();
    for (const [[width, height], want] of cases) {
      const place = host.fit(width, height, 640, 480);
      assert.deepStrictEqual([place.scale, place.left, place.top, place.width, place.height], want,
                             `in ${width} x ${height}`);
    }
  });

  // A window dragged to a screen of another scale: the ratio changes, the window's size does not.
  test.it('is laid out again at the whole scale of a new device-pixel ratio that comes without a resize', () => {
    const queries = [];
    const view = { devicePixelRatio: 1.25, innerWidth: 1100, innerHeight: 800 };
    const matchMedia = (media) => {
      const query = { media, listeners: new Set(),
                      addEventListener: (type, f) => type === 'change' && query.listeners.add(f),
                      removeEventListener: (type, f) => query.listeners.delete(f) };
      queries.push(query);
      return query;
    };
    const { host } = loadHost({ framed: () => {} }, { window: view, matchMedia });
    const drawn = [];
    host.canvas = { style: {}, width: 0, height: 0, getBoundingClientRect: () => ({}) };
    host.picture = { width: 640, height: 480 };
    host.context = { drawImage: (...args) => drawn.push(args.slice(3)) };
    host.pictureContext = { putImageData: () => {} };
    host.listening = true;
    host.watchRatio();
    host.layout();
    assert.deepStrictEqual([host.canvas.width, host.canvas.height], [1280, 960]);  // 1375 x 1000: twice
    view.devicePixelRatio = 2;
    for (const f of queries[0].listeners) f();
    assert.deepStrictEqual([host.canvas.width, host.canvas.height, host.canvas.style.left], [1920, 1440, '70px']);
    assert.deepStrictEqual(drawn.pop(), [1920, 1440], 'the last frame is drawn again at the new scale');
    assert.deepStrictEqual(queries.map((query) => [query.media, query.listeners.size]),
                           [['(resolution: 1.25dppx)', 0], ['(resolution: 2dppx)', 1]]);
  });
});

test.describe('full screen and Escape', () => {
  function withFullScreen(available, on) {
    const calls = [];
    const loaded = loadHost({ canFullScreen: () => available, fullScreen: () => on.value,
                              toggleFullScreen: () => calls.push('toggle') });
    return { ...loaded, calls };
  }

  test.it('F toggles full screen and reaches the program only where there is none', () => {
    const on = { value: false };
    const withIt = withFullScreen(true, on);
    const press = keyEvent('KeyF');
    withIt.host.onKeyDown(press);
    withIt.host.onKeyDown(keyEvent('KeyF', { repeat: true }));  // held: once
    assert.deepStrictEqual(withIt.calls, ['toggle']);
    assert.deepStrictEqual(plain(withIt.host.events), []);
    const find = keyEvent('KeyF', { ctrlKey: true });
    withIt.host.onKeyDown(find);
    assert.ok(!find.prevented, 'Ctrl+F is the browser\'s find');
    const without = withFullScreen(false, on);
    without.host.onKeyDown(keyEvent('KeyF'));
    assert.deepStrictEqual(without.calls, []);
    assert.deepStrictEqual(plain(without.host.events), [[KEYDOWN, 0x46, 0]]);
  });

  test.it('Escape in full screen leaves it; outside it goes to the program, which ends', () => {
    const on = { value: true };
    const { host, calls } = withFullScreen(true, on);
    host.onKeyDown(keyEvent('Escape'));
    assert.deepStrictEqual(calls, ['toggle']);
    assert.deepStrictEqual(plain(host.events), []);
    on.value = false;
    host.onKeyDown(keyEvent('Escape'));
    assert.deepStrictEqual(calls, ['toggle']);
    assert.deepStrictEqual(plain(host.events), [[KEYDOWN, VK.ESCAPE, 0]]);
  });
});

test.describe('touch', () => {
  // The host with timers run by hand: `timers.run()` fires those due.
  function touchHost(canFullScreen) {
    const timers = { pending: new Map(), next: 1,
                     run() { const due = [...this.pending.values()]; this.pending.clear(); due.forEach((f) => f()); } };
    const calls = [];
    const { host } = loadHost({ canFullScreen: () => canFullScreen, toggleFullScreen: () => calls.push('full screen') }, {
      setTimeout: (f) => { const id = timers.next++; timers.pending.set(id, f); return id; },
      clearTimeout: (id) => { timers.pending.delete(id); },
    });
    const spaces = () => plain(host.events).filter((e) => e[0] === KEYDOWN && e[1] === VK.SPACE).length;
    // A finger down at (x, y) at `time` ms and up at (x + dx, y + dy) `held` ms later.
    const touch = (x, y, time, { dx = 0, dy = 0, held = 80, id = 1, type = 'touch', primary = true } = {}) => {
      host.onPointerDown({ pointerType: type, isPrimary: primary, pointerId: id, clientX: x, clientY: y, timeStamp: time });
      host.onPointerUp({ pointerType: type, pointerId: id, clientX: x + dx, clientY: y + dy, timeStamp: time + held });
    };
    return { host, timers, calls, spaces, touch };
  }

  test.it('a tap is Space, once the moment for a second tap has passed', () => {
    const { timers, calls, spaces, touch } = touchHost(true);
    touch(100, 100, 0);
    assert.strictEqual(spaces(), 0);
    timers.run();
    assert.strictEqual(spaces(), 1);
    assert.deepStrictEqual(calls, []);
  });

  test.it('two taps in that moment, in one place, are full screen and no Space', () => {
    const { timers, calls, spaces, touch } = touchHost(true);
    touch(100, 100, 0);
    touch(110, 95, 150);
    timers.run();
    assert.deepStrictEqual(calls, ['full screen']);
    assert.strictEqual(spaces(), 0);
  });

  test.it('a second tap far from the first is a Space of its own', () => {
    const { timers, calls, spaces, touch } = touchHost(true);
    touch(100, 100, 0);
    touch(300, 100, 150);
    assert.strictEqual(spaces(), 1);
    timers.run();
    assert.strictEqual(spaces(), 2);
    assert.deepStrictEqual(calls, []);
  });

  test.it('without full screen every tap is Space at once', () => {
    const { calls, spaces, touch } = touchHost(false);
    touch(100, 100, 0);
    touch(100, 100, 100);
    assert.strictEqual(spaces(), 2);
    assert.deepStrictEqual(calls, []);
  });

  test.it('a drag, a long press, a second finger and the mouse are no taps', () => {
    const { host, timers, spaces, touch } = touchHost(false);
    touch(100, 100, 0, { dx: 30 });
    touch(100, 100, 1000, { held: 900 });
    touch(100, 100, 3000, { type: 'mouse' });
    host.onPointerDown({ pointerType: 'touch', isPrimary: true, pointerId: 1, clientX: 0, clientY: 0, timeStamp: 5000 });
    host.onPointerDown({ pointerType: 'touch', isPrimary: false, pointerId: 2, clientX: 50, clientY: 0, timeStamp: 5010 });
    host.onPointerUp({ pointerType: 'touch', pointerId: 1, clientX: 0, clientY: 0, timeStamp: 5050 });
    host.onPointerDown({ pointerType: 'touch', isPrimary: true, pointerId: 3, clientX: 0, clientY: 0, timeStamp: 6000 });
    host.onPointerCancel({ pointerId: 3 });
    host.onPointerUp({ pointerType: 'touch', pointerId: 3, clientX: 0, clientY: 0, timeStamp: 6050 });
    timers.run();
    assert.strictEqual(spaces(), 0);
  });
});
