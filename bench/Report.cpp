#include "bench/Report.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace bench {

namespace {

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Whole numbers with thousands separators: 57,662.
std::string Grouped(double value) {
    const std::string digits = Fixed(std::round(value), 0);
    const size_t start = digits[0] == '-' ? 1 : 0;
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > start && (digits.size() - i) % 3 == 0)
            out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

// Three significant digits, for ratios and milliseconds.
std::string Sig(double value) {
    const double a = std::fabs(value);
    if (a >= 1000)
        return Grouped(value);
    if (a >= 100)
        return Fixed(value, 0);
    if (a >= 10)
        return Fixed(value, 1);
    if (a >= 1)
        return Fixed(value, 2);
    return Fixed(value, 3);
}

// A goal's number as written by hand: 5, 0.5, 40.
std::string GoalNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string Ratio(double figure, double goal) {
    return Sig(figure / goal) + "×";
}
std::string Met(bool met) {
    return met ? "yes" : "NO";
}

Row Missing(const std::string& number, const std::string& figure, const std::string& goal,
            const std::string& why) {
    return {number, figure, goal, "not measured", "-", "NO", why};
}

// ---- Google Benchmark's JSON ----

struct BenchmarkFigures {
    bool found = false;
    double realNs = 0; // per iteration, median over repetitions
    double cpuNs = 0;
    QJsonObject median; // the median entry (or the single run)
    double maxAllocationsPerByte = 0;
    double maxAllocations = 0;
    int runs = 0;
};

double ToNs(double value, const QString& unit) {
    if (unit == "us")
        return value * 1e3;
    if (unit == "ms")
        return value * 1e6;
    if (unit == "s")
        return value * 1e9;
    return value;
}

std::optional<QJsonArray> LoadBenchmarks(const std::string& path, std::string& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = "no results in " + path;
        return std::nullopt;
    }
    // The coefficient of variation of a counter that is always 0 comes out as
    // NaN, which is not JSON.
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QRegularExpression(QStringLiteral(R"((:\s*)-?(nan|inf|infinity)\b)"),
                                    QRegularExpression::CaseInsensitiveOption),
                 QStringLiteral("\\1null"));
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (!doc.isObject()) {
        error = "unreadable results in " + path;
        return std::nullopt;
    }
    return doc.object().value("benchmarks").toArray();
}

BenchmarkFigures Figures(const QJsonArray& all, const QString& name) {
    BenchmarkFigures f;
    QJsonObject single;
    for (const QJsonValue& v : all) {
        const QJsonObject o = v.toObject();
        if (o.value("run_name").toString() != name)
            continue;
        if (o.value("run_type").toString() == "aggregate") {
            if (o.value("aggregate_name").toString() == "median") {
                f.median = o;
                f.found = true;
            }
            continue;
        }
        ++f.runs;
        single = o;
        f.maxAllocationsPerByte =
            std::max(f.maxAllocationsPerByte, o.value("allocs_per_byte").toDouble());
        f.maxAllocations = std::max(f.maxAllocations, o.value("allocations").toDouble());
    }
    if (!f.found && f.runs > 0) {
        f.median = single;
        f.found = true;
    }
    if (f.found) {
        const QString unit = f.median.value("time_unit").toString();
        f.realNs = ToNs(f.median.value("real_time").toDouble(), unit);
        f.cpuNs = ToNs(f.median.value("cpu_time").toDouble(), unit);
    }
    return f;
}

std::string CpuRaw(const CpuWindow& w) {
    return Fixed(w.scheduledSeconds, 3) + " s run time (scheduler) in " + Fixed(w.wallSeconds, 2) +
           " s wall; utime+stime " + Fixed(w.cpuSeconds, 2) +
           " s = " + Sig(w.cpuSeconds / w.wallSeconds * 100) + " %";
}

std::string RunsText(const BenchmarkFigures& f) {
    return f.runs > 1 ? "median of " + std::to_string(f.runs) + " runs" : "1 run";
}

} // namespace

// ---- 1 ----

