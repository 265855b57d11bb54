// What the browser tests share: the real server as a child (on the default
// ports 3140 and 3141, or others), Debian's chromium driven by
// puppeteer-core, the steps and their tally, waiting on the page, reading
// its canvas, joining. run() starts it all, runs a test's steps and ends
// the process with its verdict. KINDLER_CHROMIUM names another browser
// than /usr/bin/chromium.

import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

const CHROMIUM = process.env.KINDLER_CHROMIUM || '/usr/bin/chromium';

// Notes a page's problems in `problems`: an uncaught error, a refusal by
// the Content Security Policy, an answer of 400 or more.
export function watchpage(page, problems) {
  page.on('pageerror', (e) => problems.push('uncaught in the page: ' + e.message));
  page.on('console', (m) => {
    if (m.type() === 'error' && /Content Security Policy|Refused to/.test(m.text())) problems.push(m.text());
  });
  page.on('response', (r) => {
    if (r.status() >= 400) problems.push(`${r.status()} for ${r.url()}`);
  });
}

export const GAMEPORT = 3140, WEBPORT = 3141;
export const BASE = `http://127.0.0.1:${WEBPORT}/`;
const BACKGROUND = [24, 24, 28]; // the canvas where no map is

const started = Date.now();
export const seconds = (since) => ((Date.now() - since) / 1000).toFixed(1);
export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// ---- the server ------------------------------------------------------------

function portopen(port) {
  return new Promise((resolve) => {
    const s = net.connect({ host: '127.0.0.1', port });
    s.setTimeout(1000);
    s.on('connect', () => { s.destroy(); resolve(true); });
    s.on('error', () => resolve(false));
    s.on('timeout', () => { s.destroy(); resolve(false); });
  });
}

export class Server {
  // ports: { game, web } when not 3140 and 3141 (the caller passes them
  // to the server in args as --port and --http).
  constructor(serverpath, mapfile, ports = {}) {
    this.serverpath = serverpath;
    this.mapfile = mapfile;
    this.gameport = ports.game || GAMEPORT;
    this.webport = ports.web || WEBPORT;
    this.base = `http://127.0.0.1:${this.webport}/`; // its page
    this.args = [];     // options given before the map at the next start
    this.child = null;
    this.log = '';      // the end of what the server printed, for messages
    this.reports = [];  // sanitizer reports in its standard error
    this.dir = mkdtempSync(path.join(os.tmpdir(), 'kindler-browser-'));
  }

  async start() {
    // A server of an earlier test may still be letting the ports go.
    for (const port of [this.gameport, this.webport]) {
      const until = Date.now() + 15000;
      while (await portopen(port)) {
        if (Date.now() > until)
          throw new Error(`port ${port} is taken by another program (another test's server?): run the test again when it is free`);
        await sleep(200);
      }
    }
    this.log = '';
    const child = spawn(path.resolve(this.serverpath), [...this.args, path.resolve(this.mapfile)],
                        { cwd: this.dir, stdio: ['ignore', 'pipe', 'pipe'] });
    this.child = child;
    child.exited = false;
    child.on('exit', (code, signal) => {
      child.exited = true;
      child.status = signal || code;
    });
    child.on('error', (e) => {
      child.exited = true;
      child.status = e.message;
    });
    const keep = (d) => { this.log = (this.log + d).slice(-4000); };
    child.stdout.on('data', keep);
    child.stderr.on('data', keep);
    // A sanitizer build's server reports on standard error; it is ended by
    // SIGKILL, so no exit status carries the verdict.
    child.stderr.on('data', (d) => {
      if (/Sanitizer|runtime error/.test(d)) this.reports.push(String(d).slice(0, 2000));
    });
    const until = Date.now() + 20000;
    for (;;) {
      if (child.exited) throw new Error(`the server ended (${child.status}) before it served the page:\n${this.log}`);
      if (/the web page is off/.test(this.log)) throw new Error(`the server could not serve the page:\n${this.log}`);
      try {
        const r = await fetch(this.base + 'healthz', { signal: AbortSignal.timeout(1000) });
        if (r.status === 200) return;
      } catch { /* not listening yet */ }
      if (Date.now() > until) throw new Error(`the server did not answer /healthz within 20 s:\n${this.log}`);
      await sleep(100);
    }
  }

