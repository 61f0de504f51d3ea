#include "cli/Options.h"

#include "cli/Output.h"
#include "core/SettingsFile.h"
#include "session/PortMap.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstdio>

namespace cli {

namespace {

QString Description() {
    return Tr("Drives and reads the simulator device over its serial port.\n\nCommands:\n") +
           CommandsHelp() +
           Tr("\nWithout --port: the port the terminal's settings file names, else COM1.\n"
              "Exit status: 0 done; 2 the port cannot be opened; 3 no device answered;\n"
              "4 no acknowledgement; 5 an unknown product answered; 64 bad arguments.");
}

int Usage(const QString& problem) {
    std::fprintf(stderr, "brendlowctl: %s\n%s\n", problem.toLocal8Bit().constData(),
                 Tr("Usage: brendlowctl [--port COMn|PATH] [--timeout SECONDS] COMMAND "
                    "[ARGUMENTS...]; brendlowctl --help tells more.")
                     .toLocal8Bit()
                     .constData());
    return kExitUsage;
}

// The port the terminal remembers; the file is read, never written.
QString RememberedPort(const QString& dataFolder) {
    const QString path = QDir(dataFolder).filePath(QString::fromLatin1(settings::kFileName));
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QString::fromLatin1(settings::kDefaultPort);
    const QByteArray content = file.read(qint64(settings::kReadLimit));
    return QString::fromStdString(
        settings::ParseSettings(std::string(content.constData(), size_t(content.size()))).port);
}

} // namespace

ParsedLine ParseCommandLine(const QStringList& arguments) {
    ParsedLine parsed;
    Request& request = parsed.request;
    QCommandLineParser parser;
    parser.setApplicationDescription(Description());
    parser.addHelpOption();
    const QCommandLineOption port(
        {"p", "port"}, Tr("COMn (as the terminal maps it) or a device path."), "COMn|PATH");
    const QCommandLineOption timeout({"t", "timeout"},
                                     Tr("Seconds to wait for an answer or an acknowledgement (5)."),
                                     "SECONDS", "5");
    const QCommandLineOption json("json", Tr("Machine-readable output: JSON Lines."));
    const QCommandLineOption count("count", Tr("watch: stop after N records."), "N");
    const QCommandLineOption seconds("seconds", Tr("watch, traffic: stop after S seconds."), "S");
    const QCommandLineOption step("step", Tr("sweep: level step (1)."), "N", "1");
    const QCommandLineOption every("every", Tr("sweep: seconds between steps (1)."), "SECONDS",
                                   "1");
    const QCommandLineOption assign("assign", Tr("ports: link COMn to a device."), "COMn=PATH");
    const QCommandLineOption remove("remove", Tr("ports: remove COMn's link."), "COMn");
    parser.addOptions({port, timeout, json, count, seconds, step, every, assign, remove});
    parser.addPositionalArgument("command", CommandNames());
    parser.addPositionalArgument("arguments", Tr("The command's arguments."), "[arguments...]");

    auto fail = [&](const QString& problem) {
        parsed.exitCode = Usage(problem);
        return parsed;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet("help")) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        parsed.exitCode = kExitOk;
        return parsed;
    }
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return fail(Tr("no command given; commands: %1").arg(CommandNames()));
    request.command = positional.takeFirst();
    request.arguments = positional;
    request.json = parser.isSet(json);
    request.assign = parser.values(assign);
    request.remove = parser.values(remove);
    parsed.command = FindCommand(request.command);
    if (parsed.command == nullptr)
        return fail(
            Tr("unknown command \"%1\"; commands: %2").arg(request.command, CommandNames()));

    // Each number option names itself when it is wrong.
    QString problem;
    auto number = [&](const QCommandLineOption& option, double low, bool whole,
                      const QString& expected) {
        bool good = false;
        const QString text = parser.value(option);
        const double v = whole ? double(text.toLong(&good)) : text.toDouble(&good);
        if ((!good || !std::isfinite(v) || v < low) && problem.isEmpty())
            problem = Expected("--" + option.names().constLast(), expected, text);
        return v;
    };
    const QString positiveSeconds = Tr("a number of seconds above 0");
    const QString seconds0 = Tr("a number of seconds, 0 or more");
    request.timeout = number(timeout, 0.001, false, positiveSeconds);
    request.every = number(every, 0, false, seconds0);
    request.step = static_cast<int>(number(step, 1, true, Tr("a whole number, 1 or more")));
    if (parser.isSet(count))
        request.count = static_cast<long>(number(count, 0, true, Tr("a whole number, 0 or more")));
    if (parser.isSet(seconds))
        request.seconds = number(seconds, 0, false, seconds0);
    if (!problem.isEmpty())
        return fail(problem);
    if (const QString commandProblem = parsed.command->problem(request); !commandProblem.isEmpty())
        return fail(commandProblem);
    if (parser.isSet(port))
        parsed.port = parser.value(port);
    return parsed;
}

int ChoosePort(ParsedLine& parsed, const QString& dataFolder) {
    Request& request = parsed.request;
    const bool given = !parsed.port.isNull();
    const QString chosen = given ? parsed.port : RememberedPort(dataFolder);
    if (chosen.contains('/')) {
        request.portPath = chosen;
    } else if (ports::PortNames().contains(chosen)) {
        request.portName = chosen;
    } else if (given) {
        return Usage(
            Expected(QStringLiteral("--port"), Tr("COM1..COM30 or a device path"), chosen));
    } else {
        request.portName = QStringLiteral("COM1"); // as the terminal opens an odd remembered name
    }
    request.portShown = chosen;
    return -1;
}

} // namespace cli
