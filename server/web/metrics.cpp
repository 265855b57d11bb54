// The web's metrics through prometheus-cpp, in its game's registry.
#include "web/metrics.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

void webmetrics(WEBMETRICS &m, METRICS &registry)
{
    using namespace prometheus;
    if (!registry.registry)
        return;
    Registry &r = *registry.registry;
    m.wsconns = &registry.connections->Add({{"protocol", "websocket"}});
    m.counts[WSBYTESSENT] = &registry.payloadbytes->Add({{"protocol", "websocket"}});
    m.counts[HTTPBYTESSENT] = &registry.payloadbytes->Add({{"protocol", "http"}});
    m.counts[FRAMESSENT] =
        &BuildCounter().Name("kindler_stream_frames_sent_total").Help("Stream frames sent to web clients").Register(r).Add({});
    m.counts[FRAMESCOALESCED] = &BuildCounter()
                                     .Name("kindler_stream_frames_coalesced_total")
                                     .Help("Ticks a slow web client skipped, getting a later state instead")
                                     .Register(r)
                                     .Add({});
    auto &dropped = BuildCounter()
                        .Name("kindler_web_actions_dropped_total")
                        .Help("Web players' actions not taken, by kind and reason")
                        .Register(r);
    m.counts[MOVESDROPPED] = &dropped.Add({{"action", "move"}, {"reason", "rate"}});
    m.counts[FIRESDROPPED] = &dropped.Add({{"action", "fire"}, {"reason", "rate"}});
    m.counts[MOVESREFUSED] = &dropped.Add({{"action", "move"}, {"reason", "refused"}});
    m.webconns = &BuildGauge()
                      .Name("kindler_web_connections")
                      .Help("Connections the web port holds, HTTP and WebSocket (capped by --max-connections)")
                      .Register(r)
                      .Add({});
    auto &refused = BuildCounter()
                        .Name("kindler_web_connections_refused_total")
                        .Help("Web connections and WebSocket upgrades refused, by the limit that refused them")
                        .Register(r);
    m.counts[REFUSEDADDRESS] = &refused.Add({{"limit", "address"}});
    m.counts[REFUSEDTOTAL] = &refused.Add({{"limit", "total"}});
    m.counts[REFUSEDDESCRIPTORS] = &refused.Add({{"limit", "descriptors"}});
    m.counts[REFUSEDWEBSOCKETS] = &refused.Add({{"limit", "websockets"}});
    m.counts[REFUSEDORIGIN] = &refused.Add({{"limit", "origin"}});
    auto &joins = BuildCounter()
                      .Name("kindler_web_joins_refused_total")
                      .Help("Web JOINs refused by the rate limits, answered as a failed join")
                      .Register(r);
    m.counts[JOINSREFUSEDCONNECTION] = &joins.Add({{"limit", "connection"}});
    m.counts[JOINSREFUSEDADDRESS] = &joins.Add({{"limit", "address"}});
    auto &resumes = BuildCounter()
                        .Name("kindler_resumes_total")
                        .Help("Web RESUMEs: a kept or played player given back, or an unknown token")
                        .Register(r);
    m.counts[RESUMED] = &resumes.Add({{"result", "resumed"}});
    m.counts[RESUMEUNKNOWN] = &resumes.Add({{"result", "unknown"}});
}

void countweb(WEBMETRICS &m, WEBCOUNT what, double n)
{
    if (m.counts[what])
        m.counts[what]->Increment(n);
}

void setwebsockets(WEBMETRICS &m, int n)
{
    if (m.wsconns)
        m.wsconns->Set(n);
}

void setwebconnections(WEBMETRICS &m, int n)
{
    if (m.webconns)
        m.webconns->Set(n);
}
