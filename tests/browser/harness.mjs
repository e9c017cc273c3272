// What the browser tests share: a static server for the page, Debian's
// chromium driven by puppeteer-core, and readers of the canvas and the panel.
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

export const W = 1016, H = 500;

export const msg = {
  aiming: '左ボタンで、撞く方向、撞点、力加減を指定。Enterキーでショット。Back Spaceキーで前状態復元。Homeキーで新規開始。',
  strike: 'Back Spaceキーで中断して前状態復元。Homeキーで中断して新規開始。',
  undone: 'Enterキーで最後まで再現。左ボタンで、撞く方向、撞点、力加減を指定。Back Spaceキーで前状態復元。Homeキーで新規開始。',
  nineBall: '９ボールが入りました。２秒後、再現を始めます。Back Spaceキーで前状態復元。Homeキーで新規開始。',
  cleared: '取り切りました。２秒後、再現を始めます。Back Spaceキーで前状態復元。Homeキーで新規開始。',
};

// 0x00BBGGRR colours of the game, as [r, g, b].
export const rgb = (c) => [c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff];
export const colours = {
  cloth: rgb(0x00c000), rail: rgb(0x002070), strip: rgb(0xff0000), white: rgb(0xffffff),
  red: rgb(0x0000ff), black: rgb(0x000000),
  balls: [0xffffff, 0x00ffff, 0xff0000, 0x0000ff, 0x800080, 0x0080ff, 0x008000, 0x000080,
          0x000000, 0x60ffff].map(rgb),
};
// Each ball's place in a new rack (the foot spot plus the rack's offsets);
// the rack's jitter moves a ball by less than a pixel.
export const rackOffsets = [[-400, 0], [0, 0], [22, 12], [44, 0], [22, -12], [33, 6], [33, -6],
                            [11, 6], [11, -6], [22, 0]];

let failures = 0;
export function check(ok, what, detail = '') {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${!ok && detail ? `: ${detail}` : ''}`);
  if (!ok) failures++;
  return ok;
}
export function failed() { return failures; }

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// python3 -m http.server on 127.0.0.1, on a port the system picks.
export async function serve(dir) {
  const server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1',
                                   '--directory', dir], {stdio: ['ignore', 'pipe', 'pipe']});
  const port = await new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error('the web server did not start')), 10000);
    server.stdout.on('data', (d) => {
      out += d;
      const m = /port (\d+)/.exec(out);
      if (m) { clearTimeout(timer); resolve(Number(m[1])); }
    });
    server.on('exit', (code) => reject(new Error(`the web server exited (${code})`)));
  });
  server.stderr.resume();
  return {url: `http://127.0.0.1:${port}/`, stop: () => server.kill()};
}

export async function launch() {
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'tavoren-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--disable-default-apps', '--disable-extensions', '--mute-audio',
           '--disable-features=Translate,MediaRouter,OptimizationHints'],
    protocolTimeout: 60000,
  });
  return {browser, close: async () => {
    await browser.close().catch(() => {});
    fs.rmSync(userDataDir, {recursive: true, force: true});
  }};
}

// Runs one browser test, `node FILE SITE_DIR`: serves SITE_DIR on
// 127.0.0.1, starts a fresh Chromium and calls body({browser, server,
// errors}), with a watchdog over the whole run. A thrown error is a failed
// check, and so is anything left in errors (fill it with watchErrors). Prints
// the summary and exits 1 when a check failed.
export async function runBrowserTest(name, file, body) {
  const site = process.argv[2];
  if (!site) {
    console.error(`usage: node ${file} SITE_DIR`);
    process.exit(2);
  }
  const watchdog = setTimeout(() => { console.error(`FAIL ${name}: out of time`); process.exit(1); }, 240000);
  const server = await serve(site);
  const {browser, close} = await launch();
  const errors = [];
  try {
    await body({browser, server, errors});
  } catch (e) {
    check(false, `the ${name} ran to its end`, e.stack || String(e));
  } finally {
    check(errors.length === 0, 'the page logged no error', errors.join('\n'));
    await close();
    server.stop();
    clearTimeout(watchdog);
  }
  if (failed() > 0) {
    console.log(`${name}: ${failed()} check(s) failed`);
    process.exit(1);
  }
  console.log(`${name}: all checks passed`);
}

