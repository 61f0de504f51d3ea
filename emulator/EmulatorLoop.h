#pragma once
// The emulator's one thread: a ppoll() loop that reads command lines from the
// pty master, answers them, writes the broadcasts on their schedule and
// drives the fault and throughput switches. It always sleeps in ppoll() until
// input, room for output (only asked for when there is something to write
// and the pacer allows it), a stop request or the next deadline, so it never
// spins.
#include "emulator/BusModel.h"
#include "emulator/EmulatedDevice.h"
#include "emulator/EmulatorOptions.h"
#include "emulator/OutputQueue.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace emulator {

struct LoopFiles {
    FILE* trace = nullptr;   // received bytes and lines, or none
    FILE* sendLog = nullptr; // level broadcasts written, or none
};

// A log file that could not be written ends the loop: a test or benchmark
// reading it must not take a log with lines missing for a whole one.
struct WriteFailure {
    FILE* file = nullptr; // one of LoopFiles', or none
    int error = 0;        // errno
};

class CEmulatorLoop {
public:
    // Monotonic nanoseconds. The default, proto::SteadyNs, is the time base
    // the trace and the send log share with the terminal's logs.
    using Clock = std::function<int64_t()>;

    // `master`: the pty's master side, non-blocking. `stop`: a descriptor
    // that turns readable when the loop is to end, or -1. The options, the
    // files and the descriptors must outlive the loop. Times count from now.
    // `bus`: where the bus side, if any, takes the device state from and
    // leaves its claims; the state is there when the constructor returns.
    CEmulatorLoop(const EmulatorOptions& options, int master, int stop, LoopFiles files = {},
                  Clock clock = {}, CBusExchange* bus = nullptr);

    // Runs until `stop` turns readable, --exit-after's time comes, polling
    // fails or a log file cannot be written.
    void Run();
    // Runs until `done` holds (asked before each turn) or `turns` turns have
    // passed; each turn is one wait and what it brought. True when `done`
    // held.
    bool RunUntil(const std::function<bool()>& done, int turns);
    // The first log file that could not be written, if any.
    const WriteFailure& Failure() const { return m_failure; }

private:
    bool Turn(); // false when the loop is to end
    bool Silent(int64_t now) const;
    void Schedule(int64_t now);
    void Enqueue(const std::string& line, int shownLevel = -1);
    void EnqueueLevelBroadcast();
    void AppendNoise(size_t minCount, size_t maxCount, bool allowLineEnds);
    int64_t Flush(int64_t now, bool& wantWritable);
    void ReadInput(int64_t now);
    void PublishState();
    void LogSent(const std::vector<int>& levels, int64_t writtenNs);
    void FlushFiles();
    // Remembers the first failure; `ok` is what the write or flush said.
    void Check(FILE* file, bool ok);
    void FlushFile(FILE* file) { Check(file, std::fflush(file) == 0); }

    const EmulatorOptions& m_options;
    int m_master;
    int m_stop;
    LoopFiles m_files;
    Clock m_clock;
    CBusExchange* m_bus;
    CEmulatedDevice m_device;
    CCommandFramer m_framer;
    COutputQueue m_queue;
    std::optional<CBytePacer> m_pacer;
    std::mt19937_64 m_random;

    int64_t m_startNs = 0;
    int64_t m_exitNs = 0;
    int64_t m_levelPeriodNs = 0;
    int64_t m_nextLevelNs = 0;
    int64_t m_nextSecondNs = 0;
    int64_t m_nextGarbageNs = 0;
    bool m_broadcasting = false;
    uint64_t m_unflushedSendLog = 0;
    WriteFailure m_failure;
};

} // namespace emulator
