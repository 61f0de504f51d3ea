// The field's standard NMEA 2000 decoder against the panel.
//
//   n2k_decoder_check candump
//       writes the device's messages as a candump log: every group at every
//       level 0..100, Warnings off, then the same with Warnings on; the
//       messages of the k-th state are stamped kGridStart + k seconds.
//   n2k_decoder_check compare DOC DECODED [--sequence L:W,...] [--instances I,...]
//       reads what the decoder made of a candump log (JSON Lines from
//       n2k-decoder/decode.js) and compares every field with what the panel
//       shows at the message's state. The differences the decoder is known
//       to show are the table in DOC's section kSection; any other one, a
//       table row that does not hold, or (for the grid above) a row never
//       needed, is reported and makes the exit status 1.
//       Without --sequence the states are the grid's, told by the time
//       stamp. With --sequence the log comes from a device driven through
//       those states in that order (W 1: Warnings on): each group's messages
//       must follow them, each one matching the panel at some state no
//       earlier than its group's previous message.
#include "core/Candump.h"
#include "core/N2kMessages.h"
#include "core/ParameterModel.h"
#include "core/Reports.h"
#include "session/PanelSnapshot.h"

#include <QDate>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include <bit>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace {

using namespace n2k;

constexpr uint64_t kGridStart = 1700000000; // seconds
constexpr uint8_t kEngineAddress = 0;       // as the serial side reports the claims
constexpr uint8_t kTransmissionAddress = 3;
const char* const kSection = "## Where the standard decoder shows a value differently";
// Network management, not the panel's business.
constexpr uint32_t kNotPanelPgns[] = {59904, 60928, 126996};

struct State {
    int level;
    bool warnings;
};

std::vector<State> Grid() {
    std::vector<State> states;
    for (bool warnings : {false, true})
        for (int level = 0; level <= 100; ++level)
            states.push_back({level, warnings});
    return states;
}

QString Describe(const State& s) {
    return QStringLiteral("level %1, Warnings %2").arg(s.level).arg(s.warnings ? "on" : "off");
}

