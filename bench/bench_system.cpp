// brendlow_bench_system: runs the terminal and the device emulator as
// processes over pseudo-terminals (flood, idle, start-up, paced sender) and
// prints the benchmark table, taking the framing and panel figures from
// Google Benchmark's JSON files. Exits with 1 when any goal is missed (a
// smoke run only checks that everything ran), listing the goals missed, and
// with 64 for bad arguments; --help lists the options.
#include "bench/Report.h"
#include "bench/SystemRuns.h"
#include "can/CanDevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kExitUsage = 64;

QString Tr(const char* text) {
    return QCoreApplication::translate("bench_system", text);
}

const QStringList kRuns = {"flood",        "traffic",  "watch",     "plot",    "idle",
                           "idle-traffic", "bus-side", "bus-check", "startup", "paced",
                           "idle-plot",    "history",  "scenario",  "signalk"};

int Usage(const QString& problem) {
    std::fprintf(stderr, "brendlow_bench_system: %s\n%s\n", problem.toLocal8Bit().constData(),
                 Tr("brendlow_bench_system --help tells more.").toLocal8Bit().constData());
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    can::PrepareProcess(); // the bus load generator opens a CAN device
    QCoreApplication::setApplicationName(QStringLiteral("brendlow_bench_system"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        Tr("Runs the terminal and the device emulator as processes over pseudo-terminals and "
           "prints the benchmark table.\nExit status: 0 every goal met (a smoke run: everything "
           "ran); 1 a goal missed; 64 bad arguments."));
    parser.addHelpOption();
    const QCommandLineOption framingJson("framing-json", Tr("Results of brendlow_bench_framing."),
                                         "FILE");
    const QCommandLineOption showLevelJson("show-level-json",
                                           Tr("Results of brendlow_bench_show_level."), "FILE");
    const QCommandLineOption quick(
        "quick",
        Tr("3 s runs instead of 10 s (40 s idle), memory read after 10 s instead of 60 s, a "
           "1-minute scenario instead of 10 minutes, 30 level changes into Signal K instead of "
           "100."));
    const QCommandLineOption smoke("smoke",
                                   Tr("A second or so of each, to check that everything runs."));
    const QCommandLineOption only(
        "only", Tr("Only these runs, comma-separated: %1.").arg(kRuns.join(QLatin1Char(','))),
        "LIST");
    const QCommandLineOption work(
        "work", Tr("Where the run folders go (default: runs/ beside this program)."), "FOLDER");
    const QCommandLineOption terminal("terminal", Tr("The terminal to measure."), "PATH",
                                      QStringLiteral(BRENDLOW_TERMINAL_PATH));
    const QCommandLineOption emulator("emulator", Tr("The emulator to run."), "PATH",
                                      QStringLiteral(BRENDLOW_EMULATOR_PATH));
    parser.addOptions({framingJson, showLevelJson, quick, smoke, only, work, terminal, emulator});

    if (!parser.parse(QCoreApplication::arguments()))
        return Usage(parser.errorText());
    if (parser.isSet("help")) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return Usage(Tr("unexpected argument %1").arg(parser.positionalArguments().first()));
    if (parser.isSet(quick) && parser.isSet(smoke))
        return Usage(Tr("--quick and --smoke exclude each other"));
    const QStringList wanted = parser.value(only).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& name : wanted)
        if (!kRuns.contains(name))
            return Usage(
                Tr("unknown run %1 in --only (runs: %2)").arg(name, kRuns.join(QLatin1Char(','))));
    auto runs = [&wanted](const char* name) {
        return wanted.isEmpty() || wanted.contains(QLatin1String(name));
    };

    bench::Durations durations;
    if (parser.isSet(quick)) {
        durations.floodSeconds = durations.idleSeconds = 3;
        durations.residentSeconds = 10;
        durations.scenarioSeconds = 60;
        durations.signalKChanges = 30;
    }
    const bool isSmoke = parser.isSet(smoke);
    if (isSmoke) {
        durations.floodSeconds = durations.idleSeconds = 1;
        durations.residentSeconds = 0;
        durations.startups = 1;
        durations.pacedLines = 1;
        durations.scenarioSeconds = 4;
        durations.signalKChanges = 3;
    }
    bench::Programs programs{parser.value(terminal).toStdString(),
                             parser.value(emulator).toStdString(), BRENDLOW_CTL_PATH,
                             parser.value(work).toStdString()};
    const std::string framing = parser.value(framingJson).toStdString();
    const std::string showLevel = parser.value(showLevelJson).toStdString();
    if (programs.workFolder.empty())
        programs.workFolder = QCoreApplication::applicationDirPath().toStdString() +
                              (isSmoke ? "/runs-smoke" : "/runs");
    std::filesystem::create_directories(programs.workFolder);

    const std::string loadBefore = bench::LoadLine();
    std::optional<bench::BusCheckResult> busCheck;
    std::optional<bench::FloodResult> flood, floodTraffic, floodWatch, floodPlot;
    std::optional<bench::IdleResult> idle, idleTraffic, busSide, idlePlot;
    std::optional<bench::HistoryMemoryResult> history;
    std::optional<bench::ScenarioResult> scenario;
    std::optional<bench::SignalKResult> signalK;
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
    if (runs("paced")) {
        progress("paced sender");
        paced = bench::RunPacedSender(programs, durations, false);
        progress("paced sender, receiver at real-time priority");
        pacedRealtime = bench::RunPacedSender(programs, durations, true);
    }
    if (runs("startup")) {
        progress("start-up");
        startup = bench::RunStartups(programs, durations);
    }
    if (runs("flood")) {
        progress("flood at the full line rate");
        flood = bench::RunFlood(programs, durations);
    }
    if (runs("traffic")) {
        progress("flood with the traffic monitor open");
        floodTraffic =
            bench::RunFlood(programs, durations, bench::FloodReader::WindowWithTrafficMonitor);
    }
    if (runs("watch")) {
        progress("flood followed by brendlowctl watch --json");
        floodWatch = bench::RunFlood(programs, durations, bench::FloodReader::WatchJson);
    }
    if (runs("plot")) {
        progress("flood with the plot open");
        floodPlot = bench::RunFlood(programs, durations, bench::FloodReader::WindowWithPlot);
    }
    if (runs("idle")) {
        progress("idle and resident memory");
        idle = bench::RunIdle(programs, durations);
    }
    if (runs("idle-traffic")) {
        progress("idle with the traffic monitor open");
        idleTraffic = bench::RunIdle(programs, durations, true);
    }
    if (runs("idle-plot")) {
        progress("idle with the plot open");
        idlePlot = bench::RunIdlePlot(programs, durations);
    }
    if (runs("bus-side")) {
        progress("the emulator with its bus side");
        busSide = bench::RunBusSide(programs, durations);
    }
    if (runs("history")) {
        progress("an hour of read-out history");
        history = bench::MeasureHistoryMemory();
    }

    if (runs("bus-check")) {
        progress("brendlowctl bus on a loaded bus");
        busCheck = bench::RunBusCheck(programs, durations);
    }

    if (runs("scenario")) {
        progress("a long scenario played by brendlowctl");
        scenario = bench::RunScenario(programs, durations);
    }

    // After the scenario, whose steps' timing is judged to the millisecond:
    // node and the server's start and stop load the machine for a while.
    if (runs("signalk")) {
        progress("level changes followed into a Signal K server");
        signalK = bench::RunSignalK(programs, durations);
    }

    std::vector<bench::Row> rows;
    auto add = [&rows](std::vector<bench::Row> more) {
        rows.insert(rows.end(), more.begin(), more.end());
    };
    if (!framing.empty())
        add(bench::FramingRows(framing));
    if (!showLevel.empty())
        add(bench::ShowLevelRows(showLevel));
    add(bench::FloodRows(flood));
    add(bench::ReaderFloodRows(floodTraffic, "Flood, traffic monitor open",
                               bench::kTrafficMonitorCpuGoal));
    add(bench::ReaderFloodRows(floodWatch, "Flood, brendlowctl watch --json", 0));
    add(bench::ReaderFloodRows(floodPlot, "Flood, plot open on 8 read-outs",
                               bench::kPlotFloodCpuGoal));
    add(bench::IdleRows(idle));
    add(bench::IdleTrafficRows(idleTraffic));
    add(bench::BusSideRows(busSide));
    add(bench::BusCheckRows(busCheck));
    add(bench::PlotRows(idlePlot, history));
    add(bench::ScenarioRows(scenario));
    add(bench::SignalKRows(signalK));
    add(bench::StartupRows(startup));
    add(bench::PacedRows(paced, pacedRealtime));

    std::printf("Machine: %s; %s before the system runs, %s after.\n\n",
                bench::MachineLine().c_str(), loadBefore.c_str(), bench::LoadLine().c_str());
    std::printf("%s", bench::FormatTable(rows).c_str());

    // A smoke run only checks that every benchmark ran to the end (the run
    // with the receiver at real-time priority is optional: it needs the right
    // to ask for it). A full or quick run fails when any goal is missed.
    if (isSmoke) {
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
