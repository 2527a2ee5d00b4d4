// The browser half of the web host (web_host.cpp is the other): the page's events queued for the
// program, the canvas it presents to and where that canvas lies, and the waits that ASYNCIFY
// turns into blocking calls. The page itself (message box, full screen, ended state) is
// page.html's TrackerPage.

mergeInto(LibraryManager.library, {
  $WebHost: {
    canvas: null,    // the program's window, sized to the device pixels it covers
    context: null,   // its 2D context
    image: null,     // ImageData over the program's frame pixels, of the display mode's size
    picture: null,   // a canvas of the mode's size that the frame passes through to be scaled
    pictureContext: null,
    place: null,     // where the frame goes, in device pixels: { scale, left, top, width, height, ratio }
    observer: null,  // reports the window's size in device pixels as the browser lays it out
    ratioQuery: null, // matches the device-pixel ratio the frame was last laid out at
    events: [],      // [kind, value, repeat] not yet taken by the program, oldest first
    wake: null,      // resumes the program's wait, while it waits
    frame: 0,        // the animation frame a flip waits for, 0 when none
    active: false,   // what the program was last told: visible and focused
    shown: false,    // ShowWindow made the canvas visible
    listening: false,
    pointerType: '', // of the last pointer pressed on the picture: 'mouse', 'touch' or 'pen'
    touch: null,     // the touch on the picture that may become a tap: { id, x, y, time }
    tapWait: 0,      // the timer holding a tap's Space until a second tap could make it a double tap
    tapAt: null,     // where that waiting tap was, { x, y }

    // Event kinds, as web_host.cpp reads them.
    ACTIVATE: 1,
    KEYDOWN: 2,
    POINTER: 3,

    VK_SPACE: 0x20,
    VK_ESCAPE: 0x1B,
    // A touch is a tap while it moves less than this (CSS pixels) and lasts less than TAP_TIME ms;
    // a second tap within DOUBLE_TAP ms and DOUBLE_TAP_SLOP pixels of the first makes a double tap.
    TAP_SLOP: 10,
    TAP_TIME: 500,
    DOUBLE_TAP: 300,
    DOUBLE_TAP_SLOP: 40,

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

    // Where a frame of width x height goes in a view of viewWidth x viewHeight device pixels:
    // the largest whole number of device pixels per frame pixel that fits, or shrunk to fit when
    // even one does not; centred.
    fit: function(viewWidth, viewHeight, width, height) {
      var fit = Math.min(viewWidth / width, viewHeight / height);
      var scale = fit >= 1 ? Math.floor(fit) : fit;
      var shownWidth = Math.max(1, Math.floor(width * scale)), shownHeight = Math.max(1, Math.floor(height * scale));
      return { scale: scale, width: shownWidth, height: shownHeight,
               left: Math.floor((viewWidth - shownWidth) / 2), top: Math.floor((viewHeight - shownHeight) / 2) };
    },

    // What the user sees of the page, in CSS pixels: on phones the visual viewport, which the
    // address bar and the keyboard shrink while the layout viewport stays.
    view: function() {
      var visual = window.visualViewport;
      if (visual) return { left: visual.offsetLeft, top: visual.offsetTop, width: visual.width, height: visual.height };
      return { left: 0, top: 0, width: window.innerWidth, height: window.innerHeight };
    },

    // A CSS length in whole device pixels (with room for the browser's rounding of the ratio).
    devicePixels: function(length, ratio) {
      return Math.floor(length * ratio + 0.001);
    },

    // Places the window over the frame's device pixels and sizes its backing store to them, so
    // that the browser shows the canvas without resampling it.
    layout: function() {
      var canvas = WebHost.canvas, picture = WebHost.picture;
      if (!canvas || !picture) return;
      var ratio = window.devicePixelRatio || 1, view = WebHost.view();
      var place = WebHost.fit(WebHost.devicePixels(view.width, ratio), WebHost.devicePixels(view.height, ratio),
                              picture.width, picture.height);
      place.ratio = ratio;
      WebHost.place = place;
      canvas.style.left = view.left + place.left / ratio + 'px';
      canvas.style.top = view.top + place.top / ratio + 'px';
      canvas.style.width = place.width / ratio + 'px';
      canvas.style.height = place.height / ratio + 'px';
      // The observer corrects this where the browser's rounding of the box gives another size.
      WebHost.backing(place.width, place.height);
      TrackerPage.framed(canvas.getBoundingClientRect());
    },

    // Sizes the window's backing store and draws the last frame into it again.
    backing: function(width, height) {
      var canvas = WebHost.canvas;
      if (canvas.width === width && canvas.height === height) return;
      canvas.width = width;  // cleared to opaque black, as the context has no alpha
      canvas.height = height;
      WebHost.draw();
    },

    // The browser's device-pixel size of the window, where it reports one: its rounding of the
    // box's edges can give a pixel more or less than the layout's. A size further off is not in
    // the pixels devicePixelRatio counts (DevTools' device emulation reports it without its
    // emulated ratio), and the layout's stands. A changed ratio (the window moved to another
    // screen, the page zoomed) asks for a new scale first.
    observed: function(entries) {
      var place = WebHost.place;
      if (!place) return;
      if ((window.devicePixelRatio || 1) !== place.ratio) WebHost.layout();
      var box = entries[entries.length - 1].devicePixelContentBoxSize;
      if (!box || !box[0]) return;
      var width = box[0].inlineSize, height = box[0].blockSize;
      if (Math.abs(width - WebHost.place.width) <= 2 && Math.abs(height - WebHost.place.height) <= 2)
        WebHost.backing(width, height);
    },

    // A new device-pixel ratio without a resize (the window dragged to a screen of another scale,
    // the page zoomed) asks for a new scale: the query for the present ratio reports its end.
    watchRatio: function() {
      if (WebHost.ratioQuery) WebHost.ratioQuery.removeEventListener('change', WebHost.ratioChanged);
      WebHost.ratioQuery = null;
      if (!WebHost.listening || typeof matchMedia !== 'function') return;
      WebHost.ratioQuery = matchMedia('(resolution: ' + (window.devicePixelRatio || 1) + 'dppx)');
      if (WebHost.ratioQuery.addEventListener) WebHost.ratioQuery.addEventListener('change', WebHost.ratioChanged);
    },

    ratioChanged: function() {
      WebHost.layout();
      WebHost.watchRatio();
    },

    // The program's last frame (its pixels always hold it) onto the window at the place's scale:
    // at 1 a plain copy, at whole numbers each pixel repeated, shrunk to fit smoothed.
    draw: function() {
      var place = WebHost.place;
      if (!place) return;
      if (place.scale === 1) {
        WebHost.context.putImageData(WebHost.image, 0, 0);
        return;
      }
      WebHost.pictureContext.putImageData(WebHost.image, 0, 0);
      WebHost.context.imageSmoothingEnabled = place.scale < 1;
      WebHost.context.drawImage(WebHost.picture, 0, 0, place.width, place.height);
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

    // Every key the program gets, from the keyboard or a tap, enters here.
    keyDown: function(key, repeat) {
      WebHost.push(WebHost.KEYDOWN, key, repeat ? 1 : 0);
    },

    onKeyDown: function(event) {
      if (TrackerPage.boxOpen()) return;  // the box has the keyboard, as a modal box does
      // Keys held with Alt (or the platform's own modifier) are the browser's and the system's.
      if (event.altKey || event.metaKey) return;
      // F is the page's: full screen, where the browser has it (Ctrl+F stays the browser's find).
      if (event.code === 'KeyF' && !event.ctrlKey && TrackerPage.canFullScreen()) {
        event.preventDefault();
        if (!event.repeat) TrackerPage.toggleFullScreen();
        return;
      }
      var key = WebHost.virtualKey(event.code);
      if (!key) return;
      // In full screen Escape leaves full screen, as the browser's own Escape does; it ends the
      // program only outside.
      if (key === WebHost.VK_ESCAPE && TrackerPage.fullScreen()) {
        event.preventDefault();
        TrackerPage.toggleFullScreen();
        return;
      }
      // Space and the arrows would scroll the page or press a focused control.
      if (key === 0x20 || (key >= 0x21 && key <= 0x28)) event.preventDefault();
      WebHost.keyDown(key, event.repeat);
    },

    onPointer: function() {
      WebHost.push(WebHost.POINTER, 0, 0);
    },

    // A finger or pen on the picture may become a tap; a second finger makes it a gesture.
    onPointerDown: function(event) {
      WebHost.pointerType = event.pointerType;
      if (event.pointerType === 'mouse') return;
      WebHost.touch = event.isPrimary ? { id: event.pointerId, x: event.clientX, y: event.clientY, time: event.timeStamp } : null;
    },

    onPointerUp: function(event) {
      var touch = WebHost.touch;
      if (!touch || event.pointerId !== touch.id) return;
      WebHost.touch = null;
      if (Math.abs(event.clientX - touch.x) > WebHost.TAP_SLOP || Math.abs(event.clientY - touch.y) > WebHost.TAP_SLOP ||
          event.timeStamp - touch.time > WebHost.TAP_TIME) return;
      WebHost.tap(event.clientX, event.clientY);
    },

    onPointerCancel: function() {
      WebHost.touch = null;
    },

    // A tap is Space. Where a double tap means full screen, the Space waits a moment to see
    // whether a second tap follows, and a double tap sends none.
    tap: function(x, y) {
      var waiting = WebHost.tapWait;
      if (waiting && Math.abs(x - WebHost.tapAt.x) <= WebHost.DOUBLE_TAP_SLOP &&
          Math.abs(y - WebHost.tapAt.y) <= WebHost.DOUBLE_TAP_SLOP) {
        clearTimeout(waiting);
        WebHost.tapWait = 0;
        TrackerPage.toggleFullScreen();
        return;
      }
      if (!TrackerPage.canFullScreen()) {
        WebHost.keyDown(WebHost.VK_SPACE, false);
        return;
      }
      if (waiting) WebHost.tapSpace();  // a tap elsewhere: the first one's Space goes now
      WebHost.tapAt = { x: x, y: y };
      WebHost.tapWait = setTimeout(WebHost.tapSpace, WebHost.DOUBLE_TAP);
    },

    tapSpace: function() {
      clearTimeout(WebHost.tapWait);
      WebHost.tapWait = 0;
      WebHost.keyDown(WebHost.VK_SPACE, false);
    },

    // A double click with the mouse takes the page full screen and back; touch has its double
    // tap, which some browsers also report as a double click.
    onDoubleClick: function() {
      if (WebHost.pointerType === 'mouse' && TrackerPage.canFullScreen()) TrackerPage.toggleFullScreen();
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
      // The frame is fitted again whenever what the user sees changes size.
      window[method]('resize', WebHost.layout);
      window[method]('orientationchange', WebHost.layout);
      document[method]('fullscreenchange', WebHost.layout);
      if (window.visualViewport) {
        window.visualViewport[method]('resize', WebHost.layout);
        window.visualViewport[method]('scroll', WebHost.layout);
      }
      var canvas = WebHost.canvas;
      canvas[method]('pointermove', WebHost.onPointer);
      canvas[method]('pointerdown', WebHost.onPointerDown);
      canvas[method]('pointerup', WebHost.onPointerUp);
      canvas[method]('pointercancel', WebHost.onPointerCancel);
      canvas[method]('dblclick', WebHost.onDoubleClick);
      if (!on && WebHost.observer) WebHost.observer.disconnect();
      WebHost.watchRatio();
    },

    // Watches the window's device-pixel box where the browser reports it (not every browser does;
    // there the layout's own rounding stands).
    observe: function() {
      if (typeof ResizeObserver !== 'function') return;
      WebHost.observer = new ResizeObserver(WebHost.observed);
      try {
        WebHost.observer.observe(WebHost.canvas, { box: 'device-pixel-content-box' });
      } catch (error) {
        WebHost.observer = null;
      }
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

  // 1 when the module is of the page's release; 0 when not, and the page reloads or says why.
  web_same_version: function(version) {
    return TrackerPage.sameVersion('module', UTF8ToString(version)) ? 1 : 0;
  },

  web_now: function() {
    return performance.now();
  },

  // What the user sees of the page, in device pixels; 0 when nothing can be drawn on it.
  web_screen_size__deps: ['$WebHost'],
  web_screen_size: function(width, height) {
    if (!WebHost.context2d()) return 0;
    var ratio = window.devicePixelRatio || 1, view = WebHost.view();
    HEAP32[width >> 2] = WebHost.devicePixels(view.width, ratio);
    HEAP32[height >> 2] = WebHost.devicePixels(view.height, ratio);
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
    WebHost.observe();
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
    clearTimeout(WebHost.tapWait);
    WebHost.tapWait = 0;
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

  // The program keeps the frame's pixels at `pixels` (wasm memory never grows here, so the view
  // stays valid); scaled, they pass through a canvas of the mode's size.
  web_set_mode__deps: ['$WebHost'],
  web_set_mode: function(width, height, pixels) {
    var picture = document.createElement('canvas');
    picture.width = width;
    picture.height = height;
    WebHost.picture = picture;
    WebHost.pictureContext = picture.getContext('2d', { alpha: false });
    WebHost.image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4), width, height);
    WebHost.place = null;
    WebHost.layout();
  },

  // Shows the frame the program has just put into its pixels.
  web_present__deps: ['$WebHost'],
  web_present: function() {
    WebHost.draw();
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
