// The side panels: the list of the players present (health, score, the
// dead marked, the page's own player first) and the legend (the map's
// materials, burning and burnt cells, and the heat colours). Names from
// the network go in as text only.

import { el } from './dom.js';

// The legend's labelled kelvins beyond the cold and hurting limits (those
// two come from the server's HELLO).
const HEATSTOPS = [500, 800, 1500];

function rgb(c) {
  return `rgb(${c[0]}, ${c[1]}, ${c[2]})`;
}

function swatch(colour) {
  const s = el('span', 'swatch');
  s.style.backgroundColor = rgb(colour);
  return s;
}

// The heat colour at `kelvins` as the HELLO's ramp gives it.
function rampcolour(c, kelvins) {
  const count = c.ramp.length / 3;
  if (!count) return [0, 0, 0];
  const k = 3 * Math.min(Math.max(Math.round(kelvins) - c.rampfirst, 0), count - 1);
  return [c.ramp[k], c.ramp[k + 1], c.ramp[k + 2]];
}

// Fills list `ol` with the players of decoder client c; `me` is the page's
// player number or -1.
export function showplayers(ol, c, me) {
  const players = [...c.players].sort((a, b) => (b.num === me) - (a.num === me) || a.num - b.num);
  const items = players.map((p) => {
    const dead = p.health <= 0;
    const li = el('li', 'player' + (p.num === me ? ' own' : '') + (dead ? ' dead' : ''));
    li.dataset.num = String(p.num);
    const head = el('div', 'head');
    head.append(el('span', 'name', p.name), el('span', 'num', '#' + p.num));
    if (p.num === me) head.append(el('span', 'tag you', 'you'));
    if (dead) head.append(el('span', 'tag deadtag', 'dead'));
    head.append(el('span', 'tag kind', p.web ? 'web' : 'terminal'));
    const bar = el('div', 'health');
    const fill = el('div', 'fill');
    fill.style.width = Math.max(0, Math.min(100, p.health)) + '%';
    bar.append(fill);
    const figures = el('div', 'figures');
    figures.append(el('span', 'hp', 'health ' + p.health), el('span', 'score', 'score ' + p.score),
                   el('span', 'at', 'at ' + p.x + ',' + p.y));
    li.append(head, bar, figures);
    return li;
  });
  if (!items.length) items.push(el('li', 'none', 'nobody is playing'));
  ol.replaceChildren(...items);
}

// Fills the legend of decoder client c: `materials` (a list) with the
// map's materials, burning and burnt cells; `ramp` (a canvas) with the
// heat colours from coldlimit to 1500 K, each stretch between two labels
// alike; `labels` with the labels.
export function showlegend({ materials, ramp, labels, notes }, c) {
  const items = c.materials.map((m, k) => {
    const li = el('li', 'material');
    li.append(swatch(m.colour), el('span', 'label', m.name || 'material ' + k));
    if (m.block) li.append(el('span', 'tag', 'blocks'));
    return li;
  });
  const burning = el('li', 'material');
  burning.append(swatch([255, 195, 40]), el('span', 'label', 'burning'));
  const burnt = el('li', 'material');
  burnt.append(swatch(c.ash), el('span', 'label', 'burnt (ash)'));
  materials.replaceChildren(...items, burning, burnt);

  const stops = [c.coldlimit, c.hurt, ...HEATSTOPS];
  const ctx = ramp.getContext('2d'), w = ramp.width, h = ramp.height, seg = w / (stops.length - 1);
  for (let px = 0; px < w; px++) {
    const s = Math.min(stops.length - 2, Math.floor(px / seg)), f = (px - s * seg) / seg;
    ctx.fillStyle = rgb(rampcolour(c, stops[s] + (stops[s + 1] - stops[s]) * f));
    ctx.fillRect(px, 0, 1, h);
  }
  labels.replaceChildren(...stops.map((k, i) => el('span', '', k + (i === stops.length - 1 ? ' K' : ''))));
  notes.replaceChildren(el('li', '', 'below ' + c.coldlimit + ' K a cell shows its material'),
                        el('li', 'hurts', 'above ' + c.hurt + ' K a cell hurts a player on it'));
}
