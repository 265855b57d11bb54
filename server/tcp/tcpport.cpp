// Port 3140's numbers in the game's metrics.
#include "tcp/tcpport.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>

void tcpmetrics(TCPPORT &t)
{
    METRICS &m = t.game->metrics;
    if (!m.registry)
        return;
    prometheus::Gauge *conns = &m.connections->Add({{"protocol", "tcp"}});
    prometheus::Counter *bytes = &m.payloadbytes->Add({{"protocol", "tcp"}});
    m.onscrape.push_back([&t, conns, bytes] {
        conns->Set(t.connections.load(std::memory_order_relaxed));
        const double sent = (double)t.bytessent.load(std::memory_order_relaxed);
        bytes->Increment(sent - t.bytesseen);
        t.bytesseen = sent;
    });
}
