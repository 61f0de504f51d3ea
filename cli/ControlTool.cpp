#include "cli/ControlTool.h"

#include "cli/Output.h"

#include <QCoreApplication>

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
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &CControlTool::NoDevice);
    connect(&m_session, &session::CDeviceSession::Identified, this, &CControlTool::OnIdentified);
    connect(&m_session, &session::CDeviceSession::IdentificationCorrupt, this,
            [this] { m_bCorruptIdentity = true; });
    connect(&m_session, &session::CDeviceSession::Failure, this,
            [this](const QString& text) { Finish(kExitCannotOpen, text); });
    connect(&m_session, &session::CDeviceSession::HungUp, this, [this] {
        Finish(kExitHungUp, tr("the device on %1 hung up").arg(m_request.portShown));
    });
    connect(&m_session, &session::CDeviceSession::PanelReset, this, &CControlTool::OnPanelReset);
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
    if (!FlushOutput() && m_nExitCode == kExitOk)
        m_nExitCode = kExitOutput;
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
    m_silence.stop();
    QCoreApplication::exit(code);
}

bool CControlTool::Output(const QByteArray& bytes) {
    if (Print(bytes))
        return true;
    Finish(kExitOutput);
    return false;
}

void CControlTool::Expect(double seconds, int code, const QString& message) {
    m_deadline.disconnect();
    connect(&m_deadline, &QTimer::timeout, this, [this, code, message] { Finish(code, message); });
    m_deadline.start(Milliseconds(seconds));
}

void CControlTool::ExpectDevice() {
    m_bAwaitingDevice = true;
    m_bNeedsDevice = true;
    m_deadline.disconnect();
    connect(&m_deadline, &QTimer::timeout, this, &CControlTool::NoDevice);
    m_deadline.start(Milliseconds(m_request.timeout));
}

void CControlTool::NoDevice() {
    // A device whose every identification is spoilt is there, but what it
    // is cannot be told: the script can do no more with it than with none.
    Finish(kExitNoAnswer, m_bCorruptIdentity
                              ? tr("the device on %1 answers, but its identification is corrupt")
                                    .arg(m_request.portShown)
                              : tr("no device answered on %1 within %2 s")
                                    .arg(m_request.portShown)
                                    .arg(m_request.timeout));
}

void CControlTool::OnPanelReset() {
    if (m_bIdentified && !Finished()) {
        Complain(tr("the device on %1 went silent; searching again").arg(m_request.portShown));
        m_bCorruptIdentity = false;
        if (m_bNeedsDevice)
            m_silence.start(Milliseconds(m_request.timeout));
    }
    m_bIdentified = false;
}

void CControlTool::OnIdentified(const session::DeviceIdentity& identity) {
    if (!identity.known) {
        Finish(kExitUnknownProduct, tr("the device on %1 reports an unknown product code %2")
                                        .arg(m_request.portShown)
                                        .arg(identity.productCode));
        return;
    }
    m_bIdentified = true;
    m_bCorruptIdentity = false;
    m_silence.stop();
    // A device found again after it fell silent continues the command
    // already started: a watch does not print each record twice.
    if (!m_bAwaitingDevice)
        return;
    m_bAwaitingDevice = false;
    m_deadline.stop();
    m_command->Start(identity);
}

} // namespace cli
