// The view: which part of the map the canvas shows and how large. Keeps
// the cell at the canvas's top left (fractional, so dragging is smooth),
// the scale in CSS pixels per cell, panning, zooming about a point,
// fitting the map, and following a player as the terminal client does
// (the view moves only when the player nears its edge). Pure: no DOM.

export const MINSCALE = 1;
export const MAXSCALE = 64;
export const ZOOMSTEP = 1.25; // the scale's factor for one step of zoom

export class View {
  constructor() {
    this.width = 1;     // the canvas in CSS pixels
    this.height = 1;
    this.sizex = 0;     // the map in cells
    this.sizey = 0;
    this.scale = 16;    // CSS pixels per cell
    this.x = 0;         // the cell at the canvas's top left
    this.y = 0;
    this.following = true; // follow the page's player when there is one
  }

  // Cells across and down the canvas.
  across() { return this.width / this.scale; }
  down() { return this.height / this.scale; }

  resize(width, height) {
    const cx = this.x + this.across() / 2, cy = this.y + this.down() / 2;
    this.width = Math.max(1, width);
    this.height = Math.max(1, height);
    this.x = cx - this.across() / 2;
    this.y = cy - this.down() / 2;
    this.clamp();
  }

  // A map of sizex x sizey cells: shown whole when it is not the one shown.
  setmap(sizex, sizey) {
    if (sizex === this.sizex && sizey === this.sizey) return;
    this.sizex = sizex;
    this.sizey = sizey;
    this.fit();
  }

  // The whole map, as large as it fits.
  fit() {
    if (!this.sizex || !this.sizey) return;
    const s = Math.min(this.width / this.sizex, this.height / this.sizey);
    this.scale = Math.min(MAXSCALE, Math.max(MINSCALE, s));
    this.x = (this.sizex - this.across()) / 2;
    this.y = (this.sizey - this.down()) / 2;
    this.clamp();
  }

  // Zooms in (steps > 0) or out, keeping the point (px, py) of the canvas
  // (its middle by default) over the same cell.
  zoom(steps, px = this.width / 2, py = this.height / 2) {
    const scale = Math.min(MAXSCALE, Math.max(MINSCALE, this.scale * ZOOMSTEP ** steps));
    const cx = this.x + px / this.scale, cy = this.y + py / this.scale;
    this.scale = scale;
    this.x = cx - px / scale;
    this.y = cy - py / scale;
    this.clamp();
  }

  // Drags the map by (dx, dy) CSS pixels.
  pan(dx, dy) {
    this.x -= dx / this.scale;
    this.y -= dy / this.scale;
    this.clamp();
  }

  // Moves the view by a quarter of the canvas per step.
  scroll(dx, dy) {
    this.pan(-dx * this.width / 4, -dy * this.height / 4);
  }

  // Keeps cell (px, py) within the middle of the view, moving the view
  // only when it comes within a margin of the edge.
  follow(px, py) {
    this.x = followaxis(this.x, px, this.across(), this.sizex);
    this.y = followaxis(this.y, py, this.down(), this.sizey);
  }

  // At least half the view shows the map; a map smaller than the view
  // stays in its middle.
  clamp() {
    this.x = clampaxis(this.x, this.across(), this.sizex);
    this.y = clampaxis(this.y, this.down(), this.sizey);
  }

  // The cells the canvas shows, whole: { x, y, w, h } (may hang over the
  // map's edges), as the page's VIEW tells the server.
  cells() {
    const x = Math.floor(this.x), y = Math.floor(this.y);
    const w = Math.ceil(this.x + this.across()) - x, h = Math.ceil(this.y + this.down()) - y;
    return { x, y, w: Math.min(65535, Math.max(1, w)), h: Math.min(65535, Math.max(1, h)) };
  }

  // The canvas position (CSS pixels) of cell (x, y)'s top left corner.
  toscreen(x, y) {
    return { left: (x - this.x) * this.scale, top: (y - this.y) * this.scale };
  }

  // The cell under the canvas point (px, py).
  tocell(px, py) {
    return { x: Math.floor(this.x + px / this.scale), y: Math.floor(this.y + py / this.scale) };
  }
}

function followaxis(view, pos, size, total) {
  if (total <= size) return (total - size) / 2;
  const margin = Math.min(8, size / 4);
  if (pos < view + margin || pos + 1 > view + size - margin) view = pos + 0.5 - size / 2;
  return Math.max(0, Math.min(view, total - size));
}

function clampaxis(view, size, total) {
  if (total <= 0) return view;
  if (total <= size) return (total - size) / 2;
  return Math.max(-size / 2, Math.min(view, total - size / 2));
}
