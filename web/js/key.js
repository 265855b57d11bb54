// The player key: 16 random bytes as 32 lowercase hex digits, kept in
// localStorage under "kindler.key" and sent with every JOIN, so that the
// names this browser plays stay its own on every game of the fleet. A page
// opened with "#key=<hex>" (a Games panel link, or a link a player copied
// to take a name to another browser) takes that key and removes the
// fragment from the address bar; the fragment never reaches a server.

const STORED = 'kindler.key';
const KEYFORM = /^[0-9a-f]{32}$/;

function randomkey() {
  const b = crypto.getRandomValues(new Uint8Array(16));
  return Array.from(b, (x) => x.toString(16).padStart(2, '0')).join('');
}

// The key of a fragment ("#key=..." among "&"-separated parts), or ''.
export function fragmentkey(hash) {
  for (const part of String(hash).replace(/^#/, '').split('&')) {
    if (!part.startsWith('key=')) continue;
    const k = part.slice(4).toLowerCase();
    if (KEYFORM.test(k)) return k;
  }
  return '';
}

// The page's key: from the fragment (kept, and the fragment removed), else
// from localStorage, else a new one (kept). Storage that refuses leaves the
// key to this page alone.
export function playerkey(loc = window.location) {
  let stored = '';
  try {
    stored = localStorage.getItem(STORED) || '';
  } catch {
    // no storage: a key for this page alone
  }
  let key = fragmentkey(loc.hash);
  if (key) history.replaceState(null, '', loc.pathname + loc.search);
  else key = KEYFORM.test(stored) ? stored : randomkey();
  if (key !== stored) {
    try {
      localStorage.setItem(STORED, key);
    } catch {
      // as above
    }
  }
  return key;
}

// The address of a game's page that carries the key along.
export function keyedurl(url, key) {
  return String(url).replace(/#.*$/, '') + '#key=' + key;
}
