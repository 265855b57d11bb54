// The page on a phone: a touch screen of 390 x 844 CSS pixels held upright,
// then on its side (Debian's chromium headless, real touch events). The map
// takes the width and nothing shifts; the panel opens and closes; the pad
// moves the player to the neighbour each button names, and a held button
// repeats no faster than the server's 20 moves a second; the fire button
// heats the player's cell; two fingers pinch the zoom. Saves a screenshot
// of each way up.
//
//   node phone_test.mjs SERVER MAPFILE PORTRAIT.png LANDSCAPE.png

import { check, join, run, sleep, step, until } from './browserkit.mjs';

const [serverpath, mapfile, portraitpng, landscapepng] = process.argv.slice(2);
const UPRIGHT = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
const ONSIDE = { ...UPRIGHT, width: 844, height: 390, isLandscape: true };
const FAIRRATE = 20; // moves a second the server takes
const STRAIGHT = [['move left', -1, 0], ['move right', 1, 0], ['move down', 0, 1], ['move up', 0, -1]];

const boxof = (page, sel) => page.$eval(sel, (e) => {
  const b = e.getBoundingClientRect();
  return { x: b.left + b.width / 2, y: b.top + b.height / 2, width: b.width, height: b.height, shown: !!e.offsetParent };
});
const control = (name) => `::-p-aria([name="${name}"][role="button"])`;
const player = (page) => page.evaluate(() => window.kindler.player);
const at = (page, x, y) => until(page, `the player to reach (${x}, ${y})`,
                                 ([x, y]) => window.kindler.player.x === x && window.kindler.player.y === y, [x, y], 3000);
// The first of `ways` ([name, dx, dy]) with `n` cells free of blocks from the player.
const room = (page, ways, n) => page.evaluate(([ways, n]) => ways.find(([, dx, dy]) => {
  const k = window.kindler, p = k.player;
  for (let i = 1; i <= n; i++) {
    const v = k.cell(p.x + i * dx, p.y + i * dy);
    if (!v || k.materials[v.material].block) return false;
  }
  return true;
}) || null, [ways, n]);

// The map takes the width, the header is one line, no text is cut off.
async function laidout(page, width) {
  const map = await boxof(page, '#map');
  check(map.width >= 0.9 * width, `the map is ${map.width} of the screen's ${width} pixels wide`);
  check(await page.evaluate(() => {
    const h = document.querySelector('header'), mid = [...h.children].filter((e) => e.offsetParent)
      .map((e) => e.getBoundingClientRect()).map((b) => b.top + b.height / 2);
    return h.scrollWidth <= h.clientWidth && Math.max(...mid) - Math.min(...mid) < 8;
  }), 'the header does not fit on one line');
  check(await page.$$eval('footer div', (els) => els.every((e) => e.scrollWidth <= e.clientWidth)),
        'the status or the key line runs off the screen');
}

