// The page's input: keys (arrows or W A S D a step, space a fire, + and -
// zoom, 0 the whole map, F following) and the mouse or fingers on the map
// (one drags to pan, two pinch to zoom about their middle, the wheel zooms
// about the pointer), handed to `actions` as step(dx, dy), fire(),
// zoom(steps, px, py), pan(dx, dy), fit(), follow(). Keys typed into a
// form's field stay there.

import { ZOOMSTEP } from './view.js';

const STEPS = {
  ArrowUp: [0, -1], ArrowDown: [0, 1], ArrowLeft: [-1, 0], ArrowRight: [1, 0],
  w: [0, -1], s: [0, 1], a: [-1, 0], d: [1, 0],
};

function typing(target) {
  return target instanceof HTMLElement && (target.isContentEditable || target.matches('input, textarea, select'));
}

export function bindinput(canvas, actions) {
  window.addEventListener('keydown', (ev) => {
    if (ev.ctrlKey || ev.metaKey || ev.altKey || typing(ev.target)) return;
    const key = ev.key.length === 1 ? ev.key.toLowerCase() : ev.key;
    if (STEPS[key]) actions.step(...STEPS[key]);
    else if (key === ' ') actions.fire();
    else if (key === '+' || key === '=') actions.zoom(1);
    else if (key === '-' || key === '_') actions.zoom(-1);
    else if (key === '0') actions.fit();
    else if (key === 'f') actions.follow();
    else return;
    ev.preventDefault();
  });

  // The pointers down on the map: one drags it, two pinch.
  const down = new Map(); // pointer id: { x, y } in the canvas, CSS pixels
  const at = (ev) => {
    const box = canvas.getBoundingClientRect();
    return { x: ev.clientX - box.left, y: ev.clientY - box.top };
  };
  const pinch = () => {
    const [a, b] = [...down.values()];
    return { d: Math.hypot(a.x - b.x, a.y - b.y), x: (a.x + b.x) / 2, y: (a.y + b.y) / 2 };
  };
  canvas.addEventListener('pointerdown', (ev) => {
    if ((ev.pointerType === 'mouse' && ev.button !== 0) || down.size >= 2) return;
    down.set(ev.pointerId, at(ev));
    canvas.setPointerCapture(ev.pointerId);
    canvas.classList.add('dragging');
  });
  canvas.addEventListener('pointermove', (ev) => {
    const was = down.get(ev.pointerId);
    if (!was) return;
    const now = at(ev);
    if (down.size === 1) {
      down.set(ev.pointerId, now);
      if (now.x !== was.x || now.y !== was.y) actions.pan(now.x - was.x, now.y - was.y);
      return;
    }
    const before = pinch();
    down.set(ev.pointerId, now);
    const after = pinch();
    if (before.d > 0 && after.d > 0 && after.d !== before.d)
      actions.zoom(Math.log(after.d / before.d) / Math.log(ZOOMSTEP), after.x, after.y);
  });
  const up = (ev) => {
    if (!down.delete(ev.pointerId)) return;
    if (!down.size) canvas.classList.remove('dragging');
  };
  canvas.addEventListener('pointerup', up);
  canvas.addEventListener('pointercancel', up);

  canvas.addEventListener('wheel', (ev) => {
    ev.preventDefault();
    const box = canvas.getBoundingClientRect();
    const steps = ev.deltaMode === 0 ? -ev.deltaY / 100 : -Math.sign(ev.deltaY);
    actions.zoom(Math.max(-3, Math.min(3, steps)), ev.clientX - box.left, ev.clientY - box.top);
  }, { passive: false });
}
