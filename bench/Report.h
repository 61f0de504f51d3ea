#pragma once
// The one table ./bench.sh prints: each figure, its goal, the figure over its
// goal (or over the line rate), whether the goal is met and the raw figures.
#include "bench/SystemRuns.h"

#include <optional>
#include <string>
#include <vector>

namespace bench {

// The serial line: 115200 baud 8N1 carries 11,520 bytes/s, at most 822
// level broadcasts of 14 bytes.
inline constexpr double kLineBytesPerSecond = 11520.0;
inline constexpr double kLevelBroadcastBytes = 14.0;
inline constexpr double kLineBroadcastsPerSecond = 822.0;

// The goals, judged on the machine the run is made on.
inline constexpr double kFramingLevelGoal = 50000;   // × line rate, level broadcasts
inline constexpr double kFramingNoiseGoal = 30000;   // × line rate, random noise
inline constexpr double kFloodCpuGoal = 5;           // % of a core at the full line rate
inline constexpr double kTrafficMonitorCpuGoal = 15; // % of a core, flood, monitor open
inline constexpr double kIdleCpuGoal = 0.5;          // % of a core at 10 broadcasts/s
inline constexpr double kIdleTrafficCpuGoal = 1;     // the same, traffic monitor open
inline constexpr double kBusSideCpuGoal = 1;         // the emulator with its bus side
// A 250 kbit/s NMEA 2000 bus at full load carries about 1,800 frames a second.
inline constexpr double kLoadedBusFramesPerSecond = 1800;
inline constexpr double kBusReassemblyGoal = 1000;   // × a loaded bus, reassembled and decoded
inline constexpr double kBusCheckCpuGoal = 5;        // brendlowctl bus on a loaded bus
inline constexpr double kStartupGoalMs = 100;        // exec to the first paint
inline constexpr double kResidentGoalMB = 40;        // connected, in 10^6 bytes
inline constexpr double kPlotFloodCpuGoal = 10;      // % of a core, flood, plot on 8 read-outs
inline constexpr double kPlotIdleCpuGoal = 1;        // the same at 10 broadcasts/s
inline constexpr double kScenarioLateGoalMs = 10;    // a step's start after its schedule
inline constexpr double kScenarioCpuGoal = 1;        // % of a core, brendlowctl play
inline constexpr double kSignalKLatencyGoalMs = 500; // level command -> Signal K's API, p99
inline constexpr double kHistoryGoalMB = 20;         // an hour of all 44 read-outs

struct Row {
    std::string number;
    std::string figure;
    std::string goal;
    std::string measured;
    std::string ratio;
    std::string met; // "yes", "NO" or "-"
    std::string raw;
};

// Rows from Google Benchmark's JSON output; a missing or unreadable file
// gives a row saying so.
std::vector<Row> FramingRows(const std::string& jsonPath);
std::vector<Row> ShowLevelRows(const std::string& jsonPath);

std::vector<Row> FloodRows(const std::optional<FloodResult>& r);
// The same flood followed by another reader: its CPU (judged against
// `cpuGoal` when that is above 0) and the broadcasts it lost (judged: none).
std::vector<Row> ReaderFloodRows(const std::optional<FloodResult>& r, const std::string& figure,
                                 double cpuGoal);
std::vector<Row> IdleRows(const std::optional<IdleResult>& r);
std::vector<Row> IdleTrafficRows(const std::optional<IdleResult>& r);
std::vector<Row> BusSideRows(const std::optional<IdleResult>& r);
std::vector<Row> BusCheckRows(const std::optional<BusCheckResult>& r);
// The plot open at 10 broadcasts/s, and the memory of an hour of history.
std::vector<Row> PlotRows(const std::optional<IdleResult>& idle,
                          const std::optional<HistoryMemoryResult>& memory);
std::vector<Row> ScenarioRows(const std::optional<ScenarioResult>& r);
std::vector<Row> SignalKRows(const std::optional<SignalKResult>& r);
std::vector<Row> StartupRows(const std::optional<StartupResult>& r);
std::vector<Row> PacedRows(const std::optional<PacedResult>& r,
                           const std::optional<PacedResult>& realtime);

// A Markdown table.
std::string FormatTable(const std::vector<Row>& rows);
// The rows whose goal was missed, each as "figure (goal ..., measured ...)".
std::vector<std::string> MissedGoals(const std::vector<Row>& rows);

// "2 cores, <CPU model>, 23.5 GiB memory" and "load average 1.23 0.98 0.50".
std::string MachineLine();
std::string LoadLine();

} // namespace bench