std::vector<Row> FramingRows(const std::string& jsonPath) {
    std::string error;
    const auto all = LoadBenchmarks(jsonPath, error);
    std::vector<Row> rows;
    double worstAllocationsPerByte = 0;
    double worstAllocations = 0;
    bool anyFound = false;
    struct Stream {
        const char* name;
        const char* label;
        double goal; // multiple of the line rate
    };
    for (const Stream& stream :
         {Stream{"BM_FramingLevelBroadcasts", "Framing, level broadcasts", kFramingLevelGoal},
          Stream{"BM_FramingNoise", "Framing, random noise", kFramingNoiseGoal}}) {
        const std::string goal = "≥ " + Grouped(stream.goal) + "× line rate";
        const BenchmarkFigures f = all ? Figures(*all, stream.name) : BenchmarkFigures{};
        if (!f.found) {
            rows.push_back(
                Missing("1", stream.label, goal, all ? std::string("no ") + stream.name : error));
            continue;
        }
        anyFound = true;
        const double bytesPerSecond = f.median.value("bytes_per_second").toDouble(); // CPU time
        const double multiple = bytesPerSecond / kLineBytesPerSecond;
        const double wallBytesPerSecond = bytesPerSecond * f.cpuNs / f.realNs;
        worstAllocationsPerByte = std::max(worstAllocationsPerByte, f.maxAllocationsPerByte);
        worstAllocations = std::max(worstAllocations, f.maxAllocations);
        rows.push_back({"1", stream.label, goal, Grouped(multiple) + "× line rate",
                        Ratio(multiple, stream.goal), Met(multiple >= stream.goal),
                        Sig(bytesPerSecond / 1e6) + " MB/s per CPU second (" +
                            Sig(wallBytesPerSecond / 1e6) + " MB/s per wall second), " +
                            RunsText(f)});
    }
    if (anyFound)
        rows.push_back({"1", "Framing, allocations per byte", "0",
                        worstAllocationsPerByte == 0 ? "0" : Fixed(worstAllocationsPerByte, 9), "-",
                        Met(worstAllocationsPerByte == 0),
                        "counted by a global operator new; most in one run of either stream: " +
                            Grouped(worstAllocations)});
    const std::string busFigure = "Bus frames reassembled and decoded";
    const std::string busGoal = "≥ " + Grouped(kBusReassemblyGoal) + "× a loaded bus";
    const BenchmarkFigures bus = all ? Figures(*all, "BM_BusReassembly") : BenchmarkFigures{};
    if (!bus.found) {
        rows.push_back(Missing("1", busFigure, busGoal, all ? "no BM_BusReassembly" : error));
        return rows;
    }
    const double framesPerSecond = bus.median.value("items_per_second").toDouble(); // CPU time
    const double multiple = framesPerSecond / kLoadedBusFramesPerSecond;
    rows.push_back({"1", busFigure, busGoal, Grouped(multiple) + "× a loaded bus",
                    Ratio(multiple, kBusReassemblyGoal), Met(multiple >= kBusReassemblyGoal),
                    Sig(framesPerSecond / 1e6) + " M frames per CPU second (a loaded bus: " +
                        Grouped(kLoadedBusFramesPerSecond) + "/s), 8 senders interleaved, " +
                        RunsText(bus)});
    rows.push_back({"1", "Bus reassembly, allocations per frame", "0",
                    bus.maxAllocations == 0 ? "0" : Grouped(bus.maxAllocations), "-",
                    Met(bus.maxAllocations == 0),
                    "counted by a global operator new over the whole run"});
    return rows;
}

// ---- 2 ----

std::vector<Row> ShowLevelRows(const std::string& jsonPath) {
    const std::string figure = "ShowLevel, share of a core at 822 calls/s";
    const std::string goal = "-"; // what one call costs; the flood run judges the whole
    std::string error;
    const auto all = LoadBenchmarks(jsonPath, error);
    if (!all)
        return {Missing("2", figure, goal, error)};
    const BenchmarkFigures call = Figures(*all, "BM_ShowLevel");
    const BenchmarkFigures painted = Figures(*all, "BM_ShowLevelPainted");
    if (!call.found)
        return {Missing("2", figure, goal, "no BM_ShowLevel")};
    const double share = call.cpuNs * 1e-9 * kLineBroadcastsPerSecond * 100;
    std::string raw = Sig(call.cpuNs / 1e3) + " µs CPU per call (" + Sig(call.realNs / 1e3) +
                      " µs wall), " + RunsText(call);
    if (painted.found)
        raw += "; with the repaint it asks for, at once: " + Sig(painted.cpuNs / 1e3) +
               " µs CPU per call = " + Sig(painted.cpuNs * 1e-9 * kLineBroadcastsPerSecond * 100) +
               " % at 822/s";
    return {{"2", figure, goal, Sig(share) + " %", "-", "-", raw}};
}

