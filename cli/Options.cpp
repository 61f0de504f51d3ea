#include "cli/Options.h"

#include "cli/Output.h"
#include "core/SettingsFile.h"
#include "session/PortMap.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace cli {

namespace {

QString Description() {
    return Tr("Drives and reads the simulator device over its serial port.\n\nCommands:\n") +
           CommandsHelp() +
           Tr("\nWithout --port: the port the terminal's settings file names, else COM1\n"
              "(a file naming no port COM1..COM30 is told on stderr, and COM1 used, as\n"
              "the terminal does).\n"
              "Exit status: 0 done; 2 the port cannot be opened; 3 no device answered\n"
              "(none at all, one whose identification is corrupt, or one that fell silent\n"
              "for the timeout); 4 no acknowledgement; 5 an unknown product answered;\n"
              "6 the device hung up (any command); 7 bus found faults, play an expect\n"
              "failed; 64 bad arguments, or a scenario file with an error; 74 the output\n"
              "cannot be written (a full disk, a closed pipe); 130 play stopped by Ctrl+C.\n"
              "bus: 2 also when the CAN interface cannot be opened or there is no such\n"
              "plugin.");
}

constexpr double kMinTimeout = 0.001;
constexpr qlonglong kMaxCount = 1000000000;
constexpr int kMaxStep = 100;

QString PortExpected() {
    return Tr("COM1..COM30 or a device path");
}

// "0..100", as the help and the messages write a range.
QString Range(double low, double high) {
    return QStringLiteral("%1..%2").arg(low).arg(high, 0, 'f', 0);
}

int Usage(const QString& problem) {
    std::fprintf(stderr, "brendlowctl: %s\n%s\n", problem.toLocal8Bit().constData(),
                 Tr("Usage: brendlowctl [--port COMn|PATH] [--timeout SECONDS] COMMAND "
                    "[ARGUMENTS...]; brendlowctl --help tells more.")
                     .toLocal8Bit()
                     .constData());
    return kExitUsage;
}

// The port the terminal remembers; the file is read, never written. A file
// naming no port COM1..COM30 is told, and COM1 opened, as the terminal opens
// it: its text is never taken for a path.
QString RememberedPort(const QString& dataFolder) {
    const QString path = QDir(dataFolder).filePath(QString::fromLatin1(settings::kFileName));
    const QString fallback = QString::fromLatin1(settings::kDefaultPort);
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return fallback;
    const QByteArray content = file.read(qint64(settings::kReadLimit));
    const settings::ParsedSettings parsed =
        settings::ParseSettings(std::string(content.constData(), size_t(content.size())));
    const QString port = QString::fromStdString(parsed.port);
    if (parsed.malformed) {
        Complain(Tr("%1 has a port line that is not COM=n; (n 1..30); opening %2")
                     .arg(QDir::toNativeSeparators(path), fallback));
        return fallback;
    }
    if (!ports::PortNames().contains(port)) {
        Complain(Tr("%1 names the port \"%2\", not one of COM1..COM30; opening %3")
                     .arg(QDir::toNativeSeparators(path), port, fallback));
        return fallback;
    }
    return port;
}

} // namespace

