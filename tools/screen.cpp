// The screen of kindler-client's full-screen game: curses, colours, drawing.
#include "screen.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <langinfo.h>

#define NCURSES_WIDECHAR 1
#include <ncursesw/curses.h>

#include "client.h"

static bool cursesactive = false;

void endcurses()
{
    if (cursesactive) {
        cursesactive = false;
        endwin();
    }
}

// ---- colours -------------------------------------------------------------

enum COLOURMODE { MONO, EIGHT, FULL };
static COLOURMODE mode = MONO;
static bool utf8 = false;

static int cubelevel(int v)
{
    return v < 48 ? 0 : v < 115 ? 1 : (v - 35) / 40;
}

// The nearest of the 256 xterm colours (the 6x6x6 cube or the grey ramp).
static int xterm256(RGB c)
{
    int r = cubelevel(c.r), g = cubelevel(c.g), b = cubelevel(c.b);
    int hi = std::max({(int)c.r, (int)c.g, (int)c.b}), lo = std::min({(int)c.r, (int)c.g, (int)c.b});
    if (hi - lo < 12 && hi > 8 && hi < 238)
        return 232 + std::min(23, (c.r + c.g + c.b) / 3 - 8) / 10;
    return 16 + 36 * r + 6 * g + b;
}

static int basic8(RGB c)
{
    static const RGB base[8] = {{0, 0, 0},     {205, 0, 0},   {0, 205, 0},   {205, 205, 0},
                                {0, 0, 238},   {205, 0, 205}, {0, 205, 205}, {229, 229, 229}};
    int best = 0;
    long bestd = -1;
    for (int i = 0; i < 8; i++) {
        long dr = c.r - base[i].r, dg = c.g - base[i].g, db = c.b - base[i].b;
        long d = dr * dr + dg * dg + db * db;
        if (bestd < 0 || d < bestd) {
            bestd = d;
            best = i;
        }
    }
    return best;
}

static int termcolour(RGB c)
{
    return mode == FULL ? xterm256(c) : basic8(c);
}

// A colour pair for foreground and background terminal colours.
static int pairof(int fg, int bg)
{
    if (mode == FULL) {
        int p = alloc_pair(fg, bg);
        return p < 0 ? 0 : p;
    }
    if (mode == EIGHT)
        return 1 + fg * 8 + bg;
    return 0;
}

static void putcell(int row, int col, const wchar_t *ch, attr_t attrs, int pair)
{
    cchar_t cc;
    setcchar(&cc, ch, attrs, 0, &pair);
    mvadd_wch(row, col, &cc);
}

// ---- the screen ----------------------------------------------------------

const PLAYERINFO *playerat(const WORLDVIEW &v, int num)
{
    if (num < 0 || (size_t)num >= v.players.size())
        return nullptr;
    return &v.players[(size_t)num];
}

static std::string playername(const PLAYERINFO &p)
{
    char name[31];
    std::memcpy(name, p.name, 30);
    name[30] = '\0';
    return name;
}

// Keeps `pos` within the middle of a window of `size` cells over a map of
// `total` cells, moving the window only when pos nears its edge.
static long follow(long view, long pos, long size, long total)
{
    if (total <= size)
        return 0;
    long margin = std::min(8L, size / 4);
    if (pos < view + margin || pos >= view + size - margin)
        view = pos - size / 2;
    return std::max(0L, std::min(view, total - size));
}

