// The browser host's decisions that need no browser, under node: which keys the program gets and
// which the browser keeps, and when the program is told it is active.
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

// The host as emscripten links it, its page and browser replaced by `page`'s stand-ins.
function loadHost(page = {}) {
  const library = {};
  const state = { visibility: 'visible', focused: true, boxOpen: false };
  const context = vm.createContext({
    mergeInto: (target, source) => Object.assign(target, source),
    LibraryManager: { library },
    document: {
      get visibilityState() { return state.visibility; },
      hasFocus: () => state.focused,
    },
    TrackerPage: { boxOpen: () => state.boxOpen, ...page },
    cancelAnimationFrame: () => {},
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
