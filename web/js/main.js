// The page: ties the connection, the view, the drawing, the input (keys,
// mouse, touch) and the panels together, and keeps the live state in window.kindler for scripts
// and tests: connected, tick, players, player (and a few more, below).
// The tab's player comes back by itself: its resume token and name are kept
// in sessionStorage, and every new connection (a reload, a reconnection)
// sends RESUME first; when the server no longer knows the player, the page
// joins anew with the same name. Every JOIN carries the browser's player
// key (key.js); a refused JOIN shows the server's reason, and when the game
// is full the least full other game of the Games panel is offered.

import { Connection, streamurl } from './connection.js';
import { cell, MSG } from './decoder.js';
import { Drawer } from './draw.js';
import { Games, leastfull } from './games.js';
import { bindinput } from './input.js';
import { keyedurl, playerkey } from './key.js';
import { firemessage, joinmessage, movemessage, namebytes, resumemessage, viewmessage } from './messages.js';
import { showlegend, showplayers } from './panels.js';
import { Rounds } from './rounds.js';
import { mapname, Status } from './status.js';
import { bindpad, touchscreen } from './touch.js';
import { View, ZOOMSTEP } from './view.js';

const $ = (id) => document.getElementById(id);
const form = $('join'), nameinput = $('name'), canvas = $('map'), fold = $('fold');
const PLAYSCALE = 16; // CSS pixels a cell, at least, for a player on a touch screen
const SAVED = 'kindler.resume'; // sessionStorage: { token, name } of the tab's player

const view = new View();
const drawer = new Drawer(canvas);
const status = new Status({ line: $('status'), keys: $('keys'), banner: $('banner'), notice: $('notice') });
const conn = new Connection(streamurl(window.location), { onmessage, onstate });
const rounds = new Rounds({
  line: $('round'), banner: $('roundbanner'), board: $('board'), top: $('boardtop'), last: $('boardlast'),
  lasttitle: $('boardlasttitle'), unkeyed: $('boardunkeyed'), unkeyedtitle: $('boardunkeyedtitle'),
});
const key = playerkey();
const games = new Games({ panel: $('games'), list: $('gameslist') }, key);
const FULL = 'the game is full';

let me = -1;          // the page's player number on this connection, or -1
let joinedname = '';  // the name it joined (or is about to join) with
let pendingjoin = null; // a JOIN waiting for the connection
let asked = '';       // what the next YOU answers: 'join', 'resume' or '' (nothing asked)
let sentview = '';    // the last VIEW sent on this connection
let dirty = true;     // the canvas and the status need drawing
let phase = 0;        // the flames' animation frame, four a second

const kindler = {
  connected: false, // the stream is open and its HELLO came
  tick: 0,          // the tick of the last frame
  players: [],      // [{ num, name, x, y, health, score, web }] present
  player: null,     // { num, x, y, health, score } once joined, else null
  mapname: '', sizex: 0, sizey: 0,
  materials: [],    // [{ name, block }] by index, as cells name them
  following: true,  // the view follows the page's player
  sessions: 0,      // connections that got their HELLO
  draws: 0,         // drawings of the canvas (four a second at least, while the page is seen)
  drawn: { session: 0, tiles: 0 }, // the last drawing: its connection, the tiles it held
  view: null,       // the cells shown: { x, y, w, h }
  round: null,      // the round: { number, phase (1 playing, 2 over), left (ms), top }, null without rounds
  board: null,      // the last /leaderboard
  key,              // the player key every JOIN carries
  games: null,      // the last /games
  refused: '',      // the reason of the last refused JOIN, '' after a taken one
  offer: null,      // the game offered after a JOIN refused as full: { name, url } or null
  // Cell (x, y) as the page holds it: { material, kelvins, state } or null.
  cell: (x, y) => cell(conn.client, x, y),
  // Where cell (x, y) is on the page, in CSS pixels.
  cellbox(x, y) {
    const box = canvas.getBoundingClientRect(), at = view.toscreen(x, y);
    return { left: box.left + at.left, top: box.top + at.top, width: view.scale, height: view.scale };
  },
};
window.kindler = kindler;

function mine() {
  return me >= 0 ? conn.client.players.find((p) => p.num === me) || null : null;
}

