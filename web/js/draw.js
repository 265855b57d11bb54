// Drawing on the map's canvas: the cells of the view in their colours
// (one pixel a cell in an image, scaled up without smoothing), the map's
// edge, and the players as rings around their cells with their names,
// the page's own player in yellow and on top, dead players grey and
// crossed out.

import { colourinto } from './decoder.js';

const BACKGROUND = 'rgb(24, 24, 28)';
const UNKNOWN = [42, 42, 48];        // a cell of the map the page does not hold yet
const OWN = 'rgb(255, 230, 0)';
const ALIVE = 'rgb(255, 255, 255)';
const DEAD = 'rgb(140, 140, 140)';

export class Drawer {
  constructor(canvas) {
    this.canvas = canvas;
    this.ctx = canvas.getContext('2d');
    this.cells = document.createElement('canvas');
    this.cellsctx = this.cells.getContext('2d');
    this.image = null;
    this.ratio = 1;
  }

  // Sizes the canvas's pixels to its box; returns the box in CSS pixels.
  fit() {
    const box = this.canvas.getBoundingClientRect();
    const ratio = window.devicePixelRatio || 1;
    const w = Math.max(1, Math.round(box.width * ratio)), h = Math.max(1, Math.round(box.height * ratio));
    if (this.canvas.width !== w || this.canvas.height !== h) {
      this.canvas.width = w;
      this.canvas.height = h;
    }
    this.ratio = ratio;
    return { width: box.width, height: box.height };
  }

  // Draws decoder client c as view v shows it, in animation frame `frame`;
  // `me` is the page's player number or -1.
  draw(c, v, me, frame) {
    const ctx = this.ctx;
    ctx.setTransform(this.ratio, 0, 0, this.ratio, 0, 0);
    ctx.fillStyle = BACKGROUND;
    ctx.fillRect(0, 0, v.width, v.height);
    if (!c.hello) return;
    this.drawcells(c, v, frame);
    const corner = v.toscreen(0, 0);
    ctx.strokeStyle = 'rgb(90, 90, 100)';
    ctx.lineWidth = 1;
    ctx.strokeRect(corner.left - 0.5, corner.top - 0.5, c.sizex * v.scale + 1, c.sizey * v.scale + 1);
    const mine = c.players.find((p) => p.num === me);
    for (const p of c.players) if (p !== mine) this.drawplayer(c, v, p, false);
    if (mine) this.drawplayer(c, v, mine, true);
  }

  drawcells(c, v, frame) {
    const r = v.cells();
    const x0 = Math.max(0, r.x), y0 = Math.max(0, r.y);
    const x1 = Math.min(c.sizex, r.x + r.w), y1 = Math.min(c.sizey, r.y + r.h);
    if (x1 <= x0 || y1 <= y0) return;
    const w = x1 - x0, h = y1 - y0;
    if (!this.image || this.image.width !== w || this.image.height !== h) {
      this.cells.width = w;
      this.cells.height = h;
      this.image = this.cellsctx.createImageData(w, h);
    }
    const px = this.image.data;
    for (let y = 0; y < h; y++)
      for (let x = 0, at = 4 * y * w; x < w; x++, at += 4) {
        if (!colourinto(c, x0 + x, y0 + y, frame, px, at)) {
          px[at] = UNKNOWN[0];
          px[at + 1] = UNKNOWN[1];
          px[at + 2] = UNKNOWN[2];
        }
        px[at + 3] = 255;
      }
    this.cellsctx.putImageData(this.image, 0, 0);
    const at = v.toscreen(x0, y0);
    this.ctx.imageSmoothingEnabled = false;
    this.ctx.drawImage(this.cells, 0, 0, w, h, at.left, at.top, w * v.scale, h * v.scale);
  }

  // A ring around the player's cell (at least 8 pixels across), edged in
  // black, and the name above it when the cells are large enough to read.
  drawplayer(c, v, p, own) {
    if (p.x < 0 || p.y < 0 || p.x >= c.sizex || p.y >= c.sizey) return;
    const ctx = this.ctx, dead = p.health <= 0;
    const at = v.toscreen(p.x, p.y), s = Math.max(v.scale, 8);
    const left = at.left + v.scale / 2 - s / 2, top = at.top + v.scale / 2 - s / 2;
    if (left > v.width || top > v.height || left + s < 0 || top + s < 0) return;
    const lw = own ? 3 : 2, colour = own ? OWN : dead ? DEAD : ALIVE;
    ctx.lineWidth = lw + 2;
    ctx.strokeStyle = 'black';
    ctx.strokeRect(left - lw / 2, top - lw / 2, s + lw, s + lw);
    ctx.lineWidth = lw;
    ctx.strokeStyle = colour;
    ctx.strokeRect(left - lw / 2, top - lw / 2, s + lw, s + lw);
    if (dead) {
      ctx.beginPath();
      ctx.moveTo(left + 2, top + 2);
      ctx.lineTo(left + s - 2, top + s - 2);
      ctx.moveTo(left + s - 2, top + 2);
      ctx.lineTo(left + 2, top + s - 2);
      ctx.stroke();
    }
    if (v.scale < 5) return;
    const label = (own ? 'you: ' : '') + p.name + ' #' + p.num;
    ctx.font = (own ? 'bold ' : '') + '12px system-ui, sans-serif';
    const tw = ctx.measureText(label).width, lx = left + s / 2 - tw / 2 - 3, ly = top - lw - 18;
    ctx.fillStyle = 'rgba(0, 0, 0, 0.7)';
    ctx.fillRect(lx, ly, tw + 6, 16);
    ctx.fillStyle = colour;
    ctx.textBaseline = 'middle';
    ctx.fillText(label, lx + 3, ly + 8);
  }
}