// Collects everything the page reports as going wrong.
export function watchErrors(page, errors = []) {
  page.on('console', (m) => { if (m.type() === 'error') errors.push(`console ${m.type()}: ${m.text()}`); });
  page.on('pageerror', (e) => errors.push(`page error: ${e.message}`));
  page.on('requestfailed', (r) => errors.push(`request failed: ${r.url()} ${r.failure()?.errorText}`));
  page.on('response', (r) => { if (r.status() >= 400) errors.push(`HTTP ${r.status()}: ${r.url()}`); });
  return errors;
}

export const panelText = (page) => page.$eval('#tavoren-panel', (e) => e.textContent);

export async function waitPanel(page, want, timeout = 30000) {
  const wants = Array.isArray(want) ? want : [want];
  const t0 = Date.now();
  for (;;) {
    const text = await panelText(page);
    if (wants.includes(text)) return text;
    if (Date.now() - t0 > timeout) return null;
    await sleep(20);
  }
}

// Waits until the panel shows something other than the given text.
export async function waitPanelNot(page, text, timeout = 60000) {
  const t0 = Date.now();
  for (;;) {
    const now = await panelText(page);
    if (now !== text) return now;
    if (Date.now() - t0 > timeout) return null;
    await sleep(20);
  }
}

// The colours of client pixels, read back from the canvas.
export function pixels(page, points) {
  return page.evaluate((pts) => {
    const c = document.getElementById('tavoren-canvas').getContext('2d');
    return pts.map(([x, y]) => Array.from(c.getImageData(x, y, 1, 1).data.slice(0, 3)));
  }, points);
}
export const pixel = async (page, x, y) => (await pixels(page, [[x, y]]))[0];
export const same = (a, b) => a[0] === b[0] && a[1] === b[1] && a[2] === b[2];

// A digest of a region of the canvas, to tell whether the picture changed.
export function digest(page, x0 = 0, y0 = 0, x1 = W, y1 = 480) {
  return page.evaluate((x0, y0, x1, y1) => {
    const d = document.getElementById('tavoren-canvas').getContext('2d')
        .getImageData(x0, y0, x1 - x0, y1 - y0).data;
    let h = 0x811c9dc5;
    for (let i = 0; i < d.length; i++) h = Math.imul(h ^ d[i], 16777619) >>> 0;
    return h;
  }, x0, y0, x1, y1);
}

// Where client pixel (x, y) lies on the page, in CSS pixels: the middle of
// the pixel at the canvas's current scale.
export async function pagePoint(page, x, y) {
  const r = await page.$eval('#tavoren-canvas', (c) => {
    const b = c.getBoundingClientRect();
    return {left: b.left, top: b.top, width: b.width, height: b.height};
  });
  return [r.left + (x + 0.5) * r.width / W, r.top + (y + 0.5) * r.height / H];
}

// Whether the cue line ends at client pixel (x, y): like the Windows line it
// stops just before its end point, so (x, y) itself is not red and one of
// its eight neighbours is.
export async function cueLineEndsAt(page, x, y) {
  const around = [];
  for (let dy = -1; dy <= 1; dy++) for (let dx = -1; dx <= 1; dx++) around.push([x + dx, y + dy]);
  const px = await pixels(page, around);
  const red = px.map((p) => same(p, colours.red));
  return !red[4] && red.some((r, i) => r && i !== 4);
}

// The rack's balls in their colours (each sampled 3 pixels below its centre,
// clear of the aim guide along row 240), and cloth, rail and control strip.
export async function rackColoursWrong(page) {
  const points = rackOffsets.map(([dx, dy]) => [640 + dx, 240 + dy + 3]);
  const got = await pixels(page, [...points, [100, 100], [20, 20], [950, 100]]);
  const want = [...colours.balls, colours.cloth, colours.rail, colours.strip];
  return got.map((p, i) => same(p, want[i]) ? null : `${i}: ${p} not ${want[i]}`).filter((x) => x).join('; ');
}
