// The page on a touch phone in landscape (844 x 390, touch, emulated in
// headless Chromium): taps and drags aim, set spin and power; the on-screen
// keys shoot, step back and end the game; a tap lands on the client pixel
// under the finger at the page's scale; a second finger does nothing; the
// page neither scrolls nor zooms, and no swipe beside the table leaves it;
// the full-screen key. Then the same phone in portrait.
//
// usage: node touch_test.mjs SITE_DIR
import {KnownDevices} from 'puppeteer-core';
import {
  msg, colours, rackColoursWrong, check, sleep, runBrowserTest, watchErrors, panelText,
  waitPanel, waitPanelNot, pixels, same, digest, pagePoint, cueLineEndsAt, clearSpot, closePage,
  screenKeyHoldMs, tryToLeave, recordLayoutShifts, layoutShift, readErrorsBeforeReload,
} from './harness.mjs';

// Fingers through the DevTools protocol: each call gives the fingers that
// touch the screen after it (page coordinates, CSS pixels).
async function touches(cdp, type, points, radius = 1) {
  await cdp.send('Input.dispatchTouchEvent', {
    type, touchPoints: points.map(([x, y], i) => ({x, y, id: i, radiusX: radius, radiusY: radius, force: 1})),
  });
}
async function keyCentre(page, code) {
  return page.$eval(`#tavoren-keys [data-key="${code}"]`, (b) => {
    const r = b.getBoundingClientRect();
    return [r.left + r.width / 2, r.top + r.height / 2];
  });
}

