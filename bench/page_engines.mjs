// Measures the page in each engine: the time from navigation to the first
// picture on the canvas (the median of five loads), and the CPU time of the
// page's main thread while it waits for the player and while the break's
// balls move (the main thread of every content process under the browser,
// from /proc). A benchmark, not a test; WebKitGTK needs $DISPLAY.
//
// usage: node bench/page_engines.mjs SITE_DIR [ENGINE...]
import fs from 'node:fs';
import {engines, msg, sleep, serve, launch, waitPanel} from '../tests/browser/harness.mjs';

const site = process.argv[2];
const chosen = process.argv.length > 3 ? process.argv.slice(3) : engines;
const server = await serve(site);
const tick = 100;  // clock ticks per second in /proc (USER_HZ)

// The main thread's CPU seconds of every content process below rootPid.
function contentMainThreadSeconds(rootPid) {
  const parent = new Map();
  for (const pid of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      parent.set(pid, stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
    } catch { /* gone */ }
  }
  let sum = 0;
  for (const pid of parent.keys()) {
    let p = pid, below = false;
    for (let i = 0; i < 12 && p && p !== '0'; i++) {
      if (p === String(rootPid)) { below = true; break; }
      p = parent.get(p);
    }
    if (!below) continue;
    try {
      const cmd = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
      if (!/--type=renderer|-contentproc.*\btab\b|WebKitWebProcess/.test(cmd)) continue;
      const stat = fs.readFileSync(`/proc/${pid}/task/${pid}/stat`, 'utf8');
      const rest = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      sum += (Number(rest[11]) + Number(rest[12])) / tick;
    } catch { /* gone */ }
  }
  return sum;
}

try {
  for (const engine of chosen) {
    const {browser, close} = await launch(engine);
    try {
      const page = await browser.newPage();
      await page.setViewport({width: 1280, height: 800});
      const starts = [];
      for (let i = 0; i < 5; i++) {
        await page.goto(`${server.url}?load=${i}`, {waitUntil: 'load'});
        await waitPanel(page, msg.aiming, 10000);
        starts.push(await page.evaluate(() => performance.getEntriesByName('tavoren-first-picture')[0].startTime));
      }
      starts.sort((a, b) => a - b);
      const pid = browser.process().pid;
      const cpu = async (ms) => {
        const c0 = contentMainThreadSeconds(pid), w0 = Date.now();
        await sleep(ms);
        return (contentMainThreadSeconds(pid) - c0) / ((Date.now() - w0) / 1000) * 100;
      };
      await sleep(1000);
      const idle = await cpu(3000);
      await page.keyboard.press('Enter');
      await waitPanel(page, msg.strike, 2000);
      const moving = await cpu(3000);
      console.log(`${engine}: first picture ${starts[2].toFixed(0)} ms after navigation (median of 5: ` +
                  `${starts.map((s) => s.toFixed(0)).join(', ')}); main thread ${idle.toFixed(1)}% of a core ` +
                  `waiting, ${moving.toFixed(1)}% while the balls move`);
    } finally {
      await close();
    }
  }
} finally {
  server.stop();
}