function publish() {
  const c = conn.client, p = mine();
  kindler.connected = conn.connected;
  kindler.tick = c.tick;
  kindler.players = c.players.map(({ num, name, x, y, health, score, web }) => ({ num, name, x, y, health, score, web }));
  kindler.player = p ? { num: p.num, x: p.x, y: p.y, health: p.health, score: p.score } : null;
  kindler.mapname = mapname(c);
  kindler.sizex = c.sizex;
  kindler.sizey = c.sizey;
  kindler.following = view.following;
  kindler.view = view.cells();
  const r = rounds.round;
  kindler.round = r ? { number: r.number, phase: r.phase, left: rounds.left(performance.now()), top: r.top } : null;
  kindler.board = rounds.board;
  kindler.games = games.games;
}

// A JOIN refused for `reason`: said over the map; when the game is full
// (a server that gives no reason refuses only for want of room or for
// too many JOINs) the least full other game is offered, with the key.
async function refused(reason) {
  const box = $('refused');
  kindler.refused = reason || 'the game has no place for another player';
  kindler.offer = null;
  box.replaceChildren(document.createTextNode(kindler.refused));
  box.hidden = false;
  if (reason && reason !== FULL) return;
  const other = leastfull((await games.fetch()) || []);
  if (kindler.refused !== (reason || 'the game has no place for another player')) return; // a newer answer
  const offer = document.createElement('p');
  if (other) {
    kindler.offer = { name: other.name, url: keyedurl(other.url, key) };
    const a = document.createElement('a');
    a.href = kindler.offer.url;
    a.textContent = `play on ${other.name} (${other.players}/${other.maxplayers} players)`;
    offer.append(a);
  } else {
    offer.textContent = 'no other game has room now';
  }
  box.append(offer);
  publish();
}

// The view may have moved or the player with it: tells the server the
// cells now shown, and draws anew.
function changed() {
  const p = mine();
  if (view.following && p) view.follow(p.x, p.y);
  if (conn.connected) {
    const r = view.cells(), key = `${r.x},${r.y},${r.w},${r.h}`;
    if (key !== sentview && conn.send(viewmessage(r.x, r.y, r.w, r.h))) sentview = key;
  }
  kindler.view = view.cells();
  kindler.following = view.following;
  dirty = true;
}

// The tab's player as sessionStorage keeps it, or null; and keeping it
// (nothing for an empty token).
function saved() {
  try {
    const s = JSON.parse(sessionStorage.getItem(SAVED));
    return s && typeof s.token === 'string' && s.token ? s : null;
  } catch {
    return null;
  }
}
function save(token, name) {
  try {
    if (token) sessionStorage.setItem(SAVED, JSON.stringify({ token, name }));
    else sessionStorage.removeItem(SAVED);
  } catch {
    // storage refused: the player just does not come back after a reload
  }
}

// Asks for the tab's player back; false when it has none.
function resume() {
  const s = saved();
  if (!s || !conn.send(resumemessage(s.token))) return false;
  asked = 'resume';
  joinedname = s.name || '';
  status.note('coming back as ' + joinedname + '…');
  return true;
}

function join(name) {
  const bytes = namebytes(name);
  if (!bytes.length) {
    status.note('a name needs a letter or two');
    dirty = true;
    return;
  }
  joinedname = new TextDecoder().decode(bytes);
  if (conn.send(joinmessage(bytes, key))) {
    pendingjoin = null;
    asked = 'join';
    status.note('joining as ' + joinedname + '…');
  } else {
    pendingjoin = bytes;
    status.note('joining as ' + joinedname + ' once connected…');
  }
  dirty = true;
}