// ---- 3 ----

std::vector<Row> FloodRows(const std::optional<FloodResult>& r) {
    const std::string cpuFigure = "Flood at line rate: terminal CPU";
    const std::string cpuGoal = "< " + GoalNumber(kFloodCpuGoal) + " % of a core";
    if (!r)
        return {};
    if (!r->ok)
        return {Missing("3", cpuFigure, cpuGoal, r->error)};
    std::vector<Row> rows;
    // The scheduler's run time, in nanoseconds, is the figure judged; utime
    // and stime count whole clock ticks.
    const double cpu = r->cpu.Percent();
    const double carried = r->sentPerSecond / kLineBroadcastsPerSecond;
    rows.push_back({"3", cpuFigure, cpuGoal, Sig(cpu) + " %", Ratio(cpu, kFloodCpuGoal),
                    Met(cpu < kFloodCpuGoal), CpuRaw(r->cpu)});
    const Summary& l = r->latencyMs;
    const std::string latencyRaw = "n=" + Grouped(static_cast<double>(l.count)) + ", min " +
                                   Sig(l.min) + ", mean " + Sig(l.mean) + ", max " + Sig(l.max) +
                                   " ms";
    rows.push_back({"3", "Flood: latency LF written → level shown, p50", "-", Sig(l.p50) + " ms",
                    "-", "-", latencyRaw});
    rows.push_back({"3", "Flood: latency, p99", "< 16 ms", Sig(l.p99) + " ms", Ratio(l.p99, 16),
                    Met(l.count > 0 && l.p99 < 16), latencyRaw});
    rows.push_back({"3", "Flood: level broadcasts lost", "0", Grouped(static_cast<double>(r->lost)),
                    Sig(carried) + "× line rate carried", Met(r->lost == 0 && r->sent > 0),
                    Grouped(static_cast<double>(r->sent)) + " sent, " +
                        Grouped(static_cast<double>(r->shown)) + " shown, " +
                        Grouped(static_cast<double>(r->matched)) + " matched in order, " +
                        Grouped(static_cast<double>(r->unmatchedShown)) + " shown unmatched; " +
                        Sig(r->sentPerSecond) + " broadcasts/s sent (line carries 822)"});
    return rows;
}

std::vector<Row> ReaderFloodRows(const std::optional<FloodResult>& r, const std::string& figure,
                                 double cpuGoal) {
    const std::string goal = cpuGoal > 0 ? "< " + GoalNumber(cpuGoal) + " % of a core" : "-";
    if (!r)
        return {};
    if (!r->ok)
        return {Missing("3", figure + ": CPU", goal, r->error)};
    const double cpu = r->cpu.Percent();
    return {{"3", figure + ": CPU", goal, Sig(cpu) + " %", cpuGoal > 0 ? Ratio(cpu, cpuGoal) : "-",
             cpuGoal > 0 ? Met(cpu < cpuGoal) : "-", CpuRaw(r->cpu)},
            {"3", figure + ": broadcasts lost", "0", Grouped(static_cast<double>(r->lost)), "-",
             Met(r->lost == 0 && r->sent > 0),
             Grouped(static_cast<double>(r->sent)) + " sent, " +
                 Grouped(static_cast<double>(r->matched)) + " matched in order"}};
}

// ---- 4 and 5 (memory) ----

std::vector<Row> IdleRows(const std::optional<IdleResult>& r) {
    const std::string figure = "Idle at 10 broadcasts/s: terminal CPU";
    const std::string rssFigure = "Resident memory, connected";
    if (!r)
        return {};
    const std::string goal = "< " + GoalNumber(kIdleCpuGoal) + " % of a core";
    const std::string rssGoal = "< " + GoalNumber(kResidentGoalMB) + " MB";
    if (!r->ok)
        return {Missing("4", figure, goal, r->error), Missing("5", rssFigure, rssGoal, r->error)};
    const double cpu = r->cpu.Percent();
    const double mb = r->residentMiB * 1024 * 1024 / 1e6;
    return {{"4", figure, goal, Sig(cpu) + " %", Ratio(cpu, kIdleCpuGoal), Met(cpu < kIdleCpuGoal),
             CpuRaw(r->cpu)},
            {"5", rssFigure, rssGoal, Sig(mb) + " MB", Ratio(mb, kResidentGoalMB),
             Met(mb < kResidentGoalMB),
             "VmRSS " + Sig(r->residentMiB) + " MiB after " + Fixed(r->residentAfterSeconds, 1) +
                 " s connected"}};
}

