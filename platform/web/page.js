// The page side of the browser layer, put in front of the generated
// tavoren.js. The listeners here only queue events and wake the program;
// web_platform.cpp takes them from the queue and calls the form's handlers.
// Also here: copying painted rows to the canvas, the panel text, the
// on-screen keys of touch devices and their full-screen key, the page's
// scale, the guards that keep wheels and touches from leaving the page, and
// the line that says the game has ended.
var TavorenPage = (function () {
  'use strict';
  // The client area, the panel, the keys and the codes the program takes
  // events with: the program's own facts (facts.js, written by the build).
  var facts = TavorenFacts;
  var kWidth = facts.client.width, kHeight = facts.client.height;
  var kPanelRows = kHeight - facts.client.panelTop;
  var kPanelBorder = facts.panel.border, kPanelFont = facts.panel.fontPixels;
  var kKey = facts.pageEvents.key, kPointerDown = facts.pageEvents.pointerDown;
  var kPointerMove = facts.pageEvents.pointerMove, kVisible = facts.pageEvents.visible;
  var kShift = facts.pageModifiers.shift, kAlt = facts.pageModifiers.alt;
  var kCtrl = facts.pageModifiers.ctrl;

  var queue = [];            // [kind, a, modifiers, buttons, x, y]
  var wake = null;           // resolves the program's current wait
  var attached = false;
  var painted = false;
  var removers = [];
  var buttons = 0;           // DOM buttons last seen held
  var pointerId = null;      // the one pointer that plays (first finger, mouse or pen)
  var scale = 1;
  var canvas, ctx, panel, status, holder, turn, fullscreenKey, again;

  // Zero-delay yields through a message channel: setTimeout(0) would be
  // clamped to 4 ms once the waits nest.
  var channel = new MessageChannel();
  var zeroWaiters = [];
  channel.port1.onmessage = function () {
    var w = zeroWaiters.shift();
    if (w) w();
  };

  function push(ev) {
    if (!attached) return;
    // Like the window system's mouse-move message: a move that a later one
    // with the same buttons and modifiers supersedes is dropped.
    var last = queue.length ? queue[queue.length - 1] : null;
    if (ev[0] === kPointerMove && last && last[0] === kPointerMove &&
        last[2] === ev[2] && last[3] === ev[3]) {
      queue.pop();
    }
    queue.push(ev);
    if (wake) wake();
  }

  function modifiers(e) {
    return (e.shiftKey ? kShift : 0) | (e.altKey ? kAlt : 0) | (e.ctrlKey ? kCtrl : 0);
  }

  // Client pixels of a pointer event, whatever the canvas's scale; outside
  // the canvas (captured pointer) the numbers simply run on past its edges.
  function clientPoint(e) {
    var r = canvas.getBoundingClientRect();
    return [Math.floor((e.clientX - r.left) * kWidth / r.width),
            Math.floor((e.clientY - r.top) * kHeight / r.height)];
  }

  function on(target, type, fn, options) {
    target.addEventListener(type, fn, options);
    removers.push(function () { target.removeEventListener(type, fn, options); });
  }

  // The bit of a DOM button number in the DOM's buttons mask.
  function buttonBit(button) {
    return button === 0 ? 1 : button === 1 ? 4 : button === 2 ? 2 : 1 << button;
  }

  // The keys the game takes (Backspace, Enter, Esc, Home) do nothing else.
  var ownKeys = {};
  Object.keys(facts.keys).forEach(function (name) { ownKeys[facts.keys[name]] = true; });

  function onKeyDown(e) {
    // keyCode is the Windows virtual-key code: 13 for both Enters, 36 for
    // Home and for keypad 7 with Num Lock off.
    var code = e.keyCode | 0;
    if (code === 0 || code === 229 || e.isComposing) return;
    if (ownKeys[code]) e.preventDefault();  // no navigation back, no submit, no scroll
    push([kKey, code, modifiers(e), buttons, 0, 0]);
  }

  function onPointerDown(e) {
    if (pointerId !== null && e.pointerId !== pointerId) {
      e.preventDefault();  // a second finger neither aims nor scrolls
      return;
    }
    e.preventDefault();  // no text selection, no focus moving away
    pointerId = e.pointerId;
    try { canvas.setPointerCapture(e.pointerId); } catch (err) { /* pointer already gone */ }
    canvas.focus({preventScroll: true});
    buttons = e.buttons;
    var p = clientPoint(e);
    push([kPointerDown, e.button, modifiers(e), e.buttons, p[0], p[1]]);
  }

  function onPointerMove(e) {
    if (pointerId !== null && e.pointerId !== pointerId) return;
    if (pointerId === null && e.pointerType === 'touch') return;
    buttons = e.buttons;
    var p = clientPoint(e);
    // A second button pressed while another is held comes as a move.
    if (e.button >= 0 && (e.buttons & buttonBit(e.button))) {
      push([kPointerDown, e.button, modifiers(e), e.buttons, p[0], p[1]]);
      return;
    }
    push([kPointerMove, 0, modifiers(e), e.buttons, p[0], p[1]]);
  }

  function onPointerUp(e) {
    if (e.pointerId !== pointerId) return;
    buttons = e.buttons;
    if (e.buttons === 0) pointerId = null;
  }

  // The capture can go without a pointerup (the element lost it, the
  // browser took the touch over): the next press may come from anywhere.
  function onLostCapture(e) {
    if (e.pointerId === pointerId) pointerId = null;
  }

  function onVisibility() {
    if (document.visibilityState === 'visible') push([kVisible, 0, 0, 0, 0, 0]);
  }

  function prevent(e) { e.preventDefault(); }

  // A finger on the canvas neither scrolls nor zooms; the browser may
  // already have taken a touch over (then it is not cancelable).
  function onTouchStart(e) {
    if (e.cancelable) e.preventDefault();
  }

  // The wheel has no use here, and a sideways one (Shift+wheel, a touchpad's
  // two-finger swipe, with Ctrl held or not) would take the tab back in its
  // history. An upright Ctrl+wheel still zooms the page.
  function onWheel(e) {
    if ((!e.ctrlKey || e.deltaX !== 0) && e.cancelable) e.preventDefault();
  }

  // The on-screen full-screen key, where the page may go full screen. A
  // mouse acts as it presses, a finger or pen as it lifts: only then may a
  // page go full screen.
  function fullscreenElement() {
    return document.fullscreenElement || document.webkitFullscreenElement || null;
  }
  function onFullscreenKey(e) {
    e.preventDefault();
    if (e.button !== 0 || (e.pointerType === 'mouse') !== (e.type === 'pointerdown')) return;
    var root = document.documentElement;
    var done;
    if (fullscreenElement()) {
      done = (document.exitFullscreen || document.webkitExitFullscreen).call(document);
    } else {
      done = (root.requestFullscreen || root.webkitRequestFullscreen).call(root, {navigationUI: 'hide'});
    }
    // Refused (no user gesture, a policy): the page stays as it is.
    if (done && done.catch) done.catch(function () {});
  }
  function onFullscreenChange() {
    fullscreenKey.firstChild.textContent = fullscreenElement() ? '全画面解除' : '全画面';
    fullscreenKey.lastChild.textContent = fullscreenElement() ? '戻す' : '表示';
    fit();
  }

  // An on-screen key: one key-down per tap, through the same queue as the
  // keyboard's; holding it does not repeat.
  function onScreenKey(e) {
    e.preventDefault();  // the keyboard focus stays on the canvas
    if (e.type === 'pointerdown' && e.button !== 0) return;
    if (e.type === 'click' && e.detail !== 0) return;  // taps came as pointerdown
    if (e.type === 'pointerdown' && e.currentTarget.classList.contains('hold')) {
      startHold(e);
      return;
    }
    push([kKey, Number(e.currentTarget.dataset.key), 0, buttons, 0, 0]);
  }

  // Home and Esc throw the table away: their on-screen keys act only when
  // held for the key's data-hold-ms, the key filling up meanwhile. A finger
  // that lifts or slides off before then changes nothing.
  var held = null;  // {key, pointerId, timer}
  function startHold(e) {
    endHold();
    var key = e.currentTarget;
    held = {key: key, pointerId: e.pointerId, timer: setTimeout(function () {
      var code = Number(key.dataset.key);
      endHold();
      push([kKey, code, 0, buttons, 0, 0]);
    }, Number(key.dataset.holdMs))};
    key.classList.add('holding');
  }
  function endHold() {
    if (!held) return;
    clearTimeout(held.timer);
    held.key.classList.remove('holding');
    held = null;
  }
  function onHoldEnd(e) {
    if (held && e.pointerId === held.pointerId) endHold();
  }
  function onHoldMove(e) {
    if (!held || e.pointerId !== held.pointerId) return;
    var r = held.key.getBoundingClientRect();
    if (e.clientX < r.left || e.clientX > r.right || e.clientY < r.top || e.clientY > r.bottom) endHold();
  }

  // The mouse's back and forward buttons over the game would leave the page
  // (Chromium goes back when the press is let through).
  function onSideButton(e) {
    if (e.button === 3 || e.button === 4) e.preventDefault();
  }

  // While a game is in progress, leaving the page asks first. Only then:
  // a page with nothing to lose keeps no listener that bars the browser's
  // back/forward cache.
  var guarded = false;
  function onBeforeUnload(e) {
    e.preventDefault();
    e.returnValue = '';  // what older browsers look for
    return '';
  }
  function guard(on) {
    if (on === guarded) return;
    guarded = on;
    if (on) window.addEventListener('beforeunload', onBeforeUnload);
    else window.removeEventListener('beforeunload', onBeforeUnload);
    document.body.dataset.leave = on ? 'asks' : 'free';
  }

  // The layout for the window's size. Scale k: the canvas shows at
  // kWidth k x kHeight k CSS pixels, its bottom rows under the panel. On a large
  // screen k is a whole factor (crisp pixels); on a small one k < 1, as
  // large as fits, the panel text kept at a legible 13 px and wrapped.
  var kKeysBeside = 96, kKeysBelow = 60;  // the keys' column and row, with the gap
  // Home and Esc stand kKeysApart further off the others; beside the table
  // the keys may shrink to kKeySmall high to leave the table its height.
  var kKeysApart = 16, kKeyHeight = 52, kKeySmall = 44;
  function keysCount() { return fullscreenKey && !fullscreenKey.hidden ? 5 : 4; }
  function keysColumnHeight() {
    var n = keysCount();
    return n * kKeySmall + (n - 1) * 8 + kKeysApart;
  }
  var kPanelSmallFont = 13, kPanelSmallLine = 17;
  var longestMessage = 1;  // characters in the longest panel text, given by attach

  function panelLines(k) {
    var width = kWidth * k - 2 * kPanelBorder;
    return Math.max(1, Math.ceil(longestMessage * kPanelSmallFont / Math.max(width, 1)));
  }
  function panelHeight(k) {
    return k >= 1 ? kPanelRows * k : panelLines(k) * kPanelSmallLine + 6;
  }
  // The largest scale at which the client area fits w x h.
  function scaleFor(w, h) {
    var k = Math.min(w / kWidth, h / kHeight);
    if (k >= 1) return Math.floor(k);
    for (var i = 0; i < 4; i++) k = Math.min(w / kWidth, (h - panelHeight(k)) / (kHeight - kPanelRows));
    return Math.max(k, 0.1);
  }

  function fit() {
    var body = document.body;
    var touch = body.classList.contains('touch');
    var vw = document.documentElement.clientWidth, vh = window.innerHeight;
    var portrait = touch && vh > vw;
    body.classList.toggle('portrait', portrait);
    var w = vw - 16;
    var h = vh - 16 - 30 - (portrait ? turn.offsetHeight + 6 : 0) - (again.hidden ? 0 : again.offsetHeight + 6);
    var k = scaleFor(w, h), beside = false;
    if (touch) {
      var kBelow = scaleFor(w, h - kKeysBelow);
      var kBeside = h >= keysColumnHeight() ? scaleFor(w - kKeysBeside, h) : 0;
      beside = kBeside > kBelow;
      k = beside ? kBeside : kBelow;
    }
    body.classList.toggle('keys-beside', beside);
    var n = keysCount();
    var keyHeight = beside ? Math.max(kKeySmall, Math.min(kKeyHeight, (h - (n - 1) * 8 - kKeysApart) / n))
                           : kKeyHeight;
    document.getElementById('tavoren-keys').style.setProperty('--key-height', keyHeight + 'px');
    scale = k;
    canvas.style.width = kWidth * k + 'px';
    canvas.style.height = kHeight * k + 'px';
    canvas.classList.toggle('smooth', k < 1);
    holder.style.width = kWidth * k + 'px';
    holder.style.height = (kHeight - kPanelRows) * k + 'px';
    panel.style.width = kWidth * k + 'px';
    panel.style.height = panelHeight(k) + 'px';
    panel.classList.toggle('wrapped', k < 1);
    panel.style.fontSize = (k >= 1 ? kPanelFont * k : kPanelSmallFont) + 'px';
    panel.style.lineHeight = (k >= 1 ? kPanelRows * k + 'px' : kPanelSmallLine + 'px');
    panel.style.padding = k >= 1 ? '0 ' + kPanelBorder * k + 'px' : '3px ' + kPanelBorder + 'px';
  }

  // Whether the page is in a frame of another origin (or a sandboxed one,
  // whose origin is opaque).
  function crossOriginFrame() {
    if (window.top === window) return false;
    try {
      return window.top.location.origin !== location.origin;
    } catch (e) {
      return true;
    }
  }

  // What stays when the game has ended: the layout, the full-screen key and
  // the guards that keep gestures from leaving the page.
  function listenForPage() {
    on(window, 'resize', fit);
    on(canvas, 'touchstart', onTouchStart, {passive: false});
    on(window, 'wheel', onWheel, {passive: false});
    if (!fullscreenKey.hidden) {
      on(fullscreenKey, 'pointerdown', onFullscreenKey);
      on(fullscreenKey, 'pointerup', onFullscreenKey);
      on(fullscreenKey, 'contextmenu', prevent);
      on(document, 'fullscreenchange', onFullscreenChange);
      on(document, 'webkitfullscreenchange', onFullscreenChange);
    }
  }

  // The page laid out for the screen in a task of its own right after this
  // script, while the program is still being compiled: the first layout of
  // the keys and the panel (their fonts) then falls before the first paint,
  // and neither into the reading of the program nor into its start.
  function prepare() {
    if (canvas) return;  // done already
    canvas = document.getElementById('tavoren-canvas');
    panel = document.getElementById('tavoren-panel');
    status = document.getElementById('tavoren-status');
    holder = document.getElementById('tavoren-holder');
    turn = document.getElementById('tavoren-turn');
    fullscreenKey = document.getElementById('tavoren-fullscreen');
    again = document.getElementById('tavoren-again');
    if (navigator.maxTouchPoints > 0 || window.matchMedia('(any-pointer: coarse)').matches) {
      document.body.classList.add('touch');
    }
    fullscreenKey.hidden = !(document.fullscreenEnabled || document.webkitFullscreenEnabled);
    fit();
  }
  // The canvas's backing store, which its first picture would otherwise
  // have to make, is made in a task of its own too.
  function prepareCanvas() {
    if (ctx) return;
    prepare();
    // Desynchronized: the canvas goes to the screen without waiting for the
    // page's compositor, which halves what presenting a tick costs.
    ctx = canvas.getContext('2d', {alpha: false, desynchronized: true});
    ctx.putImageData(new ImageData(1, 1), 0, 0);
  }
  setTimeout(prepare, 0);
  setTimeout(prepareCanvas, 0);

  return {
    // Starts the page's part; longest: the characters of the longest text
    // the panel shows, which the layout makes room for.
    attach: function (longest) {
      prepareCanvas();
      longestMessage = longest;
      attached = true;
      on(window, 'keydown', onKeyDown);
      on(canvas, 'pointerdown', onPointerDown);
      on(canvas, 'pointermove', onPointerMove);
      on(canvas, 'pointerup', onPointerUp);
      on(canvas, 'pointercancel', onPointerUp);
      on(canvas, 'lostpointercapture', onLostCapture);
      on(canvas, 'contextmenu', prevent);
      on(document, 'selectstart', prevent);
      on(document, 'dragstart', prevent);
      on(document, 'visibilitychange', onVisibility);
      on(window, 'pageshow', onVisibility);
      on(document, 'pointerup', onHoldEnd);
      on(document, 'pointercancel', onHoldEnd);
      on(document, 'pointermove', onHoldMove);
      var game = document.getElementById('tavoren-game');
      on(game, 'mousedown', onSideButton);
      on(game, 'mouseup', onSideButton);
      on(game, 'pointerup', onSideButton);
      on(game, 'auxclick', onSideButton);
      var keys = document.querySelectorAll('#tavoren-keys [data-key]');
      for (var i = 0; i < keys.length; ++i) {
        on(keys[i], 'pointerdown', onScreenKey);
        on(keys[i], 'click', onScreenKey);
        on(keys[i], 'contextmenu', prevent);
      }
      listenForPage();
      fit();
      // The viewport may still settle after start-up (a phone applying the
      // page's viewport setting): fit again whenever the page's box changes.
      if (window.ResizeObserver) new ResizeObserver(fit).observe(document.documentElement);
      document.body.dataset.leave = 'free';
    },

    // Shows the game, its first picture on the canvas.
    show: function () {
      document.body.dataset.game = 'running';  // shown: the canvas may take the focus
      // Focused from the start on a page of its own; in a frame of another
      // site, which may not take the focus unasked, by the first press.
      if (!crossOriginFrame()) canvas.focus({preventScroll: true});
    },

    // Takes the oldest queued event into out (five int32s); its kind, or 0.
    next: function (out) {
      var e = queue.shift();
      if (!e) return 0;
      var i = out >> 2;
      HEAP32[i] = e[1]; HEAP32[i + 1] = e[2]; HEAP32[i + 2] = e[3];
      HEAP32[i + 3] = e[4]; HEAP32[i + 4] = e[5];
      return e[0];
    },

    // Resolves when an event is queued or ms have passed (ms < 0: no limit;
    // 0: just let the browser run once).
    wait: function (ms) {
      return new Promise(function (resolve) {
        var timer = null, done = false;
        function finish() {
          if (done) return;
          done = true;
          wake = null;
          if (timer !== null) clearTimeout(timer);
          resolve();
        }
        if (queue.length) {
          zeroWaiters.push(finish);
          channel.port2.postMessage(0);
          return;
        }
        wake = finish;
        if (ms === 0) {
          zeroWaiters.push(finish);
          channel.port2.postMessage(0);
        } else if (ms > 0) {
          timer = setTimeout(finish, ms);
        }
      });
    },

    putRows: function (pixels, top, bottom) {
      if (!painted) {
        painted = true;
        // When the first picture reached the canvas, for measuring start-up.
        if (window.performance && performance.mark) performance.mark('tavoren-first-picture');
      }
      var bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels + top * kWidth * 4,
                                        (bottom - top) * kWidth * 4);
      ctx.putImageData(new ImageData(bytes, kWidth, bottom - top), 0, top);
    },

    setPanel: function (text) { panel.textContent = text; },

    atStake: function (atStake) { guard(atStake); },

    ended: function () {
      attached = false;
      queue.length = 0;
      for (var i = 0; i < removers.length; ++i) removers[i]();
      removers = [];
      listenForPage();
      var keys = document.querySelectorAll('#tavoren-keys [data-key]');
      for (var i = 0; i < keys.length; ++i) keys[i].disabled = true;
      endHold();
      guard(false);
      document.body.dataset.game = 'ended';
      status.textContent = 'ゲームは終了しました。';
      // The one way to start again: a new load racks anew.
      again.hidden = false;
      again.addEventListener('click', function () { location.reload(); });
      fit();
    },

    scale: function () { return scale; }
  };
})();
