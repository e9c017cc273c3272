// The page played as a person at a desktop would, in each browser engine:
// keyboard without a click, mouse drags and clicks, the replay pause; no
// wheel leaves the page.
//
// usage: node page_test.mjs SITE_DIR [chromium|firefox|webkit]
import {
  msg, colours, rackColoursWrong, check, sleep, runBrowserTest, watchErrors,
  panelText, waitPanel, waitPanelNot, pixels, pixel, same, digest, pagePoint, cueLineEndsAt, clearSpot, closePage,
  recordWheels, wheelsSeen, tryToLeave, readErrorsBeforeReload,
} from './harness.mjs';

await runBrowserTest('page test', 'page_test.mjs', async ({browser, server, errors, engine}) => {
  const page = await browser.newPage();
  await page.setViewport({width: 1280, height: 800});
  watchErrors(page, errors);
  // A page before the game's in the tab's history, for a gesture to go back to.
  await page.goto(server.url + '?before', {waitUntil: 'load'});
  await page.goto(server.url, {waitUntil: 'load'});
  // Whether the page kept the browser's own action of a key away.
  await page.evaluate(() => {
    window.__keys = [];
    // Read once the event has been through every listener.
    window.addEventListener('keydown', (e) => {
      setTimeout(() => window.__keys.push([e.key, e.defaultPrevented]));
    });
  });
  await recordWheels(page);

  // ---- The page as it opens ----
  check(await page.title() === 'タヴォレン', 'the tab is titled タヴォレン');
  check(await waitPanel(page, msg.aiming, 10000) === msg.aiming, 'the first tick shows the aiming text');
  const geometry = await page.$eval('#tavoren-canvas', (c) => {
    const r = c.getBoundingClientRect();
    return {w: c.width, h: c.height, cw: r.width, ch: r.height, left: r.left, right: innerWidth - r.right,
            focused: document.activeElement === c};
  });
  check(geometry.w === 1016 && geometry.h === 500 && geometry.cw === 1016 && geometry.ch === 500,
        'the canvas is 1016 x 500 at scale 1', JSON.stringify(geometry));
  check(Math.abs(geometry.left - geometry.right) <= 1, 'the canvas is centred', JSON.stringify(geometry));
  check(geometry.focused, 'the canvas has the keyboard focus from the start');
  const panelStyle = await page.$eval('#tavoren-panel', (p) => {
    const r = p.getBoundingClientRect(), c = document.getElementById('tavoren-canvas').getBoundingClientRect();
    const s = getComputedStyle(p);
    return {top: r.top - c.top, height: r.height, bg: s.backgroundColor, color: s.color, size: s.fontSize,
            padding: s.paddingLeft};
  });
  check(panelStyle.top === 480 && panelStyle.height === 20 && panelStyle.bg === 'rgb(240, 240, 240)' &&
        panelStyle.color === 'rgb(0, 0, 0)' && panelStyle.size === '15px' && panelStyle.padding === '4px',
        'the panel lies over rows 480 to 499, black 15 px text on the button face', JSON.stringify(panelStyle));

  // ---- The rack ----
  const wrong = await rackColoursWrong(page);
  check(wrong === '', 'the rack: every ball in its colour on the cloth, rails and control strip', wrong);
  check(await page.$eval('#tavoren-keys', (k) => getComputedStyle(k).display === 'none'),
        'no on-screen keys without a touch screen');
  const rackPicture = await digest(page, 0, 0, 881);

  // ---- Enter, and Backspace in the middle of the shot (no click before) ----
  await page.keyboard.press('Enter');
  check(await waitPanel(page, msg.strike, 2000) === msg.strike, 'Enter shoots: the strike text shows');
  let left = false;
  for (let t0 = Date.now(); !left && Date.now() - t0 < 3000; await sleep(20)) {
    left = !same(await pixel(page, 240, 243), colours.white);
  }
  check(left, 'the cue ball leaves the head spot');
  // In the middle of the shot: the mouse's back and forward buttons over
  // the game, then leaving the page (no dialogs through WebKitWebDriver).
  if (engine !== 'webkit') {
    let dialogs = 0;
    const count = (d) => { dialogs++; d.dismiss().catch(() => {}); };
    page.on('dialog', count);
    const c = await pagePoint(page, 500, 300);
    await page.mouse.move(c[0], c[1]);
    for (const button of ['back', 'forward']) {
      await page.mouse.down({button});
      await page.mouse.up({button});
    }
    await sleep(300);
    page.off('dialog', count);
    check(dialogs === 0 && await page.evaluate((url) => location.href === url, server.url),
          'the mouse\'s back and forward buttons over the game do not leave it', `${dialogs} leave dialog(s)`);
    const leaving = await tryToLeave(page, server.url + '?elsewhere');
    check(leaving.asked && !leaving.left && await panelText(page) === msg.strike,
          'leaving the page mid-shot asks first; staying, the shot plays on', JSON.stringify(leaving));
  }
  await page.keyboard.press('Backspace');
  check(await waitPanel(page, msg.undone, 2000) === msg.undone, 'Backspace in the middle of the shot shows the undo text');
  await sleep(150);
  check(await digest(page, 0, 0, 881) === rackPicture, 'Backspace restores the table as it was before the shot');

  // ---- Re-fire the break; play until one ends without a foul ----
  let legal = false;
  for (let attempt = 0; attempt < 6 && !legal; attempt++) {
    await page.keyboard.press('Enter');
    await waitPanel(page, msg.strike, 2000);
    const end = await waitPanelNot(page, msg.strike, 60000);
    if (end === msg.aiming) {
      legal = true;
    } else {
      // A foul or a game over by the break: a new rack, and its break.
      console.log(`     (the break ended with "${end}"; racking anew)`);
      await page.keyboard.press('Home');
      await waitPanel(page, msg.aiming, 5000);
    }
  }
  check(legal, 'a break ends without a foul and the aiming text returns');

  // ---- Mouse: aim (also outside the canvas), spin, power ----
  const aimAt = await clearSpot(page, 150, 380);
  let p = await pagePoint(page, 300, 300);
  await page.mouse.move(p[0], p[1]);
  await page.mouse.down();
  p = await pagePoint(page, 200, 200);
  await page.mouse.move(p[0], p[1], {steps: 4});
  p = await pagePoint(page, -60, 200);  // left of the canvas, button held
  await page.mouse.move(p[0], p[1], {steps: 4});
  await sleep(100);
  const column0 = await pixels(page, Array.from({length: 480}, (_, y) => [0, y]));
  check(column0.some((c) => same(c, colours.red)),
        'dragged outside the canvas, the cue line still follows the pointer to the edge');
  p = await pagePoint(page, aimAt[0], aimAt[1]);
  await page.mouse.move(p[0], p[1], {steps: 4});
  await page.mouse.up();
  check(await cueLineEndsAt(page, aimAt[0], aimAt[1]),
        'a drag on the table draws the cue line to the pixel under the pointer', `at ${aimAt}`);

  const spinBefore = await pixels(page, [[930, 240], [940, 228]]);
  p = await pagePoint(page, 940, 228);
  await page.mouse.click(p[0], p[1]);
  await sleep(100);
  const spinAfter = await pixels(page, [[930, 240], [940, 228]]);
  check(same(spinBefore[0], colours.red) && same(spinBefore[1], colours.white) &&
        same(spinAfter[0], colours.white) && same(spinAfter[1], colours.red),
        'a click on the spin disc moves the marker', JSON.stringify({spinBefore, spinAfter}));

  // After a shot the power is 0.08: the bar is black down to row 279.
  const barBefore = await pixels(page, [[1004, 200]]);
  p = await pagePoint(page, 1004, 100);
  await page.mouse.click(p[0], p[1]);
  await sleep(100);
  const barAfter = await pixels(page, [[1004, 99], [1004, 100], [1004, 200]]);
  check(same(barBefore[0], colours.black) && same(barAfter[0], colours.black) &&
        same(barAfter[1], colours.white) && same(barAfter[2], colours.white),
        'a click on the power bar sets the bar to the pointer', JSON.stringify({barBefore, barAfter}));

  const afterRightClick = await page.evaluate(() => new Promise((resolve) => {
    const c = document.getElementById('tavoren-canvas');
    const e = new MouseEvent('contextmenu', {bubbles: true, cancelable: true, clientX: 300, clientY: 300});
    resolve(c.dispatchEvent(e));
  }));
  check(afterRightClick === false, 'a right click over the canvas opens no context menu');
  check(await page.evaluate(() => (getSelection()?.toString() ?? '') === ''), 'dragging selected no text');

  // ---- A second shot, two undos, and the replay with its pause ----
  await page.keyboard.press('Enter');
  check(await waitPanel(page, msg.strike, 2000) === msg.strike, 'the second shot is fired');
  const end2 = await waitPanelNot(page, msg.strike, 60000);
  check(end2 !== null, 'the second shot ends', String(end2));
  await page.keyboard.press('Backspace');
  await sleep(100);
  await page.keyboard.press('Backspace');
  check(await waitPanel(page, msg.undone, 3000) === msg.undone, 'two undos: back at the rack with the undo text');
  await sleep(150);
  const atRack = await digest(page, 0, 0, 881);

  await page.keyboard.press('Enter');
  check(await waitPanel(page, msg.strike, 2000) === msg.strike, 'Enter after the undos replays the break');
  check(await waitPanel(page, msg.undone, 60000) === msg.undone,
        'at the end of the replayed break the second shot is set up and the pause begins');
  const pauseStart = Date.now();
  await page.keyboard.press('Backspace');
  let fired = false;
  while (Date.now() - pauseStart < 3000) {
    if (await panelText(page) !== msg.undone) fired = true;
    await sleep(50);
  }
  check(!fired, 'Backspace inside the pause abandons the replay: the second shot is not fired');
  check(await digest(page, 0, 0, 881) === atRack, 'and the table is back at the start of the break');

  // ---- Keys keep their meaning away from the browser ----
  await page.keyboard.press('Home');
  check(await waitPanel(page, msg.aiming, 3000) === msg.aiming, 'Home racks a new game');
  const keys = await page.evaluate(() => window.__keys);
  const own = keys.filter(([k]) => ['Enter', 'Backspace', 'Home', 'Escape'].includes(k));
  check(own.length > 0 && own.every(([, prevented]) => prevented),
        'Enter, Backspace and Home do not navigate, scroll or submit', JSON.stringify(keys));
  check(await page.evaluate((url) => scrollX === 0 && scrollY === 0 && location.href === url, server.url),
        'the page has not scrolled or navigated');

  // ---- No wheel leaves the page ----
  // Sideways (a touchpad's swipe), with Shift, Ctrl or both, over the table
  // and beside it: Chromium takes such a wheel back in the tab's history unless the
  // page keeps it.
  if (page.mouse.wheel) {
    for (let i = 0; i < 5; i++) {
      await page.mouse.move(600, 300);
      await page.mouse.wheel({deltaX: -400});
      await page.keyboard.down('Shift');
      await page.mouse.wheel({deltaY: -400});
      await page.keyboard.up('Shift');
      await page.keyboard.down('Control');
      await page.mouse.wheel({deltaX: -400});
      await page.keyboard.down('Shift');
      await page.mouse.wheel({deltaX: -400});
      await page.keyboard.up('Shift');
      await page.keyboard.up('Control');
      await page.mouse.move(20, 300);
      await page.mouse.wheel({deltaX: -400});
      await sleep(100);
    }
    await sleep(500);
    check(await page.evaluate((url) => location.href === url && document.body.dataset.game === 'running', server.url),
          'sideways, Shift and Ctrl wheels over and beside the table do not leave the page');
    const wheels = await wheelsSeen(page);
    check(wheels.some(([ctrl]) => ctrl) && wheels.every(([, , , , prevented]) => prevented),
          'and the page keeps every one of them from the browser', JSON.stringify(wheels));
  }

  // ---- Whole-factor scaling on a large screen ----
  await page.setViewport({width: 2300, height: 1200});
  await sleep(200);
  const scaled = await page.$eval('#tavoren-canvas', (c) => c.getBoundingClientRect().width);
  check(scaled === 2032, 'on a large screen the canvas is scaled by a whole factor', String(scaled));
  p = await pagePoint(page, 400, 120);
  await page.mouse.move(p[0], p[1]);
  await page.mouse.down();
  p = await pagePoint(page, 333, 111);
  await page.mouse.move(p[0], p[1], {steps: 3});
  await page.mouse.up();
  check(await cueLineEndsAt(page, 333, 111), 'at scale 2 the pointer still lands on its client pixel');
  await page.setViewport({width: 1280, height: 800});

  // ---- A repaint when the page becomes visible again ----
  const shown = await digest(page);
  await page.evaluate(() => {
    const c = document.getElementById('tavoren-canvas').getContext('2d');
    c.fillStyle = '#ff00ff';
    c.fillRect(0, 0, 1016, 480);
  });
  const spoilt = await digest(page);
  await page.evaluate(() => document.dispatchEvent(new Event('visibilitychange')));
  await sleep(200);
  check(spoilt !== shown && await digest(page) === shown, 'the page is repainted when it becomes visible again');

  // ---- Every load racks differently ----
  // The rack's jitter is below a pixel: it shows once the break has run.
  // One load at a time: a tab in the background may be held back.
  const breaks = [];
  for (let i = 0; i < 2; i++) {
    const other = await browser.newPage();
    await other.setViewport({width: 1280, height: 800});
    watchErrors(other, errors);
    await other.goto(server.url, {waitUntil: 'load'});
    await waitPanel(other, msg.aiming, 10000);
    await other.keyboard.press('Enter');
    await waitPanel(other, msg.strike, 2000);
    check(await waitPanelNot(other, msg.strike, 60000) !== null, 'a break on a further load ends');
    await sleep(300);
    breaks.push(await digest(other, 0, 0, 881));
    await closePage(other, errors);
  }
  check(breaks[0] !== breaks[1], 'two loads rack differently: their breaks end apart');
  await page.bringToFront();

  // ---- Esc ends the game ----
  const beforeEsc = await digest(page);
  await page.keyboard.press('Escape');
  await sleep(200);
  const ended = await page.evaluate(() => ({
    state: document.body.dataset.game, line: document.getElementById('tavoren-status').textContent,
  }));
  const againKey = await page.$eval('#tavoren-again', (b) => !b.hidden && b.getBoundingClientRect().height > 0);
  check(ended.state === 'ended' && /終了/.test(ended.line) && againKey,
        'Esc ends the game, and the page offers a key to start again', JSON.stringify({...ended, againKey}));
  const panelAtEnd = await panelText(page);
  await page.keyboard.press('Home');
  await page.keyboard.press('Enter');
  p = await pagePoint(page, 500, 300);
  await page.mouse.click(p[0], p[1]);
  await sleep(300);
  check(await digest(page) === beforeEsc && await panelText(page) === panelAtEnd,
        'after Esc no key or click changes anything');
  await readErrorsBeforeReload(page, errors);
  const again = await page.$eval('#tavoren-again', (b) => {
    const r = b.getBoundingClientRect();
    return [r.left + r.width / 2, r.top + r.height / 2];
  });
  await page.mouse.click(again[0], again[1]);
  let racked = false;
  for (const t0 = Date.now(); !racked && Date.now() - t0 < 15000; await sleep(100)) {
    racked = await page.evaluate((text) => document.body.dataset.game === 'running' &&
        document.getElementById('tavoren-panel').textContent === text, msg.aiming).catch(() => false);
  }
  check(racked, 'a click on it starts a new rack');
});