  async kill() {
    const child = this.child;
    if (!child || child.exited) return;
    const gone = new Promise((r) => child.once('exit', r));
    child.kill('SIGKILL');
    await gone;
  }
}

// ---- the steps -------------------------------------------------------------

export const tally = { passed: 0, failed: 0 };

export async function step(name, fn) {
  const t0 = Date.now();
  try {
    await fn();
  } catch (e) {
    tally.failed++;
    console.log(`FAILED: ${name} (after ${seconds(t0)} s)\n  ${String(e.message || e).replace(/\n/g, '\n  ')}`);
    throw e;
  }
  tally.passed++;
  console.log(`ok: ${name} (${seconds(t0)} s)`);
}

export function check(ok, message) {
  if (!ok) throw new Error(message);
}

// What the page holds, for messages.
export async function pagestate(page) {
  return page.evaluate(() => {
    const k = window.kindler;
    if (!k) return 'window.kindler is missing';
    const status = document.getElementById('status');
    return JSON.stringify({ connected: k.connected, tick: k.tick, player: k.player, sessions: k.sessions,
                            drawn: k.drawn, players: k.players.map((p) => `${p.name} #${p.num}`),
                            status: status && status.textContent });
  }).catch((e) => 'unreadable: ' + e.message);
}

// Waits until fn(arg) is true in the page, polling; on timeout says what
// did not happen and what the page held.
export async function until(page, what, fn, arg, timeout = 5000) {
  try {
    return await page.waitForFunction(fn, { polling: 50, timeout }, arg);
  } catch (e) {
    throw new Error(`${what}: not within ${timeout / 1000} s (${e.message.split('\n')[0]});\n` +
                    `the page holds ${await pagestate(page)}`);
  }
}

// The map canvas where the map lies: its pixels there, those that are not
// background, and how many colours they show (up to 64).
export async function canvasstats(page) {
  return page.evaluate((bg) => {
    const c = document.getElementById('map'), box = c.getBoundingClientRect(), ratio = c.width / box.width;
    const k = window.kindler, a = k.cellbox(0, 0), b = k.cellbox(k.sizex, k.sizey);
    const x0 = Math.max(0, Math.ceil((a.left - box.left) * ratio)), y0 = Math.max(0, Math.ceil((a.top - box.top) * ratio));
    const x1 = Math.min(c.width, Math.floor((b.left - box.left) * ratio));
    const y1 = Math.min(c.height, Math.floor((b.top - box.top) * ratio));
    if (x1 <= x0 || y1 <= y0) return { pixels: 0, other: 0, colours: 0 };
    const d = c.getContext('2d').getImageData(x0, y0, x1 - x0, y1 - y0).data;
    let other = 0;
    const colours = new Set();
    for (let i = 0; i < d.length; i += 4)
      if (d[i] !== bg[0] || d[i + 1] !== bg[1] || d[i + 2] !== bg[2]) {
        other++;
        if (colours.size < 64) colours.add((d[i] << 16) | (d[i + 1] << 8) | d[i + 2]);
      }
    return { pixels: (x1 - x0) * (y1 - y0), other, colours: colours.size };
  }, BACKGROUND);
}

// The canvas's colours at points inside cells: `points` of [x, y, fx, fy],
// fx and fy the point's place across the cell (0.5 its middle).
export async function cellpixels(page, points) {
  return page.evaluate((points) => {
    const c = document.getElementById('map'), ctx = c.getContext('2d'), box = c.getBoundingClientRect();
    const ratio = c.width / box.width;
    return points.map(([x, y, fx, fy]) => {
      const b = window.kindler.cellbox(x, y);
      const px = Math.floor((b.left - box.left + b.width * fx) * ratio);
      const py = Math.floor((b.top - box.top + b.height * fy) * ratio);
      return Array.from(ctx.getImageData(px, py, 1, 1).data.slice(0, 3));
    });
  }, points);
}

// Flames (255, 150..239, 20..59) or the heat colours laid over a cell
// (red to yellow and white: red well above green and blue), not the cold
// colours of the materials, ash, or the background.
export function hot([r, g, b]) {
  const flame = r === 255 && g >= 150 && g < 240 && b >= 20 && b < 60;
  const heat = r - g >= 40 && r - b >= 40;
  return flame || heat;
}

