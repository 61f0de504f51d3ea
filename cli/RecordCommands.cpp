#include "cli/RecordCommands.h"

#include "cli/Output.h"
#include "cli/RecordJson.h"
#include "session/PanelSnapshot.h"

#include <unistd.h>

namespace cli {

namespace {

class CIdentify final : public CCommand {
public:
    using CCommand::CCommand;

    void Start(const session::DeviceIdentity& identity) override {
        const Request& request = m_tool.GetRequest();
        if (request.json)
            Print(JsonLine(IdentityJson(identity, request.portShown)));
        else
            Print(QStringLiteral("product: %1\nfirmware: %2\nserial: %3\n")
                      .arg(identity.product, identity.firmware.trimmed())
                      .arg(identity.serialNumber)
                      .toUtf8());
        m_tool.Finish(kExitOk);
    }
};

class CWatch final : public CCommand {
public:
    explicit CWatch(CControlTool& tool) : CCommand(tool), m_bTerminal(isatty(STDOUT_FILENO) != 0) {}

    void Start(const session::DeviceIdentity&) override {
        const Request& request = m_tool.GetRequest();
        connect(&m_tool.Session(), &session::CDeviceSession::LevelReported, this, &CWatch::OnLevel);
        if (request.seconds >= 0)
            m_tool.Expect(request.seconds, kExitOk);
        if (request.count == 0)
            m_tool.Finish(kExitOk);
    }

private:
    void OnLevel(const session::LevelStatus& status) {
        if (m_tool.Finished())
            return;
        const Request& request = m_tool.GetRequest();
        if (request.json)
            Print(LevelRecord(m_tool.Elapsed(), status, m_tool.Session().Claims(),
                              m_tool.Session().Instances()));
        else if (m_bTerminal)
            PrintTable(status);
        else
            Print(Line(status));
        if (request.count > 0 && ++m_nRecords >= request.count)
            m_tool.Finish(kExitOk);
    }

    // A terminal gets the whole panel, redrawn at most ten times a second.
    void PrintTable(const session::LevelStatus& status) {
        const int64_t now = proto::SteadyNs();
        if (now - m_lastTableNs < 100'000'000)
            return;
        m_lastTableNs = now;
        QByteArray table = "\x1b[H\x1b[2J" + Line(status);
        const panel::PanelSnapshot s = panel::SnapshotAt(status.level, status.modes.warnings);
        for (const auto* list : {&s.readouts, &s.texts})
            for (const panel::SnapshotEntry& e : *list)
                table += QStringLiteral("%1  %2\n")
                             .arg(QString::fromLatin1(e.entry->caption), -26)
                             .arg(e.text)
                             .toUtf8();
        Print(table);
    }

    QByteArray Line(const session::LevelStatus& s) const {
        return QStringLiteral("%1 level=%2 dynamic=%3 quiet=%4 warnings=%5\n")
            .arg(m_tool.Elapsed(), 0, 'f', 3)
            .arg(s.level)
            .arg(int(s.modes.dynamic))
            .arg(int(s.modes.quiet))
            .arg(int(s.modes.warnings))
            .toLatin1();
    }

    const bool m_bTerminal;
    long m_nRecords = 0;
    int64_t m_lastTableNs = 0;
};

// Prints from the first query on, whether a device answers or not.
class CTraffic final : public CCommand {
public:
    using CCommand::CCommand;

    void Begin() override {
        const Request& request = m_tool.GetRequest();
        connect(&m_tool.Session(), &session::CDeviceSession::Traffic, this,
                [json = request.json](const session::TrafficLine& line) {
                    if (json)
                        Print(JsonLine(TrafficJson(line)));
                    else
                        Print(QByteArray::number(line.msSinceOpen / 1000.0, 'f', 3) +
                              (line.sent ? " TX " : " RX ") + session::VerdictName(line.verdict) +
                              ' ' + session::VisibleText(line.bytes) + '\n');
                });
        if (request.seconds >= 0)
            m_tool.Expect(request.seconds, kExitOk);
    }
    void Start(const session::DeviceIdentity&) override {}
};

} // namespace

std::unique_ptr<CCommand> MakeIdentify(CControlTool& tool) {
    return std::make_unique<CIdentify>(tool);
}

std::unique_ptr<CCommand> MakeWatch(CControlTool& tool) {
    return std::make_unique<CWatch>(tool);
}

std::unique_ptr<CCommand> MakeTraffic(CControlTool& tool) {
    return std::make_unique<CTraffic>(tool);
}

} // namespace cli
