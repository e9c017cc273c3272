// The page as players get it from the web zip: unpacked and opened from
// disk (file://) it plays, in any engine. Then, in Chromium, served over
// http: installable as an app, a new release taken whole after a reload,
// played with the server gone; and a browser without WebAssembly is told
// what to do.
//
// usage: node install_test.mjs SITE_DIR [chromium|firefox|webkit]
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {
  msg, rackColoursWrong, check, sleep, runBrowserTest, watchErrors, waitPanel, serve,
} from './harness.mjs';

// Rack colours, then Enter shoots.
async function plays(page, what) {
  check(await waitPanel(page, msg.aiming, 10000) === msg.aiming, `${what}: the game starts`);
  const wrong = await rackColoursWrong(page);
  check(wrong === '', `${what}: the rack in its colours`, wrong);
  await page.keyboard.press('Enter');
  check(await waitPanel(page, msg.strike, 3000) === msg.strike, `${what}: Enter breaks`);
}

await runBrowserTest('install test', 'install_test.mjs', async ({browser, errors, engine, site}) => {
  // The folder as unpacked from the zip, somewhere on disk.
  const unpacked = fs.mkdtempSync(path.join(os.tmpdir(), 'tavoren-unpacked-'));
  let server = null;
  try {
    fs.cpSync(site, unpacked, {recursive: true});
    const page = await browser.newPage();
    watchErrors(page, errors);
    await page.goto(`file://${unpacked}/index.html`);
    await plays(page, 'opened from disk');
    if (engine !== 'chromium') return;
    await page.close();

    // ---- Served over http: installable ----
    server = await serve(unpacked);
    const app = await browser.newPage();
    watchErrors(app, errors);
    // The break has been played: each reload asks first, and the player
    // means to reload.
    app.on('dialog', (d) => { if (d.type() === 'beforeunload') d.accept().catch(() => {}); });
    const cdp = await app.createCDPSession();
    await app.goto(server.url, {waitUntil: 'load'});
    await plays(app, 'served');
    const {installabilityErrors} = await cdp.send('Page.getInstallabilityErrors');
    check(installabilityErrors.length === 0, 'the page is installable as an app', JSON.stringify(installabilityErrors));
    const controlled = () => app.evaluate(async () => {
      await navigator.serviceWorker.ready;
      for (let i = 0; i < 100 && !navigator.serviceWorker.controller; i++) await new Promise((r) => setTimeout(r, 50));
      return {controlled: !!navigator.serviceWorker.controller, caches: await caches.keys()};
    });
    const first = await controlled();
    const version = await app.evaluate(() => document.documentElement.dataset.version);
    check(first.controlled && first.caches.join() === `tavoren-${version}`,
          'a service worker keeps the page in a cache named after the release', JSON.stringify(first));

    // ---- A new release: the next load after it is found comes whole from it ----
    const next = `${version}-next`;
    for (const [file, from, to] of [['sw.js', `'tavoren-${version}'`, `'tavoren-${next}'`],
                                    ['index.html', `data-version="${version}"`, `data-version="${next}"`]]) {
      const text = fs.readFileSync(path.join(unpacked, file), 'utf8');
      check(text.includes(from), `${file} names the release`);
      fs.writeFileSync(path.join(unpacked, file), text.replace(from, to));
    }
    await app.reload({waitUntil: 'load'});
    check(await app.evaluate(() => document.documentElement.dataset.version) === version,
          'the reload that finds the new release still shows the old one, whole');
    // Chromium looks at sw.js about a second after a load, and the swap is
    // over some two seconds later. It has been seen to put the check off
    // past ten seconds, so it gets half a minute, then one more load.
    let now = null, loads = 1;
    const swapped = async () => {
      for (let t0 = Date.now(); Date.now() - t0 < 30000; await sleep(100)) {
        now = await app.evaluate(async () => (await caches.keys()).join());
        if (now === `tavoren-${next}`) return true;
      }
      return false;
    };
    if (!await swapped()) {
      await app.reload({waitUntil: 'load'});
      loads++;
      await swapped();
    }
    check(now === `tavoren-${next}`, 'the new release replaces the old one\'s cache', `${now} after ${loads} load(s)`);
    await app.reload({waitUntil: 'load'});
    check(await app.evaluate(() => document.documentElement.dataset.version) === next,
          'the next load shows the new release');

    // ---- Offline: the server gone, a reload still plays ----
    server.stop();
    server = null;
    await sleep(300);
    const offline = [];
    watchErrors(app, offline);
    await app.reload({waitUntil: 'load'});
    await plays(app, 'offline');
    check(await app.evaluate(() => document.documentElement.dataset.version) === next, 'offline, the new release plays');
    check(offline.filter((e) => !/favicon|ERR_CONNECTION_REFUSED/.test(e)).length === 0, 'offline, nothing else failed',
          offline.join('\n'));
    await app.close();

    // ---- No WebAssembly: the page says what to do ----
    const bare = await browser.newPage();
    await bare.evaluateOnNewDocument(() => { delete window.WebAssembly; });
    await bare.goto(`file://${unpacked}/index.html`);
    await sleep(500);
    const said = await bare.$eval('#tavoren-status', (e) => e.textContent);
    check(/WebAssembly/.test(said) && /ブラウザー/.test(said), 'without WebAssembly the page says so and what to do', said);
    await bare.close();
  } finally {
    server?.stop();
    fs.rmSync(unpacked, {recursive: true, force: true});
  }
});
