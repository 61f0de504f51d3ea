// 7: brendlowctl play against the emulator for a long scenario, levels and
// waits, every level acknowledged. Each step due on the clock starts, as
// play prints it, where play --check's plan puts it: a player that
// accumulated its timers' lateness or the acknowledgements' time would drift
// further with every step. Its CPU is told apart from the paced sender's,
// which spins through 2 ms after each byte by design.
#include "bench/ProcReadings.h"
#include "bench/RunFolder.h"
#include "bench/SystemRuns.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace bench {

namespace {

// Two level commands a second, each acknowledged, each due on the clock
// after a wait: "level 20, wait 0.5, level 80, wait 0.5", once a second.
std::string ScenarioText(double seconds) {
    return "repeat " + std::to_string(std::max(1, static_cast<int>(seconds))) +
           "\n  level 20\n  wait 0.5\n  level 80\n  wait 0.5\nend\n";
}

struct StepTime {
    double seconds;
    bool wait;
};

// The "SECONDS line N: STEP" lines.
std::vector<StepTime> StepTimes(const std::string& path) {
    std::vector<StepTime> times;
    for (const std::string& line : ReadLines(path))
        if (const size_t colon = line.find(": "); line.find(" line ") != std::string::npos)
            times.push_back({std::atof(line.c_str()), line.compare(colon + 2, 5, "wait ") == 0});
    return times;
}

// Bytes the emulator's trace saw arrive between two steady-clock times.
size_t BytesReceived(const std::string& trace, int64_t fromNs, int64_t toNs) {
    size_t bytes = 0;
    for (const std::string& line : ReadLines(trace)) {
        if (line.rfind("LINE ", 0) == 0)
            continue;
        const int64_t ns = std::atoll(line.c_str());
        bytes += ns >= fromNs && ns <= toNs;
    }
    return bytes;
}

} // namespace

ScenarioResult RunScenario(const Programs& programs, const Durations& d) {
    ScenarioResult r;
    RunFolder folder;
    if (!MakeRunFolder(programs, "scenario", folder, r.error))
        return r;
    const std::string file = folder.File("long.scn");
    std::ofstream(file) << ScenarioText(d.scenarioSeconds);
    CChildProcess emulator;
    if (!StartEmulator(programs, folder, {"--trace", folder.File("trace.txt")}, emulator, r.error))
        return r;
    const QString ctl = QString::fromStdString(programs.ctl);
    const QStringList play{QStringLiteral("--port"), QString::fromStdString(folder.link),
                           QStringLiteral("play"), QString::fromStdString(file)};
    CChildProcess check;
    if (!check.Start(ctl, play + QStringList{QStringLiteral("--check")},
                     {{}, QString::fromStdString(folder.File("plan.txt"))}) ||
        check.WaitForExit(10) != 0) {
        r.error = "brendlowctl play --check failed" + Excerpt(folder.File("plan.txt"));
        return r;
    }
    CChildProcess player;
    if (!player.Start(ctl, play, {{}, QString::fromStdString(folder.File("played.txt"))})) {
        r.error = "cannot start " + programs.ctl;
        return r;
    }
    // Its CPU over the scenario, from when the device has been identified.
    SleepSeconds(0.5);
    const int64_t fromNs = SteadyNs();
    r.cpu = MeasureCpu(player.Pid(), d.scenarioSeconds - 1);
    r.pacingSeconds =
        BytesReceived(folder.File("trace.txt"), fromNs, SteadyNs()) * proto::kPaceMs * 1e-3;
    r.exitCode = player.WaitForExit(30);
    const std::vector<StepTime> planned = StepTimes(folder.File("plan.txt"));
    const std::vector<StepTime> played = StepTimes(folder.File("played.txt"));
    r.steps = played.size();
    r.plannedSteps = planned.size();
    // A step after a wait is due on the clock; a wait begins when the
    // command before it has been acknowledged, which the device decides.
    std::vector<double> lateMs;
    for (size_t i = 0; i < played.size() && i < planned.size(); ++i)
        if (i == 0 || played[i - 1].wait)
            lateMs.push_back((played[i].seconds - planned[i].seconds) * 1000);
    r.lateMs = Summarize(lateMs);
    r.ok = r.exitCode == 0 && r.steps == r.plannedSteps && r.steps > 0;
    if (!r.ok)
        r.error = "brendlowctl play ended with " + std::to_string(r.exitCode) + " after " +
                  std::to_string(r.steps) + " of " + std::to_string(r.plannedSteps) + " steps" +
                  Excerpt(folder.File("played.txt"));
    return r;
}

} // namespace bench
