// Measures the page's CPU use in headless Chromium while it waits for the
// player, while balls move and during a replay pause: the CPU time of all
// of Chromium's processes, and the renderer's main-thread task time, over
// each stretch of wall time. A benchmark, not a test.
//
// usage: node bench/page_cpu.mjs build-web/site  (after npm ci in tests/browser)
import fs from 'node:fs';
import {msg, sleep, serve, launch, waitPanel, waitPanelNot} from '../tests/browser/harness.mjs';

const site = process.argv[2];
const server = await serve(site);
const {browser, close} = await launch();
const tick = 100;  // clock ticks per second in /proc (USER_HZ)

function cpuSeconds(rootPid) {
  // The browser and every process below it.
  const all = fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d));
  const parent = new Map();
  const times = new Map();
  for (const pid of all) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const rest = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      parent.set(pid, rest[1]);
      times.set(pid, (Number(rest[11]) + Number(rest[12])) / tick);
    } catch { /* gone */ }
  }
  let sum = 0;
  for (const [pid, t] of times) {
    let p = pid;
    for (let i = 0; i < 10 && p && p !== '0'; i++) {
      if (p === String(rootPid)) { sum += t; break; }
      p = parent.get(p);
    }
  }
  return sum;
}

try {
  const page = await browser.newPage();
  await page.setViewport({width: 1280, height: 800});
  const cdp = await page.createCDPSession();
  await cdp.send('Performance.enable');
  const taskSeconds = async () => {
    const {metrics} = await cdp.send('Performance.getMetrics');
    return metrics.find((m) => m.name === 'TaskDuration').value;
  };
  const pid = browser.process().pid;
  async function measure(what, ms) {
    const c0 = cpuSeconds(pid), t0 = await taskSeconds(), w0 = Date.now();
    await sleep(ms);
    const c1 = cpuSeconds(pid), t1 = await taskSeconds(), w = (Date.now() - w0) / 1000;
    console.log(`${what}: all of Chromium ${((c1 - c0) / w * 100).toFixed(1)}% of a core, ` +
                `page main thread ${((t1 - t0) / w * 100).toFixed(2)}% (over ${w.toFixed(1)} s)`);
  }
  await page.goto(server.url, {waitUntil: 'load'});
  await waitPanel(page, msg.aiming, 10000);
  await sleep(1000);
  await measure('waiting for the player', 5000);

  // A break that ends legally, then a second shot: the record a replay needs.
  for (let i = 0; i < 8; i++) {
    await page.keyboard.press('Enter');
    await waitPanel(page, msg.strike, 2000);
    if (i === 0) await measure('balls moving (the break)', 3000);
    const end = await waitPanelNot(page, msg.strike, 60000);
    if (end === msg.aiming) break;
    await page.keyboard.press('Home');
    await waitPanel(page, msg.aiming, 5000);
  }
  await page.keyboard.press('Enter');
  await waitPanel(page, msg.strike, 2000);
  await waitPanelNot(page, msg.strike, 60000);
  await page.keyboard.press('Backspace');
  await sleep(100);
  await page.keyboard.press('Backspace');
  await waitPanel(page, msg.undone, 3000);
  await page.keyboard.press('Enter');
  await waitPanel(page, msg.strike, 2000);
  await waitPanel(page, msg.undone, 60000);
  await measure('replay pause', 1800);
} finally {
  await close();
  server.stop();
}
