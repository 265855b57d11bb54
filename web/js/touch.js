// The touch controls: a pad of eight direction buttons and a fire button,
// shown on touch screens (the style sheet decides). A press acts at once;
// held, it acts again after a pause and then at the server's fair-play
// rate, never faster. Calls actions.step(dx, dy) and actions.fire().

export const FAIRRATE = 20;   // moves (and fires) a second the server takes from a player
const REPEAT = 1000 / FAIRRATE; // ms between two repeats of a held button
const PAUSE = 300;            // ms a button is held before it repeats

// Makes `button` call act() when pressed and repeat it while held.
function holdable(button, act) {
  let held = null; // { id: the pointer, timer }
  const stop = () => {
    if (!held) return;
    clearTimeout(held.timer);
    held = null;
    button.classList.remove('held');
  };
  const again = (ms) => {
    held.timer = setTimeout(() => {
      if (!held) return;
      act();
      again(REPEAT);
    }, ms);
  };
  button.addEventListener('pointerdown', (ev) => {
    if (held || (ev.pointerType === 'mouse' && ev.button !== 0)) return;
    ev.preventDefault(); // keeps the focus (and the keys) where it was
    held = { id: ev.pointerId, timer: 0 };
    button.setPointerCapture(ev.pointerId);
    button.classList.add('held');
    act();
    again(PAUSE);
  });
  for (const type of ['pointerup', 'pointercancel', 'lostpointercapture'])
    button.addEventListener(type, (ev) => {
      if (held && ev.pointerId === held.id) stop();
    });
  // Enter or space on a focused button (no pointer: detail is 0).
  button.addEventListener('click', (ev) => {
    if (ev.detail === 0) act();
  });
  button.addEventListener('contextmenu', (ev) => ev.preventDefault());
}

export function bindpad(pad, fire, actions) {
  for (const b of pad.querySelectorAll('button[data-dx]'))
    holdable(b, () => actions.step(Number(b.dataset.dx), Number(b.dataset.dy)));
  holdable(fire, () => actions.fire());
}

// True on a screen whose main pointer is a finger.
const COARSE = window.matchMedia('(pointer: coarse)');
export function touchscreen() {
  return COARSE.matches;
}
