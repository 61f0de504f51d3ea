#include "cli/CommandTable.h"

#include "cli/InstancesCommand.h"
#include "cli/LevelCommands.h"
#include "cli/PortsCommand.h"
#include "cli/RecordCommands.h"
#include "core/InstanceManagement.h"
#include "session/PortMap.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <array>

namespace cli {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("brendlowctl", text);
}

const QStringList& KeyNames() {
    static const QStringList kKeys = {"menu", "down", "up", "dynamic", "quiet", "warnings"};
    return kKeys;
}

bool IsNumber(const QString& text, int low, int high) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= low && n <= high;
}

QString NoArguments(const Request& r) {
    return r.arguments.isEmpty() ? QString() : Tr("%1 takes no arguments").arg(r.command);
}

QString LevelProblem(const Request& r) {
    const QStringList& a = r.arguments;
    return a.size() == 1 && IsNumber(a[0], 0, 100) ? QString()
                                                   : Tr("level takes one number 0..100");
}

QString KeyProblem(const Request& r) {
    const QStringList& a = r.arguments;
    return a.size() == 1 && KeyNames().contains(a[0])
               ? QString()
               : Tr("key takes one of: %1").arg(KeyNames().join(' '));
}

QString SweepProblem(const Request& r) {
    const QStringList& a = r.arguments;
    return a.size() == 2 && IsNumber(a[0], 0, 100) && IsNumber(a[1], 0, 100)
               ? QString()
               : Tr("sweep takes FROM and TO, each 0..100");
}

// A value the About box would send as a number, or 255 itself; a text the
// box would turn into 255 ("05", "16") is refused rather than sent as
// "leave unchanged" against the caller's wish.
QString InstancesProblem(const Request& r) {
    if (r.arguments.isEmpty())
        return Tr("instances takes NAME=VALUE arguments");
    for (const QString& arg : r.arguments) {
        bool known = false;
        for (const device::InstanceField& f : device::kInstanceFields)
            known = known || arg.section('=', 0, 0) == QLatin1String(f.name);
        const QString value = arg.section('=', 1);
        if (!known || !arg.contains('=') ||
            (InstanceFromText(value) == 255 && value != QLatin1String("255")))
            return Tr("bad instance %1 (NAME=0..15 or 255)").arg(arg);
    }
    return {};
}

QString PortsProblem(const Request& r) {
    if (const QString problem = NoArguments(r); !problem.isEmpty())
        return problem;
    static const QRegularExpression kAssign(QStringLiteral("^COM([1-9]|[12][0-9]|30)=.+$"));
    for (const QString& a : r.assign)
        if (!kAssign.match(a).hasMatch())
            return Tr("--assign takes COMn=PATH, n 1..30");
    for (const QString& name : r.remove)
        if (!ports::PortNames().contains(name))
            return Tr("--remove takes COM1..COM30");
    return {};
}

const std::array<CommandSpec, 8> kCommands{{
    {"identify", "identify",
     QT_TRANSLATE_NOOP("brendlowctl", "print the device's product, firmware and serial number"),
     NoArguments, MakeIdentify, nullptr},
    {"watch", "watch",
     QT_TRANSLATE_NOOP("brendlowctl", "one record per level broadcast (--json: JSON Lines with\n"
                                      "every read-out and text box as the panel shows them)"),
     NoArguments, MakeWatch, nullptr},
    {"traffic", "traffic",
     QT_TRANSLATE_NOOP("brendlowctl", "every line sent and received: TIME DIR VERDICT TEXT\n"
                                      "(verdicts: ok bad-checksum unexpected dropped)"),
     NoArguments, MakeTraffic, nullptr},
    {"level", "level N",
     QT_TRANSLATE_NOOP("brendlowctl", "set the level 0..100 and wait for the acknowledgement"),
     LevelProblem, MakeLevel, nullptr},
    {"key", "key NAME",
     QT_TRANSLATE_NOOP("brendlowctl", "press menu, down, up, dynamic, quiet or warnings"),
     KeyProblem, MakeKey, nullptr},
    {"sweep", "sweep FROM TO",
     QT_TRANSLATE_NOOP("brendlowctl", "step the level, each step acknowledged, printing each"),
     SweepProblem, MakeSweep, nullptr},
    {"instances", "instances NAME=VALUE...",
     QT_TRANSLATE_NOOP("brendlowctl", "change device instances (engine fuel battery exhaust\n"
                                      "transmission wwater rudder bwater; 0..15, 255 = keep)"),
     InstancesProblem, MakeInstances, nullptr},
    {"ports", "ports",
     QT_TRANSLATE_NOOP("brendlowctl", "what COM1..COM30 open here, and the system's serial ports"),
     PortsProblem, nullptr, RunPorts},
}};

} // namespace

const CommandSpec* FindCommand(const QString& name) {
    for (const CommandSpec& c : kCommands)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

QString CommandNames() {
    QStringList names;
    for (const CommandSpec& c : kCommands)
        names << QString::fromLatin1(c.name);
    return names.join(QStringLiteral(", "));
}

QString CommandsHelp() {
    constexpr int kColumn = 25;
    QString text;
    for (const CommandSpec& c : kCommands) {
        const QStringList lines = Tr(c.help).split('\n');
        text +=
            QStringLiteral("  %1%2\n").arg(QString::fromLatin1(c.synopsis), -kColumn).arg(lines[0]);
        for (qsizetype i = 1; i < lines.size(); ++i)
            text += QString(kColumn + 2, ' ') + lines[i] + '\n';
    }
    return text;
}

} // namespace cli
