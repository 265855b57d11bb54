// Lighthouse on the page, as a phone (its mobile run: a slow network and
// CPU simulated) and as a desktop, in Debian's chromium headless; prints
// the four scores of each and the layout shift, and leaves the HTML
// reports in build/. Starts the server itself on a shipped map (on the
// game's ports 3140 and 3141: `make lighthouse` runs it in a private
// network namespace), or audits a page already served at URL.
//
//   node scripts/lighthouse.mjs [SERVER MAPFILE | URL]

import { mkdirSync, rmSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import * as chromelauncher from 'chrome-launcher';
import lighthouse from 'lighthouse';
import desktop from 'lighthouse/core/config/desktop-config.js';

import { BASE, Server } from '../tests/web/browserkit.mjs';

const root = path.join(path.dirname(fileURLToPath(import.meta.url)), '..');
const args = process.argv.slice(2);
const url = args.length === 1 ? args[0] : BASE;
const CATEGORIES = ['performance', 'accessibility', 'best-practices', 'seo'];
const FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--disable-default-apps', '--no-first-run', '--mute-audio'];

let server = null;
if (args.length !== 1) {
  server = new Server(args[0] || path.join(root, 'build/kindler-server'), args[1] || path.join(root, 'maps/valley.map'));
  await server.start();
}
const chrome = await chromelauncher.launch({
  chromePath: process.env.KINDLER_CHROMIUM || '/usr/bin/chromium', chromeFlags: FLAGS, logLevel: 'silent',
});
let ok = true;
try {
  mkdirSync(path.join(root, 'build'), { recursive: true });
  for (const [form, config] of [['mobile', undefined], ['desktop', desktop]]) {
    const result = await lighthouse(url, { port: chrome.port, output: 'html', onlyCategories: CATEGORIES, logLevel: 'error' },
                                    config);
    const { categories, audits } = result.lhr;
    const report = path.join(root, 'build', `lighthouse-${form}.html`);
    writeFileSync(report, result.report);
    const scores = CATEGORIES.map((c) => `${categories[c].title.toLowerCase()} ${Math.round(categories[c].score * 100)}`);
    const cls = audits['cumulative-layout-shift'].numericValue;
    console.log(`${form.padEnd(8)}${scores.join('  ')}  layout shift ${cls.toFixed(3)}  (${path.relative(root, report)})`);
    if (result.lhr.runtimeError) {
      console.log(`  ${result.lhr.runtimeError.message}`);
      ok = false;
    }
  }
} finally {
  await chrome.kill();
  if (server) {
    await server.kill();
    rmSync(server.dir, { recursive: true, force: true });
  }
}
process.exit(ok ? 0 : 1);
