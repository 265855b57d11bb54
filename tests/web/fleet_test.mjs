// The lobby of a real fleet in a real browser: a PostgreSQL of the test's
// own (Debian's postgresql, a new cluster in a temporary directory, run as
// `nobody` when we are root) and three real servers sharing it (valley on
// ports 3140/3141, pinewood on 4140/4141, lakes on 5140/5141). Game A's
// page lists the three games with links carrying the player key; each link
// opens that game's page, which shows its name and map; the key travels in
// the fragment, so the name alice, played on A, joins on B too; on a phone
// another browser's JOIN of alice on C is refused and the page says so.
// Saves screenshots of the panel (desktop and phone) and of the refusal.
// Skipped, with one line (status 77), where postgresql is not installed.
//
//   node fleet_test.mjs SERVER MAPSDIR SHOTDIR

import { execFileSync } from 'node:child_process';
import { chmodSync, chownSync, existsSync, mkdtempSync, readdirSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { check, join, run, Server, sleep, step, until, watchpage } from './browserkit.mjs';

const [serverpath, mapsdir, shotdir] = process.argv.slice(2);
if (!serverpath || !mapsdir || !shotdir) {
  console.error('usage: node fleet_test.mjs SERVER MAPSDIR SHOTDIR');
  process.exit(2);
}
const DESKTOP = { width: 1280, height: 800 };
const PHONE = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
const PGPORT = 55433;

// ---- the database ------------------------------------------------------

const pgbin = (() => {
  const root = '/usr/lib/postgresql';
  const versions = existsSync(root) ? readdirSync(root).filter((v) => existsSync(`${root}/${v}/bin/initdb`)) : [];
  versions.sort((a, b) => Number(a) - Number(b));
  return versions.length ? `${root}/${versions.at(-1)}/bin` : '';
})();
if (!pgbin) {
  console.log('fleet_test: skipped: postgresql is not installed (scripts/deps.sh installs it)');
  process.exit(77); // ctest's SKIP_RETURN_CODE
}

const pg = { dir: '', started: false };
// PostgreSQL refuses to run as root: then its commands run as nobody.
const nobody = process.getuid() === 0 ? ['-u', '-g'].map((o) => Number(execFileSync('id', [o, 'nobody']))) : null;
function pgrun(command, args) {
  const [file, all] = nobody
    ? ['setpriv', [`--reuid=${nobody[0]}`, `--regid=${nobody[1]}`, '--clear-groups', command, ...args]] : [command, args];
  execFileSync(file, all, { cwd: pg.dir, stdio: ['ignore', 'pipe', 'pipe'], timeout: 60000 });
}
function pgstart() {
  pg.dir = mkdtempSync(path.join(os.tmpdir(), 'kindler-fleetpage-'));
  if (nobody) chownSync(pg.dir, nobody[0], nobody[1]);
  chmodSync(pg.dir, 0o755);
  pgrun(`${pgbin}/initdb`, ['-D', `${pg.dir}/data`, '-A', 'trust', '-U', 'kindler', '--no-sync']);
  pg.started = true;
  pgrun(`${pgbin}/pg_ctl`, ['-D', `${pg.dir}/data`, '-l', `${pg.dir}/log`, '-w', '-o',
    `-c listen_addresses=127.0.0.1 -p ${PGPORT} -k ${pg.dir} -c fsync=off`, 'start']);
}
// Synchronous, so that it also runs from the process's exit (a watchdog, a signal).
function pgstop() {
  if (pg.started) {
    pg.started = false;
    try {
      pgrun(`${pgbin}/pg_ctl`, ['-D', `${pg.dir}/data`, '-w', '-m', 'immediate', 'stop']);
    } catch (e) {
      console.log('fleet_test: PostgreSQL did not stop: ' + e.message);
    }
  }
  if (pg.dir) rmSync(pg.dir, { recursive: true, force: true });
  pg.dir = '';
}
process.on('exit', pgstop);

// ---- the games ---------------------------------------------------------

const FLEET = `postgresql://kindler@127.0.0.1:${PGPORT}/postgres`;
function game(name, map, port) {
  const s = new Server(serverpath, path.join(mapsdir, map), { game: port, web: port + 1 });
  s.name = name;
  s.args = [`--port=${port}`, `--http=${port + 1}`, `--name=${name}`, `--public-url=${s.base}`, `--fleet=${FLEET}`,
    '--fleet-beat=0.5', '--round=10m'];
  return s;
}
const A = game('valley', 'valley.map', 3140), B = game('pinewood', 'pinewood.map', 4140),
  C = game('lakes', 'lakes.map', 5140);

// A page in a browser context of its own (its own storage, so its own key).
async function openpage(browser, problems, viewport, url, context = null) {
  context = context || await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport(viewport);
  watchpage(page, problems);
  await page.goto(url, { waitUntil: 'load' });
  await connected(page);
  return page;
}
const connected = (page) =>
  until(page, 'the page to connect', () => window.kindler && window.kindler.connected && window.kindler.mapname, null, 10000);

// The Games panel: name, the line's text, its link, whether it is this game.
const listed = (page) => page.$$eval('#gameslist li', (els) => els.map((li) => ({
  name: (li.querySelector('.name a, .name strong') || {}).textContent || '', text: li.textContent,
  link: (li.querySelector('a') || {}).href || '', self: li.classList.contains('self'),
})));
const listsall = (page) => until(page, 'the Games panel to list the three games of the fleet', () => {
  const names = Array.from(document.querySelectorAll('#gameslist li .name'), (e) => e.textContent);
  return ['lakes', 'pinewood', 'valley'].every((n) => names.some((t) => t.startsWith(n)));
}, null, 5000);

// That the page is game g's: its own entry in the panel and its map.
async function isgame(page, g) {
  await listsall(page);
  const self = (await listed(page)).filter((e) => e.self);
  const map = await page.evaluate(() => window.kindler.mapname);
  check(self.length === 1 && self[0].name === g.name && /this game/.test(self[0].text),
    `the page of ${g.base} says it is ${JSON.stringify(self)}`);
  check(map === path.basename(g.mapfile, '.map'), `the page of ${g.base} shows the map "${map}"`);
}

await run('fleet_test', { servers: [A, B, C], before: pgstart, after: pgstop, wholetime: 90_000 },
  async ({ browser, problems }) => {
    let alice, key;
    await step('within 10 s game A\'s page lists the three games, the others with links carrying the key', async () => {
      const deadline = Date.now() + 10000; // the games' rows reach the database within a heartbeat of their start
      let names = [];
      while (names.length < 3 && Date.now() < deadline) {
        await sleep(200);
        names = await fetch(A.base + 'games').then((r) => r.json()).then((j) => j.games.map((g) => g.name)).catch(() => []);
      }
      check(names.length === 3, `A's /games lists ${JSON.stringify(names)} after 10 s`);
      alice = await openpage(browser, problems, DESKTOP, A.base);
      key = await alice.evaluate(() => window.kindler.key);
      await isgame(alice, A);
      for (const g of [B, C]) {
        const entry = (await listed(alice)).find((e) => e.name === g.name);
        check(entry && !entry.self && entry.link === g.base + '#key=' + key,
          `the entry of ${g.name} is ${JSON.stringify(entry)}, want a link to ${g.base}#key=${key}`);
        check(new RegExp(`${path.basename(g.mapfile, '.map')} \\d+ x \\d+ · round 1 · \\d+:\\d\\d left`).test(entry.text) &&
          /0\/64/.test(entry.text), `the entry of ${g.name} says "${entry.text}"`);
      }
    });

    await step('alice plays on A; the link to C opens C\'s page, which shows its name and map', async () => {
      await join(alice, 'alice');
      await until(alice, 'this game\'s entry to count alice at once', () =>
        /1\/64/.test(document.querySelector('#gameslist li.self').textContent), null, 3000);
      await alice.screenshot({ path: `${shotdir}/fleet-games.png` });
      const link = (await listed(alice)).find((e) => e.name === C.name).link;
      const page = await openpage(browser, problems, DESKTOP, link, alice.browserContext());
      await isgame(page, C);
      const there = await page.evaluate(() => ({ href: location.href, key: window.kindler.key }));
      check(there.href === C.base && there.key === key, `C's page holds ${JSON.stringify(there)}, want key ${key}`);
      await page.close();
    });

    await step('the link to B carries the key: alice joins on B, and B lists A with its player', async () => {
      await Promise.all([alice.waitForNavigation({ waitUntil: 'load' }),
        alice.click(`#gameslist a[href^="${B.base}"]`)]);
      await connected(alice);
      await isgame(alice, B);
      const stored = await alice.evaluate(() => ({ key: window.kindler.key, href: location.href,
        stored: localStorage.getItem('kindler.key') }));
      check(stored.key === key && stored.stored === key && stored.href === B.base,
        `B's page holds ${JSON.stringify(stored)}, want key ${key}`);
      await join(alice, 'alice');
      check(await alice.evaluate(() => window.kindler.refused === ''), 'alice was refused on B');
      // alice is kept on A for her resume (--resume-keep)
      await until(alice, 'B\'s panel to show valley with its one player', () =>
        Array.from(document.querySelectorAll('#gameslist li')).some((li) => /^valley/.test(li.textContent) &&
          /1\/64/.test(li.textContent)), null, 12000);
    });

    await step('on a phone another browser\'s JOIN of alice on C is refused, and the page says so', async () => {
      const carol = await openpage(browser, problems, PHONE, C.base);
      await isgame(carol, C);
      await carol.click('#fold');
      await until(carol, 'the panel to open', () => document.body.classList.contains('panelopen'));
      await carol.screenshot({ path: `${shotdir}/fleet-phone-games.png` });
      await carol.click('#fold');
      await carol.type('#name', 'alice');
      await carol.keyboard.press('Enter');
      await until(carol, 'the page to show "that name belongs to another player"', () => {
        const box = document.getElementById('refused');
        return box.offsetParent !== null && box.textContent.startsWith('that name belongs to another player');
      }, null, 8000);
      await carol.screenshot({ path: `${shotdir}/fleet-name-taken.png` });
      await join(carol, 'carol');
    });

    await step('the pages broke none of their rules and the servers reported no errors', async () => {
      for (const s of [A, B, C]) await s.kill();
      check(!problems.length, problems.join('\n'));
      for (const s of [A, B, C])
        check(!s.reports.length, `sanitizer report in ${s.name}'s standard error:\n` + s.reports.join('\n'));
    });
  });
