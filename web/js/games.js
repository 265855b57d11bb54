// The Games panel: the live games of the fleet (this game alone without
// one) from GET /games, fetched at load and every 10 s: each game's name,
// map and size, players and capacity, round and time left, and a link to
// its page carrying the player key. A full game says so. When a JOIN is
// refused as full, leastfull() names the game to offer instead. Text from
// the network goes in as text only.

import { el } from './dom.js';
import { clock } from './rounds.js';
import { keyedurl } from './key.js';

const EVERY = 10000; // ms between two fetches

// The round of a game as a line: "round 2 · 0:37 left", "round 2 over".
export function roundline(g) {
  if (g.round === null || g.round === undefined) return 'no rounds';
  if (g.phase === 'intermission') return `round ${g.round} over`;
  return `round ${g.round} · ${clock((g.left || 0) * 1000)} left`;
}

// The other game, not full, with the most room left (fewest players for
// its capacity; ties: fewer players, then the name), or null.
export function leastfull(games) {
  const open = games.filter((g) => !g.self && !g.full && g.players < g.maxplayers);
  open.sort((a, b) => a.players / a.maxplayers - b.players / b.maxplayers || a.players - b.players ||
    (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
  return open[0] || null;
}

export class Games {
  // els: { panel, list }; key: the player key the links carry.
  constructor(els, key) {
    this.els = els;
    this.key = key;
    this.games = null; // the last answer's games
  }

  start() {
    this.fetch();
    setInterval(() => this.fetch(), EVERY);
  }

  async fetch() {
    try {
      const res = await fetch('/games', { cache: 'no-store' });
      if (res.ok) this.show((await res.json()).games || []);
    } catch {
      // the next fetch asks again
    }
    return this.games;
  }

  // A link to game g's page, with the key.
  link(g, text) {
    const a = el('a', '', text);
    a.href = keyedurl(g.url, this.key);
    return a;
  }

  show(games) {
    this.games = games;
    const { panel, list } = this.els;
    panel.hidden = false;
    list.replaceChildren(...games.map((g) => {
      const li = el('li', (g.self ? 'self' : '') + (g.full ? ' full' : ''));
      const head = el('span', 'name');
      head.append(g.self ? el('strong', '', g.name) : this.link(g, g.name));
      if (g.self) head.append(el('span', 'tag', 'this game'));
      if (g.full) head.append(el('span', 'tag full', 'full'));
      li.append(head, el('span', 'num', `${g.players}/${g.maxplayers}`),
        el('span', 'sub', `${g.map} ${g.width} x ${g.height} · ${roundline(g)}`));
      return li;
    }));
    if (!games.length) list.append(el('li', 'none', 'no game is listed'));
  }
}
