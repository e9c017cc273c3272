// What the browser tests share: a static server for the page, Debian's
// chromium driven by puppeteer-core, and readers of the canvas and the panel.
import {execFileSync, spawn} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import net from 'node:net';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import puppeteer from 'puppeteer-core';
import sirv from 'sirv';

// The game's sizes, messages, colours and rack, as the program describes
// them (tavoren-headless --describe, the native build's driver, which the
// suite builds first; TAVOREN_HEADLESS names another).
export const game = JSON.parse(execFileSync(
  process.env.TAVOREN_HEADLESS || fileURLToPath(new URL('../../build/tools/driver/tavoren-headless', import.meta.url)),
  ['--describe'], {encoding: 'utf8'}));
export const W = game.client.width, H = game.client.height;

export const msg = game.messages;

// A CSS "#rrggbb" colour of the game, as [r, g, b].
export const rgb = (css) => [1, 3, 5].map((i) => parseInt(css.slice(i, i + 2), 16));
export const colours = {
  cloth: rgb(game.colours.cloth), rail: rgb(game.colours.rail), strip: rgb(game.colours.strip),
  white: rgb(game.colours.white), red: rgb(game.colours.red), black: rgb(game.colours.black),
  balls: game.colours.balls.map(rgb),
};
// Each ball's offset from the foot spot in a new rack; the rack's jitter
// moves a ball by less than a pixel.
export const rackOffsets = game.rack;