int WriteCandump() {
    CFrameEncoder encoder;
    CFrameEncoder::Frames frames;
    const std::vector<State> grid = Grid();
    for (size_t k = 0; k < grid.size(); ++k) {
        DeviceState state;
        state.level = static_cast<uint8_t>(grid[k].level);
        state.modeFlags = grid[k].warnings ? proto::kModeWarnings : 0;
        state.instances = {0, 1, 2, 3, 4, 5, 6, 7};
        state.engineAddress = kEngineAddress;
        state.transmissionAddress = kTransmissionAddress;
        const panel::RawValues raw = RawValuesOf(state);
        uint64_t micros = (kGridStart + k) * 1000000;
        for (const Group& group : kGroups) {
            const size_t count = encoder.Encode(
                BuildMessage(group, state, raw, static_cast<uint8_t>(k % 253)), frames);
            for (size_t i = 0; i < count; ++i)
                std::printf("%s\n", FormatCandumpLine(micros++, "can0", frames[i]).c_str());
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// One row of the allowance table: how the decoder shows one panel entry's
// field differently.
struct Allowance {
    int controlId = 0;
    // As written: "x1000", "round 0.1", "hours", "time", "date", "bits 0xFF",
    // "absent 3,7", "code 253,254".
    QString rule;
    QString kind;
    double number = 0; // factor, rounding step or bit mask
    std::vector<int64_t> values;
    int uses = 0;
};

std::optional<std::vector<Allowance>> ReadAllowances(const QString& path, QString& problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        problem = QStringLiteral("cannot read %1").arg(path);
        return std::nullopt;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    const auto start = lines.indexOf(QString::fromLatin1(kSection));
    if (start < 0) {
        problem = QStringLiteral("%1 has no section \"%2\"").arg(path, kSection);
        return std::nullopt;
    }
    std::vector<Allowance> rows;
    QStringList header;
    for (qsizetype i = start + 1; i < lines.size() && !lines[i].startsWith("## "); ++i) {
        if (!lines[i].startsWith('|')) {
            if (!header.isEmpty())
                break; // the table has ended
            continue;
        }
        QStringList cells = lines[i].split('|');
        cells = cells.mid(1, cells.size() - 2);
        for (QString& cell : cells)
            cell = cell.trimmed();
        if (header.isEmpty()) {
            header = cells;
            continue;
        }
        if (cells.value(0).startsWith("---"))
            continue;
        Allowance a;
        bool ok = false;
        a.controlId = cells.value(header.indexOf("id")).toInt(&ok);
        a.rule = cells.value(header.indexOf("rule")).remove('`');
        const QStringList words = a.rule.split(' ', Qt::SkipEmptyParts);
        a.kind = words.value(0);
        const QString arg = words.value(1);
        bool argOk = true;
        if (a.kind.startsWith('x')) {
            a.number = a.kind.mid(1).toDouble(&argOk);
            a.kind = "x";
        } else if (a.kind == "round") {
            a.number = arg.toDouble(&argOk);
        } else if (a.kind == "bits") {
            a.number = double(arg.toUInt(&argOk, 16));
        } else if (a.kind == "absent" || a.kind == "code") {
            for (const QString& v : arg.split(','))
                a.values.push_back(v.toLongLong(&argOk));
        } else if (a.kind != "hours" && a.kind != "time" && a.kind != "date") {
            argOk = false;
        }
        if (!ok || !argOk || !panel::FindPanelEntry(a.controlId)) {
            problem = QStringLiteral("%1: a row of the allowance table that cannot be read: %2")
                          .arg(path, lines[i]);
            return std::nullopt;
        }
        rows.push_back(a);
    }
    if (rows.empty()) {
        problem = QStringLiteral("%1: no allowance table under \"%2\"").arg(path, kSection);
        return std::nullopt;
    }
    return rows;
}

// "H:MM:SS" or "H:MM:SS.fffff" in seconds.
std::optional<double> Clock(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^(\\d+):(\\d\\d):(\\d\\d(\\.\\d+)?)$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 +
           m.captured(3).toDouble();
}

// "YYYY.MM.DD" in days since 1970-01-01.
std::optional<double> Days(const QString& text) {
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy.MM.dd"));
    if (!date.isValid())
        return std::nullopt;
    return double(QDate(1970, 1, 1).daysTo(date));
}

class CComparer {
public:
    CComparer(std::vector<Allowance> allowances, std::array<uint8_t, 8> instances)
        : m_allowances(std::move(allowances)), m_instances(instances) {}

    // The differences between a decoded message and the panel at `state`.
    QStringList Differences(const Group& group, const QJsonObject& fields, const State& state,
                            bool count) {
        QStringList out;
        for (auto it = fields.begin(); it != fields.end(); ++it)
            if (!FindField(group, it.key().toLatin1().constData()))
                out << QStringLiteral("%1: the decoder shows a field we do not send: %2")
                           .arg(group.pgn)
                           .arg(it.key());
        for (const Field& f : group.fields) {
            const QJsonValue v = fields.value(QLatin1String(f.name));
            const QString where = QStringLiteral("%1 %2").arg(group.pgn).arg(f.name);
            switch (f.origin) {
            case Origin::Panel:
                if (const QString d = PanelField(f, v, state, count); !d.isEmpty())
                    out << where + ": " + d;
                break;
            case Origin::Constant:
            case Origin::Instance: {
                const int64_t expected =
                    f.origin == Origin::Constant
                        ? f.arg
                        : m_instances.at(static_cast<size_t>(f.arg)) & NotAvailable(f);
                if (expected == NotAvailable(f) ? !v.isUndefined() : v.toDouble(-1) != expected)
                    out << where +
                               QStringLiteral(": decoder %1, sent %2").arg(Text(v)).arg(expected);
                break;
            }
            case Origin::Sid:
                if (!v.isDouble() || v.toInt(-1) < 0 || v.toInt(-1) > 252)
                    out << where + QStringLiteral(": decoder %1, not a SID").arg(Text(v));
                break;
            case Origin::NotAvailable:
            case Origin::Reserved:
            case Origin::Given:
                if (!v.isUndefined())
                    out << where +
                               QStringLiteral(": decoder %1, sent as not available").arg(Text(v));
                break;
            }
        }
        if (count)
            m_compared += static_cast<int>(group.fields.size());
        return out;
    }

    QStringList UnusedAllowances() const {
        QStringList out;
        for (const Allowance& a : m_allowances)
            if (a.uses == 0)
                out << QStringLiteral("allowance row %1 `%2` explains nothing")
                           .arg(a.controlId)
                           .arg(a.rule);
        return out;
    }
    int Compared() const { return m_compared; }
    int Explained() const {
        int n = 0;
        for (const Allowance& a : m_allowances)
            n += a.uses;
        return n;
    }

private:
    static QString Text(const QJsonValue& v) {
        if (v.isUndefined())
            return QStringLiteral("nothing");
        if (v.isDouble())
            return QString::number(v.toDouble(), 'g', 15);
        if (v.isString())
            return '"' + v.toString() + '"';
        return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
    }

    const panel::PanelSnapshot& Snapshot(const State& s) {
        auto it = m_snapshots.find({s.level, s.warnings});
        if (it == m_snapshots.end())
            it = m_snapshots
                     .emplace(std::pair{s.level, s.warnings},
                              panel::SnapshotAt(static_cast<uint8_t>(s.level), s.warnings))
                     .first;
        return it->second;
    }

    Allowance* Find(int controlId, const char* kind) {
        for (Allowance& a : m_allowances)
            if (a.controlId == controlId && a.kind == QLatin1String(kind))
                return &a;
        return nullptr;
    }

    static bool Holds(const Allowance* a, int64_t raw) {
        return a && std::find(a->values.begin(), a->values.end(), raw) != a->values.end();
    }

    static void Use(Allowance* a, bool count) {
        if (a && count)
            ++a->uses;
    }

    // What the panel shows for the entry, as brendlowctl's records give it:
    // a read-out's number with its decimals, a status word's bits; nothing
    // where it shows a text instead.
    std::optional<double> Shown(const panel::SnapshotEntry& s) {
        if (s.entry->kind == panel::PanelKind::StatusText)
            return double(s.text.mid(2).toLongLong(nullptr, 2));
        if (s.alternate)
            return std::nullopt;
        return panel::ReadoutNumber(s.value, s.entry->decimals).toDouble();
    }

    QString PanelField(const Field& f, const QJsonValue& v, const State& state, bool count) {
        const panel::PanelEntry* entry = panel::FindPanelEntry(f.arg);
        const panel::SnapshotEntry* s =
            entry ? panel::FieldShown(Snapshot(state), *entry) : nullptr;
        if (!s)
            return QStringLiteral("no panel entry %1").arg(f.arg);
        const QString who = QStringLiteral(" (%1, %2)").arg(entry->caption).arg(f.arg);
        const std::optional<double> shown = Shown(*s);
        const QString panelText = '"' + s->text + '"';

        Allowance* absent = Find(f.arg, "absent");
        const bool absentHere = Holds(absent, s->raw);
        // A code the panel shows as its text, the decoder as a number.
        Allowance* code = Find(f.arg, "code");
        const bool codeHere = Holds(code, s->raw);
        if (v.isUndefined() || absentHere) {
            if (v.isUndefined() && absentHere) {
                Use(absent, count);
                return {};
            }
            return QStringLiteral("decoder %1, panel %2%3").arg(Text(v), panelText, who);
        }
        if (!shown && !codeHere)
            return QStringLiteral("decoder %1, panel %2%3").arg(Text(v), panelText, who);

        std::optional<double> decoded;
        Allowance* used = nullptr;
        if (v.isDouble()) {
            decoded = v.toDouble();
        } else if (v.isString()) {
            for (const char* kind : {"hours", "time", "date"})
                if (Allowance* a = Find(f.arg, kind)) {
                    decoded = a->kind == "date" ? Days(v.toString()) : Clock(v.toString());
                    used = a;
                }
        } else if (v.isObject() && shown) {
            if (Allowance* a = Find(f.arg, "bits")) {
                const auto word = static_cast<uint64_t>(*shown);
                const auto mask = static_cast<uint64_t>(a->number);
                const QJsonObject bits = v.toObject();
                if (bits.value("bits").toDouble(-1) == double(word & mask) &&
                    bits.value("unnamed").toInt(-1) == std::popcount(word & ~mask)) {
                    Use(a, count);
                    return {};
                }
            }
        }
        if (!decoded)
            return QStringLiteral("decoder %1, panel %2%3").arg(Text(v), panelText, who);

        Allowance* factor = Find(f.arg, "x");
        Allowance* round = Find(f.arg, "round");
        const double expected = (codeHere ? double(s->raw) * entry->source.resolution : *shown) *
                                (factor ? factor->number : 1.0);
        const double slack =
            round ? round->number / 2 + 1e-9 : 1e-9 * std::max(1.0, std::abs(expected));
        if (std::abs(*decoded - expected) > slack)
            return QStringLiteral("decoder %1, panel %2%3").arg(Text(v), panelText, who);
        Use(used, count);
        Use(factor, count);
        Use(codeHere ? code : nullptr, count);
        if (round && std::abs(*decoded - expected) > 1e-9 * std::max(1.0, std::abs(expected)))
            Use(round, count);
        return {};
    }

    std::vector<Allowance> m_allowances;
    std::array<uint8_t, 8> m_instances;
    std::map<std::pair<int, bool>, panel::PanelSnapshot> m_snapshots;
    int m_compared = 0;
};

// Our group for a decoded message: the PGN, and for the groups sent more
// than once, the tank type or temperature source.
const Group* GroupOf(int pgn, const QJsonObject& fields) {
    for (const Group& g : kGroups) {
        bool match = g.pgn == static_cast<uint32_t>(pgn);
        for (const Field& f : g.fields)
            if (match && f.origin == Origin::Constant)
                match = fields.value(QLatin1String(f.name)).toDouble(-1) == f.arg;
        if (match)
            return &g;
    }
    return nullptr;
}

std::optional<std::vector<State>> ParseSequence(const QString& text) {
    std::vector<State> states;
    for (const QString& item : text.split(',')) {
        const QStringList parts = item.split(':');
        bool levelOk = false;
        const int level = parts.value(0).toInt(&levelOk);
        if (parts.size() != 2 || !levelOk || level < 0 || level > 100 ||
            (parts[1] != "0" && parts[1] != "1"))
            return std::nullopt;
        states.push_back({level, parts[1] == "1"});
    }
    return states;
}

int Compare(const QStringList& args) {
    if (args.size() < 2 || args.size() % 2 != 0) {
        std::fprintf(stderr, "usage: n2k_decoder_check compare DOC DECODED [--sequence L:W,...] "
                             "[--instances I,...]\n");
        return 64;
    }
    std::optional<std::vector<State>> sequence;
    std::array<uint8_t, 8> instances{0, 1, 2, 3, 4, 5, 6, 7};
    for (qsizetype i = 2; i < args.size(); i += 2) {
        bool ok = args[i] == "--sequence" || args[i] == "--instances";
        if (args[i] == "--sequence") {
            sequence = ParseSequence(args[i + 1]);
            ok = sequence.has_value();
        } else if (ok) {
            const QStringList values = args[i + 1].split(',');
            ok = values.size() == 8;
            for (size_t k = 0; ok && k < instances.size(); ++k)
                instances[k] = static_cast<uint8_t>(values[qsizetype(k)].toUInt(&ok));
        }
        if (!ok) {
            std::fprintf(stderr, "n2k_decoder_check: bad %s\n", qPrintable(args[i]));
            return 64;
        }
    }
    QString problem;
    auto allowances = ReadAllowances(args[0], problem);
    QFile decoded(args[1]);
    if (!allowances || !decoded.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "n2k_decoder_check: %s\n",
                     qPrintable(problem.isEmpty() ? "cannot read " + args[1] : problem));
        return 1;
    }

    CComparer comparer(std::move(*allowances), instances);
    const std::vector<State> states = sequence ? *sequence : Grid();
    std::vector<size_t> next(kGroups.size(), 0);   // per group: the earliest state still possible
    std::map<std::pair<size_t, size_t>, int> seen; // grid: (state, group) -> messages
    std::map<Node, int> sources;
    QStringList report;
    int messages = 0;
    int skipped = 0;
    for (int lineNo = 1; !decoded.atEnd(); ++lineNo) {
        const QJsonObject m = QJsonDocument::fromJson(decoded.readLine()).object();
        const int pgn = m.value("pgn").toInt();
        if (std::find(std::begin(kNotPanelPgns), std::end(kNotPanelPgns), pgn) !=
            std::end(kNotPanelPgns)) {
            ++skipped;
            continue;
        }
        ++messages;
        const QJsonObject fields = m.value("fields").toObject();
        const QString at = QStringLiteral("message %1").arg(lineNo);
        const Group* group = GroupOf(pgn, fields);
        if (!group) {
            report << at + QStringLiteral(": PGN %1 is none of ours").arg(pgn);
            continue;
        }
        const size_t g = static_cast<size_t>(group - kGroups.data());
        const int src = m.value("src").toInt(-1);
        if (sources.emplace(group->node, src).first->second != src || m.value("dst").toInt() != 255)
            report << at + QStringLiteral(": %1 from %2 to %3, not from its node to everyone")
                               .arg(pgn)
                               .arg(src)
                               .arg(m.value("dst").toInt());

        size_t k = 0;
        if (!sequence) {
            k = static_cast<size_t>(m.value("time").toString().toDouble()) - kGridStart;
            if (k >= states.size()) {
                report << at + ": stamped outside the grid";
                continue;
            }
            ++seen[{k, g}];
        } else {
            // The first state it matches; when it matches none, the one it
            // comes closest to, which it is reported against.
            qsizetype fewest = -1;
            for (size_t i = next[g]; i < states.size() && fewest != 0; ++i) {
                const auto n = comparer.Differences(*group, fields, states[i], false).size();
                if (fewest < 0 || n < fewest) {
                    fewest = n;
                    k = i;
                }
            }
            if (fewest == 0)
                next[g] = k;
        }
        for (const QString& d : comparer.Differences(*group, fields, states[k], true))
            report << at + " at " + Describe(states[k]) + ": " + d;
    }
    if (sources.size() == 2 && sources[Node::Engine] == sources[Node::Transmission])
        report << QStringLiteral("both nodes send from address %1").arg(sources[Node::Engine]);
    if (!sequence) {
        for (size_t k = 0; k < states.size(); ++k)
            for (size_t g = 0; g < kGroups.size(); ++g)
                if (const int n = seen[{k, g}]; n != 1)
                    report << QStringLiteral("%1: %2 messages of %3 decoded, not one")
                                  .arg(Describe(states[k]))
                                  .arg(n)
                                  .arg(kGroups[g].pgn);
        report << comparer.UnusedAllowances();
    } else if (messages == 0) {
        report << "no message of ours decoded";
    }
    for (const QString& line : report)
        std::printf("%s\n", qPrintable(line));
    std::printf("%d messages (%d network management ones skipped), %d fields compared, %d "
                "differences explained by the table, %d unexplained\n",
                messages, skipped, comparer.Compared(), comparer.Explained(),
                static_cast<int>(report.size()));
    return report.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.value(0) == "candump" && args.size() == 1)
        return WriteCandump();
    if (args.value(0) == "compare")
        return Compare(args.mid(1));
    std::fprintf(stderr, "usage: n2k_decoder_check candump | compare DOC DECODED ...\n");
    return 64;
}
