// The page on a phone, 390 x 844 CSS pixels upright and then on its side,
// with real touch events: the map takes the width; the panel opens and
// closes; each pad button moves the player to the neighbour it names, a held
// one no faster than the server's 20 moves a second; two fingers pinch the
// zoom; the fire button heats the player's cell. Saves both screenshots.
//
//   node phone_test.mjs SERVER MAPFILE PORTRAIT.png LANDSCAPE.png

import { check, join, run, sleep, step, until } from './browserkit.mjs';

const [serverpath, mapfile, portraitpng, landscapepng] = process.argv.slice(2);
const UPRIGHT = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
const ONSIDE = { ...UPRIGHT, width: 844, height: 390, isLandscape: true };
const FAIRRATE = 20; // moves a second the server takes
const PAIRS = [['move right', 'move left', 1, 0], ['move down', 'move up', 0, 1],
  ['move down-right', 'move up-left', 1, 1], ['move down-left', 'move up-right', -1, 1]];

const boxof = (page, sel) => page.$eval(sel, (e) => {
  const b = e.getBoundingClientRect();
  return { x: b.left + b.width / 2, y: b.top + b.height / 2, width: b.width, height: b.height, shown: !!e.offsetParent };
});
const control = (name) => `::-p-aria([name="${name}"][role="button"])`;
const player = (page) => page.evaluate(() => window.kindler.player);
// The first of `ways` ([name, dx, dy]) with n cells free of blocks from the player.
const room = (page, ways, n) => page.evaluate(([ways, n]) => ways.find(([, dx, dy]) => {
  const k = window.kindler, p = k.player;
  return [...Array(n).keys()].every((i) => {
    const v = k.cell(p.x + (i + 1) * dx, p.y + (i + 1) * dy);
    return v && !k.materials[v.material].block;
  });
}) || null, [ways, n]);

// The map takes the width, the header is one line, no text is cut off.
async function laidout(page, width) {
  const map = await boxof(page, '#map');
  check(map.width >= 0.9 * width, `the map is ${map.width} of the screen's ${width} pixels wide`);
  check(await page.evaluate(() => {
    const h = document.querySelector('header'), mid = [...h.children].filter((e) => e.offsetParent)
      .map((e) => e.getBoundingClientRect()).map((b) => b.top + b.height / 2);
    return h.scrollWidth <= h.clientWidth && Math.max(...mid) - Math.min(...mid) < 8 &&
      [...document.querySelectorAll('footer div')].every((e) => e.scrollWidth <= e.clientWidth);
  }), 'the header takes more than a line, or a line of text runs off the screen');
}

