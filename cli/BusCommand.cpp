#include "cli/BusCommand.h"

#include "cli/CommandTable.h"
#include "cli/Output.h"
#include "core/Candump.h"
#include "core/InstanceManagement.h"
#include "core/N2kMessages.h"
#include "core/PanelFields.h"
#include "core/ParameterModel.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <vector>

namespace cli {

namespace {

constexpr double kDefaultSeconds = 10;
// Until two level broadcasts have shown the device's period, one second,
// the slowest the device is set to broadcast at in practice.
constexpr int64_t kFirstPeriodMs = 1000;

uint64_t WallMicroseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<microseconds>(system_clock::now().time_since_epoch()).count());
}

std::optional<n2k::CanFrame> FromQt(const QCanBusFrame& qt) {
    const QByteArray payload = qt.payload();
    if (qt.frameType() != QCanBusFrame::DataFrame || !qt.hasExtendedFrameFormat() ||
        qt.hasFlexibleDataRateFormat() || payload.size() > 8)
        return std::nullopt;
    n2k::CanFrame frame;
    frame.id = qt.frameId();
    frame.length = static_cast<uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), frame.data.begin());
    return frame;
}

// "Fluid Level type=5": the groups that share a PGN differ in a constant.
QString GroupName(const n2k::Group& group) {
    QString name = QString::fromLatin1(panel::PgnName(group.pgn));
    for (const n2k::Field& f : group.fields)
        if (f.origin == n2k::Origin::Constant)
            name += QStringLiteral(" %1=%2").arg(QLatin1String(f.name)).arg(f.arg);
    return name;
}

struct Seen {
    int64_t ms; // since the check began
    uint8_t source;
    n2k::Decoded decoded;
};

struct StateAt {
    int64_t ms;
    uint8_t level;
    bool warnings;
};

struct Mismatch {
    QString field;
    int64_t expected;
    int64_t seen;
};

struct Row {
    const n2k::Group* group = nullptr;
    uint8_t source = 0;
    long seen = 0;
    long ok = 0;
    long mismatches = 0;
    std::optional<Mismatch> first;
    long late = 0;
    bool missing = false;
    int64_t lastMs = 0;

    bool Good() const { return mismatches == 0 && late == 0 && !missing; }
};

class CBusCheck final : public CCommand {
public:
    explicit CBusCheck(CControlTool& tool) : CCommand(tool) { m_stop.setSingleShot(true); }

    void Begin() override {
        if (!OpenCandump() || !OpenCan())
            return;
        CCommand::Begin();
    }

