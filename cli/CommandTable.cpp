#include "cli/CommandTable.h"

#include "cli/BusCommand.h"
#include "cli/InstancesCommand.h"
#include "cli/LevelCommands.h"
#include "cli/Output.h"
#include "cli/PortsCommand.h"
#include "cli/RecordCommands.h"
#include "cli/ScenarioCommands.h"
#include "core/InstanceManagement.h"
#include "session/PortMap.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <array>

namespace cli {

namespace {

const QStringList& KeyNames() {
    static const QStringList kKeys = {"menu", "down", "up", "dynamic", "quiet", "warnings"};
    return kKeys;
}

const QStringList& InstanceNames() {
    static const QStringList kNames = [] {
        QStringList names;
        for (const device::InstanceField& f : device::kInstanceFields)
            names << QString::fromLatin1(f.name);
        return names;
    }();
    return kNames;
}

bool IsNumber(const QString& text, int low, int high) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= low && n <= high;
}

QString UnknownName(const QString& what, const QString& name, const QStringList& valid) {
    return Tr("%1: unknown name \"%2\"; valid names: %3").arg(what, name, valid.join(' '));
}

QString NoArguments(const Request& r) {
    return r.arguments.isEmpty()
               ? QString()
               : Tr("%1: takes no arguments, got \"%2\"").arg(r.command, r.arguments.join(' '));
}

// One number 0..100 for each of `names`.
QString LevelsProblem(const Request& r, const QStringList& names) {
    const QStringList& a = r.arguments;
    if (a.size() != names.size())
        return Tr("%1: expected %2 (each 0..100), got \"%3\"")
            .arg(r.command, names.join(' '), a.join(' '));
    for (qsizetype i = 0; i < a.size(); ++i)
        if (!IsNumber(a[i], 0, 100))
            return Expected(r.command + ' ' + names[i], Tr("a whole number 0..100"), a[i]);
    return {};
}

QString LevelProblem(const Request& r) {
    return LevelsProblem(r, {QStringLiteral("N")});
}

QString SweepProblem(const Request& r) {
    return LevelsProblem(r, {QStringLiteral("FROM"), QStringLiteral("TO")});
}

QString KeyProblem(const Request& r) {
    const QStringList& a = r.arguments;
    if (a.size() != 1)
        return Tr("key: expected one key name (%1), got \"%2\"")
            .arg(KeyNames().join(' '), a.join(' '));
    return KeyNames().contains(a[0]) ? QString() : UnknownName(r.command, a[0], KeyNames());
}

// A value the About box would send as a number, or 255 itself; a text the
// box would turn into 255 ("05", "16") is refused rather than sent as
// "leave unchanged" against the caller's wish.
QString InstancesProblem(const Request& r) {
    if (r.arguments.isEmpty())
        return Tr("instances: expected NAME=VALUE arguments; valid names: %1")
            .arg(InstanceNames().join(' '));
    for (const QString& arg : r.arguments) {
        if (!arg.contains('='))
            return Expected(r.command, Tr("NAME=VALUE"), arg);
        const QString name = arg.section('=', 0, 0);
        if (!InstanceNames().contains(name))
            return UnknownName(r.command, name, InstanceNames());
        const QString value = arg.section('=', 1);
        if (InstanceFromText(value) == 255 && value != QLatin1String("255"))
            return Expected(r.command + ' ' + name, Tr("0..15, or 255 to keep it"), value);
    }
    return {};
}

QString PortsProblem(const Request& r) {
    if (const QString problem = NoArguments(r); !problem.isEmpty())
        return problem;
    static const QRegularExpression kAssign(QStringLiteral("^COM([1-9]|[12][0-9]|30)=.+$"));
    for (const QString& a : r.assign)
        if (!kAssign.match(a).hasMatch())
            return Expected(QStringLiteral("--assign"), Tr("COMn=PATH, n 1..30"), a);
    for (const QString& name : r.remove)
        if (!ports::PortNames().contains(name))
            return Expected(QStringLiteral("--remove"), Tr("COM1..COM30"), name);
    return {};
}

const std::array<CommandSpec, 11> kCommands{{
    {"identify", "identify",
     QT_TRANSLATE_NOOP("brendlowctl", "print the device's product, firmware and serial number"),
     nullptr, NoArguments, MakeIdentify, nullptr},
    {"watch", "watch",
     QT_TRANSLATE_NOOP("brendlowctl", "one record per level broadcast; on a terminal one table\n"
                                      "redrawn in place. --json: JSON Lines with every read-out\n"
                                      "and text box as the panel shows them, the address claims\n"
                                      "and the instances; the first record waits up to a second\n"
                                      "for these, and what has still not come reads\n"
                                      "\"not reported yet\"; a device silent for the\n"
                                      "timeout ends the run. --csv: a header (time, level,\n"
                                      "each read-out's caption and unit), then one row\n"
                                      "per broadcast with the numbers --json has"),
     nullptr, NoArguments, MakeWatch, nullptr},
    {"traffic", "traffic",
     QT_TRANSLATE_NOOP("brendlowctl", "every line sent and received: TIME DIR VERDICT TEXT,\n"
                                      "TIME in seconds since the port was opened\n"
                                      "(verdicts: ok bad-checksum unexpected dropped);\n"
                                      "with --seconds it runs that long whatever the\n"
                                      "device does, without it ends as watch does"),
     nullptr, NoArguments, MakeTraffic, nullptr},
    {"level", "level N",
     QT_TRANSLATE_NOOP("brendlowctl", "set the level 0..100 and wait for the acknowledgement"),
     nullptr, LevelProblem, MakeLevel, nullptr},
    {"key", "key NAME",
     QT_TRANSLATE_NOOP("brendlowctl", "press a key or switch a mode and wait for the\n"
                                      "acknowledgement"),
     KeyNames, KeyProblem, MakeKey, nullptr},
    {"sweep", "sweep FROM TO",
     QT_TRANSLATE_NOOP("brendlowctl", "step the level, each step acknowledged, printing each"),
     nullptr, SweepProblem, MakeSweep, nullptr},
    {"instances", "instances NAME=VALUE...",
     QT_TRANSLATE_NOOP("brendlowctl", "change device instances to 0..15 (255 keeps one)"),
     InstanceNames, InstancesProblem, MakeInstances, nullptr},
    {"ports", "ports",
     QT_TRANSLATE_NOOP("brendlowctl", "what COM1..COM30 open here, and the system's serial ports"),
     nullptr, PortsProblem, nullptr, RunPorts},
    {"bus", "bus --can PLUGIN:IFACE",
     QT_TRANSLATE_NOOP("brendlowctl", "check the device's NMEA 2000 groups on a CAN adapter\n"
                                      "against the model for the level and modes it reports,\n"
                                      "for --seconds (10); at the end a table per PGN and\n"
                                      "source: messages seen, ok, mismatches (the first\n"
                                      "field, expected, seen), missing (none within twice\n"
                                      "its interval by the end), late (a gap longer);\n"
                                      "--json: one object per PGN and source"),
     nullptr, BusProblem, MakeBus, nullptr},
    {"play", "play FILE",
     QT_TRANSLATE_NOOP("brendlowctl", "run a scenario file (docs/scenarios.md), printing each\n"
                                      "step with its time as it starts; --loop: again and\n"
                                      "again until Ctrl+C; --check: print the plan with each\n"
                                      "step's start time and send nothing. A file with an\n"
                                      "error sends nothing (FILE:LINE:COLUMN: reason)"),
     nullptr, PlayProblem, MakePlay, CheckScenario},
    {"record", "record FILE",
     QT_TRANSLATE_NOOP("brendlowctl", "write a scenario from the device's level and mode\n"
                                      "changes, with the waits between them, until Ctrl+C\n"
                                      "or --seconds; - writes it on stdout"),
     nullptr, RecordProblem, MakeRecord, nullptr},
}};

} // namespace

QString Expected(const QString& what, const QString& expected, const QString& got) {
    return Tr("%1: expected %2, got \"%3\"").arg(what, expected, got);
}

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
        if (c.names != nullptr)
            text += QString(kColumn + 2, ' ') + Tr("NAME: %1").arg(c.names().join(' ')) + '\n';
    }
    return text;
}

} // namespace cli
