// The lobby on the page, in a real browser against the real server (its
// own child on ports 3140 and 3141, --max-players=1 --resume-keep=0): the
// Games panel lists the games /games names (three games, answered here by
// the test for the page, as a fleet would) with their players, rounds and
// links carrying the player key; every JOIN carries the key; a link opens
// the other game's page, which takes the key into its own storage; a JOIN
// refused as full shows the server's reason and offers the least full other
// game, on a phone; an owned name is refused to another browser's key and
// the reason shown. Saves screenshots of the panel (desktop and phone) and
// of both refusals. Last, the real server's own /games: this game alone.
//
//   node lobby_test.mjs SERVER MAPFILE SHOTDIR

import { check, join, run, step, until, watchpage, BASE, WEBPORT } from './browserkit.mjs';

const [serverpath, mapfile, shotdir] = process.argv.slice(2);
if (!serverpath || !mapfile || !shotdir) {
  console.error('usage: node lobby_test.mjs SERVER MAPFILE SHOTDIR');
  process.exit(2);
}
const DESKTOP = { width: 1280, height: 800 };
const PHONE = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
// Another address of the same server: a page of another origin, as
// another game of the fleet is.
const OTHER = `http://localhost:${WEBPORT}/`;
const GAMES = {
  games: [
    { name: 'lakes', map: 'lakes', width: 80, height: 48, url: OTHER, players: 2, maxplayers: 8, round: 3,
      phase: 'playing', left: 37, full: false, self: false },
    { name: 'ridges', map: 'ridges', width: 160, height: 100, url: 'http://127.0.0.9:1/', players: 10,
      maxplayers: 10, round: 1, phase: 'intermission', left: 4, full: true, self: false },
    { name: 'valley', map: 'valley', width: 64, height: 40, url: BASE, players: 1, maxplayers: 1, round: null,
      phase: null, left: null, full: true, self: true },
  ],
};

// A page in a browser context of its own (its own storage, so its own
// key), whose /games is answered with GAMES unless `real`; its JOIN frames
// are kept.
async function openpage(browser, problems, viewport, url = BASE, real = false) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport(viewport);
  watchpage(page, problems);
  await page.setRequestInterception(true);
  page.on('request', (r) => {
    if (!real && new URL(r.url()).pathname === '/games')
      r.respond({ status: 200, contentType: 'application/json', body: JSON.stringify(GAMES) });
    else r.continue();
  });
  page.joins = [];
  const cdp = await page.createCDPSession();
  await cdp.send('Network.enable');
  cdp.on('Network.webSocketFrameSent', ({ response }) => {
    const b = Buffer.from(response.payloadData, 'base64');
    if (response.opcode === 2 && b[0] === 2) page.joins.push(b);
  });
  await page.goto(url, { waitUntil: 'load' });
  await until(page, 'the page to connect', () => window.kindler && window.kindler.connected, null, 10000);
  return page;
}

const games = (page) => page.$$eval('#gameslist li', (els) => els.map((li) => ({
  text: li.textContent, link: (li.querySelector('a') || {}).href || '', full: li.classList.contains('full'),
})));

async function refusal(page, reason) {
  await until(page, `the page to show "${reason}"`, (reason) => {
    const box = document.getElementById('refused');
    return box.offsetParent !== null && box.textContent.startsWith(reason);
  }, reason, 5000);
}

