// Lighthouse (pinned in package-lock.json) on the served page in Debian's
// Chromium, headless and offline, as a desktop and as a phone (its default
// mobile emulation with simulated throttling): prints the scores and fails
// below 1.0 in accessibility, best practices or SEO, or below 0.95 in the
// phone's performance. That score varies from run to run on one host (total
// blocking time, with whatever else the host runs), so it is taken as the
// median of five runs, as Lighthouse's own advice on variability has it.
//
// usage: node lighthouse_test.mjs SITE_DIR
import lighthouse from 'lighthouse';
import desktopConfig from 'lighthouse/core/config/desktop-config.js';
import {check, runBrowserTest} from './harness.mjs';

const categories = ['performance', 'accessibility', 'best-practices', 'seo'];
const least = {
  desktop: {accessibility: 1, 'best-practices': 1, seo: 1},
  mobile: {accessibility: 1, 'best-practices': 1, seo: 1},
};
const mobilePerformance = {least: 0.95, runs: 5};
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

await runBrowserTest('lighthouse test', 'lighthouse_test.mjs', async ({browser, server}) => {
  const port = Number(new URL(browser.wsEndpoint()).port);
  const phone = [];
  const forms = [['desktop', desktopConfig],
                 ...Array.from({length: mobilePerformance.runs}, () => ['mobile', undefined])];
  for (const [form, config] of forms) {
    const flags = {port, output: 'json', logLevel: 'error', onlyCategories: categories};
    const result = await lighthouse(server.url, flags, config);
    const lhr = result.lhr;
    if (!check(!lhr.runtimeError, `Lighthouse ran (${form})`, JSON.stringify(lhr.runtimeError))) continue;
    const score = (c) => lhr.categories[c].score;
    console.log(`     Lighthouse ${lhr.lighthouseVersion}, ${form}: ` +
                categories.map((c) => `${c} ${score(c)?.toFixed(2)}`).join(', ') +
                `; cumulative layout shift ${lhr.audits['cumulative-layout-shift'].numericValue.toFixed(3)}` +
                ` (host benchmark ${Math.round(lhr.environment.benchmarkIndex)},` +
                ` CPU slowdown ${lhr.configSettings.throttling.cpuSlowdownMultiplier.toFixed(2)})`);
    if (form === 'mobile') phone.push(score('performance') ?? 0);
    for (const [c, min] of Object.entries(least[form])) {
      // What fell short, to see at once why.
      const short = lhr.categories[c].auditRefs.map((r) => lhr.audits[r.id])
          .filter((a) => a.score !== null && a.score < 1 && a.scoreDisplayMode !== 'informative' &&
                         a.scoreDisplayMode !== 'manual' && a.scoreDisplayMode !== 'notApplicable')
          .map((a) => `${a.id} ${a.score}`).join(', ');
      check(score(c) !== null && score(c) >= min, `${form} ${c} at least ${min}`, `${score(c)}: ${short}`);
    }
  }
  const runs = phone.map((p) => p.toFixed(2)).join(', ');
  check(phone.length === mobilePerformance.runs && median(phone) >= mobilePerformance.least,
        `mobile performance at least ${mobilePerformance.least} (median of ${mobilePerformance.runs} runs)`, runs);
}, {minutes: 8});