namespace {

// One row: a process's CPU over a quiet run, against its goal.
std::vector<Row> CpuRows(const std::optional<IdleResult>& r, const std::string& number,
                         const std::string& figure, double goalPercent) {
    if (!r)
        return {};
    const std::string goal = "< " + GoalNumber(goalPercent) + " % of a core";
    if (!r->ok)
        return {Missing(number, figure, goal, r->error)};
    const double cpu = r->cpu.Percent();
    return {{number, figure, goal, Sig(cpu) + " %", Ratio(cpu, goalPercent), Met(cpu < goalPercent),
             CpuRaw(r->cpu)}};
}

} // namespace

std::vector<Row> IdleTrafficRows(const std::optional<IdleResult>& r) {
    return CpuRows(r, "4b", "Idle at 10 broadcasts/s, traffic monitor open: terminal CPU",
                   kIdleTrafficCpuGoal);
}

std::vector<Row> BusSideRows(const std::optional<IdleResult>& r) {
    return CpuRows(r, "4c", "Emulator with its bus side (every group at its interval): its CPU",
                   kBusSideCpuGoal);
}

std::vector<Row> BusCheckRows(const std::optional<BusCheckResult>& r) {
    if (!r)
        return {};
    const std::string load =
        "brendlowctl bus on a loaded bus (" + Grouped(kLoadedBusFramesPerSecond) + " frames/s)";
    const std::string cpuFigure = load + ": its CPU";
    const std::string lostFigure = load + ": frames lost";
    const std::string cpuGoal = "< " + GoalNumber(kBusCheckCpuGoal) + " % of a core";
    if (!r->ok)
        return {Missing("4d", cpuFigure, cpuGoal, r->error)};
    const double cpu = r->cpu.Percent();
    return {{"4d", cpuFigure, cpuGoal, Sig(cpu) + " %", Ratio(cpu, kBusCheckCpuGoal),
             Met(cpu < kBusCheckCpuGoal),
             CpuRaw(r->cpu) + "; " + Grouped(r->framesPerSecondLogged) +
                 " frames/s in its candump (device " + Grouped(r->deviceFramesPerSecond) +
                 ", load generator " + Grouped(r->generatorFramesPerSecond) + ")"},
            {"4d", lostFigure, "0, device passed", Grouped(double(r->generatorFramesLost)), "-",
             Met(r->generatorFramesLost == 0 && r->exitCode == 0),
             Grouped(double(r->generatorFramesMatched)) +
                 " of the generator's frames found in order in its candump, " +
                 Grouped(double(r->framesLogged)) + " frames logged; its exit code " +
                 std::to_string(r->exitCode) + (r->exitCode == 0 ? " (the device passed)" : "")}};
}

std::vector<Row> PlotRows(const std::optional<IdleResult>& idle,
                          const std::optional<HistoryMemoryResult>& memory) {
    std::vector<Row> rows =
        CpuRows(idle, "4e", "Idle at 10 broadcasts/s, plot open on 8 read-outs: terminal CPU",
                kPlotIdleCpuGoal);
    if (!memory)
        return rows;
    const std::string figure = "Read-out history: an hour of 44 read-outs at the line rate";
    const std::string goal = "< " + GoalNumber(kHistoryGoalMB) + " MB";
    if (!memory->ok) {
        rows.push_back(Missing("5b", figure, goal, memory->error));
        return rows;
    }
    const double mb = std::max(memory->bufferMB, memory->residentMB);
    rows.push_back(
        {"5b", figure, goal, Sig(mb) + " MB", Ratio(mb, kHistoryGoalMB), Met(mb < kHistoryGoalMB),
         Sig(memory->bufferMB) + " MB in " + Grouped(static_cast<double>(memory->buckets)) +
             " buckets, resident +" + Sig(memory->residentMB) + " MB; " +
             Grouped(static_cast<double>(memory->broadcasts)) + " broadcasts in " +
             Fixed(memory->fillSeconds, 2) + " s"});
    return rows;
}

