// The page as a game portal shows it: in a frame of another origin, plain,
// sandboxed with allow-same-origin, and sandboxed without it (an opaque
// origin, where even looking at the service worker is forbidden), at the
// frame size docs/web.md gives for embedding. In each: the picture at
// scale 1, the first click on the canvas gives it the keys, Enter shoots,
// the status line says nothing is wrong, and nothing lands in the page's
// error list or, at error level, in the browser's console (where Chromium
// would say it blocked an autofocus).
//
// usage: node embed_test.mjs SITE_DIR [chromium|firefox]
import {msg, W, H, check, sleep, runBrowserTest, watchErrors, waitPanel, serveOther, pagePoint} from './harness.mjs';

const frameSize = [1040, 560];  // docs/web.md, "On a game portal"
const sandboxes = [null, 'allow-scripts allow-same-origin allow-pointer-lock', 'allow-scripts allow-pointer-lock'];

await runBrowserTest('embed test', 'embed_test.mjs', async ({browser, server, errors}) => {
  const portal = await serveOther((url) => {
    const sandbox = new URLSearchParams(url.slice(1)).get('sandbox');
    return `<!doctype html><html lang="en"><title>portal</title>
      <body style="margin:0"><iframe src="${server.url}" width="${frameSize[0]}" height="${frameSize[1]}"
        style="display:block;border:0" allow="fullscreen"${sandbox === null ? '' : ` sandbox="${sandbox}"`}></iframe>`;
  });
  try {
    for (const sandbox of sandboxes) {
      const what = sandbox === null ? 'a frame of another origin' : `a frame sandboxed "${sandbox}"`;
      const page = await browser.newPage();
      await page.setViewport({width: 1280, height: 800});
      watchErrors(page, errors);
      await page.goto(portal.url + (sandbox === null ? '' : `?sandbox=${encodeURIComponent(sandbox)}`),
                      {waitUntil: 'load'});
      let frame = null;
      for (const t0 = Date.now(); !frame && Date.now() - t0 < 10000; await sleep(100)) {
        frame = page.frames().find((f) => f !== page.mainFrame() && f.url().startsWith(server.url)) ?? null;
      }
      if (!check(frame !== null, `the game loads in ${what}`)) { await page.close(); continue; }
      check(await waitPanel(frame, msg.aiming, 10000) === msg.aiming, `in ${what} the game starts`);
      const size = await frame.$eval('#tavoren-canvas', (c) => {
        const r = c.getBoundingClientRect();
        return [r.width, r.height];
      });
      check(size[0] === W && size[1] === H, `in ${what} the picture is at scale 1`, JSON.stringify(size));
      // The frame sits at the portal page's top left corner; the click aims
      // at the rack's first ball, as the break does (a long shot).
      const [x, y] = await pagePoint(frame, 640, 240);
      await page.mouse.click(x, y);
      let focused = false;  // the browser moves the focus into the frame in its own time
      for (const t0 = Date.now(); !focused && Date.now() - t0 < 3000; await sleep(50)) {
        focused = await frame.evaluate(() => document.hasFocus() &&
                                             document.activeElement === document.getElementById('tavoren-canvas'));
      }
      check(focused, `in ${what} the first click gives the canvas the focus`);
      await page.keyboard.press('Enter');
      check(await waitPanel(frame, msg.strike, 3000) === msg.strike,
            `in ${what} Enter then shoots`);
      const state = await frame.evaluate(() => ({
        errors: typeof tavorenErrors === 'undefined' ? ['no error list'] : tavorenErrors,
        status: document.getElementById('tavoren-status').innerText,
        game: document.body.dataset.game,
      }));
      check(state.errors.length === 0 && state.status === '' && state.game === 'running',
            `in ${what} the error list is empty and the status line has nothing to report`, JSON.stringify(state));
      await page.close();  // the portal's page has no error list of its own
    }
  } finally {
    portal.stop();
  }
});
