// Framing throughput: received bytes through the 50-byte sliding window and
// the report dispatcher, as the terminal frames them, on one core; and CAN
// frames through the fast-packet reassembler and the decoder, as
// `brendlowctl bus` reads a bus.
//
// Two streams: back-to-back level broadcasts (every line framed, checksum
// tested and decoded) and random noise (the window full nearly all the time).
// Every allocation made while the loop runs is counted by the global
// operator new below and reported per byte.
#include "core/N2kMessages.h"
#include "core/ReceiveWindow.h"
#include "core/ReportLines.h"
#include "core/Reports.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

// ---- counting allocator ----

namespace {
std::atomic<uint64_t> g_allocations{0};

void* CountedAlloc(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void* CountedAlignedAlloc(std::size_t size, std::align_val_t align) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    const auto alignment = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
    if (void* p = std::aligned_alloc(alignment, rounded == 0 ? alignment : rounded))
        return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t size) {
    return CountedAlloc(size);
}
void* operator new[](std::size_t size) {
    return CountedAlloc(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
    return CountedAlignedAlloc(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return CountedAlignedAlloc(size, align);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return CountedAlloc(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return CountedAlloc(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

namespace {

constexpr double kLineRateBytesPerSecond = 11520.0; // 115200 baud, 8N1

// A window owner that has identified its device, so that every broadcast is
// checksum-tested and decoded; it only records what reaches it.
class CRecordingTarget final : public proto::CReportTarget {
public:
    uint64_t levelBroadcasts = 0;
    uint64_t levelSum = 0;
    uint64_t otherLines = 0;

    void SetTrafficSeen() override {}
    bool IdQueryPending() const override { return false; }
    bool DeviceIdentified() const override { return true; }
    void OnLevelAck() override { ++otherLines; }
    void OnKeyAck() override { ++otherLines; }
    void OnIdReport(const uint8_t*) override { ++otherLines; }
    void OnLevelBroadcast(uint8_t level, uint8_t modeFlags) override {
        ++levelBroadcasts;
        levelSum += level + modeFlags;
    }
    void OnAddressClaim(const proto::AddressClaim&) override { ++otherLines; }
    void OnInstanceBroadcast(const proto::InstanceReport&) override { ++otherLines; }
};

// Levels 0..100 with changing mode flags, back to back, as the device sends
// them in a flood: 101 lines of 14 bytes.
const std::vector<uint8_t>& LevelBroadcastStream() {
    static const std::vector<uint8_t> stream = [] {
        std::string text;
        for (int level = 0; level <= 100; ++level)
            text += proto::BuildLevelBroadcastLine(static_cast<uint8_t>(level),
                                                   static_cast<uint8_t>(level % 8));
        return std::vector<uint8_t>(text.begin(), text.end());
    }();
    return stream;
}

const std::vector<uint8_t>& NoiseStream() {
    static const std::vector<uint8_t> stream = [] {
        std::mt19937 random(20240611);
        std::vector<uint8_t> bytes(64 * 1024);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random() & 0xFF);
        return bytes;
    }();
    return stream;
}

void RunFraming(benchmark::State& state, const std::vector<uint8_t>& stream) {
    proto::CReceiveWindow window;
    CRecordingTarget target;
    const auto* data = stream.data();
    const int count = static_cast<int>(stream.size());
    auto onLine = [&target](const uint8_t* line, int length) {
        proto::DispatchReport(line, length, target);
    };

    const uint64_t allocationsBefore = g_allocations.load(std::memory_order_relaxed);
    for (auto _ : state) {
        window.Push(data, count, onLine);
        benchmark::DoNotOptimize(target.levelSum);
        benchmark::ClobberMemory();
    }
    const uint64_t allocations = g_allocations.load(std::memory_order_relaxed) - allocationsBefore;

    const auto bytes = static_cast<double>(state.iterations()) * count;
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["allocs_per_byte"] = benchmark::Counter(bytes > 0 ? allocations / bytes : 0.0);
    state.counters["allocations"] = benchmark::Counter(static_cast<double>(allocations));
    state.counters["lines_per_iteration"] = benchmark::Counter(
        state.iterations() > 0
            ? static_cast<double>(target.levelBroadcasts + target.otherLines) / state.iterations()
            : 0.0);
    // Bytes per second as a multiple of what the serial line can carry.
    state.counters["x_line_rate"] =
        benchmark::Counter(bytes / kLineRateBytesPerSecond, benchmark::Counter::kIsRate);
}

void BM_FramingLevelBroadcasts(benchmark::State& state) {
    RunFraming(state, LevelBroadcastStream());
}

void BM_FramingNoise(benchmark::State& state) {
    RunFraming(state, NoiseStream());
}

// A busy bus: eight engines' worth of the device's messages (every group once,
// from eight sources), their fast packets' frames interleaved frame by frame
// as senders on one bus interleave them, over levels 0..100.
const std::vector<n2k::CanFrame>& BusFrameStream() {
    static const std::vector<n2k::CanFrame> stream = [] {
        std::vector<n2k::CanFrame> frames;
        n2k::CFrameEncoder encoder;
        for (int level = 0; level <= 100; level += 10) {
            std::vector<std::vector<n2k::CanFrame>> senders;
            for (uint8_t source = 0; source < 8; ++source) {
                n2k::DeviceState state;
                state.level = static_cast<uint8_t>(level);
                state.engineAddress = static_cast<uint8_t>(source * 2);
                state.transmissionAddress = static_cast<uint8_t>(source * 2 + 1);
                n2k::CMessageCycle cycle;
                std::vector<n2k::CanFrame>& mine = senders.emplace_back();
                for (const n2k::Message& message : cycle.Due(0, state)) {
                    n2k::CFrameEncoder::Frames out;
                    const size_t n = encoder.Encode(message, out);
                    mine.insert(mine.end(), out.begin(), out.begin() + static_cast<long>(n));
                }
            }
            for (size_t i = 0;; ++i) {
                bool any = false;
                for (const auto& mine : senders)
                    if (i < mine.size()) {
                        frames.push_back(mine[i]);
                        any = true;
                    }
                if (!any)
                    break;
            }
        }
        return frames;
    }();
    return stream;
}

void BM_BusReassembly(benchmark::State& state) {
    const std::vector<n2k::CanFrame>& frames = BusFrameStream();
    n2k::CReassembler reassembler;
    uint64_t decoded = 0;
    const uint64_t allocationsBefore = g_allocations.load(std::memory_order_relaxed);
    for (auto _ : state) {
        for (const n2k::CanFrame& frame : frames)
            if (const auto message = reassembler.Push(frame))
                if (const auto values = n2k::Decode(*message))
                    decoded += static_cast<uint64_t>(values->values[0]) | 1;
        benchmark::DoNotOptimize(decoded);
    }
    const uint64_t allocations = g_allocations.load(std::memory_order_relaxed) - allocationsBefore;
    const auto count = static_cast<double>(state.iterations()) * static_cast<double>(frames.size());
    state.SetItemsProcessed(static_cast<int64_t>(count));
    state.counters["allocs_per_frame"] = benchmark::Counter(count > 0 ? allocations / count : 0.0);
    state.counters["allocations"] = benchmark::Counter(static_cast<double>(allocations));
    state.counters["decoded"] = benchmark::Counter(static_cast<double>(decoded > 0));
}

// Frames both streams for a while before anything is measured: the first
// repetitions of a cold process ran up to a third slower than the rest
// (a coefficient of variation of 13 % over five), while a terminal under a
// flood frames with warm caches at the processor's running clock.
void WarmUp() {
    proto::CReceiveWindow window;
    CRecordingTarget target;
    auto onLine = [&target](const uint8_t* line, int length) {
        proto::DispatchReport(line, length, target);
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < end)
        for (const std::vector<uint8_t>* stream : {&LevelBroadcastStream(), &NoiseStream()})
            window.Push(stream->data(), static_cast<int>(stream->size()), onLine);
    benchmark::DoNotOptimize(target.levelSum);
}

} // namespace

BENCHMARK(BM_FramingLevelBroadcasts);
BENCHMARK(BM_FramingNoise);
BENCHMARK(BM_BusReassembly);

int main(int argc, char** argv) {
    // The allocation counts mean something only if this operator new is the
    // one in use.
    const uint64_t before = g_allocations.load();
    benchmark::DoNotOptimize(std::make_unique<int>(1));
    if (g_allocations.load() == before) {
        std::fputs("the counting operator new is not in use\n", stderr);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    WarmUp();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
