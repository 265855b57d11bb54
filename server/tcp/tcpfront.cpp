// Port 3140's numbers in the game's metrics.
#include "tcp/tcpfront.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>

void tcpmetrics(TCPFRONT &front, GAME &g)
{
    if (!g.metrics.registry)
        return;
    prometheus::Gauge *conns = &g.metrics.connections->Add({{"protocol", "tcp"}});
    prometheus::Counter *bytes = &g.metrics.payloadbytes->Add({{"protocol", "tcp"}});
    g.metrics.onscrape.push_back([&front, &g, conns, bytes] {
        conns->Set(g.connections.load(std::memory_order_relaxed));
        const double sent = (double)front.bytessent.load(std::memory_order_relaxed);
        bytes->Increment(sent - front.bytesseen);
        front.bytesseen = sent;
    });
}
