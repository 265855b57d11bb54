// The page in a real browser: starts the real server (its own child, on
// the default ports 3140 and 3141) on a map, drives Debian's chromium
// headless with puppeteer-core, and checks, step by step, what a player
// sees and does: the map drawn with its legend, joining through the first
// form, moving with the arrows and W A S D, a fire and its heat on the
// canvas, health falling on a burning cell, death and joining again, two
// pages seeing each other, the same player back after a reload, and
// reconnecting by itself after the server was killed and started again
// (joining anew with the same name); then, on a server playing rounds, the
// round's line counting down, the banner naming the winners at its end
// and the leaderboard panel. Saves screenshots of the page in play and of
// a round's end.
//
//   node browser_test.mjs SERVER MAPFILE SCREENSHOT.png
//
// With KINDLER_SCREENSHOT=path the screenshot is also written there.

import { copyFileSync, readFileSync } from 'node:fs';

import {
  cellpixels, check, hot, join, mapisdrawn, playernames, press, run, sleep, step, tofront, until, WEBPORT,
} from './browserkit.mjs';

const [serverpath, mapfile, shotpath] = process.argv.slice(2);
if (!serverpath || !mapfile || !shotpath) {
  console.error('usage: node browser_test.mjs SERVER MAPFILE SCREENSHOT.png');
  process.exit(2);
}
const WHOLETIME = 240_000;       // ms for everything, under CTest's timeout

const mapsource = readFileSync(mapfile, 'utf8');
const mapname = (/<map\s+name="([^"]*)"/.exec(mapsource) || [])[1];
// The map's materials: the names of the types its cells use.
const typenames = new Map([...mapsource.matchAll(/<type\s+name=([^\s>]+)\s+num=(\d+)/g)].map((m) => [Number(m[2]), m[1]]));
const block = (/<map[^>]*>([\s\S]*?)<\/map>/.exec(mapsource) || [])[1] || '';
const usednames = [...new Set(block.split(/\s+/).filter((t) => /^\d+$/.test(t)).map(Number))].map((n) => typenames.get(n));

