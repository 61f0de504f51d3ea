// brendlow_bench_system: runs the terminal and the device emulator as
// processes over pseudo-terminals (flood, idle, start-up, paced sender) and
// prints the benchmark table, taking the framing and panel figures from
// Google Benchmark's JSON files. Exits with 1 when any goal is missed (a
// smoke run only checks that everything ran), listing the goals missed.
//
//   --framing-json FILE      results of brendlow_bench_framing
//   --show-level-json FILE   results of brendlow_bench_show_level
//   --quick                  10 s of memory wait instead of 60 s, 3 s runs instead of 10 s (40 s
//   idle)
//   --smoke                  a second or so of each, to check that everything runs
//   --only LIST              some of: flood,traffic,watch,idle,startup,paced (comma-separated)
//   --work FOLDER            where the run folders go (default: runs/ beside this program)
//   --terminal PATH, --emulator PATH
#include "bench/Report.h"
#include "bench/SystemRuns.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void Usage(FILE* to) {
    std::fputs("Usage: brendlow_bench_system [--framing-json FILE] [--show-level-json FILE]\n"
               "       [--quick | --smoke] [--only flood,traffic,watch,idle,startup,paced]\n"
               "       [--work FOLDER] [--terminal PATH] [--emulator PATH]\n",
               to);
}

bool Wanted(const std::string& only, const char* name) {
    if (only.empty())
        return true;
    size_t start = 0;
    while (start <= only.size()) {
        size_t end = only.find(',', start);
        if (end == std::string::npos)
            end = only.size();
        if (only.compare(start, end - start, name) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    bench::Durations durations;
    bench::Programs programs{BRENDLOW_TERMINAL_PATH, BRENDLOW_EMULATOR_PATH, BRENDLOW_CTL_PATH, ""};
    std::string framingJson, showLevelJson, only;
    bool smoke = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", a.c_str());
                return false;
            }
            out = argv[++i];
            return true;
        };
        bool ok = true;
        if (a == "--quick") {
            durations.floodSeconds = durations.idleSeconds = 3;
            durations.residentSeconds = 10;
        } else if (a == "--smoke") {
            smoke = true;
            durations.floodSeconds = durations.idleSeconds = 1;
            durations.residentSeconds = 0;
            durations.startups = 1;
            durations.pacedLines = 1;
        } else if (a == "--framing-json") {
            ok = value(framingJson);
        } else if (a == "--show-level-json") {
            ok = value(showLevelJson);
        } else if (a == "--only") {
            ok = value(only);
        } else if (a == "--work") {
            ok = value(programs.workFolder);
        } else if (a == "--terminal") {
            ok = value(programs.terminal);
        } else if (a == "--emulator") {
            ok = value(programs.emulator);
        } else if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            ok = false;
        }
        if (!ok) {
            Usage(stderr);
            return 2;
        }
    }
    if (programs.workFolder.empty())
        programs.workFolder = QCoreApplication::applicationDirPath().toStdString() +
                              (smoke ? "/runs-smoke" : "/runs");
    std::filesystem::create_directories(programs.workFolder);

    const std::string loadBefore = bench::LoadLine();
    std::optional<bench::FloodResult> flood, floodTraffic, floodWatch;
    std::optional<bench::IdleResult> idle;
    std::optional<bench::StartupResult> startup;
    std::optional<bench::PacedResult> paced, pacedRealtime;
    auto progress = [](const char* what) {
        std::fprintf(stderr, "bench: %s ...\n", what);
        std::fflush(stderr);
    };
    // The paced sender first: its receiver reads through a pseudo-terminal,
    // whose delivery the kernel delays now and then for a while after other
    // programs have started and ended (seen after the start-up runs: one byte
    // in a run handed over 2 ms late, read together with the next).
    if (Wanted(only, "paced")) {
        progress("paced sender");
        paced = bench::RunPacedSender(programs, durations, false);
        progress("paced sender, receiver at real-time priority");
        pacedRealtime = bench::RunPacedSender(programs, durations, true);
    }
    if (Wanted(only, "startup")) {
        progress("start-up");
        startup = bench::RunStartups(programs, durations);
    }
    if (Wanted(only, "flood")) {
        progress("flood at the full line rate");
        flood = bench::RunFlood(programs, durations);
    }
    if (Wanted(only, "traffic")) {
        progress("flood with the traffic monitor open");
        floodTraffic =
            bench::RunFlood(programs, durations, bench::FloodReader::WindowWithTrafficMonitor);
    }
    if (Wanted(only, "watch")) {
        progress("flood followed by brendlowctl watch --json");
        floodWatch = bench::RunFlood(programs, durations, bench::FloodReader::WatchJson);
    }
    if (Wanted(only, "idle")) {
        progress("idle and resident memory");
        idle = bench::RunIdle(programs, durations);
    }

    std::vector<bench::Row> rows;
    auto add = [&rows](std::vector<bench::Row> more) {
        rows.insert(rows.end(), more.begin(), more.end());
    };
    if (!framingJson.empty())
        add(bench::FramingRows(framingJson));
    if (!showLevelJson.empty())
        add(bench::ShowLevelRows(showLevelJson));
    add(bench::FloodRows(flood));
    add(bench::ReaderFloodRows(floodTraffic, "Flood, traffic monitor open",
                               bench::kTrafficMonitorCpuGoal));
    add(bench::ReaderFloodRows(floodWatch, "Flood, brendlowctl watch --json", 0));
    add(bench::IdleRows(idle));
    add(bench::StartupRows(startup));
    add(bench::PacedRows(paced, pacedRealtime));

    std::printf("Machine: %s; %s before the system runs, %s after.\n\n",
                bench::MachineLine().c_str(), loadBefore.c_str(), bench::LoadLine().c_str());
    std::printf("%s", bench::FormatTable(rows).c_str());

    // A smoke run only checks that every benchmark ran to the end (the run
    // with the receiver at real-time priority is optional: it needs the right
    // to ask for it). A full or quick run fails when any goal is missed.
    if (smoke) {
        bool allRan = true;
        for (const bench::Row& r : rows)
            allRan = allRan && !(r.measured == "not measured" && r.met != "-");
        return allRan ? 0 : 1;
    }
    const std::vector<std::string> missed = bench::MissedGoals(rows);
    if (missed.empty()) {
        std::printf("\nEvery goal met.\n");
        return 0;
    }
    std::printf("\nGoals missed (%zu):\n", missed.size());
    for (const std::string& m : missed)
        std::printf("- %s\n", m.c_str());
    return 1;
}
