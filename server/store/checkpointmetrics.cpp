// The checkpoints' metrics through prometheus-cpp, in the game's registry.
#include "store/checkpointmetrics.h"

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

void checkpointmetrics(CHECKPOINTMETRICS &m, METRICS &registry)
{
    using namespace prometheus;
    if (!registry.registry)
        return;
    Registry &r = *registry.registry;
    m.seconds = &BuildHistogram()
                     .Name("kindler_checkpoint_seconds")
                     .Help("Time one checkpoint took: the copy of the game and its save into the store")
                     .Register(r)
                     .Add({}, Histogram::BucketBoundaries{0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10});
    m.bytes = &BuildCounter()
                   .Name("kindler_checkpoint_bytes_total")
                   .Help("Bytes of tiles, players and world records the checkpoints wrote")
                   .Register(r)
                   .Add({});
    m.age = &BuildGauge()
                 .Name("kindler_checkpoint_age_seconds")
                 .Help("Seconds since the last committed checkpoint (since start-up before the first)")
                 .Register(r)
                 .Add({});
    m.failures = &BuildCounter()
                      .Name("kindler_checkpoint_failures_total")
                      .Help("Checkpoints that failed to save (the game goes on; the next one tries again)")
                      .Register(r)
                      .Add({});
    m.lastcommitns.store(steadyns(), std::memory_order_relaxed);
    registry.onscrape.push_back(
        [&m] { m.age->Set((double)(steadyns() - m.lastcommitns.load(std::memory_order_relaxed)) / 1e9); });
}

void observecheckpoint(CHECKPOINTMETRICS &m, bool committed, double seconds, size_t bytes)
{
    if (!m.seconds)
        return;
    m.seconds->Observe(seconds);
    if (committed) {
        m.bytes->Increment((double)bytes);
        m.lastcommitns.store(steadyns(), std::memory_order_relaxed);
    } else {
        m.failures->Increment();
    }
}
