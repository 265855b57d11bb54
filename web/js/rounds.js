// The round on the page: its number and the time left (counted down here
// from what the server's ROUND said), a banner naming the winners while
// the round's result is shown, and the leaderboard panel (top 10 by total
// score of the names owned by a player key, then apart the totals of
// players without a key (port 3140's), the last round's top 3) from
// /leaderboard, fetched at load and after each round's end. Names from the
// network go in as text only.

import { el } from './dom.js';

export const PHASE = { OFF: 0, PLAYING: 1, INTERMISSION: 2 };
const WHY = ['', 'time is up', 'the world burnt out'];

// m:ss of a number of milliseconds, rounded up to the second.
export function clock(ms) {
  const s = Math.max(0, Math.ceil(ms / 1000));
  return Math.floor(s / 60) + ':' + String(s % 60).padStart(2, '0');
}

export class Rounds {
  // els: { line, banner, board, top, last, lasttitle, unkeyed, unkeyedtitle }
  constructor(els) {
    this.els = els;
    this.round = null; // as the last ROUND said it
    this.came = 0;     // performance.now() when it came
    this.board = null; // the last /leaderboard
  }

  // A ROUND message was applied to decoder client c.
  update(c, now) {
    const ended = c.round.phase === PHASE.INTERMISSION && (!this.round || this.round.phase !== PHASE.INTERMISSION ||
      this.round.number !== c.round.number);
    this.round = c.round;
    this.came = now;
    this.show(now);
    if (ended || !this.board) this.fetch();
  }

  // Milliseconds left in the phase at `now`.
  left(now) {
    return this.round ? Math.max(0, this.round.left - (now - this.came)) : 0;
  }

  // The round's line and banner at `now`; true when the line changed.
  show(now) {
    const { line, banner } = this.els, r = this.round;
    line.hidden = !r;
    if (!r) return false;
    const text = r.phase === PHASE.INTERMISSION
      ? `round ${r.number} over · ${clock(this.left(now))}`
      : `round ${r.number} · ${clock(this.left(now))} left`;
    const changed = line.textContent !== text;
    if (changed) line.textContent = text;
    const over = r.phase === PHASE.INTERMISSION;
    if (over && banner.dataset.round !== String(r.number)) {
      banner.dataset.round = String(r.number);
      banner.replaceChildren(el('strong', '', `ROUND ${r.number} OVER`), el('small', '', WHY[r.why] || ''));
      const ol = el('ol');
      for (const p of r.top) ol.append(el('li', p.died ? 'dead' : '', `${p.name} ${p.score}`));
      if (!r.top.length) ol.append(el('li', 'none', 'nobody played'));
      banner.append(ol);
    }
    banner.hidden = !over;
    return changed;
  }

  async fetch() {
    try {
      const res = await fetch('/leaderboard', { cache: 'no-store' });
      if (res.ok) this.showboard(await res.json());
    } catch {
      // the next round's end asks again
    }
  }

  showboard(b) {
    this.board = b;
    const { board, top, last, lasttitle } = this.els;
    board.hidden = !b.round && !b.rounds;
    const totals = (list) => list.map((t) => {
      const li = el('li');
      li.append(el('span', 'name', t.name), el('span', 'num', String(t.score)),
        el('span', 'sub', `${t.rounds} rd${t.rounds === 1 ? '' : 's'}, ${t.deaths} died`));
      return li;
    });
    const rows = totals(b.top);
    top.replaceChildren(...(rows.length ? rows : [el('li', 'none', 'no round has ended yet')]));
    const { unkeyed, unkeyedtitle } = this.els, apart = Array.isArray(b.unkeyed) ? b.unkeyed : [];
    unkeyed.replaceChildren(...totals(apart));
    unkeyed.hidden = unkeyedtitle.hidden = !apart.length;
    lasttitle.hidden = last.hidden = !b.last;
    if (b.last) {
      lasttitle.textContent = `Round ${b.last.number}` + (b.last.game ? ` on ${b.last.game}` : '') +
        (b.last.why === 'burnt out' ? ' (burnt out)' : '');
      last.replaceChildren(...b.last.top.map((p) => {
        const li = el('li', p.died ? 'dead' : '');
        li.append(el('span', 'name', p.name), el('span', 'num', String(p.score)));
        return li;
      }));
      if (!b.last.top.length) last.append(el('li', 'none', 'nobody played'));
    }
  }
}
