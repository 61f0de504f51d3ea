// The plot: the terminal at 10 broadcasts/s with the plot open (its flood
// is RunFlood's), and the memory an hour of history takes.
#include "bench/ProcReadings.h"
#include "bench/RunFolder.h"
#include "bench/SystemRuns.h"
#include "session/ReadoutHistory.h"

#include <unistd.h>

namespace bench {

IdleResult RunIdlePlot(const Programs& programs, const Durations& d) {
    IdleResult r;
    RunFolder folder;
    if (!MakeRunFolder(programs, "idle-plot", folder, r.error))
        return r;
    CChildProcess emulator, terminal;
    const QStringList environment{
        QStringLiteral("BRENDLOW_PLOT=%1").arg(QLatin1String(kPlottedReadouts))};
    if (StartConnected(programs, folder, {}, emulator, terminal, r.error, environment) < 0)
        return r;
    // The plot opens at the next turn of the terminal's event loop and has
    // drawn its first picture well within a second.
    SleepSeconds(1);
    r.cpu = MeasureCpu(terminal.Pid(), d.idleSeconds);
    r.ok = terminal.Running();
    if (!r.ok)
        r.error = "the terminal ended during the run";
    return r;
}

HistoryMemoryResult MeasureHistoryMemory() {
    HistoryMemoryResult r;
    constexpr double kRate = 822; // the full line rate
    const long before = ResidentKb(::getpid());
    const int64_t startNs = SteadyNs();
    session::CReadoutHistory history;
    // An hour and a minute, so that the oldest buckets have begun to go; the
    // level sweeps and Warnings turns every second, so that the buckets'
    // extremes differ.
    const auto broadcasts = size_t(kRate * 3660);
    for (size_t i = 0; i < broadcasts; ++i)
        history.Record(int64_t(double(i) * 1000 / kRate), uint8_t(i % 101), (i / 822) % 2 == 1);
    r.fillSeconds = double(SteadyNs() - startNs) * 1e-9;
    const long after = ResidentKb(::getpid());
    r.broadcasts = broadcasts;
    r.buckets = history.Buckets().size();
    r.bufferMB = double(history.MemoryBytes()) / 1e6;
    r.residentMB = double(after - before) * 1024 / 1e6;
    r.ok = before > 0 && after > 0;
    if (!r.ok)
        r.error = "cannot read this process's resident memory";
    return r;
}

} // namespace bench
