// 4 and 5: idle at the emulator's default rate, and the resident memory.
#include "bench/ProcReadings.h"
#include "bench/RunFolder.h"
#include "bench/SystemRuns.h"

namespace bench {

IdleResult RunIdle(const Programs& programs, const Durations& d, bool trafficMonitor) {
    IdleResult r;
    RunFolder folder;
    if (!MakeRunFolder(programs, trafficMonitor ? "idle-traffic" : "idle", folder, r.error))
        return r;
    CChildProcess emulator, terminal;
    const QStringList environment =
        trafficMonitor ? QStringList{QStringLiteral("BRENDLOW_TRAFFIC_MONITOR=1")} : QStringList{};
    const int64_t identifiedNs =
        StartConnected(programs, folder, {}, emulator, terminal, r.error, environment);
    if (identifiedNs < 0)
        return r;
    r.cpu = MeasureCpu(terminal.Pid(), d.idleSeconds);
    if (trafficMonitor) {
        r.ok = terminal.Running();
        if (!r.ok)
            r.error = "the terminal ended during the run";
        return r;
    }

    auto connectedSeconds = [&] {
        return static_cast<double>(proto::SteadyNs() - identifiedNs) * 1e-9;
    };
    SleepSeconds(d.residentSeconds - connectedSeconds());
    r.residentAfterSeconds = connectedSeconds();
    const long kb = ResidentKb(terminal.Pid());
    if (kb < 0 || !terminal.Running()) {
        r.error = "the terminal ended before its memory was read";
        return r;
    }
    r.residentMiB = static_cast<double>(kb) / 1024.0;
    r.ok = true;
    return r;
}

} // namespace bench
