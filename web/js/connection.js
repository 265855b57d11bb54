// The connection to the live stream: one WebSocket at a time to /stream on
// the page's own host and port (wss: behind https), the server's messages
// applied in order to a fresh decoder client per connection (the last
// connection's stays the page's client until the new one's HELLO, so the
// page keeps showing what it last saw), and a new connection after a lost
// one, the delay growing from a quarter second to a few seconds.

import { applymessage, browserinflate, createclient, MSG } from './decoder.js';

const FIRSTDELAY = 250; // ms before the first reconnection
const MAXDELAY = 4000;  // ms at most between two tries
const STEADY = 10000;   // ms a connection lasts before a loss starts the delays anew

// The stream's URL for a page at `location`.
export function streamurl(location) {
  return (location.protocol === 'https:' ? 'wss:' : 'ws:') + '//' + location.host + '/stream';
}

// Calls, all optional:
//   onmessage(client, type)  after a server message was applied to client
//   onstate(state)           { connected, retrying (a connection was lost),
//                            retryat (ms, 0 while trying), tries, why (the
//                            server's reason for closing, or empty) }
export class Connection {
  constructor(url, { onmessage = () => {}, onstate = () => {} } = {}) {
    this.url = url;
    this.onmessage = onmessage;
    this.onstate = onstate;
    this.ws = null;
    this.client = createclient();
    this.connected = false; // a HELLO came on the open connection
    this.lostone = false;   // a connection was lost (or could not be made)
    this.tries = 0;         // connections tried since the last steady one
    this.since = 0;         // when the open connection's HELLO came
    this.retryat = 0;       // when the next try starts (Date.now()), or 0
    this.why = '';          // why the last connection ended, when it was said
    this.timer = 0;
  }

  start() {
    this.open();
  }

  state() {
    return { connected: this.connected, retrying: !this.connected && this.lostone,
             retryat: this.retryat, tries: this.tries, why: this.why };
  }

  // Sends one message; false when there is no open connection.
  send(bytes) {
    if (!this.ws || this.ws.readyState !== WebSocket.OPEN) return false;
    this.ws.send(bytes);
    return true;
  }

  open() {
    this.retryat = 0;
    this.tries++;
    const client = createclient();
    let ws;
    try {
      ws = new WebSocket(this.url);
    } catch (e) {
      this.lost(null, String(e.message || e));
      return;
    }
    ws.binaryType = 'arraybuffer';
    this.ws = ws;
    // Messages are applied one after another: inflating is asynchronous.
    let queue = Promise.resolve();
    ws.onmessage = (ev) => {
      if (typeof ev.data === 'string') return;
      queue = queue.then(async () => {
        if (this.ws !== ws) return;
        let type;
        try {
          type = await applymessage(client, ev.data, browserinflate);
        } catch (e) {
          this.lost(ws, 'bad message from the server: ' + e.message);
          return;
        }
        if (this.ws !== ws) return;
        if (type === MSG.HELLO) {
          this.client = client;
          this.connected = true;
          this.since = Date.now();
          this.why = '';
          this.onstate(this.state());
        }
        this.onmessage(client, type);
      });
    };
    ws.onclose = (ev) => this.lost(ws, ev.reason || (ev.code === 1006 || ev.code === 1005 ? '' : 'closed with code ' + ev.code));
    ws.onerror = () => {}; // onclose follows
    this.onstate(this.state());
  }

  // Connection ws ended (or could not start): try again after a delay.
  lost(ws, why) {
    if (ws && ws !== this.ws) return;
    if (ws) {
      ws.onmessage = ws.onclose = null;
      if (ws.readyState === WebSocket.OPEN || ws.readyState === WebSocket.CONNECTING) ws.close(4000, why.slice(0, 60));
    }
    // A connection that drops soon after it came (a server that sends what
    // the page cannot read, say) does not start the delays anew.
    if (this.connected && Date.now() - this.since >= STEADY) this.tries = 0;
    this.ws = null;
    this.connected = false;
    this.lostone = true;
    this.why = why;
    const delay = Math.min(MAXDELAY, FIRSTDELAY * 2 ** this.tries);
    this.retryat = Date.now() + delay;
    clearTimeout(this.timer);
    this.timer = setTimeout(() => this.open(), delay);
    this.onstate(this.state());
  }
}
