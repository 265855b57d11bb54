// The page's decoder (web/js/decoder.js) against the C++ encoder: decodes
// what the stream_fixture program (first argument) recorded, inflating with
// node:zlib, and compares every cell of each view, its colour, the tiles
// held (those of the view alone), the players
// and the client's number with what the C++ client held; then malformed
// messages must be refused. Exits 1 on the first difference.
import { execFileSync } from 'node:child_process';
import { inflateRawSync } from 'node:zlib';
import { applymessage, cell, cellcolour, colourinto, createclient } from '../../web/js/decoder.js';

const inflate = (bytes) => inflateRawSync(bytes);

function fail(what) {
  console.error('decoder_test: ' + what);
  process.exit(1);
}

class Records {
  constructor(buf) {
    this.b = buf;
    this.at = 0;
  }
  more() { return this.at < this.b.length; }
  u8() { return this.b.readUInt8(this.at++); }
  u16() { const v = this.b.readUInt16LE(this.at); this.at += 2; return v; }
  u32() { const v = this.b.readUInt32LE(this.at); this.at += 4; return v; }
  i32() { const v = this.b.readInt32LE(this.at); this.at += 4; return v; }
  bytes(n) { const s = this.b.subarray(this.at, this.at + n); this.at += n; return s; }
  str8() { return this.bytes(this.u8()).toString('utf8'); }
}

const fixture = process.argv[2];
if (!fixture) fail('usage: node decoder_test.mjs STREAM_FIXTURE');
const recorded = execFileSync(fixture, { maxBuffer: 1 << 28 });
const r = new Records(recorded);
const clients = [createclient(), createclient()];
const messages = [];
let cells = 0, frames = 0;
const pixel = new Uint8ClampedArray(8);
while (r.more()) {
  const kind = String.fromCharCode(r.u8());
  const c = clients[r.u8()];
  if (kind === 'M') {
    const m = r.bytes(r.u32());
    messages.push(Uint8Array.from(m));
    await applymessage(c, Uint8Array.from(m).buffer, inflate).catch((e) => fail('refused a message: ' + e.message));
  } else if (kind === 'E') {
    frames++;
    const frame = r.u32(), x0 = r.i32(), y0 = r.i32(), w = r.i32(), h = r.i32();
    for (let x = x0; x < x0 + w; x++)
      for (let y = y0; y < y0 + h; y++) {
        const want = { material: r.u16(), kelvins: r.i32(), state: r.u8() };
        const colour = [r.u8(), r.u8(), r.u8()];
        const got = cell(c, x, y);
        const at = `frame ${frames} cell (${x}, ${y})`;
        if (!got) fail(`${at} not held`);
        if (got.material !== want.material || got.kelvins !== want.kelvins || got.state !== want.state)
          fail(`${at}: ${JSON.stringify(got)}, want ${JSON.stringify(want)}`);
        const gotcolour = cellcolour(c, x, y, frame);
        if (gotcolour.join() !== colour.join()) fail(`${at}: colour ${gotcolour}, want ${colour}`);
        // As the page draws it: into image data, four bytes a pixel.
        if (!colourinto(c, x, y, frame, pixel, 4) || pixel.subarray(4, 7).join() !== colour.join())
          fail(`${at}: colour into image data ${pixel.subarray(4, 7)}, want ${colour}`);
        cells++;
      }
  } else if (kind === 'H') {
    const want = r.bytes(r.u32());
    if (c.held.length !== want.length || c.held.some((h, t) => h !== want[t]))
      fail(`frame ${frames}: holds tiles ${c.held}, want ${Uint8Array.from(want)}`);
  } else if (kind === 'P') {
    const ever = r.u32(), n = r.u32(), want = [];
    for (let k = 0; k < n; k++)
      want.push({ num: r.i32(), x: r.i32(), y: r.i32(), health: r.i32(), score: r.i32(), web: r.u8() === 1, name: r.str8() });
    if (c.everplayers !== ever) fail(`players ever ${c.everplayers}, want ${ever}`);
    if (JSON.stringify(c.players) !== JSON.stringify(want))
      fail(`players ${JSON.stringify(c.players)}, want ${JSON.stringify(want)}`);
  } else if (kind === 'Y') {
    const want = r.i32(), token = r.str8();
    if (c.you !== want || c.token !== token) fail(`you ${c.you} ${c.token}, want ${want} ${token}`);
  } else fail('unknown record ' + kind);
}
if (frames < 100 || cells < 10000) fail(`only ${frames} frames and ${cells} cells were checked`);

// Malformed messages are refused: cut short, an unknown type, a change for
// a tile not held (the last frame to a fresh client that had only HELLO).
async function refuses(what, client, bytes) {
  try {
    await applymessage(client, bytes, inflate);
  } catch {
    return;
  }
  fail(`took ${what}`);
}
const hello = messages[0];
const lasttiles = messages.filter((m) => m[0] === 2 && m[1] === 0 && m.length > 30).pop();
const fresh = createclient();
await applymessage(fresh, hello, inflate);
await refuses('a change for a tile not held', fresh, lasttiles);
await refuses('a cut HELLO', createclient(), hello.subarray(0, hello.length - 1));
await refuses('an unknown type', createclient(), Uint8Array.of(9, 0, 0));
await refuses('a HELLO of another version', createclient(), Uint8Array.from(hello).fill(7, 1, 2));
// YOU: a refusal's reason after the empty token, an empty one after a token.
const refused = createclient(), reason = 'that name belongs to another player';
await applymessage(refused, Uint8Array.of(4, 255, 255, 255, 255, 0, reason.length, ...new TextEncoder().encode(reason)), inflate);
if (refused.you !== -1 || refused.reason !== reason) fail(`a refusal decoded as ${refused.you} "${refused.reason}"`);
await applymessage(refused, Uint8Array.of(4, 3, 0, 0, 0, 1, 65, 0), inflate);
if (refused.you !== 3 || refused.token !== 'A' || refused.reason !== '') fail('a YOU with an empty reason kept one');
await refuses('a YOU without its reason', createclient(), Uint8Array.of(4, 3, 0, 0, 0, 1, 65));
await refuses('a YOU longer than its reason', createclient(), Uint8Array.of(4, 255, 255, 255, 255, 0, 1, 65, 66));
console.log(`decoder_test: ${frames} views, ${cells} cells and their colours as the C++ client holds them`);
