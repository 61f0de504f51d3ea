// 3: end to end under a flood at the full line rate.
#include "bench/ProcReadings.h"
#include "bench/RunFolder.h"
#include "bench/SystemRuns.h"

#include <cstdio>
#include <cstdlib>

namespace bench {

namespace {

// The emulator and whoever follows it, started in `folder`; false with
// `error` set when they did not come up.
bool StartFlood(const Programs& programs, const RunFolder& folder, FloodReader reader,
                const std::vector<std::string>& flood, CChildProcess& emulator,
                CChildProcess& follower, std::string& error) {
    if (reader != FloodReader::WatchJson) {
        QStringList environment;
        if (reader == FloodReader::WindowWithTrafficMonitor)
            environment << QStringLiteral("BRENDLOW_TRAFFIC_MONITOR=1");
        if (reader == FloodReader::WindowWithPlot)
            environment << QStringLiteral("BRENDLOW_PLOT=%1").arg(QLatin1String(kPlottedReadouts));
        return StartConnected(programs, folder, flood, emulator, follower, error, environment) >= 0;
    }
    // brendlowctl stands where the terminal would: its first record says it
    // identified the device.
    if (!StartEmulator(programs, folder, flood, emulator, error))
        return false;
    const std::string output = folder.File("watch.jsonl");
    const QStringList arguments{QStringLiteral("--port"), QString::fromStdString(folder.link),
                                QStringLiteral("watch"), QStringLiteral("--json")};
    if (!follower.Start(QString::fromStdString(programs.ctl), arguments,
                        {{}, QString::fromStdString(output)})) {
        error = "cannot start " + programs.ctl;
        return false;
    }
    for (int i = 0; i < 2000 && ReadLines(output).empty(); ++i)
        SleepSeconds(0.01);
    if (ReadLines(output).empty()) {
        error = "brendlowctl printed no record";
        return false;
    }
    return true;
}

struct LevelEvent {
    int64_t ns;
    int level;
};

// The levels shown once the device was identified: the terminal's status
// log, or brendlowctl's records (which carry no time).
std::vector<LevelEvent> ShownLevels(const RunFolder& folder, FloodReader reader,
                                    const std::vector<StatusLine>& status) {
    std::vector<LevelEvent> shown;
    if (reader == FloodReader::WatchJson) {
        for (const std::string& line : ReadLines(folder.File("watch.jsonl"))) {
            const size_t at = line.find("\"level\":");
            if (at != std::string::npos)
                shown.push_back({0, std::atoi(line.c_str() + at + 8)});
        }
        return shown;
    }
    bool identified = false;
    for (const StatusLine& s : status) {
        identified = identified || s.what == "identified";
        if (identified && s.what == "level")
            shown.push_back({s.ns, std::atoi(s.detail.c_str())});
    }
    return shown;
}

} // namespace

FloodResult RunFlood(const Programs& programs, const Durations& d, FloodReader reader) {
    FloodResult r;
    RunFolder folder;
    const char* const names[] = {"flood", "flood-traffic", "flood-watch", "flood-plot"};
    if (!MakeRunFolder(programs, names[static_cast<int>(reader)], folder, r.error))
        return r;
    const std::string sendLog = folder.File("send.log");
    const std::vector<std::string> flood{"--flood", "--pace-bytes", "11520",
                                         "--sweep", "--send-log",   sendLog};
    CChildProcess emulator, follower;
    if (!StartFlood(programs, folder, reader, flood, emulator, follower, r.error))
        return r;

    r.cpu = MeasureCpu(follower.Pid(), d.floodSeconds);

    // Halt the emulator: what it had written by now is what must be shown.
    if (!emulator.Freeze()) {
        r.error = "cannot stop the emulator";
        return r;
    }
    const int64_t frozenNs = proto::SteadyNs();
    SleepSeconds(0.5); // the follower reads and shows what is left in the pty
    const std::vector<StatusLine> status = ReadStatusLog(folder.File("status.log"));
    emulator.Stop(); // flushes the send log
    follower.Stop();

    std::vector<LevelEvent> sent;
    for (const std::string& line : ReadLines(sendLog)) {
        LevelEvent e{};
        if (std::sscanf(line.c_str(), "%ld %d", &e.ns, &e.level) == 2 && e.ns <= frozenNs)
            sent.push_back(e);
    }
    const std::vector<LevelEvent> shown = ShownLevels(folder, reader, status);
    // With --sweep consecutive broadcasts carry different levels, so the
    // shown levels are matched to the sent ones in order; a sent level that
    // does not come next among the shown ones was lost.
    std::vector<double> latencies;
    size_t k = 0;
    for (const LevelEvent& e : sent) {
        if (k < shown.size() && shown[k].level == e.level) {
            if (reader != FloodReader::WatchJson)
                latencies.push_back(static_cast<double>(shown[k].ns - e.ns) * 1e-6);
            ++k;
            ++r.matched;
        } else {
            ++r.lost;
        }
    }
    r.sent = sent.size();
    r.shown = shown.size();
    r.unmatchedShown = shown.size() - k;
    if (sent.size() >= 2)
        r.sentPerSecond = static_cast<double>(sent.size() - 1) /
                          (static_cast<double>(sent.back().ns - sent.front().ns) * 1e-9);
    r.latencyMs = Summarize(latencies);
    r.ok = !sent.empty();
    if (!r.ok)
        r.error = "the emulator logged no level broadcast";
    return r;
}

} // namespace bench
