// The page's decoder of the web stream (doc/stream.md): applies the
// server's messages to what a page keeps (the map's size, materials and
// colours, the drawn values of the tiles it holds, the players, its own
// number) and gives a cell's colour as the terminal client draws it.
// Pure: no dependencies, no DOM; raw inflating is passed in.

export const TILESIZE = 16;
export const STREAMVERSION = 4;
export const MSG = { HELLO: 1, TILES: 2, PLAYERS: 3, YOU: 4, ROUND: 5 };
export const TILE = { WHOLE: 0, CHANGE: 1, SPARSE: 2 };
export const CELL = { PLAIN: 0, BURNING: 1, BURNT: 2 };

// Raw inflate for pages: DecompressionStream('deflate-raw').
export async function browserinflate(bytes) {
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

// A client that has been sent nothing yet.
export function createclient() {
  return {
    hello: false, version: 0, sizex: 0, sizey: 0, tilesx: 0, tilesy: 0, tick: 0,
    coldlimit: 0, hurt: 0, ash: [0, 0, 0], mapname: '', materials: [], rampfirst: 0,
    ramp: new Uint8Array(0),
    material: new Uint16Array(0), kelvins: new Int32Array(0), state: new Uint8Array(0),
    held: new Uint8Array(0), view: { x: 0, y: 0, w: 0, h: 0 }, keyframe: false,
    everplayers: 0, players: [], you: null, token: '', reason: '',
    round: null, // { number, phase, left (ms when it came), why, top: [{ num, score, died, name }] }
  };
}

// Reads a message: little-endian integers, varints, zigzag values, str8.
class Reader {
  constructor(bytes) {
    this.b = bytes;
    this.v = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    this.at = 0;
  }
  need(k) {
    if (this.at + k > this.b.length) throw new Error('message cut short');
  }
  left() { return this.b.length - this.at; }
  u8() { this.need(1); return this.b[this.at++]; }
  u16() { this.need(2); const x = this.v.getUint16(this.at, true); this.at += 2; return x; }
  u32() { this.need(4); const x = this.v.getUint32(this.at, true); this.at += 4; return x; }
  i32() { this.need(4); const x = this.v.getInt32(this.at, true); this.at += 4; return x; }
  f32() { this.need(4); const x = this.v.getFloat32(this.at, true); this.at += 4; return x; }
  var() {
    let x = 0;
    for (let shift = 0; shift < 35; shift += 7) {
      const b = this.u8();
      if (shift === 28 && b > 0x0f) throw new Error('varint too long');
      x += (b & 0x7f) * 2 ** shift;
      if (!(b & 0x80)) return x;
    }
    throw new Error('varint too long');
  }
  zig() { const x = this.var(); return (x % 2 ? -(x + 1) / 2 : x / 2) | 0; }
  bytes(k) { this.need(k); const s = this.b.subarray(this.at, this.at + k); this.at += k; return s; }
  str8() { return new TextDecoder('utf-8').decode(this.bytes(this.u8())); }
  rgb() { return [this.u8(), this.u8(), this.u8()]; }
}

// The cells of tile t, clipped at the map's edge.
export function tilecells(c, t) {
  const x0 = Math.floor(t / c.tilesy) * TILESIZE, y0 = (t % c.tilesy) * TILESIZE;
  return { x0, y0, w: Math.min(TILESIZE, c.sizex - x0), h: Math.min(TILESIZE, c.sizey - y0) };
}

// The range of tiles holding a cell of view v: [tx0, tx1] x [ty0, ty1], or null.
function viewtiles(c, v) {
  const x0 = Math.max(v.x, 0), y0 = Math.max(v.y, 0);
  const x1 = Math.min(v.x + v.w, c.sizex), y1 = Math.min(v.y + v.h, c.sizey);
  if (x1 <= x0 || y1 <= y0) return null;
  return { tx0: Math.floor(x0 / TILESIZE), tx1: Math.floor((x1 - 1) / TILESIZE),
           ty0: Math.floor(y0 / TILESIZE), ty1: Math.floor((y1 - 1) / TILESIZE) };
}

function tilemeets(c, r, t) {
  if (!r) return false;
  const tx = Math.floor(t / c.tilesy), ty = t % c.tilesy;
  return tx >= r.tx0 && tx <= r.tx1 && ty >= r.ty0 && ty <= r.ty1;
}

function applyhello(c, r) {
  c.version = r.u8();
  if (c.version !== STREAMVERSION) throw new Error('unknown version ' + c.version);
  if (r.u16() !== TILESIZE) throw new Error('unknown tile size');
  c.sizex = r.u32();
  c.sizey = r.u32();
  c.tilesx = Math.ceil(c.sizex / TILESIZE);
  c.tilesy = Math.ceil(c.sizey / TILESIZE);
  c.tick = r.u32();
  c.coldlimit = r.u16();
  c.hurt = r.u16();
  c.ash = r.rgb();
  c.mapname = r.str8();
  const n = r.u32();
  if (n > 65536 || n * 14 > r.left()) throw new Error('material table too long');
  c.materials = [];
  for (let m = 0; m < n; m++) {
    const colour = r.rgb(), flags = r.u8(), ignitionpoint = r.i32(), fuel = r.f32(), name = r.str8();
    c.materials.push({ colour, block: (flags & 1) === 1, ignitionpoint, fuel, name });
  }
  c.rampfirst = r.u16();
  c.ramp = r.bytes(r.u16() * 3).slice();
  if (r.left()) throw new Error('HELLO of the wrong length');
  const cells = c.sizex * c.sizey;
  c.material = new Uint16Array(cells);
  c.kelvins = new Int32Array(cells);
  c.state = new Uint8Array(cells);
  c.held = new Uint8Array(c.tilesx * c.tilesy);
  c.hello = true;
}

// Applies one tile's data (inflated for a whole tile) to tile t.
function applytile(c, t, kind, raw) {
  const { x0, y0, w, h } = tilecells(c, t), n = w * h;
  const at = (k) => (x0 + Math.floor(k / h)) * c.sizey + y0 + (k % h);
  const r = new Reader(raw);
  if (kind === TILE.SPARSE) {
    const count = r.var();
    if (count > n) throw new Error('sparse tile lists more cells than it has');
    for (let j = 0; j < count; j++) {
      const k = r.u8(), d = r.zig(), s = r.u8();
      if (k >= n) throw new Error('sparse tile names a cell outside it');
      const i = at(k);
      c.kelvins[i] = (c.kelvins[i] + d) | 0;
      c.state[i] ^= s;
    }
  } else if (kind === TILE.WHOLE) {
    for (let k = 0; k < n; k++) {
      const m = r.var();
      if (m > 0xffff) throw new Error('material out of range');
      c.material[at(k)] = m;
    }
    let kelvins = 0;
    for (let k = 0; k < n; k++) {
      kelvins = (kelvins + r.zig()) | 0;
      c.kelvins[at(k)] = kelvins;
    }
    const states = r.bytes(n);
    for (let k = 0; k < n; k++) c.state[at(k)] = states[k];
  } else {
    // Masks of the columns and rows where a cell's change of kelvins is not
    // the change above it (of the first cell of the column before, at the
    // top); 4-bit codes of the difference there, low nibble first (15: it
    // follows among the escapes); the state changes.
    const columns = r.u16(), rows = new Array(w).fill(0);
    if (columns >> w) throw new Error('change names a column outside the tile');
    let ncodes = 0;
    for (let x = 0; x < w; x++)
      if ((columns >> x) & 1) {
        rows[x] = r.u16();
        if (rows[x] >> h) throw new Error('change names a row outside the tile');
        for (let m = rows[x]; m; m &= m - 1) ncodes++;
      }
    const codes = r.bytes((ncodes + 1) >> 1), res = new Int32Array(n);
    let k = 0;
    for (let x = 0; x < w; x++)
      for (let y = 0; y < h; y++)
        if ((rows[x] >> y) & 1) {
          const code = (codes[k >> 1] >> (k & 1 ? 4 : 0)) & 15;
          k++;
          res[x * h + y] = code === 15 ? r.zig() : code % 2 ? -(code + 1) / 2 : code / 2;
        }
    const delta = new Int32Array(n);
    for (let j = 0; j < n; j++) {
      const above = j % h ? delta[j - 1] : j ? delta[j - h] : 0;
      delta[j] = (res[j] + above) | 0;
      const i = at(j);
      c.kelvins[i] = (c.kelvins[i] + delta[j]) | 0;
    }
    const flips = r.var();
    if (flips > n) throw new Error('change lists more state changes than cells');
    for (let f = 0; f < flips; f++) {
      const j = r.u8(), x = r.u8();
      if (j >= n) throw new Error('state change outside the tile');
      c.state[at(j)] ^= x;
    }
  }
  if (r.left()) throw new Error('tile data of the wrong length');
}

async function applytiles(c, r, inflate) {
  if (!c.hello) throw new Error('TILES before HELLO');
  const key = r.u8() === 1, tick = r.u32();
  const view = { x: r.i32(), y: r.i32(), w: r.u16(), h: r.u16() };
  const range = viewtiles(c, view), ntiles = c.tilesx * c.tilesy;
  const count = r.var();
  if (count > ntiles) throw new Error('too many tiles');
  const index = [];
  let next = 0;
  for (let k = 0; k < count; k++) {
    next += r.var();
    if (next >= ntiles || !tilemeets(c, range, next)) throw new Error('tile outside the view');
    index.push(next++);
  }
  const tiles = index.map((t) => {
    const kind = r.u8(), data = r.bytes(r.var());
    if (kind > TILE.SPARSE) throw new Error('unknown tile kind');
    if (key && kind !== TILE.WHOLE) throw new Error('a change in a key frame');
    return { t, kind, data };
  });
  if (r.left()) throw new Error('bytes after the last tile');
  const raws = await Promise.all(tiles.map((x) => (x.kind === TILE.WHOLE ? inflate(x.data) : x.data)));
  // Tiles that left the view are forgotten.
  for (let t = 0; t < ntiles; t++) if (c.held[t] && !tilemeets(c, range, t)) c.held[t] = 0;
  tiles.forEach((x, k) => {
    if (x.kind !== TILE.WHOLE && !c.held[x.t]) throw new Error('a change for a tile not held');
    applytile(c, x.t, x.kind, new Uint8Array(raws[k]));
    c.held[x.t] = 1;
  });
  c.keyframe = key;
  c.tick = tick;
  c.view = view;
  if (range)
    for (let tx = range.tx0; tx <= range.tx1; tx++)
      for (let ty = range.ty0; ty <= range.ty1; ty++)
        if (!c.held[tx * c.tilesy + ty]) throw new Error('a tile of the view is missing');
}

function applyplayers(c, r) {
  r.u32(); // tick
  c.everplayers = r.u32();
  const count = r.u32();
  if (count > c.everplayers || count * 22 > r.left()) throw new Error('player list too long');
  c.players = [];
  for (let k = 0; k < count; k++) {
    const num = r.u32(), x = r.i32(), y = r.i32(), health = r.i32(), score = r.i32();
    const web = (r.u8() & 1) === 1, name = r.str8();
    c.players.push({ num, x, y, health, score, web, name });
  }
  if (r.left()) throw new Error('PLAYERS of the wrong length');
}

function applyround(c, r) {
  const number = r.u32(), phase = r.u8(), left = r.u32(), why = r.u8(), count = r.u8(), top = [];
  for (let k = 0; k < count; k++) {
    const num = r.u32(), score = r.i32(), died = r.u8() === 1, name = r.str8();
    top.push({ num, score, died, name });
  }
  if (r.left()) throw new Error('ROUND of the wrong length');
  c.round = { number, phase, left, why, top };
}

// Applies one server message (an ArrayBuffer or Uint8Array) to client c.
// `inflate(Uint8Array)` gives the raw-inflated bytes (or a promise of
// them). Returns the message's type; throws on a malformed message, after
// which c is undefined.
export async function applymessage(c, message, inflate) {
  const bytes = message instanceof Uint8Array ? message : new Uint8Array(message);
  const r = new Reader(bytes);
  const type = r.u8();
  if (type === MSG.HELLO) applyhello(c, r);
  else if (type === MSG.TILES) await applytiles(c, r, inflate);
  else if (type === MSG.PLAYERS) applyplayers(c, r);
  else if (type === MSG.ROUND) applyround(c, r);
  else if (type === MSG.YOU) {
    c.you = r.i32();
    c.token = r.str8();
    c.reason = r.str8(); // why a JOIN was refused, '' otherwise
    if (r.left()) throw new Error('YOU of the wrong length');
  } else throw new Error('unknown message ' + type);
  return type;
}

// Cell (x, y) as c holds it: { material, kelvins, state }, or null outside
// the tiles it holds.
export function cell(c, x, y) {
  if (!(x >= 0 && y >= 0 && x < c.sizex && y < c.sizey)) return null;
  if (!c.held[Math.floor(x / TILESIZE) * c.tilesy + Math.floor(y / TILESIZE)]) return null;
  const i = x * c.sizey + y;
  return { material: c.material[i], kelvins: c.kelvins[i], state: c.state[i] };
}

// The colour of cell (x, y) in animation frame `frame`, written as r, g, b
// into out[at], out[at + 1], out[at + 2] (an array or typed array); false,
// writing nothing, where c holds no value. Burning cells are flames,
// flickering with frame + 7919 x the cell's index as the terminal
// client's; else the base colour (ash when burnt, the material's otherwise)
// below coldlimit, and above it the base mixed towards the ramp's colour by
// (kelvins - coldlimit) / 40 + 0.35, each channel rounded as the server's
// colours. Allocates nothing: the page colours every cell of its view with
// it several times a second.
export function colourinto(c, x, y, frame, out, at) {
  if (!(x >= 0 && y >= 0 && x < c.sizex && y < c.sizey)) return false;
  if (!c.held[Math.floor(x / TILESIZE) * c.tilesy + Math.floor(y / TILESIZE)]) return false;
  const i = x * c.sizey + y, state = c.state[i];
  if (state === CELL.BURNING) {
    const phase = (frame + Math.imul(i, 7919)) >>> 0;
    let h = Math.imul(phase, 2654435761) >>> 0;
    h = (h ^ (h >>> 15)) >>> 0;
    out[at] = 255;
    out[at + 1] = 150 + (h % 90);
    out[at + 2] = 20 + ((h >>> 8) % 40);
    return true;
  }
  const m = c.material[i];
  const base = state === CELL.BURNT ? c.ash : m < c.materials.length ? c.materials[m].colour : BLACK;
  const kelvins = c.kelvins[i], count = c.ramp.length / 3;
  const f = (kelvins - c.coldlimit) / 40 + 0.35;
  if (!(kelvins >= c.coldlimit) || count === 0 || f <= 0) {
    out[at] = base[0];
    out[at + 1] = base[1];
    out[at + 2] = base[2];
    return true;
  }
  const k = 3 * Math.min(Math.max(kelvins - c.rampfirst, 0), count - 1);
  for (let ch = 0; ch < 3; ch++) {
    const to = c.ramp[k + ch];
    out[at + ch] = f >= 1 ? to : Math.trunc(base[ch] + (to - base[ch]) * f + 0.5);
  }
  return true;
}

const BLACK = [0, 0, 0];

// The colour [r, g, b] of cell (x, y) in animation frame `frame`, or null
// where c holds no value (see colourinto).
export function cellcolour(c, x, y, frame) {
  const rgb = [0, 0, 0];
  return colourinto(c, x, y, frame, rgb, 0) ? rgb : null;
}
