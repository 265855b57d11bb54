// What the web stream's tests share: a client as the endpoint keeps one
// (its view, its last frame, its decoder), publishing a tick of a world,
// and comparing what a client holds with the published world.
#pragma once

#include <string>

#include "decoder.h"
#include "messages.h"
#include "streamcodec.h"
#include "web/drawworld.h"
#include "web/helloinfo.h"
#include "engine/published.h"
#include "engine/world.h"

struct TESTCLIENT {
    DECODEDSTREAM decoder;
    LASTFRAME last;
    CELLRECT view;
};

// Draws w's published state and publishes it as the codec's next tick.
inline void publish(WORLD &w, STREAMCODEC &c)
{
    readpublished(w, [&](const WORLD &p) { drawworld(p, nextdrawing(c)); });
    publishtick(c);
}

// HELLO for w as of tick `tick`.
inline std::string hellofor(const WORLD &w, uint32_t tick)
{
    HELLOINFO h = helloinfo(w);
    h.tick = tick;
    return encodehello(h);
}

// Sends the client its HELLO; "" or the decoder's complaint.
inline std::string sendhello(TESTCLIENT &t, const WORLD &w, const STREAMCODEC &c)
{
    const std::string m = hellofor(w, c.tick);
    return applymessage(t.decoder, m.data(), m.size());
}

// Builds, "sends" and applies the client's frame; "" or the complaint.
inline std::string sendframe(TESTCLIENT &t, STREAMCODEC &c, FRAME *keep = nullptr)
{
    FRAME f = buildframe(c, t.view, t.last);
    const std::string m = framebytes(f);
    t.last = sentframe(f);
    if (keep)
        *keep = f;
    return applymessage(t.decoder, m.data(), m.size());
}

// The first cell of the client's view (on the map) that it does not hold
// as drawcell gives it for w, or "".
inline std::string viewdifference(const TESTCLIENT &t, const WORLD &w)
{
    const CELLRECT v = cliptomap(t.decoder.grid, t.view);
    for (long x = v.x0; x < v.x0 + v.w; x++)
        for (long y = v.y0; y < v.y0 + v.h; y++) {
            DRAWNCELL got;
            const std::string at = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
            if (!clientcell(t.decoder, x, y, got))
                return at + " not held";
            const DRAWNCELL want = drawcell(w, (size_t)(x * w.mapsizey + y));
            if (!(got == want))
                return at + ": kelvins " + std::to_string(got.kelvins) + " want " + std::to_string(want.kelvins) +
                       ", state " + std::to_string(got.state) + " want " + std::to_string(want.state) +
                       ", material " + std::to_string(got.material) + " want " + std::to_string(want.material);
        }
    return "";
}
