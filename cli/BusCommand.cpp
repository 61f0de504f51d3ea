#include "cli/BusCommand.h"

#include "can/CanDevice.h"
#include "cli/BusJudge.h"
#include "cli/CommandTable.h"
#include "cli/Output.h"
#include "core/Candump.h"
#include "core/InstanceManagement.h"
#include "core/N2kMessages.h"
#include "core/PanelFields.h"

#include <QCanBusDevice>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

namespace cli {

namespace {

constexpr double kDefaultSeconds = 10;
constexpr int kFlushMs = 250;

// "Fluid Level type=5": the groups that share a PGN differ in a constant.
QString GroupName(const n2k::Group& group) {
    QString name = QString::fromLatin1(panel::PgnName(group.pgn));
    for (const n2k::Field& f : group.fields)
        if (f.origin == n2k::Origin::Constant)
            name += QStringLiteral(" %1=%2").arg(QLatin1String(f.name)).arg(f.arg);
    return name;
}

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
        connect(&m_tool.Session(), &session::CDeviceSession::AddressClaimReported, this,
                [this](const proto::AddressClaim& claim) {
                    m_judge.SetAddresses(claim.engineAddress, claim.transmissionAddress);
                });
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
        if (m_candump.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            connect(&m_flush, &QTimer::timeout, this, &CBusCheck::FlushCandump);
            m_flush.start(kFlushMs);
            return true;
        }
        m_tool.Finish(kExitOutput, Tr("cannot write %1: %2").arg(path, m_candump.errorString()));
        return false;
    }

    bool OpenCan() {
        const can::CanName name = *can::SplitCanName(m_tool.GetRequest().can);
        m_candumpInterface = n2k::CandumpInterface(name.interface.toStdString());
        can::Opened opened = can::OpenCanDevice(name);
        if (!opened.device) {
            m_tool.Finish(kExitCannotOpen, opened.error);
            return false;
        }
        m_device = std::move(opened.device);
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

    int64_t Now() const { return m_clock.isValid() ? m_clock.elapsed() : 0; }

    void OnLevel(const session::LevelStatus& status) {
        if (!m_clock.isValid())
            m_clock.start();
        if (const auto& instances = m_tool.Session().Instances())
            m_judge.SetInstances(device::InstancesInLineOrder(*instances));
        m_judge.Level(Now(), status.level, status.modes.warnings);
    }

    void OnFrames() {
        for (const QCanBusFrame& qt : m_device->readAllFrames()) {
            const auto frame = can::FromQt(qt);
            if (!frame || m_tool.Finished())
                continue;
            if (m_candump.isOpen() && !LogFrame(*frame))
                return;
            const auto message = m_reassembler.Push(*frame);
            // Which node is the device's is known from its first claim
            // broadcast on; until then nothing on the bus is judged.
            if (!message || !m_clock.isValid() || !m_judge.KnowsAddresses())
                continue;
            if (const auto decoded = n2k::Decode(*message))
                m_judge.Seen(Now(), message->source, *decoded);
        }
    }

    // A few times a second, not once a frame: a loaded bus brings 1,800 a
    // second.
    void FlushCandump() {
        if (m_candump.isOpen() && !m_tool.Finished() && !m_candump.flush())
            CandumpFailed();
    }

    bool LogFrame(const n2k::CanFrame& frame) {
        const std::string line =
            n2k::FormatCandumpLine(n2k::WallMicroseconds(), m_candumpInterface, frame) + '\n';
        if (m_candump.write(line.data(), qint64(line.size())) == qint64(line.size()))
            return true;
        CandumpFailed();
        return false;
    }

    void CandumpFailed() {
        m_tool.Finish(kExitOutput,
                      Tr("cannot write %1: %2").arg(m_candump.fileName(), m_candump.errorString()));
    }

    void End() {
        FlushCandump();
        if (m_tool.Finished())
            return;
        std::optional<std::pair<uint8_t, uint8_t>> addresses;
        if (const auto& claims = m_tool.Session().Claims())
            addresses = std::pair{claims->engineAddress, claims->transmissionAddress};
        m_rows = m_judge.End(Now(), addresses);
        if (!m_tool.Output(m_tool.GetRequest().json ? Json() : Table()))
            return;
        const bool good =
            std::all_of(m_rows.begin(), m_rows.end(), [](const BusRow& row) { return row.Good(); });
        m_tool.Finish(good ? kExitOk : kExitBusFaults);
    }

    QByteArray Json() const {
        QByteArray out;
        for (const BusRow& row : m_rows) {
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
                o.insert("firstMismatch", QJsonObject{{"field", QLatin1String(row.first->field)},
                                                      {"expected", qint64(row.first->expected)},
                                                      {"seen", qint64(row.first->seen)}});
            out += JsonLine(o);
        }
        return out;
    }

    QByteArray Table() const {
        qsizetype width = 4;
        for (const BusRow& row : m_rows)
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
        for (const BusRow& row : m_rows)
            out += line({QString::number(row.group->pgn), GroupName(*row.group),
                         QString::number(row.source), QString::number(row.seen),
                         QString::number(row.ok), QString::number(row.mismatches),
                         row.missing ? Tr("yes") : Tr("no"), QString::number(row.late),
                         row.first ? QStringLiteral("%1 %2 %3")
                                         .arg(QLatin1String(row.first->field))
                                         .arg(row.first->expected)
                                         .arg(row.first->seen)
                                   : QString()});
        return out;
    }

    std::string m_candumpInterface;
    std::unique_ptr<QCanBusDevice> m_device;
    QFile m_candump;
    QTimer m_stop;
    QTimer m_flush;
    QElapsedTimer m_clock; // from the first level broadcast
    n2k::CReassembler m_reassembler;
    CBusJudge m_judge;
    std::vector<BusRow> m_rows;
};

} // namespace

std::unique_ptr<CCommand> MakeBus(CControlTool& tool) {
    return std::make_unique<CBusCheck>(tool);
}

QString BusProblem(const Request& r) {
    if (!r.arguments.isEmpty())
        return Tr("%1: takes no arguments, got \"%2\"").arg(r.command, r.arguments.join(' '));
    if (!can::SplitCanName(r.can))
        return Expected(QStringLiteral("--can"), Tr("PLUGIN:INTERFACE, such as socketcan:can0"),
                        r.can);
    return {};
}

} // namespace cli
