// The client's picture of the world.
#include "view.h"

#include <algorithm>

bool WORLDVIEW::setall(long width, long height, const std::vector<FIRSTMAP> &cells)
{
    if (width < 0 || height < 0 || cells.size() != (size_t)width * (size_t)height)
        return false;
    w = width;
    h = height;
    size_t n = cells.size();
    calperc.assign(n, 1);
    ignition.assign(n, 0);
    fuel0.assign(n, 0);
    block.assign(n, 0);
    material.assign(n, RGB{0, 0, 0});
    kelvins.assign(n, 0);
    fuel.assign(n, 0);
    for (size_t i = 0; i < n; i++) {
        const FIRSTMAP &c = cells[i];
        if ((long)c.neto.x != (long)(i / (size_t)(h ? h : 1)) || (long)c.neto.y != (long)(i % (size_t)(h ? h : 1)))
            return false;
        calperc[i] = (double)c.calperc;
        ignition[i] = c.ignitionpoint;
        fuel0[i] = (double)c.fuellevel;
        fuel[i] = fuel0[i];
        block[i] = c.block != 0;
        kelvins[i] = (double)(c.totalcal / c.calperc);
        const MATERIAL m = {c.cocon, c.calperc, c.calperf, c.burnspeed, c.ignitionpoint, c.block};
        material[i] = materialcolour(m, fuel0[i], nullptr);
    }
    return true;
}

bool WORLDVIEW::update(const std::vector<UPDATEMAP> &cells)
{
    if (cells.size() != kelvins.size())
        return false;
    for (size_t i = 0; i < cells.size(); i++) {
        kelvins[i] = (double)(cells[i].totalcal / (long double)calperc[i]);
        fuel[i] = (double)cells[i].fuellevel;
    }
    return true;
}

RGB WORLDVIEW::colour(long x, long y, unsigned phase) const
{
    size_t i = at(x, y);
    return cellcolour(material[i], kelvins[i], fuel[i], fuel0[i], ignition[i], phase + (unsigned)(i * 7919));
}

PICTURE snapshotpicture(const WORLDVIEW &v, int scale)
{
    const int legendh = 34;
    int mapw = (int)v.w * scale, maph = (int)v.h * scale;
    int width = std::max(mapw, 300);
    PICTURE pic(width, maph + legendh, RGB{24, 24, 28});
    for (long x = 0; x < v.w; x++)
        for (long y = 0; y < v.h; y++)
            pic.rect((int)x * scale, (int)y * scale, scale, scale, v.colour(x, y, 0));
    // Players: a square frame around the cell (white when alive, grey when
    // dead) with a black edge, the cell itself left visible inside.
    int m = scale + 4;
    for (const PLAYERINFO &p : v.players) {
        if (p.num < 0 || !v.onmap(p.x, p.y))
            continue;
        int x0 = p.x * scale - 2, y0 = p.y * scale - 2;
        RGB ring = p.health > 0 ? RGB{255, 255, 255} : RGB{140, 140, 140};
        for (int d = -1; d <= 1; d++) {
            RGB c = d == 0 ? ring : RGB{0, 0, 0};
            int x = x0 + d, y = y0 + d, s = m - 2 * d;
            pic.rect(x, y, s, 1, c);
            pic.rect(x, y + s - 1, s, 1, c);
            pic.rect(x, y, 1, s, c);
            pic.rect(x + s - 1, y, 1, s, c);
        }
    }
    // Legend: the heat ramp, one equal stretch between each labelled stop.
    static const double stops[] = {COLDLIMIT, HURTLIMIT, 500, 800, 1500};
    const int nstops = 5, seg = 50, bx = 8, by = maph + 6, bh = 10;
    for (int s = 0; s + 1 < nstops; s++)
        for (int i = 0; i < seg; i++) {
            double k = stops[s] + (stops[s + 1] - stops[s]) * i / seg;
            pic.rect(bx + s * seg + i, by, 1, bh, heatramp(k));
        }
    for (int s = 0; s < nstops; s++) {
        std::string label = std::to_string((int)stops[s]) + (s == nstops - 1 ? "K" : "");
        int lx = bx + s * seg - textwidth(label) / 2;
        pic.rect(bx + s * seg, by + bh, 1, 3, RGB{220, 220, 220});
        pic.text(std::max(0, lx), by + bh + 5, label, RGB{220, 220, 220});
    }
    pic.text(bx + (nstops - 1) * seg + 20, by + 2, "COLD: MATERIAL", RGB{220, 220, 220});
    pic.text(bx + (nstops - 1) * seg + 20, by + 12, "HURTS > " + std::to_string(HURTKELVINS) + "K", RGB{215, 40, 24});
    return pic;
}
