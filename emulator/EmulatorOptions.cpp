#include "emulator/EmulatorOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace emulator {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("emulator", text);
}

// Decimal, or hexadecimal with a 0x prefix; the whole text must be the number.
std::optional<uint64_t> ParseUnsigned(const QString& text) {
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? text.mid(2) : text;
    // Qt would also take blanks and a sign around the digits.
    const auto isDigit = [hex](QChar c) {
        return (c >= u'0' && c <= u'9') ||
               (hex && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
    };
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), isDigit))
        return std::nullopt;
    bool ok = false; // false when it does not fit
    const qulonglong value = digits.toULongLong(&ok, hex ? 16 : 10);
    return ok ? std::optional<uint64_t>(value) : std::nullopt;
}

template <typename T>
bool StoreUnsigned(const QString& text, uint64_t low, uint64_t high, T& target) {
    const auto value = ParseUnsigned(text);
    if (!value || *value < low || *value > high)
        return false;
    target = static_cast<T>(*value);
    return true;
}

// Finite, `low` to `high`.
bool StoreNumber(const QString& text, double low, double high, double& target) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high)
        return false;
    target = value;
    return true;
}

bool StorePath(const QString& text, std::string& target) {
    target = QFile::encodeName(text).toStdString();
    return !text.isEmpty();
}

// One option: its name, its value's name (none for a switch), its line of
// help, what its value must be, and where the value goes; false when the
// value is not what it must be. A switch's value is empty.
struct OptionEntry {
    const char* name;
    const char* valueName;
    const char* description;
    const char* expected;
    bool (*store)(const QString& value, EmulatorOptions& options);
};