std::vector<Row> ScenarioRows(const std::optional<ScenarioResult>& r) {
    if (!r)
        return {};
    const std::string lateFigure = "Scenario played: a step's start after its schedule, max";
    const std::string lateGoal = "≤ " + GoalNumber(kScenarioLateGoalMs) + " ms";
    if (!r->ok)
        return {Missing("7", lateFigure, lateGoal, r->error)};
    const Summary& late = r->lateMs;
    const double worst = std::max(std::abs(late.min), late.max);
    const double cpu = r->cpu.Percent();
    const double pacing = r->pacingSeconds / r->cpu.wallSeconds * 100;
    const double own = cpu - pacing;
    return {{"7", lateFigure, lateGoal, Fixed(worst, 1) + " ms", Ratio(worst, kScenarioLateGoalMs),
             Met(worst <= kScenarioLateGoalMs),
             Grouped(double(late.count)) + " steps due on the clock of " +
                 Grouped(double(r->steps)) + ", over " + Fixed(r->cpu.wallSeconds + 1, 0) +
                 " s; after the schedule: min " + Fixed(late.min, 1) + ", median " +
                 Fixed(late.p50, 1) + ", p99 " + Fixed(late.p99, 1) + " ms"},
            {"7", "Scenario played: the player's own CPU",
             "< " + GoalNumber(kScenarioCpuGoal) + " % of a core", Sig(own) + " %",
             Ratio(own, kScenarioCpuGoal), Met(own < kScenarioCpuGoal),
             "brendlowctl play " + Sig(cpu) + " %, of which the paced sender's 2 ms a byte " +
                 Sig(pacing) + " %; " + CpuRaw(r->cpu)}};
}

std::vector<Row> SignalKRows(const std::optional<SignalKResult>& r) {
    if (!r)
        return {};
    const std::string figure = "Signal K: level command → new engine speed in its API, p99";
    const std::string goal = "< " + GoalNumber(kSignalKLatencyGoalMs) + " ms";
    if (!r->ok)
        return {Missing("8", figure, goal, r->error)};
    const Summary& s = r->latencyMs;
    const std::string raw = "n=" + std::to_string(s.count) + ", min " + Fixed(s.min, 1) +
                            ", mean " + Fixed(s.mean, 1) + ", max " + Fixed(s.max, 1) +
                            " ms; brendlowctl level started to the REST API's new value, asked "
                            "every 10 ms";
    return {{"8", "Signal K: level command → new engine speed in its API, p50", "-",
             Sig(s.p50) + " ms", "-", "-", raw},
            {"8", figure, goal, Sig(s.p99) + " ms", Ratio(s.p99, kSignalKLatencyGoalMs),
             Met(s.p99 < kSignalKLatencyGoalMs), raw}};
}

std::vector<Row> StartupRows(const std::optional<StartupResult>& r) {
    const std::string figure = "Start-up: exec → window painted (median)";
    const std::string goal = "< " + GoalNumber(kStartupGoalMs) + " ms";
    if (!r)
        return {};
    if (!r->ok || r->ms.empty())
        return {Missing("5", figure, goal, r->error)};
    const Summary s = Summarize(r->ms);
    std::string each;
    for (double ms : r->ms)
        each += (each.empty() ? "" : ", ") + Fixed(ms, 0);
    return {{"5", figure, goal, Sig(s.p50) + " ms", Ratio(s.p50, kStartupGoalMs),
             Met(s.p50 < kStartupGoalMs),
             std::to_string(r->ms.size()) + " starts: " + each + " ms"}};
}

// ---- 6 ----