void draw(const WORLDVIEW &v, SCREENSTATE &s)
{
    int rows = LINES, cols = COLS;
    int maprows = std::max(1, rows - 2);
    if (s.me >= 0) {
        s.vx = follow(s.vx, s.myx, cols, v.w);
        s.vy = follow(s.vy, s.myy, 2L * maprows, v.h);
    } else {
        s.vx = std::max(0L, std::min(s.vx, v.w - cols));
        s.vy = std::max(0L, std::min(s.vy, v.h - 2L * maprows));
    }
    // Players by cell, drawn over the map; our own player last, on top.
    std::map<std::pair<long, long>, const PLAYERINFO *> marks;
    for (const PLAYERINFO &p : v.players)
        if (p.num >= 0 && p.num != s.me)
            marks[{p.x, p.y}] = &p;
    const PLAYERINFO *mine = playerat(v, s.me);
    PLAYERINFO myself{};
    if (mine) {
        myself = *mine;
        myself.x = (int32_t)s.myx;
        myself.y = (int32_t)s.myy;
        marks[{s.myx, s.myy}] = &myself;
    }
    erase();
    for (int r = 0; r < maprows; r++) {
        for (int c = 0; c < cols; c++) {
            long x = s.vx + c, ytop = s.vy + 2L * r, ybot = ytop + 1;
            bool top = v.onmap(x, ytop), bot = v.onmap(x, ybot);
            if (!top && !bot)
                continue;
            RGB ct = top ? v.colour(x, ytop, s.phase) : RGB{0, 0, 0};
            RGB cb = bot ? v.colour(x, ybot, s.phase) : RGB{0, 0, 0};
            const PLAYERINFO *p = nullptr;
            auto it = marks.find({x, ytop});
            if (it == marks.end())
                it = marks.find({x, ybot});
            if (it != marks.end())
                p = it->second;
            if (p) {
                bool own = p->num == s.me;
                wchar_t glyph[2] = {own ? L'@' : p->health <= 0 ? L'x' : (wchar_t)(L'0' + p->num % 10), 0};
                RGB under = it->first.second == ytop ? ct : cb;
                if (mode == MONO) {
                    putcell(r, c, glyph, own ? A_REVERSE | A_BOLD : A_BOLD, 0);
                } else if (own) {
                    putcell(r, c, glyph, A_BOLD, pairof(termcolour({0, 0, 0}), termcolour({255, 255, 0})));
                } else {
                    putcell(r, c, glyph, A_BOLD, pairof(termcolour({255, 255, 255}), termcolour(under)));
                }
                continue;
            }
            if (mode == MONO) {
                // Characters instead of colours: the more eventful half wins.
                wchar_t glyph[2] = {L' ', 0};
                for (long y : {ytop, ybot}) {
                    if (!v.onmap(x, y))
                        continue;
                    size_t i = v.at(x, y);
                    if (v.burning(i))
                        glyph[0] = L'*';
                    else if (glyph[0] != L'*' && v.kelvins[i] > HURTLIMIT)
                        glyph[0] = L'+';
                    else if (glyph[0] == L' ' && v.block[i])
                        glyph[0] = L'#';
                }
                putcell(r, c, glyph, A_NORMAL, 0);
            } else if (utf8 && top && bot) {
                putcell(r, c, L"\u2580", A_NORMAL, pairof(termcolour(ct), termcolour(cb)));
            } else if (utf8 && top) {
                putcell(r, c, L"\u2580", A_NORMAL, pairof(termcolour(ct), COLOR_BLACK));
            } else {
                // No half blocks: the hotter half colours the whole character.
                RGB cc = ct;
                if (bot && (!top || v.kelvins[v.at(x, ybot)] > v.kelvins[v.at(x, ytop)]))
                    cc = cb;
                putcell(r, c, L" ", A_NORMAL, pairof(COLOR_BLACK, termcolour(cc)));
            }
        }
    }

    // Status line and key line.
    char line[512];
    auto now = clock_type::now();
    bool dead = false;
    if (s.me >= 0 && mine) {
        double under = v.onmap(s.myx, s.myy) ? v.kelvins[v.at(s.myx, s.myy)] : 0;
        dead = mine->health <= 0;
        std::string hurt;
        for (auto &h : s.hurtby)
            if (now - h.second.second < std::chrono::seconds(3)) {
                const PLAYERINFO *p = playerat(v, h.first);
                hurt += (hurt.empty() ? "" : ", ") + (h.first == s.me ? std::string("you") : p ? playername(*p) : "?") +
                        " #" + std::to_string(h.first);
            }
        if (hurt.empty())
            hurt = under > HURTLIMIT ? "the heat" : "nobody";
        std::snprintf(line, sizeof line, " %s #%d  health %d  score %d  at %ld,%ld  under you %.0f K%s  burning you: %s",
                      s.name, s.me, (int)mine->health, (int)mine->score, s.myx, s.myy, under,
                      under > HURTLIMIT ? " HOT" : "", hurt.c_str());
    } else {
        int present = 0;
        for (const PLAYERINFO &p : v.players)
            present += p.num >= 0;
        std::snprintf(line, sizeof line, " watching %s  %ld x %ld  players %d  view %ld,%ld", v.name.c_str(), v.w, v.h,
                      present, s.vx, s.vy);
    }
    attr_t statusattr = A_REVERSE;
    int statuspair = 0;
    if (dead && mode != MONO)
        statuspair = pairof(COLOR_WHITE, COLOR_RED);
    std::string status = dead ? std::string(" YOU ARE DEAD -") + line : line;
    status.resize((size_t)cols, ' ');
    attr_set(statuspair ? A_BOLD : statusattr, 0, &statuspair);
    mvaddnstr(rows - 2, 0, status.c_str(), cols);
    std::string keys = s.me >= 0 ? (dead ? " you are dead: q quits" : " arrows/WASD move  space fire  q quit")
                                 : " arrows/WASD scroll  q quit";
    if (!s.note.empty() && now < s.noteuntil)
        keys += "   " + s.note;
    if (getenv("KINDLER_CLIENT_FPS")) {
        char fps[64];
        std::snprintf(fps, sizeof fps, "   frame %ld", s.frames);
        keys += fps;
    }
    attr_set(A_NORMAL, 0, nullptr);
    mvaddnstr(rows - 1, 0, keys.c_str(), cols);
    if (dead && rows > 4) {
        const char *banner = "  YOU ARE DEAD  ";
        int bl = (int)std::strlen(banner);
        attr_set(A_BOLD | (mode == MONO ? A_REVERSE : 0), 0, &statuspair);
        mvaddnstr(maprows / 2, std::max(0, (cols - bl) / 2), banner, cols);
        attr_set(A_NORMAL, 0, nullptr);
    }
    refresh();
    s.frames++;
}

void startcurses()
{
    std::setlocale(LC_ALL, "");
    const char *codeset = nl_langinfo(CODESET);
    utf8 = codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
    if (!newterm(nullptr, stdout, stdin))
        fatal("cannot start the terminal screen (is TERM set?)");
    cursesactive = true;
    std::atexit(endcurses);
    cbreak();
    noecho();
    keypad(stdscr, TRUE);
    curs_set(0);
    timeout(30);
    mode = MONO;
    if (has_colors() && start_color() == OK) {
        if (COLORS >= 256 && COLOR_PAIRS >= 256) {
            mode = FULL;
        } else if (COLORS >= 8 && COLOR_PAIRS >= 65) {
            mode = EIGHT;
            for (int fg = 0; fg < 8; fg++)
                for (int bg = 0; bg < 8; bg++)
                    init_pair((short)(1 + fg * 8 + bg), (short)fg, (short)bg);
        }
    }
}