// In the order of the help: the device, the port, faults, throughput.
const OptionEntry kOptions[] = {
    {"product-code", "X",
     QT_TRANSLATE_NOOP("emulator",
                       "Product code: one character ('9') or a number (65, 0x41); default '9'."),
     QT_TRANSLATE_NOOP("emulator", "one character or a number 0..255"),
     [](const QString& v, EmulatorOptions& o) {
         // A single character stands for itself ("9" is 0x39).
         if (v.size() == 1 && v.at(0).unicode() < 0x80) {
             o.device.productCode = static_cast<uint8_t>(v.at(0).unicode());
             return true;
         }
         return StoreUnsigned(v, 0, 255, o.device.productCode);
     }},
    {"serial", "N", QT_TRANSLATE_NOOP("emulator", "Serial number, 0..4294967295; default 1234567."),
     QT_TRANSLATE_NOOP("emulator", "a number 0..4294967295"),
     [](const QString& v, EmulatorOptions& o) {
         return StoreUnsigned(v, 0, std::numeric_limits<uint32_t>::max(), o.device.serialNumber);
     }},
    {"firmware", "N",
     QT_TRANSLATE_NOOP("emulator", "Firmware byte, 0..255; default 9 (\" 1.0A\")."),
     QT_TRANSLATE_NOOP("emulator", "a number 0..255"),
     [](const QString& v, EmulatorOptions& o) {
         return StoreUnsigned(v, 0, 255, o.device.firmwareByte);
     }},
    // Slower than one broadcast in 1000 s is not a rate a test waits for; a
    // tiny rate's period would not fit the loop's clock and turn into none.
    {"rate", "N",
     QT_TRANSLATE_NOOP("emulator",
                       "Level broadcasts per second, 0.001..1000 (fractional ok); default 10."),
     QT_TRANSLATE_NOOP("emulator", "a number 0.001..1000"),
     [](const QString& v, EmulatorOptions& o) { return StoreNumber(v, 0.001, 1000, o.rate); }},
    {"link", "PATH",
     QT_TRANSLATE_NOOP("emulator", "Also make a symbolic link PATH to the pty's slave (its "
                                   "folders are made as needed); removed on exit."),
     QT_TRANSLATE_NOOP("emulator", "a file path"),
     [](const QString& v, EmulatorOptions& o) { return StorePath(v, o.linkPath); }},
    {"trace", "FILE",
     QT_TRANSLATE_NOOP("emulator", "Log each received byte as \"<monotonic_ns> <hex>\" and each "
                                   "received line as \"LINE <text>\"."),
     QT_TRANSLATE_NOOP("emulator", "a file path"),
     [](const QString& v, EmulatorOptions& o) { return StorePath(v, o.tracePath); }},
    {"can", "PLUGIN:INTERFACE",
     QT_TRANSLATE_NOOP("emulator", "Also stand on an NMEA 2000 bus, through a Qt SerialBus plugin: "
                                   "socketcan:can0 for an adapter, virtualcan:can0 or "
                                   "virtualcan:tcp://127.0.0.1:PORT/can0 without one."),
     QT_TRANSLATE_NOOP("emulator", "PLUGIN:INTERFACE, such as socketcan:can0"),
     [](const QString& v, EmulatorOptions& o) {
         o.can = can::SplitCanName(v);
         return o.can.has_value();
     }},
    {"candump", "FILE",
     QT_TRANSLATE_NOOP("emulator", "Log each CAN frame sent as a candump log line, with the wall "
                                   "clock's time; - for stdout, after the pty's path. Without "
                                   "--can the bus side runs for this log alone."),
     QT_TRANSLATE_NOOP("emulator", "a file path, or -"),
     [](const QString& v, EmulatorOptions& o) { return StorePath(v, o.candumpPath); }},
    {"gateway", "PORT",
     QT_TRANSLATE_NOOP("emulator", "Also serve the bus as a gateway does, on 127.0.0.1 only: each "
                                   "frame on it, sent or received, as a candump log line to "
                                   "every client of TCP PORT (a Signal K server reads it). "
                                   "Without --can the bus side runs for it alone."),
     QT_TRANSLATE_NOOP("emulator", "a TCP port 1..65535"),
     [](const QString& v, EmulatorOptions& o) {
         return StoreUnsigned(v, 1, 65535, o.gatewayPort);
     }},
    {"silent-after", "SECONDS",
     QT_TRANSLATE_NOOP("emulator", "Fault: stop answering and broadcasting after SECONDS."),
     QT_TRANSLATE_NOOP("emulator", "seconds, 0 or more"),
     [](const QString& v, EmulatorOptions& o) { return StoreNumber(v, 0, 1e6, o.silentAfter); }},
    {"exit-after", "SECONDS",
     QT_TRANSLATE_NOOP("emulator", "Fault: exit after SECONDS (the device is unplugged)."),
     QT_TRANSLATE_NOOP("emulator", "seconds, 0 or more"),
     [](const QString& v, EmulatorOptions& o) { return StoreNumber(v, 0, 1e6, o.exitAfter); }},
    {"bad-checksum-every", "N",
     QT_TRANSLATE_NOOP("emulator", "Fault: spoil the checksum of every Nth checksummed line."),
     QT_TRANSLATE_NOOP("emulator", "a number 1..1000000"),
     [](const QString& v, EmulatorOptions& o) {
         return StoreUnsigned(v, 1, 1000000, o.device.badChecksumEvery);
     }},
    // Byte 1 is a value the panel shows in every group we send, so a checker
    // on the bus must name a field of that group.
    {"corrupt-pgn", "PGN",
     QT_TRANSLATE_NOOP("emulator", "Fault: invert byte 1 of every message of this group on the "
                                   "bus."),
     QT_TRANSLATE_NOOP("emulator", "a number 0..262143"),
     [](const QString& v, EmulatorOptions& o) {
         return StoreUnsigned(v, 0, 0x3FFFF, o.device.corruptPgn);
     }},
    {"noise", nullptr,
     QT_TRANSLATE_NOOP("emulator", "Fault: random bytes (no CR, LF or space) between lines."),
     nullptr,
     [](const QString&, EmulatorOptions& o) {
         o.noise = true;
         return true;
     }},
    {"garbage", nullptr,
     QT_TRANSLATE_NOOP("emulator", "Fault: never answer; write only random bytes (no space, so "
                                   "never a valid line), about 1000 bytes/s."),
     nullptr,
     [](const QString&, EmulatorOptions& o) {
         o.garbage = true;
         return true;
     }},
    {"seed", "N",
     QT_TRANSLATE_NOOP("emulator", "Seed for --noise and --garbage; default: the clock."),
     QT_TRANSLATE_NOOP("emulator", "an unsigned number"),
     [](const QString& v, EmulatorOptions& o) {
         o.seedGiven = StoreUnsigned(v, 0, std::numeric_limits<uint64_t>::max(), o.seed);
         return o.seedGiven;
     }},
    {"flood", nullptr,
     QT_TRANSLATE_NOOP("emulator", "Throughput: level broadcasts back to back, as fast as the "
                                   "reader takes them."),
     nullptr,
     [](const QString&, EmulatorOptions& o) {
         o.flood = true;
         return true;
     }},
    // As with --rate, a tiny pace would put the next byte beyond the clock.
    {"pace-bytes", "N",
     QT_TRANSLATE_NOOP("emulator", "Throughput: limit all output to N bytes per second, "
                                   "0.001..1e8 (11520 is the full 115200-baud line)."),
     QT_TRANSLATE_NOOP("emulator", "a number 0.001..1e8"),
     [](const QString& v, EmulatorOptions& o) { return StoreNumber(v, 0.001, 1e8, o.paceBytes); }},
    {"sweep", nullptr,
     QT_TRANSLATE_NOOP("emulator",
                       "Throughput: each level broadcast shows the next level of 0..100."),
     nullptr,
     [](const QString&, EmulatorOptions& o) {
         o.device.sweep = true;
         return true;
     }},
    {"send-log", "FILE",
     QT_TRANSLATE_NOOP("emulator", "Throughput: after each level broadcast is written, append "
                                   "\"<monotonic_ns> <level>\"."),
     QT_TRANSLATE_NOOP("emulator", "a file path"),
     [](const QString& v, EmulatorOptions& o) { return StorePath(v, o.sendLogPath); }},
};

