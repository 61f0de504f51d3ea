#include "cli/ControlTool.h"

#include "cli/Output.h"

#include <QCoreApplication>
#include <cstdio>

namespace cli {

void CCommand::Begin() {
    m_tool.ExpectDevice();
}

CControlTool::CControlTool(Request request, std::unique_ptr<CSerialBackend> serial)
    : m_request(std::move(request)), m_session([&] {
          session::SessionEnvironment env;
          env.serial = std::move(serial);
          return env;
      }()) {
    m_deadline.setSingleShot(true);
    connect(&m_session, &session::CDeviceSession::Identified, this, &CControlTool::OnIdentified);
    connect(&m_session, &session::CDeviceSession::Failure, this,
            [this](const QString& text) { Finish(kExitCannotOpen, text); });
    connect(&m_session, &session::CDeviceSession::PanelReset, this, [this] {
        if (m_bIdentified && !Finished())
            Complain(tr("the device on %1 went silent; searching again").arg(m_request.portShown));
        m_bIdentified = false;
    });
}

CControlTool::~CControlTool() = default;

int CControlTool::Run(CommandFactory make) {
    m_command = make(*this);
    m_startNs = proto::SteadyNs();
    if (!m_request.portName.isEmpty())
        m_session.SetPort(m_request.portName);
    m_session.Start();
    m_command->Begin();
    // Ask at once; the session asks again at every tick until an answer.
    m_session.Connect();
    if (!Finished())
        QCoreApplication::exec();
    m_session.Stop();
    std::fflush(stdout);
    return m_nExitCode;
}

double CControlTool::Elapsed() const {
    return double(proto::SteadyNs() - m_startNs) / 1e9;
}

void CControlTool::Finish(int code, const QString& message) {
    if (Finished())
        return;
    if (!message.isEmpty())
        Complain(message);
    m_nExitCode = code;
    m_deadline.stop();
    QCoreApplication::exit(code);
}

void CControlTool::Expect(double seconds, int code, const QString& message) {
    m_deadline.disconnect();
    connect(&m_deadline, &QTimer::timeout, this, [this, code, message] { Finish(code, message); });
    m_deadline.start(static_cast<int>(seconds * 1000));
}

void CControlTool::ExpectDevice() {
    m_bAwaitingDevice = true;
    Expect(
        m_request.timeout, kExitNoAnswer,
        tr("no device answered on %1 within %2 s").arg(m_request.portShown).arg(m_request.timeout));
}

void CControlTool::OnIdentified(const session::DeviceIdentity& identity) {
    if (!identity.known) {
        Finish(kExitUnknownProduct, tr("the device on %1 reports an unknown product code %2")
                                        .arg(m_request.portShown)
                                        .arg(identity.productCode));
        return;
    }
    m_bIdentified = true;
    // A device found again after it fell silent continues the command
    // already started: a watch does not print each record twice.
    if (!m_bAwaitingDevice)
        return;
    m_bAwaitingDevice = false;
    m_deadline.stop();
    m_command->Start(identity);
}

} // namespace cli