    void Start(const session::DeviceIdentity&) override {
        connect(&m_tool.Session(), &session::CDeviceSession::LevelReported, this,
                &CBusCheck::OnLevel);
        const double seconds =
            m_tool.GetRequest().seconds >= 0 ? m_tool.GetRequest().seconds : kDefaultSeconds;
        connect(&m_stop, &QTimer::timeout, this, &CBusCheck::End);
        m_stop.start(Milliseconds(seconds));
    }

private:
    bool OpenCandump() {
        const QString path = m_tool.GetRequest().candump;
        if (path.isEmpty())
            return true;
        m_candump.setFileName(path);
        if (m_candump.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return true;
        m_tool.Finish(kExitOutput, Tr("cannot write %1: %2").arg(path, m_candump.errorString()));
        return false;
    }

    bool OpenCan() {
        const QString can = m_tool.GetRequest().can;
        const QString plugin = can.section(u':', 0, 0);
        m_interface = can.section(u':', 1);
        // candump lines name the interface by its last part, "can0" of
        // virtualcan's "tcp://127.0.0.1:35468/can0".
        const QString last = m_interface.section(u'/', -1);
        m_candumpInterface = last.isEmpty() || last.contains(u' ') ? "can0" : last.toStdString();
        const QStringList plugins = QCanBus::instance()->plugins();
        if (!plugins.contains(plugin)) {
            m_tool.Finish(kExitCannotOpen, Tr("there is no CAN plugin \"%1\"; available: %2")
                                               .arg(plugin, plugins.join(QStringLiteral(", "))));
            return false;
        }
        QString error;
        m_device.reset(QCanBus::instance()->createDevice(plugin, m_interface, &error));
        if (m_device && !m_device->connectDevice())
            error = m_device->errorString();
        else if (m_device) {
            QCanBusDevice* d = m_device.get();
            connect(d, &QCanBusDevice::framesReceived, this, &CBusCheck::OnFrames);
            connect(d, &QCanBusDevice::stateChanged, this,
                    [this, d](QCanBusDevice::CanBusDeviceState state) {
                        if (state == QCanBusDevice::UnconnectedState)
                            m_tool.Finish(kExitCannotOpen,
                                          Tr("the CAN interface %1 closed: %2")
                                              .arg(m_tool.GetRequest().can, d->errorString()));
                    });
            return true;
        }
        m_tool.Finish(kExitCannotOpen,
                      Tr("cannot open the CAN interface %1: %2")
                          .arg(can, error.isEmpty() ? Tr("no such interface") : error));
        return false;
    }

    int64_t Now() const { return m_clock.isValid() ? m_clock.elapsed() : 0; }

    void OnLevel(const session::LevelStatus& status) {
        if (!m_clock.isValid())
            m_clock.start();
        const int64_t now = Now();
        if (m_lastLevelMs >= 0)
            m_periodMs =
                m_bPeriodKnown ? std::max(m_periodMs, now - m_lastLevelMs) : now - m_lastLevelMs;
        m_bPeriodKnown = m_lastLevelMs >= 0;
        m_lastLevelMs = now;
        if (m_states.empty() || m_states.back().level != status.level ||
            m_states.back().warnings != status.modes.warnings)
            m_states.push_back({now, status.level, status.modes.warnings});
        JudgeUntil(now - m_periodMs);
    }

    void OnFrames() {
        for (const QCanBusFrame& qt : m_device->readAllFrames()) {
            const auto frame = FromQt(qt);
            if (!frame || m_tool.Finished())
                continue;
            if (m_candump.isOpen() && !LogFrame(*frame))
                return;
            const auto message = m_reassembler.Push(*frame);
            if (!message || !m_clock.isValid())
                continue;
            if (auto decoded = n2k::Decode(*message)) {
                RowFor(*decoded->group, message->source);
                m_pending.push_back({Now(), message->source, *decoded});
            }
        }
    }

    bool LogFrame(const n2k::CanFrame& frame) {
        const std::string line =
            n2k::FormatCandumpLine(WallMicroseconds(), m_candumpInterface, frame) + '\n';
        if (m_candump.write(line.data(), qint64(line.size())) == qint64(line.size()) &&
            m_candump.flush())
            return true;
        m_tool.Finish(kExitOutput,
                      Tr("cannot write %1: %2").arg(m_candump.fileName(), m_candump.errorString()));
        return false;
    }

    Row& RowFor(const n2k::Group& group, uint8_t source) {
        const auto key = std::pair{&group, source};
        auto it = m_rows.find(key);
        if (it == m_rows.end()) {
            Row row;
            row.group = &group;
            row.source = source;
            it = m_rows.emplace(key, row).first;
        }
        return it->second;
    }

    // The model's message for `state`, compared field by field; the first
    // field that differs, or nothing.
    std::optional<Mismatch> Compare(const n2k::Decoded& d, const StateAt& at) const {
        n2k::DeviceState state;
        state.level = at.level;
        state.modeFlags = at.warnings ? proto::kModeWarnings : 0;
        const auto& instances = m_tool.Session().Instances();
        if (instances)
            state.instances = device::InstancesInLineOrder(*instances);
        const n2k::Message expected =
            n2k::BuildMessage(*d.group, state, n2k::RawValuesOf(state), 0);
        for (size_t i = 0; i < d.group->fields.size(); ++i) {
            const n2k::Field& f = d.group->fields[i];
            if (f.origin == n2k::Origin::Sid || f.origin == n2k::Origin::Given ||
                (f.origin == n2k::Origin::Instance && !instances))
                continue;
            const int64_t want = n2k::GetField(expected.data.data(), f);
            if (want != d.values[i])
                return Mismatch{QString::fromLatin1(f.name), want, d.values[i]};
        }
        return std::nullopt;
    }

    // Judges each message seen up to `untilMs` against the states in force
    // from one broadcast period before it to one after: the bus may show a
    // new level before the serial side reports it, or the old one after.
    void JudgeUntil(int64_t untilMs) {
        while (!m_pending.empty() && m_pending.front().ms <= untilMs) {
            const Seen s = m_pending.front();
            m_pending.pop_front();
            Row& row = RowFor(*s.decoded.group, s.source);
            const int64_t interval = s.decoded.group->intervalMs;
            if (interval > 0 && s.ms - row.lastMs > 2 * interval)
                ++row.late;
            row.lastMs = s.ms;
            ++row.seen;
            std::optional<Mismatch> closest;
            bool matched = false;
            for (size_t i = 0; i < m_states.size() && !matched; ++i) {
                const int64_t from = m_states[i].ms;
                const int64_t to = i + 1 < m_states.size() ? m_states[i + 1].ms : INT64_MAX;
                if (to < s.ms - m_periodMs || from > s.ms + m_periodMs)
                    continue;
                const auto mismatch = Compare(s.decoded, m_states[i]);
                matched = !mismatch;
                if (mismatch && (!closest || (from <= s.ms && s.ms < to)))
                    closest = mismatch;
            }
            if (matched) {
                ++row.ok;
            } else {
                ++row.mismatches;
                if (!row.first)
                    row.first = closest;
            }
        }
    }

    void End() {
        const int64_t now = Now();
        JudgeUntil(now);
        // Each group the device sends is expected from the address its node
        // holds, as the device reports it.
        if (const auto& claims = m_tool.Session().Claims())
            for (const n2k::Group& g : n2k::kGroups)
                RowFor(g, g.node == n2k::Node::Engine ? claims->engineAddress
                                                      : claims->transmissionAddress);
        for (const n2k::Group& g : n2k::kGroups)
            if (std::none_of(m_rows.begin(), m_rows.end(),
                             [&g](const auto& r) { return r.second.group == &g; }))
                RowFor(g, n2k::kNullAddress);
        bool good = true;
        for (auto& [key, row] : m_rows) {
            const int64_t interval = row.group->intervalMs;
            row.missing = interval > 0 && (row.seen == 0 || now - row.lastMs > 2 * interval);
            good = good && row.Good();
        }
        if (!m_tool.Output(m_tool.GetRequest().json ? Json() : Table()))
            return;
        m_tool.Finish(good ? kExitOk : kExitBusFaults);
    }

    QByteArray Json() const {
        QByteArray out;
        for (const auto& [key, row] : m_rows) {
            QJsonObject o{{"pgn", qint64(row.group->pgn)},
                          {"name", GroupName(*row.group)},
                          {"source", row.source},
                          {"seen", qint64(row.seen)},
                          {"ok", qint64(row.ok)},
                          {"mismatches", qint64(row.mismatches)},
                          {"missing", row.missing},
                          {"late", qint64(row.late)},
                          {"result", row.Good() ? "ok" : "failed"}};
            if (row.first)
                o.insert("firstMismatch", QJsonObject{{"field", row.first->field},
                                                      {"expected", qint64(row.first->expected)},
                                                      {"seen", qint64(row.first->seen)}});
            out += JsonLine(o);
        }
        return out;
    }

    QByteArray Table() const {
        qsizetype width = 4;
        for (const auto& [key, row] : m_rows)
            width = std::max(width, GroupName(*row.group).size());
        const auto line = [width](const QStringList& cells) {
            QString text = QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8  %9")
                               .arg(cells[0], -6)
                               .arg(cells[1], -int(width))
                               .arg(cells[2], 6)
                               .arg(cells[3], 6)
                               .arg(cells[4], 6)
                               .arg(cells[5], 10)
                               .arg(cells[6], 7)
                               .arg(cells[7], 4)
                               .arg(cells[8]);
            while (text.endsWith(u' '))
                text.chop(1);
            return text.toUtf8() + '\n';
        };
        QByteArray out =
            line({Tr("PGN"), Tr("name"), Tr("source"), Tr("seen"), Tr("ok"), Tr("mismatches"),
                  Tr("missing"), Tr("late"), Tr("first mismatch (field expected seen)")});
        for (const auto& [key, row] : m_rows)
            out += line({QString::number(row.group->pgn), GroupName(*row.group),
                         QString::number(row.source), QString::number(row.seen),
                         QString::number(row.ok), QString::number(row.mismatches),
                         row.missing ? Tr("yes") : Tr("no"), QString::number(row.late),
                         row.first ? QStringLiteral("%1 %2 %3")
                                         .arg(row.first->field)
                                         .arg(row.first->expected)
                                         .arg(row.first->seen)
                                   : QString()});
        return out;
    }

    QString m_interface;
    std::string m_candumpInterface;
    std::unique_ptr<QCanBusDevice> m_device;
    QFile m_candump;
    QTimer m_stop;
    QElapsedTimer m_clock; // from the first level broadcast
    n2k::CReassembler m_reassembler;
    std::vector<StateAt> m_states;
    std::deque<Seen> m_pending;
    std::map<std::pair<const n2k::Group*, uint8_t>, Row> m_rows;
    int64_t m_periodMs = kFirstPeriodMs;
    int64_t m_lastLevelMs = -1;
    bool m_bPeriodKnown = false;
};

} // namespace

std::unique_ptr<CCommand> MakeBus(CControlTool& tool) {
    return std::make_unique<CBusCheck>(tool);
}

QString BusProblem(const Request& r) {
    if (!r.arguments.isEmpty())
        return Tr("%1: takes no arguments, got \"%2\"").arg(r.command, r.arguments.join(' '));
    const qsizetype colon = r.can.indexOf(u':');
    if (colon <= 0 || colon + 1 == r.can.size())
        return Expected(QStringLiteral("--can"), Tr("PLUGIN:INTERFACE, such as socketcan:can0"),
                        r.can);
    return {};
}

} // namespace cli