let failures = 0;
export function check(ok, what, detail = '') {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${!ok && detail ? `: ${detail}` : ''}`);
  if (!ok) failures++;
  return ok;
}
export function failed() { return failures; }

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// The site on 127.0.0.1, on a port the system picks, served from this
// process by sirv: each file read as it is asked for (a test may change the
// site between loads), revalidated by its ETag on every load ("no-cache";
// "no-store" would keep the page out of the back/forward cache). stop()
// also closes the connections the browser keeps alive.
export async function serve(dir) {
  const files = sirv(dir, {dev: true, etag: true});
  const server = http.createServer((req, res) => files(req, res));
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', resolve);
  });
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    stop: () => { server.close(); server.closeAllConnections(); },
  };
}

// The browsers the page is tested in, each driven through a page object
// with puppeteer's API (the subset the tests use): Debian's chromium through
// the DevTools protocol, firefox-esr through WebDriver BiDi, both by
// puppeteer-core, and WebKitGTK's MiniBrowser through WebKitWebDriver
// (classic WebDriver, below), which needs a display ($DISPLAY, the suite's
// Xvfb). Each gets a fresh profile and home in a temporary folder.
export const engines = ['chromium', 'firefox', 'webkit'];

export async function launch(engine = 'chromium') {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), `tavoren-${engine}-`));
  const env = {...process.env, HOME: home, XDG_CONFIG_HOME: `${home}/config`, XDG_CACHE_HOME: `${home}/cache`,
               XDG_DATA_HOME: `${home}/data`, MESA_SHADER_CACHE_DISABLE: 'true'};
  let browser;
  if (engine === 'webkit') {
    browser = await launchWebKit(env);
  } else if (engine === 'firefox') {
    browser = await puppeteer.launch({
      browser: 'firefox', executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr', headless: true,
      userDataDir: `${home}/profile`, env, protocolTimeout: 60000,
      extraPrefsFirefox: {'browser.shell.checkDefaultBrowser': false, 'app.update.enabled': false,
                          'datareporting.policy.dataSubmissionEnabled': false},
    });
  } else {
    browser = await puppeteer.launch({
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      headless: true,
      userDataDir: `${home}/profile`,
      env,
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync',
             '--disable-default-apps', '--disable-extensions', '--mute-audio',
             '--disable-features=Translate,MediaRouter,OptimizationHints'],
      protocolTimeout: 60000,
    });
  }
  return {browser, engine, close: async () => {
    await browser.close().catch(() => {});
    removeHome(home);
  }};
}

// A browser's helper processes (WebKit's web process above all) may still be
// writing into the home for a moment after the browser has gone (Mesa's
// shader cache did, until it was turned off above), so a directory can
// refill while it is being removed: retry a while. A home that
// still cannot go is left in the temporary folder with a warning; it says
// nothing about the page.
function removeHome(home) {
  try {
    fs.rmSync(home, {recursive: true, force: true, maxRetries: 20, retryDelay: 100});
  } catch (e) {
    console.warn(`warning: could not remove ${home}: ${e.message}`);
  }
}

// ---- WebKitGTK through classic WebDriver ----

const webkitKeys = {Enter: '\uE007', Backspace: '\uE003', Home: '\uE011', Escape: '\uE00C', Shift: '\uE008',
                    Control: '\uE009', Alt: '\uE00A', Tab: '\uE004', ArrowLeft: '\uE012', End: '\uE010'};

async function launchWebKit(env) {
  // A free port for WebKitWebDriver, which cannot pick one itself.
  const port = await new Promise((resolve) => {
    const probe = net.createServer().listen(0, '127.0.0.1', () => {
      const p = probe.address().port;
      probe.close(() => resolve(p));
    });
  });
  const proc = spawn(process.env.WEBKIT_WEBDRIVER || 'WebKitWebDriver', [`--port=${port}`],
                     {env, stdio: ['ignore', 'ignore', 'pipe']});
  proc.stderr.resume();
  // The session through WebdriverIO's client, loaded only here and told to
  // keep its log to itself; classic WebDriver only (WebKitWebDriver speaks
  // no BiDi).
  process.env.WDIO_LOG_LEVEL ??= 'silent';
  const {default: WebDriver} = await import('webdriver');
  const capabilities = {
    'wdio:enforceWebDriverClassic': true,
    'webkitgtk:browserOptions': {
      binary: process.env.MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser',
      args: ['--automation']},
  };
  let client = null;
  for (let t0 = Date.now(); !client; await sleep(100)) {
    try {
      client = await WebDriver.newSession({hostname: '127.0.0.1', port, capabilities, logLevel: 'silent',
                                           connectionRetryCount: 0});
    } catch (e) {
      if (Date.now() - t0 > 15000) { proc.kill(); throw e; }
    }
  }
  let current = await client.getWindowHandle();
  async function use(handle) {
    if (handle !== current) {
      await client.switchToWindow(handle);
      current = handle;
    }
  }
  function makePage(handle) {
    // Each command in this page's window.
    const cmd = async (command, ...args) => { await use(handle); return client[command](...args); };
    const run = (script, args) => cmd('executeAsyncScript', `
      const done = arguments[arguments.length - 1];
      Promise.resolve().then(() => (${script}).apply(null, Array.prototype.slice.call(arguments, 0, -1)))
        .then((v) => done({v: v === undefined ? null : v}), (e) => done({e: String(e && e.stack || e)}));`,
      args).then((r) => {
        if (r && r.e) throw new Error(`in the page: ${r.e}`);
        return r ? r.v : null;
      });
    let mouseAt = [0, 0];
    const pointer = (actions) => cmd('performActions', [
      {type: 'pointer', id: 'mouse', parameters: {pointerType: 'mouse'}, actions}]);
    const keys = (actions) => cmd('performActions', [{type: 'key', id: 'keyboard', actions}]);
    const move = (x, y) => ({type: 'pointerMove', origin: 'viewport', x: Math.round(x), y: Math.round(y), duration: 0});
    const page = {
      goto: (url) => cmd('navigateTo', url),
      url: () => cmd('getUrl'),
      title: () => cmd('getTitle'),
      evaluate: (fn, ...args) => run(String(fn), args),
      $eval: (selector, fn, ...args) =>
        run(`(selector, ...rest) => (${String(fn)})(document.querySelector(selector), ...rest)`, [selector, ...args]),
      setViewport: async ({width, height}) => {
        for (let i = 0; i < 3; i++) {
          const [w, h] = await run('() => [innerWidth, innerHeight]', []);
          if (w === width && h === height) break;
          const r = await cmd('getWindowRect');
          await cmd('setWindowRect', null, null, r.width + width - w, r.height + height - h);
          await sleep(200);
        }
      },
      bringToFront: () => use(handle),
      close: async () => {
        await cmd('closeWindow');
        current = null;  // no window is current until another is chosen
      },
      keyboard: {
        press: (key) => keys([{type: 'keyDown', value: webkitKeys[key] ?? key},
                              {type: 'keyUp', value: webkitKeys[key] ?? key}]),
        down: (key) => keys([{type: 'keyDown', value: webkitKeys[key] ?? key}]),
        up: (key) => keys([{type: 'keyUp', value: webkitKeys[key] ?? key}]),
      },
      mouse: {
        move: async (x, y, {steps = 1} = {}) => {
          const [x0, y0] = mouseAt;
          const path = [];
          for (let i = 1; i <= steps; i++) path.push(move(x0 + (x - x0) * i / steps, y0 + (y - y0) * i / steps));
          mouseAt = [x, y];
          await pointer(path);
        },
        down: () => pointer([{type: 'pointerDown', button: 0}]),
        up: () => pointer([{type: 'pointerUp', button: 0}]),
        click: async (x, y) => {
          mouseAt = [x, y];
          await pointer([move(x, y), {type: 'pointerDown', button: 0}, {type: 'pointerUp', button: 0}]);
        },
      },
      // No console or network events through classic WebDriver: the page's
      // own error list (index.html) is what tells.
      on: () => page,
    };
    return page;
  }
  const firstHandle = current;
  const first = makePage(firstHandle);
  let firstTaken = false;
  return {
    async newPage() {
      if (!firstTaken) { firstTaken = true; return first; }
      if (current === null) await use(firstHandle);
      const {handle} = await client.createWindow('window');
      return makePage(handle);
    },
    async close() {
      await client.deleteSession().catch(() => {});
      const exited = new Promise((resolve) => {
        if (proc.exitCode !== null || proc.signalCode !== null) resolve();
        else proc.once('exit', resolve);
      });
      proc.kill();
      await exited;
    },
    process: () => proc,
  };
}

// Runs one browser test, `node FILE SITE_DIR [ENGINE]`: serves SITE_DIR on
// 127.0.0.1, starts a fresh browser of the engine (chromium when not given)
// and calls body({browser, server, errors, engine, site}), with a watchdog
// over the whole run. A thrown error is a failed check, and so is anything
// left in errors (fill it with watchErrors). Prints the summary and exits 1
// when a check failed.
export async function runBrowserTest(name, file, body, {minutes = 4} = {}) {
  const site = process.argv[2] && path.resolve(process.argv[2]);
  const engine = process.argv[3] || 'chromium';
  if (!site || !engines.includes(engine)) {
    console.error(`usage: node ${file} SITE_DIR [${engines.join('|')}]`);
    process.exit(2);
  }
  name = `${name} (${engine})`;
  const watchdog = setTimeout(() => { console.error(`FAIL ${name}: out of time`); process.exit(1); },
                              minutes * 60000);
  const server = await serve(site);
  const {browser, close} = await launch(engine);
  const errors = [];
  try {
    await body({browser, server, errors, engine, site});
    for (const page of watched) if (!page.isClosed?.()) await readPageErrors(page, errors);
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

// Collects everything the page reports as going wrong: what the browser
// says (where its driver tells), and the page's own list of uncaught errors
// and rejections, read when the test ends or by closePage.
const watched = new Set();
// Chromium's and Firefox's words for it; Firefox reports a frame's document
// as failed when the test closes the page that holds the frame.
const aborted = /^(net::ERR_ABORTED|NS_BINDING_ABORTED|Parent browsing context was disposed)$/;

export function watchErrors(page, errors = []) {
  page.on('console', (m) => { if (m.type() === 'error') errors.push(`console ${m.type()}: ${m.text()}`); });
  page.on('pageerror', (e) => errors.push(`page error: ${e.message}`));
  // A request the browser aborts itself (the test navigated or closed the
  // page while an icon or the game was still loading) is no failure of the
  // page; a request the game needs that never arrives fails the checks on the
  // game instead.
  page.on('requestfailed', (r) => {
    const why = r.failure()?.errorText ?? '';
    if (!aborted.test(why)) errors.push(`request failed: ${r.url()} ${why}`);
  });
  page.on('response', (r) => { if (r.status() >= 400) errors.push(`HTTP ${r.status()}: ${r.url()}`); });
  watched.add(page);
  return errors;
}
async function readPageErrors(page, errors) {
  watched.delete(page);
  const own = await page.evaluate(() => (typeof tavorenErrors === 'undefined' ? ['no error list'] : tavorenErrors));
  errors.push(...own.map((e) => `in the page: ${e}`));
}
export async function closePage(page, errors) {
  await readPageErrors(page, errors);
  await page.close();
}

// Every wheel the page receives from now on, read once it has been through
// every listener: [ctrlKey, deltaX, deltaY, cancelable, defaultPrevented].
export const recordWheels = (page) => page.evaluate(() => {
  window.__wheels = [];
  window.addEventListener('wheel', (e) => {
    setTimeout(() => window.__wheels.push([e.ctrlKey, e.deltaX, e.deltaY, e.cancelable, e.defaultPrevented]));
  });
});
export const wheelsSeen = (page) => page.evaluate(() => window.__wheels);
// Whether the page kept from the browser every wheel it could: all that
// were cancelable, an upright Ctrl+wheel (the page's zoom) aside.
export const wheelsKept = (wheels) =>
  wheels.every(([ctrl, dx, , cancelable, prevented]) => prevented || !cancelable || (ctrl && dx === 0));

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
export function digest(page, x0 = 0, y0 = 0, x1 = W, y1 = game.client.panelTop) {
  return page.evaluate((x0, y0, x1, y1) => {
    const d = document.getElementById('tavoren-canvas').getContext('2d')
        .getImageData(x0, y0, x1 - x0, y1 - y0).data;
    let h = 0x811c9dc5;
    for (let i = 0; i < d.length; i++) h = Math.imul(h ^ d[i], 16777619) >>> 0;
    return h;
  }, x0, y0, x1, y1);
}

// Where client pixel (x, y) lies on the page, in CSS pixels: a whole CSS
// pixel inside it where there is one (some browsers round pointer positions
// to whole pixels), its middle otherwise.
export async function pagePoint(page, x, y) {
  const r = await page.$eval('#tavoren-canvas', (c) => {
    const b = c.getBoundingClientRect();
    return {left: b.left, top: b.top, width: b.width, height: b.height};
  });
  const at = (origin, size, n, i) => {
    const a = origin + i * size / n, b = origin + (i + 1) * size / n;
    return Math.ceil(a) < b ? Math.ceil(a) : (a + b) / 2;
  };
  return [at(r.left, r.width, W, x), at(r.top, r.height, H, y)];
}

// Whether the cue line ends at client pixel (x, y): like the Windows line it
// stops just before its end point, so (x, y) itself is not red and one of
// its eight neighbours is. Waits up to `timeout` ms for the picture to show
// it (the page paints on its next tick, later on a busy machine).
export async function cueLineEndsAt(page, x, y, timeout = 2000) {
  const around = [];
  for (let dy = -1; dy <= 1; dy++) for (let dx = -1; dx <= 1; dx++) around.push([x + dx, y + dy]);
  for (const t0 = Date.now(); ; await sleep(40)) {
    const red = (await pixels(page, around)).map((p) => same(p, colours.red));
    if (!red[4] && red.some((r, i) => r && i !== 4)) return true;
    if (Date.now() - t0 >= timeout) return false;
  }
}

// A point of the cloth near (x, y) with only cloth for a ball's width and
// more all round, to aim at after a break: the balls come to rest anywhere,
// and one lying on the point would hide the end of the cue line. Tries
// (x, y), then points on rings 24 px apart around it.
export async function clearSpot(page, x, y) {
  const reach = 9;
  for (let ring = 0; ring <= 4; ring++) {
    for (let k = 0; k < Math.max(1, 8 * ring); k++) {
      const a = ring === 0 ? 0 : 2 * Math.PI * k / (8 * ring);
      const cx = Math.round(x + 24 * ring * Math.cos(a)), cy = Math.round(y + 24 * ring * Math.sin(a));
      const box = [];
      for (let dy = -reach; dy <= reach; dy++) for (let dx = -reach; dx <= reach; dx++) box.push([cx + dx, cy + dy]);
      if ((await pixels(page, box)).every((p) => same(p, colours.cloth))) return [cx, cy];
    }
  }
  throw new Error(`no clear cloth near (${x}, ${y})`);
}

// The rack's balls in their colours (each sampled 3 pixels below its centre,
// clear of the aim guide along row 240), and cloth, rail and control strip.
export async function rackColoursWrong(page) {
  const [footX, footY] = game.footSpot;
  const points = rackOffsets.map(([dx, dy]) => [footX + dx, footY + dy + 3]);
  const got = await pixels(page, [...points, [100, 100], [20, 20], [950, 100]]);
  const want = [...colours.balls, colours.cloth, colours.rail, colours.strip];
  return got.map((p, i) => same(p, want[i]) ? null : `${i}: ${p} not ${want[i]}`).filter((x) => x).join('; ');
}

// ---- Leaving the page, frames of other sites, layout shifts ----

// How long the on-screen Home and Esc must be held to act, as the page under
// test says.
const siteIndex = process.argv[2] ? path.join(process.argv[2], 'index.html') : null;
export const screenKeyHoldMs = siteIndex && fs.existsSync(siteIndex)
  ? Number(/data-hold-ms="(\d+)"/.exec(fs.readFileSync(siteIndex, 'utf8'))?.[1]) : NaN;

// A player's attempt to leave the page: a navigation of the tab to url. Any
// leave dialog the browser raises is answered "stay". Whether it asked, and
// whether the tab left.
export async function tryToLeave(page, url) {
  let asked = false;
  const answer = (d) => {
    if (d.type() !== 'beforeunload') return;
    asked = true;
    d.dismiss().catch(() => {});
  };
  page.on('dialog', answer);
  const before = await page.evaluate(() => location.href);
  await page.goto(url, {timeout: 10000}).catch(() => {});
  page.off('dialog', answer);
  const now = await page.evaluate(() => location.href).catch(() => null);
  return {asked, left: now !== before};
}

// A page of another origin (another port on 127.0.0.1), for framing the
// game as a portal does: each path answers with html(path).
export async function serveOther(html) {
  const server = http.createServer((req, res) => {
    res.writeHead(200, {'content-type': 'text/html; charset=utf-8'});
    res.end(html(req.url));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {url: `http://127.0.0.1:${server.address().port}/`, stop: () => server.close()};
}

// Layout shifts of every document the page loads from now on (Chromium):
// install before goto, read the sum with layoutShift.
export const recordLayoutShifts = (page) => page.evaluateOnNewDocument(() => {
  window.__layoutShift = 0;
  new PerformanceObserver((list) => {
    for (const e of list.getEntries()) if (!e.hadRecentInput) window.__layoutShift += e.value;
  }).observe({type: 'layout-shift', buffered: true});
});
export const layoutShift = (page) => page.evaluate(() => window.__layoutShift);

// The page's own error list goes with its document: read it before the
// page reloads or leaves (closePage reads it before closing).
export const readErrorsBeforeReload = (page, errors) => readPageErrors(page, errors);
