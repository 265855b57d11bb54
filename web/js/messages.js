// The page's messages to the server (doc/stream.md): VIEW, JOIN, MOVE, FIRE
// and RESUME, each as the bytes of one binary WebSocket message. Pure.

export const NAMEMAX = 29; // bytes of a name

// VIEW: the cells the page shows, x, y (may lie off the map), w x h.
export function viewmessage(x, y, w, h) {
  const b = new Uint8Array(13), v = new DataView(b.buffer);
  b[0] = 1;
  v.setInt32(1, x, true);
  v.setInt32(5, y, true);
  v.setUint16(9, w, true);
  v.setUint16(11, h, true);
  return b;
}

// A name as the server takes it: control characters dropped, spaces at the
// ends trimmed, cut to NAMEMAX bytes of UTF-8 at a character's boundary.
// Returns its bytes, empty when nothing is left.
export function namebytes(name) {
  const clean = Array.from(String(name)).filter((ch) => ch.codePointAt(0) >= 32 && ch !== '\u007f').join('').trim();
  const enc = new TextEncoder();
  let out = new Uint8Array(0);
  for (const ch of clean) {
    const next = enc.encode(ch);
    if (out.length + next.length > NAMEMAX) break;
    const grown = new Uint8Array(out.length + next.length);
    grown.set(out);
    grown.set(next, out.length);
    out = grown;
  }
  return out;
}

// JOIN with the bytes of namebytes() (1 to NAMEMAX of them), and the
// player key (key.js: 32 hex digits) after a 0 byte when there is one.
export function joinmessage(bytes, key = '') {
  const k = new TextEncoder().encode(key);
  const b = new Uint8Array(1 + bytes.length + (k.length ? 1 + k.length : 0));
  b[0] = 2;
  b.set(bytes, 1);
  if (k.length) b.set(k, 2 + bytes.length); // the 0 between is the array's own
  return b;
}

// MOVE one step: dx and dy each -1, 0 or 1, not both 0.
export function movemessage(dx, dy) {
  return Uint8Array.of(3, dx & 0xff, dy & 0xff);
}

// FIRE on the player's cell.
export function firemessage() {
  return Uint8Array.of(4);
}

// RESUME the player whose token (YOU's, 32 hex digits) the page holds.
export function resumemessage(token) {
  return Uint8Array.of(5, ...new TextEncoder().encode(token));
}