await run('phone_test', { serverpath, mapfile, wholetime: 90_000 }, async ({ openpage, problems }) => {
  const page = await openpage(UPRIGHT);
  const cdp = await page.createCDPSession(), moves = []; // when the page sent each MOVE
  await cdp.send('Network.enable');
  cdp.on('Network.webSocketFrameSent', (e) => {
    if (e.response.opcode === 2 && Buffer.from(e.response.payloadData, 'base64')[0] === 3) moves.push(Date.now());
  });
  const tap = async (name) => { const b = await boxof(page, control(name)); await page.touchscreen.tap(b.x, b.y); };

  await step('upright, the map takes the width, nothing shifts, and the controls are fingers\' size', async () => {
    await until(page, 'the page to draw the map', () => window.kindler.connected && window.kindler.drawn.tiles > 0, null, 10000);
    await laidout(page, UPRIGHT.width);
    const shift = await page.evaluate(() => new Promise((done) => {
      let sum = 0;
      new PerformanceObserver((l) => l.getEntries().forEach((e) => { sum += e.value; }))
        .observe({ type: 'layout-shift', buffered: true });
      setTimeout(() => done(sum), 200);
    }));
    check(shift <= 0.05, `the page shifted by ${shift.toFixed(3)} while it loaded`);
    for (const name of ['move up', 'move up-right', 'move right', 'move down-right', 'move down', 'move down-left',
      'move left', 'move up-left', 'fire', 'players and legend']) {
      const b = await boxof(page, control(name));
      check(b.shown && b.width >= 44 && b.height >= 44, `"${name}" is ${b.width} x ${b.height} (shown: ${b.shown})`);
    }
  });

  await step('the players and the legend open in a panel and close', async () => {
    await tap('players and legend');
    await until(page, 'the panel to open on the screen', () => {
      const e = document.getElementById('side');
      return e.offsetParent && e.getBoundingClientRect().right <= innerWidth;
    });
    await tap('players and legend');
    await until(page, 'the panel to close', () => !document.getElementById('side').offsetParent);
  });

  await step('each button of the pad moves the player to the neighbour it names', async () => {
    await join(page, 'pat');
    for (const [fore, back, dx, dy] of [['move right', 'move left', 1, 0], ['move down', 'move up', 0, 1],
      ['move down-right', 'move up-left', 1, 1], ['move down-left', 'move up-right', -1, 1]]) {
      const p = await player(page), way = await room(page, [[fore, dx, dy], [back, -dx, -dy]], 1);
      check(way, `no room to move from (${p.x}, ${p.y})`);
      await tap(way[0]);
      await at(page, p.x + way[1], p.y + way[2]);
      await tap(way[0] === fore ? back : fore);
      await at(page, p.x, p.y);
    }
  });

  await step(`a held button repeats, at most ${FAIRRATE} cells a second`, async () => {
    const p = await player(page), way = await room(page, STRAIGHT, 4);
    check(way, `no room to walk four cells from (${p.x}, ${p.y})`);
    const b = await boxof(page, control(way[0])), sent = moves.length, t0 = Date.now();
    await page.touchscreen.touchStart(b.x, b.y);
    await sleep(1500);
    await page.touchscreen.touchEnd();
    const held = (Date.now() - t0) / 1000, n = moves.length - sent;
    check(n <= FAIRRATE * held + 1, `${n} moves in ${held.toFixed(2)} s`);
    await sleep(600); // the last moves arrive
    const q = await player(page);
    check(Math.abs(q.x - p.x) + Math.abs(q.y - p.y) >= 3, `held, the button moved the player from (${p.x}, ${p.y}) to (${q.x}, ${q.y})`);
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

  await step('the fire button heats the player\'s cell', async () => {
    const p = await player(page), before = (await page.evaluate(([x, y]) => window.kindler.cell(x, y), [p.x, p.y])).kelvins;
    await tap('fire');
    await until(page, 'the player\'s cell to heat', ([x, y, k]) => window.kindler.cell(x, y).kelvins > k + 30,
                [p.x, p.y, before], 3000);
  });

  await step('screenshots of a game upright and on its side, the map taking the width', async () => {
    // The player walks four cells, setting fires behind it.
    const p = await player(page), way = await room(page, STRAIGHT, 4);
    check(way, `no room to walk four cells from (${p.x}, ${p.y})`);
    for (let n = 1; n <= 4; n++) {
      await tap(way[0]);
      await at(page, p.x + n * way[1], p.y + n * way[2]);
      if (n < 4) for (let i = 0; i < 3; i++) await tap('fire');
    }
    await until(page, 'flames on the map', () => {
      const k = window.kindler;
      let burning = 0;
      for (let x = 0; x < k.sizex; x++) for (let y = 0; y < k.sizey; y++) burning += (k.cell(x, y) || {}).state === 1;
      return burning >= 8;
    }, null, 10000);
    await page.screenshot({ path: portraitpng });
    await page.setViewport(ONSIDE);
    await until(page, 'the map to widen', (w) => document.getElementById('map').clientWidth >= w, 0.9 * ONSIDE.width, 3000);
    await laidout(page, ONSIDE.width);
    await sleep(300);
    await page.screenshot({ path: landscapepng });
    check(!problems.length, problems.join('\n'));
  });
});
