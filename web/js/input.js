// The page's input: keys (arrows or W A S D a step, space a fire, + and -
// zoom, 0 the whole map, F following) and the mouse on the map (drag to
// pan, the wheel to zoom about the pointer), handed to `actions` as
// step(dx, dy), fire(), zoom(steps, px, py), pan(dx, dy), fit(), follow().
// Keys typed into a form's field stay there.

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

  // Dragging: the pointer held down on the map pans it.
  let drag = null;
  canvas.addEventListener('pointerdown', (ev) => {
    if (ev.button !== 0) return;
    drag = { id: ev.pointerId, x: ev.clientX, y: ev.clientY };
    canvas.setPointerCapture(ev.pointerId);
    canvas.classList.add('dragging');
  });
  canvas.addEventListener('pointermove', (ev) => {
    if (!drag || ev.pointerId !== drag.id) return;
    const dx = ev.clientX - drag.x, dy = ev.clientY - drag.y;
    drag.x = ev.clientX;
    drag.y = ev.clientY;
    if (dx || dy) actions.pan(dx, dy);
  });
  const enddrag = (ev) => {
    if (!drag || ev.pointerId !== drag.id) return;
    drag = null;
    canvas.classList.remove('dragging');
  };
  canvas.addEventListener('pointerup', enddrag);
  canvas.addEventListener('pointercancel', enddrag);

  canvas.addEventListener('wheel', (ev) => {
    ev.preventDefault();
    const box = canvas.getBoundingClientRect();
    const steps = ev.deltaMode === 0 ? -ev.deltaY / 100 : -Math.sign(ev.deltaY);
    actions.zoom(Math.max(-3, Math.min(3, steps)), ev.clientX - box.left, ev.clientY - box.top);
  }, { passive: false });
}
