// The page under seeded random input, like the window's soak test, in
// Chromium with a mouse, a keyboard and a touch screen at once: moves,
// presses and drags on and far off the canvas, releases outside, the wheel
// up and down (with Ctrl too), finger taps and swipes on and beside the
// canvas, the game's keys and others, modifiers held across input, and idle
// gaps long enough for replay pauses (never Esc). Then Home racks, Enter
// shoots, Backspace in the middle of the shot restores the table and Esc
// ends the game. No page error, no navigation, every wheel the page could
// keep from the browser kept, and the heap after garbage collection stays
// within a small bound.
//
// Sideways wheels too, while a game is in progress: Chromium hands some
// wheels of synthetic input to the page as not cancelable, and a sideways
// one of those can take the tab back in its history whatever the page does.
// Then the page's leave guard asks first, and the player stays (every leave
// dialog is dismissed): the game is never gone at the end. On a fresh rack,
// with nothing to lose and no guard, the wheel stays upright.
//
// usage: node soak_test.mjs SITE_DIR
// Environment: TAVOREN_SOAK_SECONDS (default 60), TAVOREN_SOAK_SEED (default
// random; printed, and the same seed repeats the input).
import {msg, check, sleep, runBrowserTest, watchErrors, waitPanel, pagePoint, digest, recordWheels, wheelsSeen,
        wheelsKept} from './harness.mjs';

const seconds = Number(process.env.TAVOREN_SOAK_SECONDS || 60);
const seed = Number(process.env.TAVOREN_SOAK_SEED || Math.floor(Math.random() * 2 ** 31));
console.log(`soak: ${seconds} s, seed ${seed} (TAVOREN_SOAK_SEED=${seed} repeats it)`);

// mulberry32
let state = seed >>> 0;
function random() {
  state = (state + 0x6d2b79f5) >>> 0;
  let t = state;
  t = Math.imul(t ^ (t >>> 15), t | 1);
  t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
}
const below = (n) => Math.floor(random() * n);
const pick = (list) => list[below(list.length)];

