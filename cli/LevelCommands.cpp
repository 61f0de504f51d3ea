#include "cli/LevelCommands.h"

#include "cli/Output.h"

#include <algorithm>
#include <cstdlib>

namespace cli {

namespace {

// Sends a level; no acknowledgement within the timeout ends the run.
void SendLevel(CControlTool& tool, int level) {
    const double timeout = tool.GetRequest().timeout;
    tool.Expect(timeout, kExitNoAcknowledgement,
                CCommand::tr("the device did not acknowledge level %1 within %2 s")
                    .arg(level)
                    .arg(timeout));
    tool.Session().SendLevel(static_cast<uint8_t>(level));
}

class CLevel final : public CCommand {
public:
    using CCommand::CCommand;

    void Start(const session::DeviceIdentity&) override {
        connect(&m_tool.Session(), &session::CDeviceSession::LevelAcknowledged, this,
                [this] { m_tool.Finish(kExitOk); });
        SendLevel(m_tool, m_tool.GetRequest().arguments.value(0).toInt());
    }
};

class CKey final : public CCommand {
public:
    using CCommand::CCommand;

    void Start(const session::DeviceIdentity&) override {
        session::CDeviceSession& session = m_tool.Session();
        const Request& request = m_tool.GetRequest();
        const QString name = request.arguments.value(0);
        connect(&session, &session::CDeviceSession::KeyAcknowledged, this,
                [this] { m_tool.Finish(kExitOk); });
        m_tool.Expect(request.timeout, kExitNoAcknowledgement,
                      tr("the device did not acknowledge the %1 key within %2 s")
                          .arg(name)
                          .arg(request.timeout));
        // The mode keys switch their mode over from what the device reports.
        const session::Modes modes = session.CurrentModes();
        if (name == QLatin1String("menu"))
            session.PressKey(session::Key::Menu);
        else if (name == QLatin1String("down"))
            session.PressKey(session::Key::Down);
        else if (name == QLatin1String("up"))
            session.PressKey(session::Key::Up);
        else if (name == QLatin1String("dynamic"))
            session.SetMode(session::Mode::Dynamic, !modes.dynamic);
        else if (name == QLatin1String("quiet"))
            session.SetMode(session::Mode::Quiet, !modes.quiet);
        else
            session.SetMode(session::Mode::Warnings, !modes.warnings);
    }
};

class CSweep final : public CCommand {
public:
    using CCommand::CCommand;

    void Start(const session::DeviceIdentity&) override {
        const Request& request = m_tool.GetRequest();
        m_nLevel = request.arguments.value(0).toInt();
        m_nTo = request.arguments.value(1).toInt();
        connect(&m_tool.Session(), &session::CDeviceSession::LevelAcknowledged, this,
                &CSweep::OnAcknowledged);
        SendLevel(m_tool, m_nLevel);
    }

private:
    void OnAcknowledged() {
        if (!m_tool.Output(QByteArray::number(m_nLevel) + '\n'))
            return;
        if (m_nLevel == m_nTo) {
            m_tool.Finish(kExitOk);
            return;
        }
        // The step is cut to what is left, so that whatever its size no
        // level beyond TO is ever sent.
        const Request& request = m_tool.GetRequest();
        const int move = std::min(request.step, std::abs(m_nTo - m_nLevel));
        m_nLevel += m_nTo > m_nLevel ? move : -move;
        m_tool.CancelDeadline();
        QTimer::singleShot(Milliseconds(request.every), this, [this] {
            if (!m_tool.Finished())
                SendLevel(m_tool, m_nLevel);
        });
    }

    int m_nLevel = 0;
    int m_nTo = 0;
};

} // namespace

std::unique_ptr<CCommand> MakeLevel(CControlTool& tool) {
    return std::make_unique<CLevel>(tool);
}

std::unique_ptr<CCommand> MakeKey(CControlTool& tool) {
    return std::make_unique<CKey>(tool);
}

std::unique_ptr<CCommand> MakeSweep(CControlTool& tool) {
    return std::make_unique<CSweep>(tool);
}

} // namespace cli