await run('phone_test', { serverpath, mapfile, wholetime: 90_000 }, async ({ openpage, problems }) => {
  const page = await openpage(UPRIGHT);
  const cdp = await page.createCDPSession(), moves = []; // when the page sent each MOVE
  await cdp.send('Network.enable');
  cdp.on('Network.webSocketFrameSent', (e) => {
    if (e.response.opcode === 2 && Buffer.from(e.response.payloadData, 'base64')[0] === 3) moves.push(Date.now());
  });
  const tap = async (name) => { const b = await boxof(page, control(name)); await page.touchscreen.tap(b.x, b.y); };
  const at = (x, y) => until(page, `the player to reach (${x}, ${y})`,
                             ([x, y]) => window.kindler.player.x === x && window.kindler.player.y === y, [x, y], 3000);

  await step('upright, the map takes the width and the controls are fingers\' size', async () => {
    await until(page, 'the page to draw the map', () => window.kindler.connected && window.kindler.drawn.tiles > 0, null, 10000);
    await laidout(page, UPRIGHT.width);
    for (const name of [...PAIRS.flatMap((p) => p.slice(0, 2)), 'fire', 'players and legend']) {
      const b = await boxof(page, control(name));
      check(b.shown && b.width >= 44 && b.height >= 44, `"${name}" is ${b.width} x ${b.height} (shown: ${b.shown})`);
    }
  });

  await step('the players and the legend open in a panel and close', async () => {
    await tap('players and legend');
    await until(page, 'the panel to open on the screen', () => ((e) => e.offsetParent && e.getBoundingClientRect().right <=
                innerWidth)(document.getElementById('side')));
    await tap('players and legend');
    await until(page, 'the panel to close', () => !document.getElementById('side').offsetParent);
  });

  await step('each button of the pad moves the player to the neighbour it names', async () => {
    await join(page, 'pat');
    for (const [fore, back, dx, dy] of PAIRS) {
      const p = await player(page), way = await room(page, [[fore, dx, dy], [back, -dx, -dy]], 1);
      check(way, `no room to move from (${p.x}, ${p.y})`);
      await tap(way[0]);
      await at(p.x + way[1], p.y + way[2]);
      await tap(way[0] === fore ? back : fore);
      await at(p.x, p.y);
    }
  });

  await step(`a held button repeats, at most ${FAIRRATE} cells a second`, async () => {
    const p = await player(page), way = await room(page, PAIRS.slice(0, 2).map(([n, , dx, dy]) => [n, dx, dy]), 4);
    check(way, `no room to walk four cells from (${p.x}, ${p.y})`);
    const b = await boxof(page, control(way[0])), sent = moves.length, t0 = Date.now();
    await page.touchscreen.touchStart(b.x, b.y);
    await sleep(1500);
    await page.touchscreen.touchEnd();
    const held = (Date.now() - t0) / 1000, n = moves.length - sent;
    check(n <= FAIRRATE * held + 1, `${n} moves in ${held.toFixed(2)} s`);
    await sleep(600); // the last moves arrive
    const q = await player(page);
    check(q.x - p.x + q.y - p.y >= 3, `held, the button moved the player from (${p.x}, ${p.y}) to (${q.x}, ${q.y})`);
  });

  await step('two fingers pinching apart zoom in, and together zoom out', async () => {
    const m = await boxof(page, '#map');
    const touch = (type, d) => cdp.send('Input.dispatchTouchEvent', {
      type, touchPoints: type === 'touchEnd' ? [] : [{ x: m.x - d, y: m.y - 60, id: 1 }, { x: m.x + d, y: m.y - 60, id: 2 }],
    });
    for (const [from, to, fewer] of [[30, 90, true], [90, 30, false]]) {
      const before = await page.evaluate(() => window.kindler.view.w);
      await touch('touchStart', from);
      for (let k = 1; k <= 4; k++) await touch('touchMove', from + (to - from) * k / 4);
      await touch('touchEnd', 0);
      await until(page, `the view to show ${fewer ? 'fewer' : 'more'} cells than ${before}`,
                  ([w, fewer]) => (window.kindler.view.w < w) === fewer, [before, fewer], 2000);
    }
  });

  await step('the fire button heats the player\'s cell; screenshots upright and on its side', async () => {
    const p = await player(page), before = (await page.evaluate(([x, y]) => window.kindler.cell(x, y), [p.x, p.y])).kelvins;
    for (let i = 0; i < 3; i++) await tap('fire');
    await until(page, 'the player\'s cell to heat', ([x, y, k]) => window.kindler.cell(x, y).kelvins > k + 30,
                [p.x, p.y, before], 3000);
    const away = await room(page, PAIRS.map(([, n, dx, dy]) => [n, -dx, -dy]), 1); // out of the fire, to be seen
    if (away) await tap(away[0]);
    await sleep(1000);
    await page.screenshot({ path: portraitpng });
    await page.setViewport(ONSIDE);
    await until(page, 'the map to widen', (w) => document.getElementById('map').clientWidth >= w, 0.9 * ONSIDE.width, 3000);
    await laidout(page, ONSIDE.width);
    await sleep(300);
    await page.screenshot({ path: landscapepng });
    check(!problems.length, problems.join('\n'));
  });
});