await runBrowserTest('touch test', 'touch_test.mjs', async ({browser, server, errors}) => {
  const page = await browser.newPage();
  watchErrors(page, errors);
  await page.emulate(KnownDevices['iPhone 13 landscape']);
  const cdp = await page.createCDPSession();
  await recordLayoutShifts(page);
  // A page before the game's in the tab's history, for a swipe to go back to.
  await page.goto(server.url + '?before', {waitUntil: 'load'});
  await page.goto(server.url, {waitUntil: 'load'});
  check(await waitPanel(page, msg.aiming, 10000) === msg.aiming, 'the first tick shows the aiming text');

  // Finger helpers at client pixels of the canvas, at whatever scale.
  const at = (x, y) => pagePoint(page, x, y);
  async function tap(x, y) {
    const p = await at(x, y);
    await touches(cdp, 'touchStart', [p]);
    await touches(cdp, 'touchEnd', []);
    await sleep(100);
  }
  async function drag(path) {
    let p = await at(...path[0]);
    await touches(cdp, 'touchStart', [p]);
    for (const q of path.slice(1)) {
      p = await at(...q);
      await touches(cdp, 'touchMove', [p]);
    }
    await touches(cdp, 'touchEnd', []);
    await sleep(100);
  }
  async function tapKey(code, holdMs = 0) {
    const p = await keyCentre(page, code);
    await touches(cdp, 'touchStart', [p]);
    if (holdMs) await sleep(holdMs);
    await touches(cdp, 'touchEnd', []);
  }

  // ---- The layout ----
  const layout = await page.evaluate(() => {
    const box = (e) => { const r = e.getBoundingClientRect(); return {l: r.left, t: r.top, r: r.right, b: r.bottom, w: r.width, h: r.height}; };
    const panel = document.getElementById('tavoren-panel');
    return {
      vw: innerWidth, vh: innerHeight, zoom: visualViewport.scale,
      canvas: box(document.getElementById('tavoren-canvas')),
      holder: box(document.getElementById('tavoren-holder')),
      panel: box(panel), font: parseFloat(getComputedStyle(panel).fontSize),
      keys: [...document.querySelectorAll('#tavoren-keys [data-key]')].map((b) => ({
        ...box(b), label: b.textContent, visible: getComputedStyle(b).display !== 'none' })),
    };
  });
  const inside = (b) => b.l >= 0 && b.t >= 0 && b.r <= layout.vw + 0.5 && b.b <= layout.vh + 0.5;
  check(layout.vw === 844 && layout.vh === 390 && layout.zoom === 1, 'the phone in landscape, 844 x 390, not zoomed',
        JSON.stringify(layout));
  check(layout.canvas.w < 1016 && Math.abs(layout.canvas.w / layout.canvas.h - 1016 / 500) < 1e-3,
        'the canvas is scaled down, keeping its proportions', JSON.stringify(layout.canvas));
  check(inside(layout.holder) && inside(layout.panel), 'the table and the panel fit the screen',
        JSON.stringify({holder: layout.holder, panel: layout.panel}));
  check(layout.keys.length === 4 && layout.keys.every((k) => k.visible && inside(k) && k.w >= 44 && k.h >= 44),
        'four on-screen keys, on the screen and large enough for a thumb', JSON.stringify(layout.keys));
  check(['Enter', 'Back Space', 'Home', 'Esc'].every((name, i) => layout.keys[i].label.startsWith(name)),
        'the keys are named as the messages name them', layout.keys.map((k) => k.label).join(', '));
  check(layout.holder.w > 0.6 * (layout.vw - 100), 'the table takes most of the screen\'s width', String(layout.holder.w));
  check(await layoutShift(page) < 0.01, 'nothing moved while the page started', String(await layoutShift(page)));
  // Home and Esc, which throw the table away, come last, apart from the
  // keys of one tap (the full-screen key among them).
  const keysApart = await page.evaluate(() => {
    const top = (sel) => document.querySelector(sel).getBoundingClientRect();
    const [enter, back, home, esc, full] = ['[data-key="13"]', '[data-key="8"]', '[data-key="36"]',
                                            '[data-key="27"]', '#tavoren-fullscreen'].map(top);
    return enter.top < back.top && back.top < full.top && full.bottom + 16 <= home.top && home.top < esc.top;
  });
  check(keysApart, 'Home and Esc stand apart, after Enter, Back Space and the full-screen key');

  // Every message fits the panel at this scale, in legible letters.
  const fits = await page.evaluate((texts) => {
    const panel = document.getElementById('tavoren-panel');
    const saved = panel.textContent;
    const result = texts.map((t) => {
      panel.textContent = t;
      return panel.scrollHeight <= panel.clientHeight + 1 && panel.scrollWidth <= panel.clientWidth + 1;
    });
    panel.textContent = saved;
    return result;
  }, Object.values(msg));
  check(layout.font >= 12 && fits.every((x) => x), 'every message fits the panel in letters of 12 px or more',
        JSON.stringify({font: layout.font, fits}));

  // ---- The rack, the on-screen Enter, the on-screen Back Space mid-shot ----
  const wrong = await rackColoursWrong(page);
  check(wrong === '', 'the rack in its colours', wrong);
  const rack = await digest(page, 0, 0, 881);
  await tapKey(13);
  check(await waitPanel(page, msg.strike, 2000) === msg.strike, 'the on-screen Enter shoots');
  let moved = false;
  for (let t0 = Date.now(); !moved && Date.now() - t0 < 3000; await sleep(20)) {
    moved = await digest(page, 0, 0, 881) !== rack;
  }
  check(moved, 'the balls move');
  await tapKey(8);
  check(await waitPanel(page, msg.undone, 2000) === msg.undone, 'the on-screen Back Space stops the shot');
  await sleep(150);
  check(await digest(page, 0, 0, 881) === rack, 'and restores the table as it was before the shot');

  // ---- No stray touch on Home or Esc loses the game ----
  const unchanged = async () => await digest(page, 0, 0, 881) === rack && await panelText(page) === msg.undone &&
      await page.evaluate(() => document.body.dataset.game === 'running');
  for (const [code, name] of [[36, 'Home'], [27, 'Esc']]) {
    await tapKey(code, 100);
    await sleep(screenKeyHoldMs + 200);
    check(await unchanged(), `a quick tap on the on-screen ${name} changes nothing`);
    // Held long enough, but the finger slides off the key first.
    const [x, y] = await keyCentre(page, code);
    await touches(cdp, 'touchStart', [[x, y]]);
    await sleep(screenKeyHoldMs / 3);
    await touches(cdp, 'touchMove', [[x - 120, y]]);
    await sleep(screenKeyHoldMs);
    await touches(cdp, 'touchEnd', []);
    await sleep(200);
    check(await unchanged(), `a finger that slides off the on-screen ${name} changes nothing`);
  }

  // ---- After a shot, leaving asks first; staying keeps the game ----
  const leaving = await tryToLeave(page, server.url + '?elsewhere');
  check(leaving.asked && !leaving.left && await unchanged(),
        'after a shot, leaving the page asks first, and the game runs on when the player stays',
        JSON.stringify(leaving));

  // ---- A break that ends without a foul ----
  let legalRack = null;
  for (let attempt = 0; attempt < 6 && legalRack === null; attempt++) {
    const before = await digest(page, 0, 0, 881);
    await tapKey(13);
    await waitPanel(page, msg.strike, 2000);
    const end = await waitPanelNot(page, msg.strike, 60000);
    if (end === msg.aiming) {
      legalRack = before;
    } else {
      console.log(`     (the break ended with "${end}"; the on-screen Home, held, racks anew)`);
      await tapKey(36, screenKeyHoldMs + 300);
      await waitPanel(page, msg.aiming, 5000);
    }
  }
  check(legalRack !== null, 'a break ends without a foul');

  // ---- Taps and drags ----
  // Points clear of the balls wherever the break left them.
  const tapAt = await clearSpot(page, 150, 380), dragTo = await clearSpot(page, 171, 121);
  const first = await clearSpot(page, 400, 150);
  await tap(...tapAt);
  check(await cueLineEndsAt(page, ...tapAt), 'a tap on the table aims at the client pixel under the finger',
        `at ${tapAt}`);
  await drag([[300, 300], [250, 250], [200, 200], dragTo]);
  check(await cueLineEndsAt(page, ...dragTo), 'a drag aims, ending on the pixel under the finger', `at ${dragTo}`);

  // A second finger neither aims nor scrolls.
  const a = await at(...first), b = await at(600, 300), b2 = await at(650, 350);
  await touches(cdp, 'touchStart', [a]);
  await touches(cdp, 'touchStart', [a, b]);
  await touches(cdp, 'touchMove', [a, b2]);
  await touches(cdp, 'touchEnd', [a]);
  await touches(cdp, 'touchEnd', []);
  await sleep(100);
  check(await cueLineEndsAt(page, ...first) && !(await cueLineEndsAt(page, 650, 350, 0)),
        'a second finger does not aim');
  check(await page.evaluate(() => scrollX === 0 && scrollY === 0 && visualViewport.scale === 1 &&
                                   visualViewport.offsetLeft === 0 && visualViewport.offsetTop === 0),
        'the page neither scrolled nor zoomed');

  // Fingers beside the table: landing a few pixels off the canvas (Chromium
  // then hands the canvas a touch it may not cancel), and fast swipes to the
  // right from the screen's left edge, which would go back in the history.
  const canvasBox = await page.$eval('#tavoren-canvas', (c) => {
    const r = c.getBoundingClientRect();
    return {left: r.left, bottom: r.bottom};
  });
  for (const dx of [1, 2, 3, 4, 6]) {
    await touches(cdp, 'touchStart', [[canvasBox.left - dx, 150]], 10);
    await touches(cdp, 'touchEnd', []);
  }
  for (const y of [200, canvasBox.bottom + 30]) {
    let x = 5;
    await touches(cdp, 'touchStart', [[x, y]]);
    for (let i = 0; i < 12; i++) await touches(cdp, 'touchMove', [[x += 60, y]]);
    await touches(cdp, 'touchEnd', []);
    await sleep(800);
  }
  check(await page.evaluate((url) => location.href === url && document.body.dataset.game === 'running', server.url),
        'swipes beside the table do not leave the page');

  // The full-screen key: in and out again, the table refitted each time.
  const fullscreen = async () => page.evaluate(() => {
    const key = document.getElementById('tavoren-fullscreen'), r = key.getBoundingClientRect();
    const c = document.getElementById('tavoren-canvas').getBoundingClientRect();
    return {on: document.fullscreenElement === document.documentElement, label: key.textContent,
            centre: [r.left + r.width / 2, r.top + r.height / 2], shown: !key.hidden && r.width >= 44,
            fits: c.width <= innerWidth && Math.abs(c.width / c.height - 1016 / 500) < 1e-3 &&
                  Math.abs(c.width - parseFloat(document.getElementById('tavoren-holder').style.width)) < 0.1};
  });
  const table = await digest(page, 0, 0, 881);
  const screenBefore = await fullscreen();
  check(screenBefore.shown && !screenBefore.on && screenBefore.fits, 'a full-screen key where the page may go full screen',
        JSON.stringify(screenBefore));
  await touches(cdp, 'touchStart', [screenBefore.centre]);
  await touches(cdp, 'touchEnd', []);
  await sleep(500);
  const screenIn = await fullscreen();
  check(screenIn.on && screenIn.label !== screenBefore.label && screenIn.fits,
        'its tap puts the page in full screen and the table refits', JSON.stringify(screenIn));
  await touches(cdp, 'touchStart', [screenIn.centre]);
  await touches(cdp, 'touchEnd', []);
  await sleep(500);
  const screenOut = await fullscreen();
  check(!screenOut.on && screenOut.label === screenBefore.label && screenOut.fits,
        'a second tap leaves full screen', JSON.stringify(screenOut));
  check(await digest(page, 0, 0, 881) === table, 'the full-screen key leaves the table alone');

  const spinBefore = await pixels(page, [[930, 240], [940, 228]]);
  await tap(940, 228);
  const spinAfter = await pixels(page, [[930, 240], [940, 228]]);
  check(same(spinBefore[0], colours.red) && same(spinAfter[0], colours.white) && same(spinAfter[1], colours.red),
        'a tap on the spin disc moves the marker', JSON.stringify({spinBefore, spinAfter}));
  await tap(1004, 100);
  const bar = await pixels(page, [[1004, 99], [1004, 100], [1004, 200]]);
  check(same(bar[0], colours.black) && same(bar[1], colours.white) && same(bar[2], colours.white),
        'a tap on the power bar sets the power', JSON.stringify(bar));

  // ---- The second shot; holding Back Space steps back once ----
  await tapKey(13);
  check(await waitPanel(page, msg.strike, 2000) === msg.strike, 'the on-screen Enter fires the second shot');
  check(await waitPanelNot(page, msg.strike, 60000) !== null, 'the second shot ends');
  await tapKey(8, 1200);
  await sleep(150);
  const once = await digest(page, 0, 0, 881);
  check(await panelText(page) === msg.undone && once !== legalRack,
        'holding the on-screen Back Space steps back one shot, not more');
  await tapKey(8);
  await sleep(150);
  check(await digest(page, 0, 0, 881) === legalRack, 'a second tap steps back to the rack');

  // ---- The on-screen Esc, held, ends the game ----
  await tapKey(27, screenKeyHoldMs + 300);
  await sleep(200);
  check(await page.evaluate(() => document.body.dataset.game === 'ended' &&
                                   /終了/.test(document.getElementById('tavoren-status').textContent)),
        'the on-screen Esc, held, ends the game');
  // One way to start again: its key, on the screen, racks anew.
  const again = await page.$eval('#tavoren-again', (b) => {
    const r = b.getBoundingClientRect();
    return {shown: !b.hidden && r.width >= 44 && r.height >= 44 && r.bottom <= innerHeight,
            centre: [r.left + r.width / 2, r.top + r.height / 2]};
  });
  check(again.shown, 'after the end, a key to start again is on the screen', JSON.stringify(again));
  await readErrorsBeforeReload(page, errors);
  const reloaded = page.waitForNavigation({waitUntil: 'load', timeout: 10000});
  await touches(cdp, 'touchStart', [again.centre]);
  await touches(cdp, 'touchEnd', []);
  await reloaded;
  check(await waitPanel(page, msg.aiming, 10000) === msg.aiming &&
        await page.evaluate(() => document.body.dataset.game === 'running'), 'its tap starts a new rack');

  // A shot, then Home held: a new rack with no shot, nothing left to lose.
  await tapKey(13);
  await waitPanel(page, msg.strike, 2000);
  await tapKey(36, screenKeyHoldMs + 300);
  check(await waitPanel(page, msg.aiming, 3000) === msg.aiming, 'the on-screen Home, held, racks anew mid-shot');
  await readErrorsBeforeReload(page, errors);
  const fresh = await tryToLeave(page, server.url + '?elsewhere');
  check(!fresh.asked && fresh.left, 'on a fresh rack the page leaves without asking', JSON.stringify(fresh));
  await page.close();

  // ---- Portrait ----
  const tall = await browser.newPage();
  watchErrors(tall, errors);
  await tall.emulate(KnownDevices['iPhone 13']);
  await recordLayoutShifts(tall);
  await tall.goto(server.url, {waitUntil: 'load'});
  await waitPanel(tall, msg.aiming, 10000);
  check(await layoutShift(tall) < 0.01, 'in portrait nothing moved while the page started', String(await layoutShift(tall)));
  const portrait = await tall.evaluate(() => {
    const box = (e) => e.getBoundingClientRect();
    const c = box(document.getElementById('tavoren-canvas'));
    const p = box(document.getElementById('tavoren-panel'));
    const keys = [...document.querySelectorAll('#tavoren-keys [data-key]')].map(box);
    const hint = document.getElementById('tavoren-turn');
    return {
      vw: innerWidth, vh: innerHeight, cw: c.width, ch: c.height, cr: c.right, pb: p.bottom,
      keys: keys.every((k) => k.left >= 0 && k.right <= innerWidth && k.bottom <= innerHeight && k.width >= 44),
      hint: getComputedStyle(hint).display !== 'none' && hint.textContent.includes('横向き'),
    };
  });
  check(portrait.vw === 390 && portrait.cr <= 390 && portrait.cw > portrait.ch &&
        Math.abs(portrait.cw / portrait.ch - 1016 / 500) < 1e-3 && portrait.pb <= portrait.vh,
        'in portrait the table fits the width, not rotated', JSON.stringify(portrait));
  check(portrait.keys, 'in portrait the on-screen keys are on the screen');
  check(portrait.hint, 'in portrait the page suggests turning the device');
  await closePage(tall, errors);

  // ---- A small phone in landscape (568 x 320): the keys beside the table,
  // which fills what they leave of the width or the height ----
  const small = await browser.newPage();
  watchErrors(small, errors);
  await small.emulate(KnownDevices['iPhone SE landscape']);
  await small.goto(server.url, {waitUntil: 'load'});
  await waitPanel(small, msg.aiming, 10000);
  const fitted = await small.evaluate(() => {
    const box = (sel) => document.querySelector(sel).getBoundingClientRect();
    const game = box('#tavoren-game'), keys = box('#tavoren-keys'), holder = box('#tavoren-holder');
    const all = [...document.querySelectorAll('#tavoren-keys button:not([hidden])')].map((b) => b.getBoundingClientRect());
    return {vw: innerWidth, vh: innerHeight, table: [holder.width, holder.height], gameW: game.width, gameH: game.height,
            beside: keys.left >= holder.right,
            keys: all.every((k) => k.top >= 0 && k.bottom <= innerHeight && k.width >= 44 && k.height >= 44)};
  });
  console.log(`     table at ${fitted.vw} x ${fitted.vh}: ${fitted.table.map((v) => v.toFixed(1)).join(' x ')} CSS px`);
  check(fitted.beside && fitted.keys && (fitted.gameW >= fitted.vw - 17 || fitted.gameH >= fitted.vh - 16 - 30 - 1),
        'on a small phone the keys stand beside the table, which fills the rest', JSON.stringify(fitted));
  await closePage(small, errors);
});