await run('browser_test', { serverpath, mapfile, wholetime: WHOLETIME }, async ({ server, openpage, problems }) => {
  const alice = await openpage();
  let me;

  await step('the page draws the map', async () => {
    await until(alice, 'the page to connect and draw the map',
                () => window.kindler && window.kindler.connected && window.kindler.drawn.tiles > 0, null, 10000);
    const k = await alice.evaluate(() => ({ mapname: window.kindler.mapname }));
    check(k.mapname === mapname, `the page shows map "${k.mapname}", not "${mapname}" of ${mapfile}: another server answers on port ${WEBPORT}?`);
    await mapisdrawn(alice);
    const legend = await alice.$$eval('#materials li', (els) => els.map((e) => e.textContent));
    check(usednames.length > 0 && usednames.every((n) => n), `cannot tell the materials of ${mapfile}`);
    for (const name of usednames)
      check(legend.some((t) => t.includes(name)), `the legend (${legend.join(' | ')}) does not list "${name}"`);
    const tick = await alice.evaluate(() => window.kindler.tick);
    check(tick > 0, `window.kindler.tick is ${tick}`);
    const heat = await alice.$eval('#legend', (e) => e.textContent);
    check(/320/.test(heat) && /383/.test(heat), `the legend shows no heat colours from 320 K and the hurting 383 K: ${heat}`);
  });

  await step('a name typed in the first form joins', async () => {
    me = await join(alice, 'alice');
    const names = await playernames(alice);
    check(names.includes('alice'), `the player list shows ${JSON.stringify(names)}, not alice`);
    await until(alice, `the status line to show alice #${me.num} and her health`, (num) => {
      const s = document.getElementById('status').textContent;
      return s.startsWith(`alice #${num}  health `);
    }, me.num, 2000);
  });

  await step('arrow keys and W A S D move the player one cell', async () => {
    const free = (x, y) => alice.evaluate(([x, y]) => {
      const k = window.kindler, v = k.cell(x, y);
      return !!v && !k.materials[v.material].block;
    }, [x, y]);
    const pairs = [['ArrowRight', 'ArrowLeft', 1, 0], ['ArrowDown', 'ArrowUp', 0, 1],
                   ['d', 'a', 1, 0], ['s', 'w', 0, 1]];
    for (const [fore, back, dx, dy] of pairs) {
      const p = await alice.evaluate(() => window.kindler.player);
      let keys = [[fore, dx, dy], [back, -dx, -dy]];
      if (!(await free(p.x + dx, p.y + dy))) keys = keys.reverse();
      if (!(await free(p.x + keys[0][1], p.y + keys[0][2])))
        throw new Error(`the cells beside (${p.x}, ${p.y}) block: choose a map with room to move`);
      let x = p.x, y = p.y;
      for (const [key, kx, ky] of keys) {
        x += kx;
        y += ky;
        await press(alice, key);
        await until(alice, `key ${key} to move the player from (${x - kx}, ${y - ky}) to (${x}, ${y})`,
                    ([x, y]) => window.kindler.player && window.kindler.player.x === x && window.kindler.player.y === y,
                    [x, y], 3000);
      }
    }
  });

  let before;
  await step('space sets a fire and heat shows on the canvas near the player within two seconds', async () => {
    me = await alice.evaluate(() => window.kindler.player);
    // Points inside the player's cell, clear of its ring, and the cells
    // beside and below it (the name is drawn above).
    const points = [];
    for (const f of [0.3, 0.5, 0.7]) for (const g of [0.3, 0.5, 0.7]) points.push([me.x, me.y, f, g]);
    for (const [dx, dy] of [[-1, 0], [1, 0], [0, 1], [-1, 1], [1, 1]]) points.push([me.x + dx, me.y + dy, 0.5, 0.5]);
    before = await cellpixels(alice, points);
    check(!before.slice(0, 9).some(hot), `the player's cell shows heat before any fire: ${JSON.stringify(before)}`);
    const t0 = Date.now();
    // One fire warms a cell by 100 calories: three make grass burn.
    for (let i = 0; i < 3; i++) await press(alice, 'Space');
    let after = before;
    while (Date.now() - t0 < 2000) {
      after = await cellpixels(alice, points);
      if (after.filter((c, i) => hot(c) && !hot(before[i])).length >= 5) break;
      await sleep(50);
    }
    const turned = after.filter((c, i) => hot(c) && !hot(before[i])).length;
    const cell = await alice.evaluate(([x, y]) => window.kindler.cell(x, y), [me.x, me.y]);
    check(turned >= 5, `within 2 s only ${turned} of ${points.length} points at the player's cell turned to heat colours ` +
          `(before ${JSON.stringify(before)}, after ${JSON.stringify(after)}; the cell holds ${JSON.stringify(cell)})`);
  });

  await step('health falls when the player stands on a burning cell', async () => {
    // The player list and the cells come in messages of their own (the
    // list first): both are waited for.
    await until(alice, 'the player\'s health to fall on a cell burning above 383 K', (h) => {
      const p = window.kindler.player, c = p && window.kindler.cell(p.x, p.y);
      return p && p.health < h && c && c.state === 1 && c.kelvins > 383;
    }, me.health, 10000);
    const p = await alice.evaluate(() => window.kindler.player);
    check(p.x === me.x && p.y === me.y, `the player moved from (${me.x}, ${me.y}) to (${p.x}, ${p.y})`);
    await until(alice, 'the status line to say the player stands on a hot cell',
                () => /under you \d+ K HOT/.test(document.getElementById('status').textContent), null, 2000);
  });

  await step('a dead player sees it plainly and joins again with the form', async () => {
    await until(alice, 'the player to die', () => window.kindler.player && window.kindler.player.health <= 0, null, 20000);
    await until(alice, 'the banner and the status line to say so', () => {
      const b = document.getElementById('banner'), s = document.getElementById('status').textContent;
      return b.offsetParent !== null && /YOU ARE DEAD/.test(b.textContent) && s.startsWith('YOU ARE DEAD');
    }, null, 2000);
    const marked = await alice.$$eval('#players li', (els) => els.map((e) => e.className + ' ' + e.textContent));
    check(marked.some((t) => /dead/.test(t) && t.includes('alice')), `the player list does not mark alice dead: ${JSON.stringify(marked)}`);
    const dead = me.num;
    me = await join(alice, 'alice');
    check(me.num !== dead, `joining again gave the dead player's number ${dead}`);
    await until(alice, 'the banner to go', () => document.getElementById('banner').offsetParent === null, null, 2000);
  });

  const bob = await openpage();
  await step('two pages see each other', async () => {
    await until(bob, 'the second page to draw the map', () => window.kindler.connected && window.kindler.drawn.tiles > 0,
                null, 10000);
    await join(bob, 'bob');
    for (const [page, who] of [[alice, 'alice'], [bob, 'bob']]) {
      await until(page, `${who}'s page to list alice and bob`, () => {
        const names = Array.from(document.querySelectorAll('#players li .name'), (e) => e.textContent);
        const k = window.kindler.players.map((p) => p.name);
        return ['alice', 'bob'].every((n) => names.includes(n) && k.includes(n));
      }, null, 5000);
    }
  });

  await step('a screenshot of the page in play is saved', async () => {
    // Each player walks four cells, setting fires behind it: a line of
    // flames beside both.
    for (const page of [alice, bob]) {
      const p = await page.evaluate(() => window.kindler.player);
      const dirs = [['ArrowRight', 1, 0], ['ArrowLeft', -1, 0], ['ArrowDown', 0, 1], ['ArrowUp', 0, -1]];
      let way = null;
      for (const d of dirs) {
        const room = await page.evaluate(([x, y, dx, dy]) => [1, 2, 3, 4].every((n) => {
          const k = window.kindler, v = k.cell(x + n * dx, y + n * dy);
          return !!v && !k.materials[v.material].block;
        }), [p.x, p.y, d[1], d[2]]);
        if (room) {
          way = d;
          break;
        }
      }
      check(way, `no room to walk four cells from (${p.x}, ${p.y})`);
      const [key, dx, dy] = way;
      for (let n = 1; n <= 4; n++) {
        await press(page, key);
        await until(page, `the player to reach (${p.x + n * dx}, ${p.y + n * dy})`,
                    ([x, y]) => window.kindler.player.x === x && window.kindler.player.y === y,
                    [p.x + n * dx, p.y + n * dy], 3000);
        if (n < 4) for (let i = 0; i < 4; i++) await press(page, 'Space');
      }
    }
    await tofront(alice);
    await until(alice, 'flames on the map', () => {
      const k = window.kindler;
      let burning = 0;
      for (let x = 0; x < k.sizex; x++) for (let y = 0; y < k.sizey; y++) burning += (k.cell(x, y) || {}).state === 1;
      return burning >= 20;
    }, null, 10000);
    await tofront(alice);
    await alice.screenshot({ path: shotpath });
    check(readFileSync(shotpath).length > 10000, `the screenshot ${shotpath} is too small`);
    if (process.env.KINDLER_SCREENSHOT) copyFileSync(shotpath, process.env.KINDLER_SCREENSHOT);
    console.log(`  saved ${shotpath}` + (process.env.KINDLER_SCREENSHOT ? ` and ${process.env.KINDLER_SCREENSHOT}` : ''));
  });

  await step('after a reload the page plays the same player, where it stood', async () => {
    const was = await bob.evaluate(() => window.kindler.player);
    await bob.reload();
    await until(bob, `the reloaded page to play #${was.num} again`, (w) => {
      const p = window.kindler.player;
      return window.kindler.connected && p && p.num === w.num && p.x === w.x && p.y === w.y;
    }, was, 10000);
    const names = await playernames(alice);
    check(names.filter((n) => n === 'bob').length === 1, `after the reload the player list shows ${JSON.stringify(names)}`);
  });

  await step('after the server is killed and started again, the pages reconnect by themselves', async () => {
    const sessions = await alice.evaluate(() => window.kindler.sessions);
    await server.kill();
    for (const page of [alice, bob])
      await until(page, 'the page to see the connection lost', () => window.kindler.connected === false, null, 5000);
    await tofront(alice);
    await until(alice, 'the page to say it is reconnecting', () => {
      const n = document.getElementById('notice');
      return n.offsetParent !== null && /reconnecting/.test(n.textContent);
    }, null, 2000);
    await server.start();
    await until(bob, 'the page behind to connect again', (s) => window.kindler.connected && window.kindler.sessions > s,
                sessions, 15000);
    await until(alice, 'the page to connect again and draw the map', (s) => {
      const k = window.kindler;
      return k.connected && k.sessions > s && k.drawn.session === k.sessions && k.drawn.tiles > 0;
    }, sessions, 15000);
    await tofront(alice);
    await mapisdrawn(alice);
    // The new server knows no token: each page joins anew, with its name.
    for (const [page, who] of [[alice, 'alice'], [bob, 'bob']])
      await until(page, `${who}'s page to join the new server as ${who}`, (who) => {
        const p = window.kindler.player;
        return p && window.kindler.players.some((q) => q.num === p.num && q.name === who);
      }, who, 5000);
  });

  await step('on a server playing rounds the page counts down, names the winners and shows the leaderboard', async () => {
    await server.kill();
    server.args = ['--round=12s', '--intermission=4'];
    await server.start();
    await until(alice, 'the page to connect again', () => window.kindler.connected && window.kindler.round !== null,
                null, 15000);
    await join(alice, 'alice');
    await tofront(bob);
    await join(bob, 'bob');
    await tofront(alice);
    const first = await alice.evaluate(() => document.getElementById('round').textContent);
    check(/^round 1 · 0:(0\d|1[0-2]) left$/.test(first), `the round's line says "${first}"`);
    await until(alice, 'the round\'s line to count down',
                (t) => document.getElementById('round').textContent !== t, first, 2500);
    for (let i = 0; i < 3; i++) await press(alice, 'Space');
    await until(alice, 'the banner at the round\'s end', () => {
      const b = document.getElementById('roundbanner');
      return b.offsetParent !== null && /ROUND 1 OVER/.test(b.textContent);
    }, null, 15000);
    const banner = await alice.$$eval('#roundbanner li', (els) => els.map((e) => e.textContent));
    check(banner.length === 2 && banner.every((t) => /^(alice|bob) -?\d+$/.test(t)), `the banner names ${JSON.stringify(banner)}`);
    const line = await alice.evaluate(() => document.getElementById('round').textContent);
    check(/^round 1 over · 0:0[0-4]$/.test(line), `in the intermission the round's line says "${line}"`);
    await until(alice, 'the leaderboard panel to list both players and the last round', () => {
      const top = Array.from(document.querySelectorAll('#boardtop li .name'), (e) => e.textContent);
      const last = document.getElementById('boardlasttitle');
      return ['alice', 'bob'].every((n) => top.includes(n)) && last.offsetParent !== null && /Round 1/.test(last.textContent);
    }, null, 5000);
    const roundshot = shotpath.replace(/\.png$/, '') + '-round.png';
    await alice.screenshot({ path: roundshot });
    console.log(`  saved ${roundshot}`);
    const fired = await alice.evaluate(() => {
      const k = window.kindler;
      let n = 0;
      for (let x = 0; x < k.sizex; x++) for (let y = 0; y < k.sizey; y++) n += ((k.cell(x, y) || {}).state || 0) !== 0;
      return n;
    });
    check(fired > 0, 'no cell burnt in round 1');
    await until(alice, 'round 2 to begin on the fresh map, the banner gone, alice alive again', () => {
      const k = window.kindler;
      let burnt = 0;
      for (let x = 0; x < k.sizex; x++) for (let y = 0; y < k.sizey; y++) burnt += ((k.cell(x, y) || {}).state || 0) !== 0;
      return k.round.number === 2 && k.round.phase === 1 && document.getElementById('roundbanner').hidden &&
        k.player && k.player.health === 100 && k.player.score === 0 && burnt === 0;
    }, null, 8000);
  });

  await step('the page broke none of its rules and the server reported no errors', async () => {
    await server.kill();
    check(!problems.length, problems.join('\n'));
    check(!server.reports.length, 'sanitizer report in the server\'s standard error:\n' + server.reports.join('\n'));
  });
});
