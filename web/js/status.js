// The status line and the key line under the map, as the terminal client
// shows them ("alice #3  health 87  score 12  at 5,7  under you 412 K HOT
// burning you: bob #1", " YOU ARE DEAD -" in front when dead, "watching
// MAP  W x H  players N  view X,Y" when watching), the dead player's
// banner, the connection notice, short notes ("blocked", "fire!"), and who
// is burning the page's player: whoever gained score while it lost health
// in the last three seconds.

import { cell } from './decoder.js';

const NOTETIME = 2000;  // ms a note stays
const HURTTIME = 3000;  // ms a player stays named as burning you

// The map's name as a player reads it: map files write name="valley", and
// the server keeps the closing quote in the name it reports.
export function mapname(c) {
  return c.mapname.endsWith('"') ? c.mapname.slice(0, -1) : c.mapname;
}

export class Status {
  constructor({ line, keys, banner, notice }) {
    this.els = { line, keys, banner, notice };
    this.notetext = '';
    this.noteuntil = 0;
    this.hurtby = new Map(); // player number: when it last gained while we lost
    this.before = null;      // the player list before the last one
    this.client = null;
  }

  note(text, ms = NOTETIME) {
    this.notetext = text;
    this.noteuntil = Date.now() + ms;
  }

  // Called on every player list of decoder client c; `me` is the page's
  // player number or -1.
  players(c, me) {
    if (c !== this.client) {
      this.client = c;
      this.before = null;
      this.hurtby.clear();
    }
    const now = Date.now(), was = this.before;
    this.before = new Map(c.players.map((p) => [p.num, p]));
    if (!was || me < 0) return;
    const mine = this.before.get(me), mybefore = was.get(me);
    if (!mine || !mybefore || mine.health >= mybefore.health) return;
    for (const p of c.players) {
      const q = was.get(p.num);
      if (q && p.score > q.score) this.hurtby.set(p.num, now);
    }
  }

  // The status line's text.
  text(c, me, name, view) {
    const mine = me >= 0 ? c.players.find((p) => p.num === me) : null;
    if (!mine) {
      const r = view.cells();
      return `watching ${mapname(c)}  ${c.sizex} x ${c.sizey}  players ${c.players.length}  view ${Math.max(0, r.x)},${Math.max(0, r.y)}`;
    }
    const under = cell(c, mine.x, mine.y), hot = under && under.kelvins > c.hurt;
    const now = Date.now(), hurt = [];
    for (const [num, when] of [...this.hurtby].sort((a, b) => a[0] - b[0])) {
      if (now - when >= HURTTIME) continue;
      const p = c.players.find((q) => q.num === num);
      hurt.push((num === me ? 'you' : p ? p.name : '?') + ' #' + num);
    }
    const by = hurt.length ? hurt.join(', ') : hot ? 'the heat' : 'nobody';
    const line = `${mine.name || name} #${me}  health ${mine.health}  score ${mine.score}  at ${mine.x},${mine.y}` +
      `  under you ${under ? under.kelvins : '?'} K${hot ? ' HOT' : ''}  burning you: ${by}`;
    return mine.health <= 0 ? 'YOU ARE DEAD - ' + line : line;
  }

  // Shows it all: decoder client c, the page's player number me (or -1),
  // the name it joined with, the connection's state, the view, and whether
  // the screen is a touch screen (the key line then names the controls).
  show(c, me, name, conn, view, touch = false) {
    const { line, keys, banner, notice } = this.els;
    const mine = me >= 0 ? c.players.find((p) => p.num === me) : null;
    const dead = !!mine && mine.health <= 0;
    if (conn.connected) {
      notice.hidden = true;
      line.textContent = this.text(c, me, name, view);
    } else {
      const wait = Math.ceil((conn.retryat - Date.now()) / 1000);
      const lost = 'the connection was lost' + (conn.why ? ' (' + conn.why + ')' : '');
      const what = !conn.retrying ? 'connecting to the server…'
        : conn.retryat && wait > 0 ? `${lost}: reconnecting in ${wait} s…` : `${lost}: reconnecting…`;
      notice.textContent = what;
      notice.hidden = false;
      line.textContent = what;
    }
    line.classList.toggle('dead', dead && conn.connected);
    line.classList.toggle('offline', !conn.connected);
    banner.hidden = !(dead && conn.connected);
    let k;
    if (touch) {
      k = mine ? (dead ? 'you are dead: enter a name above to join again' : 'pad: move  FIRE: fire')
        : 'pad: scroll  enter a name above to play';
      k += '  pinch: zoom  drag: pan';
    } else {
      k = mine ? (dead ? 'you are dead: enter a name above to join again'
        : `arrows/WASD move  space fire  F follow ${view.following ? 'on' : 'off'}`)
        : 'arrows/WASD scroll  enter a name above to play';
      k += '  +/- zoom  0 whole map  drag to pan';
    }
    if (this.notetext && Date.now() < this.noteuntil) k += '   ' + this.notetext;
    keys.textContent = k;
  }
}
