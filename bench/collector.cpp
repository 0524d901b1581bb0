// Receive and build throughput of the packet codec.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "link/zuq.h"

namespace {

// About 1 MB of packets of every length 1..240 on the controller's reply channels, with a little noise
// between some of them, as a busy line would carry.
std::vector<uint8_t> MixedStream() {
    std::vector<uint8_t> stream;
    zuq::TPacket p;
    uint8_t payload[zuq::MaxPayload];
    for (unsigned n = 0; stream.size() < (1u << 20); ++n) {
        const unsigned length = 1 + n % zuq::MaxPayload;
        for (unsigned i = 0; i < length; ++i) payload[i] = uint8_t(n * 31 + i);
        zuq::BuildPacket(p, n % 2 ? 0x04 : 0x84, payload, length);
        stream.insert(stream.end(), p.Bytes, p.Bytes + zuq::PacketSize(p));
        if (n % 7 == 0) stream.insert(stream.end(), {0x00, 'Z', 0x13});
    }
    return stream;
}

// Telemetry as it streams: 29-byte status records, back to back.
std::vector<uint8_t> StatusStream() {
    std::vector<uint8_t> stream;
    zuq::TPacket p;
    uint8_t payload[30] = {0x44};
    for (unsigned n = 0; stream.size() < (1u << 20); ++n) {
        for (unsigned i = 1; i < sizeof payload; ++i) payload[i] = uint8_t(n + i);
        zuq::BuildPacket(p, 0x04, payload, sizeof payload);
        stream.insert(stream.end(), p.Bytes, p.Bytes + zuq::PacketSize(p));
    }
    return stream;
}

void Collect(benchmark::State& state, const std::vector<uint8_t>& stream) {
    zuq::TCollectorZUQ collector;
    zuq::TPacket slot;
    int64_t packets = 0;
    for (auto _ : state) {
        for (uint8_t b : stream)
            if (collector.Collect(slot, b)) ++packets;
        benchmark::DoNotOptimize(packets);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
    state.counters["packets/s"] = benchmark::Counter(double(packets), benchmark::Counter::kIsRate);
}

void BM_CollectMixed(benchmark::State& state) {
    static const std::vector<uint8_t> stream = MixedStream();
    Collect(state, stream);
}
BENCHMARK(BM_CollectMixed);

void BM_CollectStatus(benchmark::State& state) {
    static const std::vector<uint8_t> stream = StatusStream();
    Collect(state, stream);
}
BENCHMARK(BM_CollectStatus);

void BM_BuildPacket(benchmark::State& state) {
    const size_t length = size_t(state.range(0));
    std::vector<uint8_t> payload(length, 0x5A);
    zuq::TPacket p;
    for (auto _ : state) {
        zuq::BuildPacket(p, 0x01, payload.data(), payload.size());
        benchmark::DoNotOptimize(p.Bytes);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(length + zuq::HeaderSize));
}
BENCHMARK(BM_BuildPacket)->Arg(1)->Arg(51)->Arg(240);

}  // namespace

BENCHMARK_MAIN();