export async function mapisdrawn(page) {
  const s = await canvasstats(page);
  check(s.pixels >= 10000, `the map covers only ${s.pixels} pixels of the canvas`);
  check(s.other >= s.pixels * 0.9, `only ${s.other} of the ${s.pixels} pixels where the map lies are not background`);
  check(s.colours >= 3, `the map shows only ${s.colours} colours`);
  return s;
}

// Puts a page in front (a page behind others draws nothing) and waits
// until it has drawn twice since.
export async function tofront(page) {
  await page.bringToFront();
  const draws = await page.evaluate(() => window.kindler.draws);
  await until(page, 'the page in front to draw', (d) => window.kindler.draws >= d + 2, draws, 3000);
}

export async function playernames(page) {
  return page.$$eval('#players li .name', (els) => els.map((e) => e.textContent));
}

export async function press(page, key) {
  await page.keyboard.press(key);
}

export async function join(page, name) {
  const input = await page.$('form input');
  check(input, 'the page has no form with a field');
  const first = await page.evaluate((i) => document.forms[0] === i.form, input);
  check(first, 'the name field is not in the page\'s first form');
  await input.click({ clickCount: 3 });
  await input.type(name);
  await press(page, 'Enter');
  await until(page, `the page to join as ${name}`, (name) => {
    const p = window.kindler.player;
    return p && p.num >= 0 && p.health > 0 && window.kindler.players.some((q) => q.num === p.num && q.name === name);
  }, name);
  return page.evaluate(() => window.kindler.player);
}

// ---- the run ---------------------------------------------------------------

// Starts the server on `mapfile` (or the Servers of `servers`, after
// `before()`) and the browser, calls
// body({ server, servers, browser, openpage, problems }) and ends the
// process: 0 when every step passed; `after()` and the servers' ends run
// whatever happened. openpage(viewport) opens the first server's page;
// `problems` collects uncaught errors, refusals by the page's policy,
// failed loads.
export async function run(name, { serverpath, mapfile, wholetime, servers, before, after }, body) {
  servers = servers || [new Server(serverpath, mapfile)];
  const server = servers[0];
  let browser = null;
  const problems = [];
  process.on('exit', () => {
    for (const s of servers) if (s.child && !s.child.exited) s.child.kill('SIGKILL');
  });
  for (const sig of ['SIGINT', 'SIGTERM'])
    process.on(sig, () => { console.log(`${name}: ${sig}`); process.exit(1); });
  const watchdog = setTimeout(async () => {
    console.log(`FAILED: the test took longer than ${wholetime / 1000} s`);
    await Promise.race([browser && browser.close(), sleep(3000)]).catch(() => {});
    process.exit(1);
  }, wholetime);

  async function openpage(viewport = { width: 1280, height: 800 }) {
    const page = await browser.newPage();
    await page.setViewport(viewport);
    watchpage(page, problems);
    await page.goto(server.base, { waitUntil: 'load' });
    return page;
  }

  try {
    let puppeteer;
    try {
      puppeteer = (await import('puppeteer-core')).default;
    } catch (e) {
      throw new Error('puppeteer-core is not installed (run sh scripts/deps.sh): ' + e.message);
    }
    if (before) await before();
    for (const s of servers) await s.start();
    browser = await puppeteer.launch({
      executablePath: CHROMIUM, headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run'],
    });
    await body({ server, browser, openpage, problems });
  } catch (e) {
    if (!tally.failed) {
      tally.failed++;
      console.log('FAILED: ' + (e.stack || e));
    }
  } finally {
    clearTimeout(watchdog);
    if (browser) await Promise.race([browser.close(), sleep(5000)]).catch(() => {});
    for (const s of servers) {
      await s.kill();
      rmSync(s.dir, { recursive: true, force: true });
    }
    if (after) await Promise.resolve(after()).catch((e) => console.log(`${name}: ${e.message || e}`));
  }
  console.log(`${name}: ${seconds(started)} s in all`);
  console.log(`${name}: ${tally.passed} passed, ${tally.failed} failed`);
  process.exit(tally.failed ? 1 : 0);
}
