// The browser half of the web host (web_host.cpp is the other): the page's events queued for the
// program, the canvas it presents to, and the waits that ASYNCIFY turns into blocking calls.
// The page itself (layout, message box, ended state) is page.html's TrackerPage.

mergeInto(LibraryManager.library, {
  $WebHost: {
    canvas: null,    // the program's window
    context: null,   // its 2D context
    image: null,     // ImageData over the program's canvas pixels, of the display mode's size
    events: [],      // [kind, value, repeat] not yet taken by the program, oldest first
    wake: null,      // resumes the program's wait, while it waits
    frame: 0,        // the animation frame a flip waits for, 0 when none
    active: false,   // what the program was last told: visible and focused
    shown: false,    // ShowWindow made the canvas visible
    listening: false,

    // Event kinds, as web_host.cpp reads them.
    ACTIVATE: 1,
    KEYDOWN: 2,
    POINTER: 3,

    // The canvas's 2D context, opaque since the frame has no transparency; null when the browser
    // has none to give. The first call makes it, later ones return the same.
    context2d: function() {
      return TrackerPage.canvas().getContext('2d', { alpha: false });
    },

    push: function(kind, value, repeat) {
      WebHost.events.push([kind, value, repeat]);
      WebHost.resume();
    },

    // Ends the program's wait, for a frame or for an event, if it is waiting.
    resume: function() {
      if (WebHost.frame) {
        cancelAnimationFrame(WebHost.frame);
        WebHost.frame = 0;
      }
      var wake = WebHost.wake;
      WebHost.wake = null;
      if (wake) wake();
    },

    // Visible and focused is active; the program hears of each change once, however many of
    // blur, focus and visibilitychange report it.
    updateActive: function() {
      if (!WebHost.shown) return;
      var active = document.visibilityState === 'visible' && document.hasFocus();
      if (active === WebHost.active) return;
      WebHost.active = active;
      WebHost.push(WebHost.ACTIVATE, active ? 1 : 0, 0);
    },

    // Windows' virtual-key codes for the keys of a US layout, by the key's place on the keyboard.
    virtualKey: function(code) {
      var m;
      if ((m = /^Key([A-Z])$/.exec(code))) return m[1].charCodeAt(0);
      if ((m = /^Digit([0-9])$/.exec(code))) return m[1].charCodeAt(0);
      if ((m = /^F([1-9]|1[0-2])$/.exec(code))) return 0x6F + Number(m[1]);
      if ((m = /^Numpad([0-9])$/.exec(code))) return 0x60 + Number(m[1]);
      var named = {
        Escape: 0x1B, Space: 0x20, Backspace: 0x08, Tab: 0x09, Enter: 0x0D, NumpadEnter: 0x0D,
        ShiftLeft: 0x10, ShiftRight: 0x10, ControlLeft: 0x11, ControlRight: 0x11, Pause: 0x13,
        CapsLock: 0x14, PageUp: 0x21, PageDown: 0x22, End: 0x23, Home: 0x24, ArrowLeft: 0x25,
        ArrowUp: 0x26, ArrowRight: 0x27, ArrowDown: 0x28, Insert: 0x2D, Delete: 0x2E,
        NumpadMultiply: 0x6A, NumpadAdd: 0x6B, NumpadSubtract: 0x6D, NumpadDecimal: 0x6E,
        NumpadDivide: 0x6F
      };
      return named[code] || 0;
    },

    onKeyDown: function(event) {
      if (TrackerPage.boxOpen()) return;  // the box has the keyboard, as a modal box does
      // Keys held with Alt (or the platform's own modifier) are the browser's and the system's.
      if (event.altKey || event.metaKey) return;
      var key = WebHost.virtualKey(event.code);
      if (!key) return;
      // Space and the arrows would scroll the page or press a focused control.
      if (key === 0x20 || (key >= 0x21 && key <= 0x28)) event.preventDefault();
      WebHost.push(WebHost.KEYDOWN, key, event.repeat ? 1 : 0);
    },

    onPointer: function() {
      WebHost.push(WebHost.POINTER, 0, 0);
    },

    listen: function(on) {
      if (on === WebHost.listening) return;
      WebHost.listening = on;
      var method = on ? 'addEventListener' : 'removeEventListener';
      window[method]('keydown', WebHost.onKeyDown);
      window[method]('focus', WebHost.updateActive);
      window[method]('blur', WebHost.updateActive);
      window[method]('pageshow', WebHost.updateActive);
      window[method]('pagehide', WebHost.updateActive);
      document[method]('visibilitychange', WebHost.updateActive);
      WebHost.canvas[method]('pointermove', WebHost.onPointer);
    }
  },

  // Takes the oldest event into the three integers; 0 when none waits.
  web_next_event__deps: ['$WebHost'],
  web_next_event: function(kind, value, repeat) {
    var event = WebHost.events.shift();
    if (!event) return 0;
    HEAP32[kind >> 2] = event[0];
    HEAP32[value >> 2] = event[1];
    HEAP32[repeat >> 2] = event[2];
    return 1;
  },

  // Returns once an event waits (at once if one does already). Every call goes through
  // handleSleep, since ASYNCIFY calls it again to finish the wait when the program resumes.
  web_wait_event__deps: ['$WebHost'],
  web_wait_event: function() {
    Asyncify.handleSleep(function(wakeUp) {
      if (WebHost.events.length) wakeUp();
      else WebHost.wake = wakeUp;
    });
  },

  web_now: function() {
    return performance.now();
  },

  // The page's size in device pixels; 0 when nothing can be drawn on it.
  web_screen_size__deps: ['$WebHost'],
  web_screen_size: function(width, height) {
    if (!WebHost.context2d()) return 0;
    var ratio = window.devicePixelRatio || 1;
    HEAP32[width >> 2] = Math.round(window.innerWidth * ratio);
    HEAP32[height >> 2] = Math.round(window.innerHeight * ratio);
    return 1;
  },

  // The canvas becomes the program's window; 0 without a 2D context to draw with.
  web_create_window__deps: ['$WebHost'],
  web_create_window: function() {
    var context = WebHost.context2d();
    if (!context) return 0;
    WebHost.canvas = TrackerPage.canvas();
    WebHost.context = context;
    WebHost.listen(true);
    return 1;
  },

  web_show_window__deps: ['$WebHost'],
  web_show_window: function(show) {
    WebHost.shown = !!show;
    WebHost.canvas.style.visibility = show ? 'visible' : 'hidden';
    if (show) WebHost.updateActive();
    else if (WebHost.active) {
      WebHost.active = false;
      WebHost.push(WebHost.ACTIVATE, 0, 0);
    }
  },

  // Keys reach the program without a click first, where the browser lets a page take focus.
  web_focus__deps: ['$WebHost'],
  web_focus: function() {
    WebHost.canvas.focus({ preventScroll: true });
    WebHost.updateActive();
  },

  web_destroy_window__deps: ['$WebHost'],
  web_destroy_window: function() {
    WebHost.listen(false);
    WebHost.context.fillStyle = '#000';
    WebHost.context.fillRect(0, 0, WebHost.canvas.width, WebHost.canvas.height);
    WebHost.events = [];
    WebHost.shown = false;
    WebHost.active = false;
  },

  web_show_cursor__deps: ['$WebHost'],
  web_show_cursor: function(shown) {
    if (WebHost.canvas) WebHost.canvas.style.cursor = shown ? 'default' : 'none';
  },

  // A modal box in the page; returns once it is dismissed. The console gets the same text.
  web_message_box__deps: ['$WebHost'],
  web_message_box: function(text, caption, icon) {
    text = UTF8ToString(text);
    caption = UTF8ToString(caption);
    Asyncify.handleSleep(function(wakeUp) {
      TrackerPage.messageBox(caption, text, icon).then(function() { wakeUp(); });
    });
  },

  // The canvas's backing store takes the mode's size; the page scales it. The program keeps the
  // canvas's pixels at `pixels` (wasm memory never grows here, so the view stays valid).
  web_set_mode__deps: ['$WebHost'],
  web_set_mode: function(width, height, pixels) {
    var canvas = WebHost.canvas;
    canvas.width = width;
    canvas.height = height;
    WebHost.image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4), width, height);
    WebHost.context.fillStyle = '#000';
    WebHost.context.fillRect(0, 0, width, height);
    TrackerPage.layout();
  },

  // Shows the frame the program has just put into the canvas's pixels.
  web_present__deps: ['$WebHost'],
  web_present: function() {
    WebHost.context.putImageData(WebHost.image, 0, 0);
  },

  // Waits for the next animation frame, or less if the page has news for the program (in a
  // hidden page animation frames stop altogether).
  web_wait_frame__deps: ['$WebHost'],
  web_wait_frame: function() {
    Asyncify.handleSleep(function(wakeUp) {
      if (WebHost.events.length) {
        wakeUp();
        return;
      }
      WebHost.wake = wakeUp;
      WebHost.frame = requestAnimationFrame(function() {
        WebHost.frame = 0;
        WebHost.resume();
      });
    });
  },

  // The program has returned from WinMain.
  web_end__deps: ['$WebHost'],
  web_end: function(status) {
    if (WebHost.canvas) WebHost.listen(false);
    TrackerPage.end(status);
  }
});