function onmessage(c, type) {
  if (type === MSG.HELLO) {
    me = -1;
    sentview = '';
    kindler.sessions++;
    kindler.materials = c.materials.map(({ name, block }) => ({ name, block }));
    view.setmap(c.sizex, c.sizey);
    showlegend({ materials: $('materials'), ramp: $('ramp'), labels: $('ramplabels'), notes: $('legendnotes') }, c);
    $('legend').hidden = false; // shown whole once known, so that nothing below it moves
    $('mapname').textContent = mapname(c) + ' (' + c.sizex + ' x ' + c.sizey + ')';
    showplayers($('players'), c, me);
    if (pendingjoin) join(joinedname);
    else if (!resume() && joinedname) status.note('connected again: Enter in the name field joins again', 10000);
  } else if (type === MSG.YOU) {
    const answered = asked;
    asked = '';
    if (c.you >= 0) {
      me = c.you;
      save(c.token, joinedname);
      view.following = true;
      if (touchscreen() && view.scale < PLAYSCALE) view.zoom(Math.log(PLAYSCALE / view.scale) / Math.log(ZOOMSTEP));
      if (form.contains(document.activeElement)) document.activeElement.blur(); // keys play now
      status.note((answered === 'resume' ? 'back as ' : 'joined as ') + joinedname + ' #' + me);
      kindler.refused = '';
      kindler.offer = null;
      $('refused').hidden = true;
      games.fetch(); // the Games panel counts this player at once, not at its next fetch
    } else if (answered === 'resume') {
      save('', '');
      if (joinedname) join(joinedname); // the player is gone: a new one of the same name
    } else if (answered === 'join') {
      save('', '');
      status.note(c.reason || 'the game has no place for another player');
      refused(c.reason);
    } else {
      me = -1; // unasked: another page took the player over
      save('', '');
      status.note('your player is played on another page now');
    }
    showplayers($('players'), c, me);
  } else if (type === MSG.ROUND) {
    rounds.update(c, performance.now());
  } else if (type === MSG.PLAYERS) {
    status.players(c, me);
    showplayers($('players'), c, me);
  }
  publish();
  changed();
}

function onstate() {
  publish();
  document.body.classList.toggle('offline', !conn.connected);
  dirty = true;
}

form.addEventListener('submit', (ev) => {
  ev.preventDefault();
  join(nameinput.value);
});

const actions = {
  step(dx, dy) {
    const p = mine(), c = conn.client;
    if (!p) {
      view.scroll(dx, dy);
      changed();
      return;
    }
    const nx = p.x + dx, ny = p.y + dy, to = cell(c, nx, ny);
    if (p.health <= 0) status.note('the dead do not move');
    else if (nx < 0 || ny < 0 || nx >= c.sizex || ny >= c.sizey) status.note('edge of the map');
    else if (to && c.materials[to.material] && c.materials[to.material].block) status.note('blocked');
    else conn.send(movemessage(dx, dy));
    dirty = true;
  },
  fire() {
    const p = mine();
    if (!p) status.note('join to set fires');
    else if (p.health <= 0) status.note('the dead set no fires');
    else if (conn.send(firemessage())) status.note('fire!');
    dirty = true;
  },
  zoom(steps, px, py) {
    view.zoom(steps, px, py);
    changed();
  },
  pan(dx, dy) {
    if (view.following && mine()) {
      view.following = false;
      status.note(touchscreen() ? 'following off: a step follows again' : 'following off: F follows again');
    }
    view.pan(dx, dy);
    changed();
  },
  fit() {
    view.following = false;
    view.fit();
    changed();
  },
  follow() {
    view.following = !view.following;
    status.note(view.following ? 'following you' : 'following off');
    changed();
  },
};
bindinput(canvas, actions);
// A step from the pad brings the view back to the player.
bindpad($('pad'), $('fire'), {
  step(dx, dy) {
    if (!view.following && mine()) {
      view.following = true;
      changed();
    }
    actions.step(dx, dy);
  },
  fire: actions.fire,
});

// The players and the legend: beside the map on a large screen, a panel
// opened and closed over it on a small one.
fold.addEventListener('click', () => {
  const open = !document.body.classList.contains('panelopen');
  document.body.classList.toggle('panelopen', open);
  fold.setAttribute('aria-expanded', String(open));
});

function resize() {
  const box = drawer.fit();
  if (box.width !== view.width || box.height !== view.height) {
    view.resize(box.width, box.height);
    changed();
  }
}
new ResizeObserver(resize).observe(canvas);
resize();

function frame(now) {
  const p = Math.floor(now / 250);
  if (p !== phase) {
    phase = p;
    dirty = true;
  }
  if (dirty) {
    dirty = false;
    drawer.fit();
    drawer.draw(conn.client, view, me, phase);
    status.show(conn.client, me, joinedname, conn.state(), view, touchscreen());
    rounds.show(now);
    const held = conn.client.held.reduce((n, h) => n + h, 0);
    kindler.drawn = { session: kindler.sessions, tiles: held };
    kindler.draws++;
  }
  requestAnimationFrame(frame);
}
requestAnimationFrame(frame);
conn.start();
rounds.fetch();
games.start();
