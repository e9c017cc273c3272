// The page side of the browser layer, put in front of the generated
// tavoren.js. The listeners here only queue events and wake the program;
// web_platform.cpp takes them from the queue and calls the form's handlers.
// Also here: copying painted rows to the canvas, the panel text, the page's
// scale, and the line that says the game has ended.
var TavorenPage = (function () {
  'use strict';
  var kWidth = 1016, kHeight = 500;
  var kKey = 1, kPointerDown = 2, kPointerMove = 3, kVisible = 4;

  var queue = [];            // [kind, a, modifiers, buttons, x, y]
  var wake = null;           // resolves the program's current wait
  var attached = false;
  var removers = [];
  var buttons = 0;           // DOM buttons last seen held
  var pointerId = null;      // the one pointer that plays (first finger, mouse or pen)
  var scale = 1;
  var canvas, ctx, panel, status, holder, stage;

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
    return (e.shiftKey ? 1 : 0) | (e.altKey ? 2 : 0) | (e.ctrlKey ? 4 : 0);
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

  var ownKeys = {8: true, 13: true, 27: true, 36: true};  // Backspace, Enter, Esc, Home

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

  function onVisibility() {
    if (document.visibilityState === 'visible') push([kVisible, 0, 0, 0, 0, 0]);
  }

  function prevent(e) { e.preventDefault(); }

  // Whole factors on a large screen, crisp pixels; never below 1 here.
  function fit() {
    var room = document.documentElement.clientWidth - 16;
    var height = window.innerHeight - 16 - (status.offsetHeight || 0);
    var k = Math.floor(Math.min(room / kWidth, height / kHeight));
    if (!(k >= 1)) k = 1;
    scale = k;
    stage.style.transform = k === 1 ? '' : 'scale(' + k + ')';
    holder.style.width = kWidth * k + 'px';
    holder.style.height = kHeight * k + 'px';
  }

  return {
    attach: function () {
      canvas = document.getElementById('tavoren-canvas');
      panel = document.getElementById('tavoren-panel');
      status = document.getElementById('tavoren-status');
      holder = document.getElementById('tavoren-holder');
      stage = document.getElementById('tavoren-stage');
      // Desynchronized: the canvas goes to the screen without waiting for the
      // page's compositor, which halves what presenting a tick costs.
      ctx = canvas.getContext('2d', {alpha: false, desynchronized: true});
      attached = true;
      on(window, 'keydown', onKeyDown);
      on(canvas, 'pointerdown', onPointerDown);
      on(canvas, 'pointermove', onPointerMove);
      on(canvas, 'pointerup', onPointerUp);
      on(canvas, 'pointercancel', onPointerUp);
      on(canvas, 'contextmenu', prevent);
      on(canvas, 'touchstart', prevent, {passive: false});
      on(document, 'selectstart', prevent);
      on(document, 'dragstart', prevent);
      on(document, 'visibilitychange', onVisibility);
      on(window, 'pageshow', onVisibility);
      on(window, 'resize', fit);
      fit();
      canvas.focus({preventScroll: true});
      document.body.dataset.game = 'running';
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
      var bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels + top * kWidth * 4,
                                        (bottom - top) * kWidth * 4);
      ctx.putImageData(new ImageData(bytes, kWidth, bottom - top), 0, top);
    },

    setPanel: function (text) { panel.textContent = text; },

    ended: function () {
      attached = false;
      queue.length = 0;
      for (var i = 0; i < removers.length; ++i) removers[i]();
      removers = [];
      on(window, 'resize', fit);
      document.body.dataset.game = 'ended';
      status.textContent = 'ゲームは終了しました。ページを再読み込みすると、新しいラックで始まります。';
    },

    scale: function () { return scale; }
  };
})();
