// brendlowctl: drives and reads the simulator device from scripts and test
// rigs, on the same device session as the terminal's window.
#include "cli/ControlTool.h"
#include "core/InstanceManagement.h"
#include "core/SettingsFile.h"
#include "session/PortMap.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>

namespace {

const char* const kDescription = R"(Drives and reads the simulator device over its serial port.

Commands:
  identify                 print the device's product, firmware and serial number
  watch                    one record per level broadcast (--json: JSON Lines with
                           every read-out and text box as the panel shows them)
  traffic                  every line sent and received: TIME DIR VERDICT TEXT
                           (verdicts: ok bad-checksum unexpected dropped)
  level N                  set the level 0..100 and wait for the acknowledgement
  key NAME                 press menu, down, up, dynamic, quiet or warnings
  sweep FROM TO            step the level, each step acknowledged, printing each
  instances NAME=VALUE...  change device instances (engine fuel battery exhaust
                           transmission wwater rudder bwater; 0..15, 255 = keep)
  ports                    what COM1..COM30 open here, and the system's serial ports

Without --port: the port the terminal's settings file names, else COM1.
Exit status: 0 done; 2 the port cannot be opened; 3 no device answered;
4 no acknowledgement; 5 an unknown product answered; 64 bad arguments.)";

int Usage(const QCommandLineParser& parser, const QString& problem) {
    Q_UNUSED(parser);
    std::fprintf(stderr,
                 "brendlowctl: %s\nUsage: brendlowctl [--port COMn|PATH] [--timeout SECONDS] "
                 "COMMAND [ARGUMENTS...]; brendlowctl --help tells more.\n",
                 problem.toLocal8Bit().constData());
    return cli::kExitUsage;
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

bool IsNumber(const QString& text, int low, int high) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= low && n <= high;
}

// Checks a command's arguments; returns the problem, or an empty text.
QString ArgumentProblem(const QString& command, const QStringList& a) {
    static const QStringList kKeys = {"menu", "down", "up", "dynamic", "quiet", "warnings"};
    if (command == "identify" || command == "watch" || command == "traffic" || command == "ports")
        return a.isEmpty() ? QString() : QStringLiteral("%1 takes no arguments").arg(command);
    if (command == "level")
        return a.size() == 1 && IsNumber(a[0], 0, 100)
                   ? QString()
                   : QStringLiteral("level takes one number 0..100");
    if (command == "key")
        return a.size() == 1 && kKeys.contains(a[0])
                   ? QString()
                   : QStringLiteral("key takes one of: %1").arg(kKeys.join(' '));
    if (command == "sweep")
        return a.size() == 2 && IsNumber(a[0], 0, 100) && IsNumber(a[1], 0, 100)
                   ? QString()
                   : QStringLiteral("sweep takes FROM and TO, each 0..100");
    if (command == "instances") {
        if (a.isEmpty())
            return QStringLiteral("instances takes NAME=VALUE arguments");
        for (const QString& arg : a) {
            bool known = false;
            for (const device::InstanceField& f : device::kInstanceFields)
                known = known || arg.section('=', 0, 0) == QLatin1String(f.name);
            const QString value = arg.section('=', 1);
            if (!known || !arg.contains('=') ||
                !(IsNumber(value, 0, 15) || value == QLatin1String("255")))
                return QStringLiteral("bad instance %1 (NAME=0..15 or 255)").arg(arg);
        }
        return {};
    }
    return QStringLiteral("unknown command %1").arg(command);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brendlowctl"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    const QCommandLineOption port({"p", "port"}, "COMn (as the terminal maps it) or a device path.",
                                  "COMn|PATH");
    const QCommandLineOption timeout({"t", "timeout"},
                                     "Seconds to wait for an answer or an acknowledgement (5).",
                                     "SECONDS", "5");
    const QCommandLineOption json("json", "Machine-readable output: JSON Lines.");
    const QCommandLineOption count("count", "watch: stop after N records.", "N");
    const QCommandLineOption seconds("seconds", "watch, traffic: stop after S seconds.", "S");
    const QCommandLineOption step("step", "sweep: level step (1).", "N", "1");
    const QCommandLineOption every("every", "sweep: seconds between steps (1).", "SECONDS", "1");
    const QCommandLineOption assign("assign", "ports: link COMn to a device.", "COMn=PATH");
    const QCommandLineOption remove("remove", "ports: remove COMn's link.", "COMn");
    parser.addOptions({port, timeout, json, count, seconds, step, every, assign, remove});
    parser.addPositionalArgument("command",
                                 "identify, watch, traffic, level, key, sweep, instances, ports");
    parser.addPositionalArgument("arguments", "The command's arguments.", "[arguments...]");

    if (!parser.parse(QCoreApplication::arguments()))
        return Usage(parser, parser.errorText());
    if (parser.isSet("help")) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return cli::kExitOk;
    }
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return Usage(parser, QStringLiteral("no command given"));

    cli::Request request;
    request.command = positional.takeFirst();
    request.arguments = positional;
    request.json = parser.isSet(json);
    if (const QString problem = ArgumentProblem(request.command, request.arguments);
        !problem.isEmpty())
        return Usage(parser, problem);

    bool ok = true;
    auto number = [&](const QCommandLineOption& option, double low) {
        bool good = false;
        const double v = parser.value(option).toDouble(&good);
        ok = ok && good && v >= low;
        return v;
    };
    request.timeout = number(timeout, 0.001);
    request.every = number(every, 0);
    request.step = static_cast<int>(number(step, 1));
    if (parser.isSet(count))
        request.count = static_cast<long>(number(count, 0));
    if (parser.isSet(seconds))
        request.seconds = number(seconds, 0);
    if (!ok)
        return Usage(parser, QStringLiteral("a number option is out of range"));

    const QString dataFolder = ports::DataFolder(QCoreApplication::applicationDirPath());
    if (request.command == QLatin1String("ports")) {
        static const QRegularExpression kAssign(QStringLiteral("^COM([1-9]|[12][0-9]|30)=.+$"));
        for (const QString& a : parser.values(assign))
            if (!kAssign.match(a).hasMatch())
                return Usage(parser, QStringLiteral("--assign takes COMn=PATH, n 1..30"));
        for (const QString& r : parser.values(remove))
            if (!ports::PortNames().contains(r))
                return Usage(parser, QStringLiteral("--remove takes COM1..COM30"));
        return cli::RunPorts(dataFolder, parser.values(assign), parser.values(remove),
                             request.json);
    }

    const QString chosen = parser.isSet(port) ? parser.value(port) : RememberedPort(dataFolder);
    if (chosen.contains('/')) {
        request.portPath = chosen;
    } else if (ports::PortNames().contains(chosen)) {
        request.portName = chosen;
    } else if (parser.isSet(port)) {
        return Usage(parser, QStringLiteral("--port takes COM1..COM30 or a device path"));
    } else {
        request.portName = QStringLiteral("COM1"); // as the terminal opens an odd remembered name
    }
    request.portShown = chosen;
    cli::CControlTool tool(request, CreateSystemSerialBackend(dataFolder, request.portPath));
    return tool.Run();
}