await runBrowserTest('soak test', 'soak_test.mjs', async ({browser, server, errors}) => {
  const page = await browser.newPage();
  await page.setViewport({width: 1280, height: 800});
  watchErrors(page, errors);
  const cdp = await page.createCDPSession();
  await cdp.send('Emulation.setTouchEmulationEnabled', {enabled: true, maxTouchPoints: 5});
  let navigations = 0, leaveDialogs = 0;
  page.on('dialog', (d) => {
    if (d.type() === 'beforeunload') leaveDialogs++;
    d.dismiss().catch(() => {});
  });
  page.on('framenavigated', (frame) => { if (frame === page.mainFrame()) navigations++; });
  await page.goto(server.url + '?before', {waitUntil: 'load'});
  await page.goto(server.url, {waitUntil: 'load'});
  navigations = 0;
  check(await waitPanel(page, msg.aiming, 10000) === msg.aiming, 'the game starts');
  const heap = async () => {
    await cdp.send('HeapProfiler.collectGarbage');
    return (await cdp.send('Runtime.getHeapUsage')).usedSize;
  };
  const heapBefore = await heap();
  await recordWheels(page);

  // A point on the page: mostly on the canvas, else beside it (the
  // on-screen keys among it) or far off; never on the on-screen Esc nor
  // within a finger's reach of it: Chromium gives a touch that lands a few
  // pixels beside a button to the button, as a phone does for a fat finger.
  const kEscReach = 40;
  const escKey = () => page.$eval('#tavoren-keys [data-key="27"]', (b, reach) => {
    const r = b.getBoundingClientRect();
    return [r.left - reach, r.top - reach, r.right + reach, r.bottom + reach];
  }, kEscReach);
  const somewhere = async () => {
    const r = random();
    let p;
    if (r < 0.6) p = await pagePoint(page, below(1016), below(500));
    else if (r < 0.85) p = await pagePoint(page, -40 + below(1200), pick([-30 + below(25), 505 + below(80)]));
    else p = [below(1500) - 100, below(1000) - 100];  // far off, even outside the window
    const [l, t, rt, b] = await escKey();
    return p[0] >= l && p[0] <= rt && p[1] >= t && p[1] <= b ? [l - 1, t - 1] : p;
  };
  const touch = (type, points) => cdp.send('Input.dispatchTouchEvent', {
    type, touchPoints: points.map(([x, y]) => ({x, y, id: 0, radiusX: 1 + below(10), radiusY: 1 + below(10)}))});
  const modifiersHeld = new Set();
  let mouseDown = null;  // the button held
  const counts = {};
  const actions = [
    [10, 'move', async () => { const [x, y] = await somewhere(); await page.mouse.move(x, y, {steps: 1 + below(5)}); }],
    [6, 'press', async () => {
      const [x, y] = await somewhere();
      await page.mouse.move(x, y);
      if (!mouseDown) {
        mouseDown = pick(['left', 'left', 'right', 'middle']);
        await page.mouse.down({button: mouseDown});
      }
    }],
    [6, 'release', async () => {
      if (mouseDown) { await page.mouse.up({button: mouseDown}); mouseDown = null; }
    }],
    [6, 'drag', async () => {
      let [x, y] = await somewhere();
      await page.mouse.move(x, y);
      if (!mouseDown) await page.mouse.down({button: mouseDown = 'left'});
      for (let i = 0, n = 2 + below(6); i < n; i++) {
        [x, y] = await somewhere();
        await page.mouse.move(x, y, {steps: 2});
      }
      await page.mouse.up({button: mouseDown});  // often outside the canvas
      mouseDown = null;
    }],
    [5, 'wheel', async () => {
      const [x, y] = await somewhere();
      await page.mouse.move(x, y);
      if (modifiersHeld.delete('Shift')) await page.keyboard.up('Shift');
      const delta = (random() < 0.5 ? -1 : 1) * (50 + below(600));
      const sideways = random() < 0.5;
      await sleep(100);  // the keys sent before have been handled
      if (sideways && await page.evaluate(() => document.body.dataset.leave === 'asks')) {
        counts['sideways wheel'] = (counts['sideways wheel'] || 0) + 1;
        await page.mouse.wheel({deltaX: delta});
      } else {
        await page.mouse.wheel({deltaY: delta});
      }
    }],
    [5, 'tap', async () => {
      const p = await somewhere();
      await touch('touchStart', [p]);
      await touch('touchEnd', []);
    }],
    [4, 'swipe', async () => {
      let [x, y] = await somewhere();
      const [dx, dy] = [(random() - 0.3) * 120, (random() - 0.5) * 60];
      await touch('touchStart', [[x, y]]);
      for (let i = 0, n = 3 + below(10); i < n; i++) await touch('touchMove', [[x += dx, y += dy]]);
      await touch('touchEnd', []);
    }],
    [8, 'game key', async () => { await page.keyboard.press(pick(['Enter', 'Enter', 'Backspace', 'Home'])); }],
    [3, 'other key', async () => { await page.keyboard.press(pick(['a', 'x', '1', 'Space', 'Tab', 'ArrowUp', 'Delete', 'F2'])); }],
    [3, 'modifier', async () => {
      const key = pick(['Shift', 'Control']);
      if (modifiersHeld.has(key)) { await page.keyboard.up(key); modifiersHeld.delete(key); }
      else { await page.keyboard.down(key); modifiersHeld.add(key); }
    }],
    [4, 'idle', async () => { await sleep(random() < 0.3 ? 2000 + below(1500) : below(300)); }],
  ];
  const total = actions.reduce((s, [w]) => s + w, 0);
  const end = Date.now() + seconds * 1000;
  while (Date.now() < end) {
    let r = below(total);
    const [, name, run] = actions.find(([w]) => (r -= w) < 0);
    counts[name] = (counts[name] || 0) + 1;
    await run();
    await sleep(below(40));
  }
  if (mouseDown) await page.mouse.up({button: mouseDown});
  for (const key of modifiersHeld) await page.keyboard.up(key);
  console.log(`     input: ${Object.entries(counts).map(([k, v]) => `${k} ${v}`).join(', ')};` +
              ` leave dialogs dismissed: ${leaveDialogs}`);
  check(navigations === 0 && await page.evaluate((url) => location.href === url, server.url),
        'no input left the page', `${navigations} navigation(s)`);
  check(await page.evaluate(() => document.body.dataset.game) === 'running', 'the game still runs');
  const wheels = await wheelsSeen(page);
  check(wheels.length > 0 && wheelsKept(wheels), 'the page kept every wheel it could from the browser',
        JSON.stringify(wheels));

  // ---- The game still answers ----
  await sleep(3000);  // a replay pause runs out
  await page.keyboard.press('Home');
  check(await waitPanel(page, msg.aiming, 5000) === msg.aiming, 'Home racks a new game');
  await sleep(200);
  const rack = await digest(page, 0, 0, 881);
  await page.keyboard.press('Enter');
  check(await waitPanel(page, msg.strike, 3000) === msg.strike, 'Enter shoots');
  await sleep(300);
  await page.keyboard.press('Backspace');
  check(await waitPanel(page, msg.undone, 3000) === msg.undone, 'Backspace in the middle of the shot');
  await sleep(200);
  check(await digest(page, 0, 0, 881) === rack, 'restores the table');
  const heapAfter = await heap();
  console.log(`     heap after garbage collection: ${heapBefore} bytes before, ${heapAfter} after`);
  check(heapAfter - heapBefore < 1 << 20, 'the heap grew by less than 1 MB');
  await page.keyboard.press('Escape');
  await sleep(200);
  check(await page.evaluate(() => document.body.dataset.game) === 'ended', 'Esc ends the game');
}, {minutes: seconds / 60 + 3});
