#pragma once
// The benchmarks that run the terminal and the device emulator as processes
// over a pseudo-terminal, and the paced sender against the emulator. Every
// figure is computed from the logs and /proc readings of the run itself.
// Each run is in a file of its own: FloodRun, IdleRun (idle CPU and resident
// memory), StartupRun, PacedRun.
#include "bench/ProcReadings.h"
#include "bench/Summary.h"
#include "core/PacedSender.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

using proto::SteadyNs; // the clock of the terminal's and the emulator's logs

struct Durations {
    double floodSeconds = 10;     // end to end under the flood
    double idleSeconds = 40;      // idle CPU: 0.5 % of a core is 5 ms a second, so a long window
    double residentSeconds = 60;  // connected before the resident memory is read
    int startups = 5;             // start-up repetitions
    int pacedLines = 5;           // lines through the paced sender
    double scenarioSeconds = 600; // the long scenario played
    int signalKChanges = 100;     // level changes followed into Signal K
};

// Where the programs are and where the runs keep their folders.
struct Programs {
    std::string terminal;
    std::string emulator;
    std::string ctl;        // brendlowctl
    std::string workFolder; // scratch folders are made (and removed) below it
};

struct FloodResult {
    bool ok = false;
    std::string error;
    CpuWindow cpu;      // the follower's, over the window
    size_t sent = 0;    // level broadcasts the emulator finished writing
    size_t shown = 0;   // level lines in the terminal's status log
    size_t matched = 0; // sent lines found, in order, among the shown
    size_t lost = 0;    // sent lines not shown
    size_t unmatchedShown = 0;
    double sentPerSecond = 0; // level broadcasts per second over the run
    Summary latencyMs;        // emulator's LF write -> terminal's level line
};

struct IdleResult {
    bool ok = false;
    std::string error;
    CpuWindow cpu;
    double residentAfterSeconds = 0; // connected this long when VmRSS was read
    double residentMiB = 0;
};

struct BusCheckResult {
    bool ok = false;
    std::string error;
    CpuWindow cpu;                       // brendlowctl's, over the window
    int exitCode = -1;                   // brendlowctl bus's: 0 when the device passed
    double deviceFramesPerSecond = 0;    // the emulator's, from its intervals
    double generatorFramesPerSecond = 0; // the load generator's
    size_t framesLogged = 0;             // lines in brendlowctl's candump
    double framesPerSecondLogged = 0;    // over the candump's first to last time
    size_t generatorFramesMatched = 0;   // the generator's frames found in order
    size_t generatorFramesLost = 0;
};

struct SignalKResult {
    bool ok = false;
    std::string error;
    Summary latencyMs; // level command started -> new engine speed in Signal K's API
};

struct ScenarioResult {
    bool ok = false;
    std::string error;
    CpuWindow cpu;            // brendlowctl play's, over the scenario
    double pacingSeconds = 0; // the paced sender's 2 ms after each byte, in the window
    int exitCode = -1;
    size_t steps = 0;        // started, as play printed them
    size_t plannedSteps = 0; // in play --check's plan
    Summary lateMs;          // each step due on the clock: its start after its place in the plan
};

struct StartupResult {
    bool ok = false;
    std::string error;
    std::vector<double> ms; // process start -> first paint, one per run
};

struct PacedResult {
    bool ok = false;
    std::string error;
    bool realtimeReceiver = false; // the emulator ran at SCHED_FIFO priority
    int lines = 0;
    int lineLength = 0;
    Summary receiverGapsMs;         // emulator's trace, byte to byte within a line
    Summary senderGapsMs;           // start of one write to the start of the next
    Summary writeMs;                // how long each one-byte write took
    size_t coalesced = 0;           // receiver gaps under 0.5 ms (bytes read together)
    size_t shortAtLineStart = 0;    // receiver gaps under 2.0 ms among the first two of a line
    double minAfterLineStartMs = 0; // receiver's smallest gap from the third byte on
    // Write (sender's clock) to read (the emulator's), both CLOCK_MONOTONIC:
    // how long the pseudo-terminal took to hand each byte over.
    Summary deliveryMs;
    // For the bytes read together: the sender's smallest gap between their
    // writes, and the longest the earlier one took to be handed over.
    double coalescedSenderGapMinMs = 0;
    double coalescedDeliveryMaxMs = 0;
};

// Who follows the flood: the window, the window with its traffic monitor
// open, `brendlowctl watch --json` (its records stand for shown levels;
// it has no latency figure), or the window with the plot open on
// kPlottedReadouts.
enum class FloodReader { Window, WindowWithTrafficMonitor, WatchJson, WindowWithPlot };

// The plot's measurements draw eight read-outs of six units (control ids).
inline constexpr char kPlottedReadouts[] = "1035,1037,1039,1040,1041,1049,1051,1055";

// The read-out history filled with an hour of the full line rate.
struct HistoryMemoryResult {
    bool ok = false;
    std::string error;
    size_t broadcasts = 0;
    size_t buckets = 0;
    double bufferMB = 0;   // what the buckets take, in 10^6 bytes
    double residentMB = 0; // the growth of this process's VmRSS while filling
    double fillSeconds = 0;
};
FloodResult RunFlood(const Programs& programs, const Durations& durations,
                     FloodReader reader = FloodReader::Window);
// With `trafficMonitor` the terminal's traffic monitor is open all along; its
// memory is not read then.
IdleResult RunIdle(const Programs& programs, const Durations& durations,
                   bool trafficMonitor = false);
// The terminal with the plot open on kPlottedReadouts at the emulator's
// default 10 broadcasts/s.
IdleResult RunIdlePlot(const Programs& programs, const Durations& durations);
HistoryMemoryResult MeasureHistoryMemory();
// The emulator's own CPU with its bus side on a virtual CAN bus.
IdleResult RunBusSide(const Programs& programs, const Durations& durations);
// brendlowctl bus on a virtual CAN bus filled to a 250 kbit/s bus's load.
BusCheckResult RunBusCheck(const Programs& programs, const Durations& durations);
// brendlowctl play for a long scenario against the emulator.
ScenarioResult RunScenario(const Programs& programs, const Durations& durations);
// A Signal K server fed by the emulator's gateway: level commands followed
// into its REST API.
SignalKResult RunSignalK(const Programs& programs, const Durations& durations);
StartupResult RunStartups(const Programs& programs, const Durations& durations);
// With `realtimeReceiver` the emulator runs at real-time priority, so that its
// reads follow the bytes' arrival even on a busy machine.
PacedResult RunPacedSender(const Programs& programs, const Durations& durations,
                           bool realtimeReceiver);

} // namespace bench