std::vector<Row> PacedRows(const std::optional<PacedResult>& r,
                           const std::optional<PacedResult>& realtime) {
    const std::string senderFigure = "Paced sender: gap between its writes, min";
    std::vector<Row> rows;
    if (r && !r->ok)
        rows.push_back(Missing("6", senderFigure, "≥ 2.0 ms", r->error));
    if (r && r->ok) {
        const Summary& g = r->receiverGapsMs;
        const Summary& s = r->senderGapsMs;
        const std::string what = std::to_string(r->lines) + " lines of " +
                                 std::to_string(r->lineLength) + " bytes after one unmeasured";
        rows.push_back({"6", senderFigure, "≥ 2.0 ms", Fixed(s.min, 3) + " ms", Ratio(s.min, 2.0),
                        Met(s.count > 0 && s.min >= 2.0),
                        what + ", n=" + std::to_string(s.count) +
                            "; steady clock before each one-byte write: median " + Fixed(s.p50, 3) +
                            ", max " + Fixed(s.max, 3) + " ms; one write takes median " +
                            Fixed(r->writeMs.p50, 3) + ", max " + Fixed(r->writeMs.max, 3) +
                            " ms"});
        rows.push_back({"6", "Paced sender: gap at the receiver, median", "2.0–2.2 ms",
                        Fixed(g.p50, 3) + " ms", Ratio(g.p50, 2.2),
                        Met(g.count > 0 && g.p50 >= 2.0 && g.p50 <= 2.2),
                        "emulator's trace (its clock when its read returned), n=" +
                            std::to_string(g.count) + " gaps within lines"});
        std::string together =
            std::to_string(r->shortAtLineStart) +
            " gaps under 2.0 ms among the first two bytes of a line; from the "
            "third byte on, min " +
            Fixed(r->minAfterLineStartMs, 3) + " ms; write to read (pseudo-terminal): median " +
            Fixed(r->deliveryMs.p50, 3) + ", max " + Fixed(r->deliveryMs.max, 3) + " ms";
        if (r->coalesced > 0)
            together += "; the bytes read together were written " +
                        Fixed(r->coalescedSenderGapMinMs, 3) +
                        " ms apart or more, the earlier one read up to " +
                        Fixed(r->coalescedDeliveryMaxMs, 3) + " ms after its write";
        rows.push_back({"6", "Paced sender: bytes of a line read together (gap < 0.5 ms)", "0",
                        std::to_string(r->coalesced), "-", Met(g.count > 0 && r->coalesced == 0),
                        together});
        rows.push_back({"6", "Paced sender: gap at the receiver, min / max", "-",
                        Fixed(g.min, 3) + " / " + Fixed(g.max, 3) + " ms", "-", "-",
                        "reported, not judged: the receiver's side includes the kernel's "
                        "delivery through the pseudo-terminal"});
    }
    if (realtime) {
        const std::string figure =
            "Paced sender, receiver at real-time priority: gap min / median, read together";
        if (!realtime->ok) {
            rows.push_back({"6", figure, "-", "not measured", "-", "-", realtime->error});
        } else {
            const Summary& g = realtime->receiverGapsMs;
            const Summary& s = realtime->senderGapsMs;
            rows.push_back({"6", figure, "-",
                            Fixed(g.min, 3) + " / " + Fixed(g.p50, 3) + " ms, " +
                                std::to_string(realtime->coalesced),
                            "-", "-",
                            "max " + Fixed(g.max, 3) + " ms, " +
                                std::to_string(realtime->shortAtLineStart) +
                                " under 2.0 ms among the first two of a line; from the third "
                                "byte on, min " +
                                Fixed(realtime->minAfterLineStartMs, 3) + " ms; sender min " +
                                Fixed(s.min, 3) + ", median " + Fixed(s.p50, 3) + ", max " +
                                Fixed(s.max, 3) + " ms"});
        }
    }
    return rows;
}

// ---- the table ----

std::vector<std::string> MissedGoals(const std::vector<Row>& rows) {
    std::vector<std::string> missed;
    for (const Row& r : rows)
        if (r.met == "NO")
            missed.push_back(r.figure + " (goal " + r.goal + ", measured " + r.measured + ")");
    return missed;
}

std::string FormatTable(const std::vector<Row>& rows) {
    auto escape = [](std::string text) {
        for (size_t i = text.find('|'); i != std::string::npos; i = text.find('|', i + 2))
            text.replace(i, 1, "\\|");
        return text;
    };
    std::string out = "| # | Figure | Goal | Measured | Figure / goal | Met | Raw figures |\n"
                      "|---|---|---|---|---|---|---|\n";
    for (const Row& r : rows)
        out += "| " + r.number + " | " + escape(r.figure) + " | " + escape(r.goal) + " | " +
               escape(r.measured) + " | " + escape(r.ratio) + " | " + r.met + " | " +
               escape(r.raw) + " |\n";
    return out;
}

std::string MachineLine() {
    std::string model = "unknown CPU";
    std::ifstream cpu("/proc/cpuinfo");
    for (std::string line; std::getline(cpu, line);)
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    long memKb = 0;
    std::ifstream mem("/proc/meminfo");
    for (std::string line; std::getline(mem, line);)
        if (line.rfind("MemTotal:", 0) == 0)
            memKb = std::strtol(line.c_str() + 9, nullptr, 10);
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return std::to_string(cores) + (cores == 1 ? " core" : " cores") + ", " + model + ", " +
           Fixed(static_cast<double>(memKb) / 1024 / 1024, 1) + " GiB memory";
}

std::string LoadLine() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return "load average " + a + " " + b + " " + c;
}

} // namespace bench