await run('lobby_test', { serverpath, mapfile, wholetime: 120_000 }, async ({ server, browser, problems }) => {
  await server.kill();
  server.args = ['--max-players=1', '--resume-keep=0'];
  await server.start();
  const alice = await openpage(browser, problems, DESKTOP);
  const key = await alice.evaluate(() => window.kindler.key);

  await step('the page keeps a random player key of 32 hex digits in localStorage', async () => {
    check(/^[0-9a-f]{32}$/.test(key), `the key is "${key}"`);
    const stored = await alice.evaluate(() => localStorage.getItem('kindler.key'));
    check(stored === key, `localStorage holds "${stored}", the page uses "${key}"`);
  });

  await step('the Games panel lists each game with its players, round and a link carrying the key', async () => {
    await until(alice, 'the Games panel to list three games', () => document.querySelectorAll('#gameslist li').length === 3);
    const [lakes, ridges, valley] = await games(alice);
    check(lakes.link === OTHER + '#key=' + key, `the lakes link is "${lakes.link}"`);
    check(/lakes/.test(lakes.text) && /2\/8/.test(lakes.text) && /80 x 48/.test(lakes.text) &&
      /round 3 · 0:37 left/.test(lakes.text), `the lakes entry says "${lakes.text}"`);
    check(ridges.full && /full/.test(ridges.text) && /10\/10/.test(ridges.text) && /round 1 over/.test(ridges.text),
      `the ridges entry says "${ridges.text}"`);
    check(valley.link === '' && /this game/.test(valley.text), `this game's entry says "${valley.text}" (${valley.link})`);
  });

  await step('a JOIN carries the name, a 0 byte and the key', async () => {
    await join(alice, 'alice');
    const sent = alice.joins.at(-1);
    check(sent && sent.equals(Buffer.concat([Buffer.from([2]), Buffer.from('alice'), Buffer.from([0]), Buffer.from(key)])),
      `the JOIN sent was ${sent && sent.toString('hex')}`);
    await alice.screenshot({ path: `${shotdir}/lobby-games.png` });
  });

  const bob = await openpage(browser, problems, PHONE);
  await step('on a phone a JOIN refused as full shows the reason and offers the least full other game', async () => {
    const bobkey = await bob.evaluate(() => window.kindler.key);
    check(bobkey !== key, 'two browsers have one key');
    await bob.type('#name', 'bob');
    await bob.keyboard.press('Enter');
    await refusal(bob, 'the game is full');
    await until(bob, 'the offer of lakes', () => window.kindler.offer !== null);
    const offer = await bob.$eval('#refused a', (a) => ({ text: a.textContent, href: a.href }));
    check(offer.text === 'play on lakes (2/8 players)' && offer.href === OTHER + '#key=' + bobkey,
      `the offer is ${JSON.stringify(offer)}`);
    await bob.screenshot({ path: `${shotdir}/lobby-phone-full.png` });
    await bob.click('#fold');
    await until(bob, 'the panel to open', () => document.body.classList.contains('panelopen'));
    const listed = await games(bob);
    check(listed.length === 3 && listed[0].link === OTHER + '#key=' + bobkey, `the phone's panel lists ${JSON.stringify(listed)}`);
    await bob.screenshot({ path: `${shotdir}/lobby-phone-games.png` });
    await bob.click('#fold');
  });

  await step('the offered link opens the other game, which takes the key and drops the fragment', async () => {
    const bobkey = await bob.evaluate(() => window.kindler.key);
    await Promise.all([bob.waitForNavigation({ waitUntil: 'load' }), bob.click('#refused a')]);
    await until(bob, 'the other game\'s page to connect', () => window.kindler && window.kindler.connected, null, 10000);
    const there = await bob.evaluate(() => ({ href: location.href, key: window.kindler.key,
      stored: localStorage.getItem('kindler.key') }));
    check(there.href === OTHER && there.key === bobkey && there.stored === bobkey,
      `the other game's page holds ${JSON.stringify(there)}, want key ${bobkey}`);
  });

  await step('a name owned by another key is refused, and the page says so', async () => {
    await alice.close(); // alice leaves at once (--resume-keep=0)
    const carol = await openpage(browser, problems, DESKTOP);
    await carol.type('#name', 'alice');
    await carol.keyboard.press('Enter');
    await refusal(carol, 'that name belongs to another player');
    const offered = await carol.evaluate(() => window.kindler.offer);
    check(offered === null, `a refusal for the name offered ${JSON.stringify(offered)}`);
    await carol.screenshot({ path: `${shotdir}/lobby-name-taken.png` });
    await join(carol, 'carol');
    await bob.browserContext().close(); // their connections count against the address's cap
  });

  await step('without a fleet the server\'s own /games lists this game alone', async () => {
    const dee = await openpage(browser, problems, DESKTOP, BASE, true);
    await until(dee, 'the Games panel to list this game', () => document.querySelectorAll('#gameslist li').length === 1);
    const [self] = await games(dee);
    check(/valley/.test(self.text) && /this game/.test(self.text) && /full/.test(self.text) && /1\/1/.test(self.text) &&
      self.link === '', `this game's entry says "${self.text}" (${self.link})`);
  });

  await step('the pages broke none of their rules and the server reported no errors', async () => {
    await server.kill();
    check(!problems.length, problems.join('\n'));
    check(!server.reports.length, 'sanitizer report in the server\'s standard error:\n' + server.reports.join('\n'));
  });
});
