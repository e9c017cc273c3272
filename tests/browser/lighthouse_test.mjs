// Lighthouse's audits of the page, served on 127.0.0.1, in Debian's
// chromium (headless, no network beyond the page's own server), for a
// desktop and for a phone. Prints the scores; fails below 1 in
// accessibility, best practices and SEO, or below 0.95 in performance on
// the phone (Lighthouse's simulated slow phone).
//
// usage: node lighthouse_test.mjs SITE_DIR
import lighthouse from 'lighthouse';
import desktopConfig from 'lighthouse/core/config/desktop-config.js';
import {check, runBrowserTest} from './harness.mjs';

const categories = ['performance', 'accessibility', 'best-practices', 'seo'];
const floors = {
  desktop: {accessibility: 1, 'best-practices': 1, seo: 1},
  mobile: {performance: 0.95, accessibility: 1, 'best-practices': 1, seo: 1},
};

await runBrowserTest('lighthouse test', 'lighthouse_test.mjs', async ({browser, server}) => {
  const port = Number(new URL(browser.wsEndpoint()).port);
  for (const form of ['desktop', 'mobile']) {
    const result = await lighthouse(server.url, {port, output: 'json', logLevel: 'error', onlyCategories: categories},
                                    form === 'desktop' ? desktopConfig : undefined);
    const lhr = result.lhr;
    const scores = Object.fromEntries(categories.map((c) => [c, lhr.categories[c]?.score ?? null]));
    const shift = lhr.audits['cumulative-layout-shift']?.numericValue;
    console.log(`     ${form}: ${categories.map((c) => `${c} ${scores[c]}`).join(', ')}; CLS ${shift}`);
    check(!lhr.runtimeError, `lighthouse ran on the page (${form})`, lhr.runtimeError?.message);
    for (const [c, floor] of Object.entries(floors[form])) {
      // What fell short, to say why.
      const short = lhr.categories[c]?.auditRefs
          .map((r) => lhr.audits[r.id])
          .filter((a) => a && a.score !== null && a.score < 1 && a.scoreDisplayMode !== 'informative' &&
                         a.scoreDisplayMode !== 'manual')
          .map((a) => `${a.id} ${a.score}`).join(', ');
      check(scores[c] !== null && scores[c] >= floor, `${form} ${c} at least ${floor}`, `${scores[c]}: ${short}`);
    }
    if (form === 'mobile') check(shift < 0.05, 'on a phone nothing shifts while the page starts', String(shift));
  }
}, {minutes: 6});