const char* const kDescription = QT_TRANSLATE_NOOP(
    "emulator", "Behaves as the simulator device does on its serial side, on a pseudo-terminal.\n"
                "Prints the pty's slave path (e.g. /dev/pts/5) as the first line on stdout;\n"
                "point the terminal at that path (or at --link). Stops on SIGINT/SIGTERM.");

const char* const kEpilogue = QT_TRANSLATE_NOOP(
    "emulator",
    "\nBroadcasts start with the first \"AT ID?\". A level command above 100 sets 100.\n"
    "With a bus side, the two nodes claim their addresses at start, the address\n"
    "claim broadcast reports what became of the claims, and a CAN interface that\n"
    "cannot be opened or goes down turns the bus side off, not the serial side.\n"
    "Exit status: 0 on a clean stop, 1 when the pty or a file cannot be set up\n"
    "or a log cannot be written, 64 on a bad option.\n");

} // namespace

ParseOutcome ParseOptions(const QStringList& arguments, EmulatorOptions& options, QString& text) {
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(kDescription));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  Tr("Show this text."));
    for (const OptionEntry& entry : kOptions)
        parser.addOption(
            QCommandLineOption(QLatin1String(entry.name), Tr(entry.description),
                               entry.valueName ? QLatin1String(entry.valueName) : QString()));
    parser.addOption(help);

    if (!parser.parse(arguments)) {
        text = parser.errorText();
        return ParseOutcome::Error;
    }
    if (parser.isSet(help)) {
        text = parser.helpText() + Tr(kEpilogue);
        return ParseOutcome::Help;
    }
    if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty()) {
        text = Tr("Unexpected argument '%1'.").arg(extra.constFirst());
        return ParseOutcome::Error;
    }
    for (const OptionEntry& entry : kOptions) {
        const QString name = QLatin1String(entry.name);
        // Every occurrence is checked; the last one counts.
        const QStringList values = entry.valueName      ? parser.values(name)
                                   : parser.isSet(name) ? QStringList{QString()}
                                                        : QStringList{};
        for (const QString& value : values) {
            if (!entry.store(value, options)) {
                text = Tr("Bad value '%1' for --%2: expected %3.")
                           .arg(value, name, Tr(entry.expected));
                return ParseOutcome::Error;
            }
        }
    }
    return ParseOutcome::Run;
}

} // namespace emulator