ParsedLine ParseCommandLine(const QStringList& arguments) {
    ParsedLine parsed;
    Request& request = parsed.request;
    QCommandLineParser parser;
    parser.setApplicationDescription(Description());
    parser.addHelpOption();
    const QString secondsRange = Range(0, kMaxSeconds);
    const QCommandLineOption port(
        {"p", "port"},
        Tr("COMn (as the terminal maps it) or a device path. A path with a slash is relative "
           "to the current folder; the device behind a link is opened itself, so another "
           "program on another link to it finds it in use."),
        "COMn|PATH");
    const QCommandLineOption timeout(
        {"t", "timeout"},
        Tr("Seconds to wait for an answer or an acknowledgement, and for a device that fell "
           "silent (5; %1).")
            .arg(Range(kMinTimeout, kMaxSeconds)),
        "SECONDS", "5");
    const QCommandLineOption json("json", Tr("Machine-readable output: JSON Lines."));
    const QCommandLineOption csv(
        "csv", Tr("watch: a CSV header (time, level, each read-out's caption and unit), then one "
                  "row per broadcast with the read-outs' numbers."));
    const QCommandLineOption count(
        "count", Tr("watch: stop after N records (%1).").arg(Range(0, double(kMaxCount))), "N");
    const QCommandLineOption duration(
        "seconds",
        Tr("watch, traffic, bus, record: stop after S seconds (%1; bus: 10).").arg(secondsRange),
        "S");
    const QCommandLineOption step("step", Tr("sweep: level step (1; %1).").arg(Range(1, kMaxStep)),
                                  "N", "1");
    const QCommandLineOption every(
        "every", Tr("sweep: seconds between steps (1; %1).").arg(secondsRange), "SECONDS", "1");
    const QCommandLineOption assign("assign", Tr("ports: link COMn to a device."), "COMn=PATH");
    const QCommandLineOption remove("remove", Tr("ports: remove COMn's link."), "COMn");
    const QCommandLineOption can(
        "can",
        Tr("bus: the CAN adapter on the device's bus, a Qt SerialBus plugin and its interface: "
           "socketcan:can0, virtualcan:tcp://127.0.0.1:PORT/can0."),
        "PLUGIN:INTERFACE");
    const QCommandLineOption candump("candump", Tr("bus: keep the frames seen as a candump log."),
                                     "PATH");
    const QCommandLineOption loop("loop", Tr("play: again from the top at the end, until Ctrl+C."));
    const QCommandLineOption check("check",
                                   Tr("play: print the plan with each step's start time; send "
                                      "nothing."));
    parser.addOptions({port, timeout, json, csv, count, duration, step, every, assign, remove, can,
                       candump, loop, check});
    parser.addPositionalArgument("command", CommandNames());
    parser.addPositionalArgument("arguments", Tr("The command's arguments."), "[arguments...]");

    auto fail = [&](const QString& problem) {
        parsed.exitCode = Usage(problem);
        return parsed;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet("help")) {
        parsed.exitCode = Print(parser.helpText().toLocal8Bit()) ? kExitOk : kExitOutput;
        return parsed;
    }
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return fail(Tr("no command given; commands: %1").arg(CommandNames()));
    request.command = positional.takeFirst();
    request.arguments = positional;
    request.json = parser.isSet(json);
    request.csv = parser.isSet(csv);
    request.assign = parser.values(assign);
    request.remove = parser.values(remove);
    request.can = parser.value(can);
    request.candump = parser.value(candump);
    request.loop = parser.isSet(loop);
    request.check = parser.isSet(check);
    parsed.command = FindCommand(request.command);
    if (parsed.command == nullptr)
        return fail(
            Tr("unknown command \"%1\"; commands: %2").arg(request.command, CommandNames()));

    // Each number option is checked against its whole range here, once, and
    // names itself when it is wrong: the commands take it as it is.
    QString problem;
    auto refuse = [&](const QCommandLineOption& option, const QString& expected) {
        if (problem.isEmpty())
            problem = Expected("--" + option.names().constLast(), expected, parser.value(option));
    };
    auto whole = [&](const QCommandLineOption& option, qlonglong low, qlonglong high) {
        bool good = false;
        const qlonglong v = parser.value(option).toLongLong(&good);
        if (good && v >= low && v <= high)
            return v;
        refuse(option, Tr("a whole number %1").arg(Range(double(low), double(high))));
        return low;
    };
    auto seconds = [&](const QCommandLineOption& option, double low) {
        bool good = false;
        const double v = parser.value(option).toDouble(&good);
        if (good && v >= low && v <= kMaxSeconds) // NaN fails both
            return v;
        refuse(option, Tr("a number of seconds %1").arg(Range(low, kMaxSeconds)));
        return low;
    };
    request.timeout = seconds(timeout, kMinTimeout);
    request.every = seconds(every, 0);
    request.step = static_cast<int>(whole(step, 1, kMaxStep));
    if (parser.isSet(count))
        request.count = static_cast<long>(whole(count, 0, kMaxCount));
    if (parser.isSet(duration))
        request.seconds = seconds(duration, 0);
    if (!problem.isEmpty())
        return fail(problem);
    if (request.csv && request.command != QLatin1String("watch"))
        return fail(Tr("--csv: only watch writes CSV, not %1").arg(request.command));
    if (request.csv && request.json)
        return fail(Tr("--csv and --json exclude each other"));
    if (const QString commandProblem = parsed.command->problem(request); !commandProblem.isEmpty())
        return fail(commandProblem);
    if (parser.isSet(port)) {
        parsed.port = parser.value(port);
        // An empty --port would otherwise read as no --port at all.
        if (parsed.port.isEmpty())
            return fail(Expected(QStringLiteral("--port"), PortExpected(), parsed.port));
    }
    return parsed;
}

int ChoosePort(ParsedLine& parsed, const QString& dataFolder) {
    Request& request = parsed.request;
    const bool given = !parsed.port.isNull();
    const QString chosen = given ? parsed.port : RememberedPort(dataFolder);
    if (given && chosen.contains('/'))
        request.portPath = chosen;
    else if (ports::PortNames().contains(chosen))
        request.portName = chosen;
    else
        return Usage(Expected(QStringLiteral("--port"), PortExpected(), chosen));
    request.portShown = chosen;
    return -1;
}

} // namespace cli
