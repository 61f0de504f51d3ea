#include "session/CDeviceSession.h"

#include "core/CommandLine.h"
#include "core/SettingsFile.h"
#include "session/Latin1.h"
#include "session/PortMap.h"
#include "session/SettingsStore.h"

#include <QMetaMethod>
#include <QSignalBlocker>

namespace session {

namespace {

Verdict FromReport(proto::ReportVerdict verdict) {
    switch (verdict) {
    case proto::ReportVerdict::Ok:
        return Verdict::Ok;
    case proto::ReportVerdict::BadChecksum:
        return Verdict::BadChecksum;
    case proto::ReportVerdict::Unexpected:
        break;
    }
    return Verdict::Unexpected;
}

} // namespace

CDeviceSession::CDeviceSession(SessionEnvironment env, QObject* parent)
    : QObject(parent),
      m_ownClock(env.clock ? nullptr : std::make_unique<proto::CSteadyMillisecondClock>()),
      m_clock(env.clock ? env.clock : m_ownClock.get()), m_comm(std::move(env.serial)),
      m_strPort(QString::fromLatin1(settings::kDefaultPort)) {
    if (!env.settingsPath.isEmpty())
        m_settings = std::make_unique<settings::CSettingsStore>(env.settingsPath);
    m_watchdog.setInterval(env.watchdogPeriodMs);
    connect(&m_watchdog, &QTimer::timeout, this, &CDeviceSession::Tick);
    connect(&m_comm, &CMSComm::OnComm, this, [this] { Run([this] { OnCommEvent(); }); });
    // Handled once the serial layer's own error handling has returned.
    connect(
        &m_comm, &CMSComm::PortLost, this,
        [this] {
            if (IsConnected())
                Run([this] { OnLinkLost(); });
        },
        Qt::QueuedConnection);
}

CDeviceSession::~CDeviceSession() {
    Stop();
}

void CDeviceSession::Start() {
    ResetPanel();
    m_pending.settingsSave = false;
    ReadSettings();
    m_trafficSeen = false;
    StartWatchdog();
}

void CDeviceSession::Stop() {
    StopWatchdog();
    if (m_comm.GetPortOpen())
        m_comm.SetPortOpen(false);
}

void CDeviceSession::SetPort(const QString& port) {
    m_strPort = port;
}

bool CDeviceSession::IsModePending(Mode mode) const {
    switch (mode) {
    case Mode::Dynamic:
        return m_pending.modes.dynamic;
    case Mode::Quiet:
        return m_pending.modes.quiet;
    case Mode::Warnings:
        return m_pending.modes.warnings;
    }
    return false;
}

// ---------------------------------------------------------------- failures

void CDeviceSession::Run(const std::function<void()>& step, bool operatorAction) {
    try {
        step();
    } catch (const CSerialError& e) {
        Report(e.description(), FailureKind::Error, e.description(), operatorAction);
    } catch (const std::exception& e) {
        const QString text = QString::fromLocal8Bit(e.what());
        Report(text, FailureKind::Error, text, operatorAction);
    }
}

void CDeviceSession::Report(const QString& text, FailureKind kind, const QString& failureKey,
                            bool operatorAction) {
    if (!failureKey.isEmpty()) {
        const bool repeated = m_reportedFailures.contains(failureKey);
        if (!repeated)
            m_reportedFailures << failureKey;
        // The operator asked: he hears the answer, even one he heard before.
        if (repeated && !operatorAction)
            return;
    }
    emit Failure(text, kind);
}

// ---------------------------------------------------------------- connection

void CDeviceSession::Connect() {
    m_bRecovering = false; // the operator's Connect ends any automatic recovery
    Run([this] { OnConnect(); }, true);
}

void CDeviceSession::Disconnect() {
    m_bRecovering = false;
    Run([this] { OnDisconnect(); }, true);
}

void CDeviceSession::Tick() {
    Run([this] { OnTimer(); });
}

void CDeviceSession::OpenSelectedPort() {
    const int n = ports::PortNumberFromName(m_strPort);
    m_state = LinkState::Closed;
    if (m_comm.GetPortOpen())
        m_comm.SetPortOpen(false);
    m_comm.SetCommPort(n);
    if (m_comm.GetPortOpen()) {
        Report(tr("Cannot Open the selected Serial Port!"), FailureKind::Notice,
               QStringLiteral("still open"), false);
    } else {
        m_comm.SetPortOpen(true); // raises CSerialError when the port cannot be opened
        m_state = LinkState::Searching;
        m_reportedFailures.clear();
        // Whatever the last device left half-sent belongs to no line of this one.
        m_receiveWindow = proto::CReceiveWindow();
        m_unframed.clear();
        m_openedNs = proto::SteadyNs();
    }
    m_comm.SetSettings(QStringLiteral("115200,n,8,1"));
    m_comm.GetInput(); // bytes waiting from before are dropped
}

void CDeviceSession::OnConnect() {
    m_pending.idQuery = true;
    try {
        OpenSelectedPort();
    } catch (const CSerialError&) {
        // While recovering a lost device the attempts go on at every tick.
        if (m_bRecovering)
            StartWatchdog();
        throw;
    }
    if (IsConnected()) {
        const proto::CommandLine query = proto::BuildIdQuery();
        SendCommandLine(query.bytes.data(), query.length);
    }
    StopWatchdog();
    StartWatchdog();
}

void CDeviceSession::OnDisconnect() {
    StopWatchdog();
    ResetPanel();
}

void CDeviceSession::OnTimer() {
    emit Ticked();
    if (m_pending.levelAckTicks && ++*m_pending.levelAckTicks >= kLevelAckTicks) {
        // The acknowledgement was lost on the line: follow the device again.
        m_pending.ReleaseSlider();
    }
    if (!m_trafficSeen) {
        if (IsDeviceIdentified())
            m_bRecovering = true; // an identified device went silent
        OnDisconnect();
    }
    if (!IsDeviceIdentified())
        OnConnect();
    m_trafficSeen = false;
    if (m_pending.settingsSave)
        WriteSettings();
}

void CDeviceSession::OnLinkLost() {
    // A device that hangs up or stops taking bytes is lost like one that
    // falls silent: the panel resets and the search goes on at every tick.
    m_bRecovering = true;
    emit HungUp();
    OnDisconnect();
    StartWatchdog();
}

void CDeviceSession::ResetPanel() {
    if (m_comm.GetPortOpen())
        m_comm.SetPortOpen(false);
    m_state = LinkState::Closed;
    m_identity = DeviceIdentity();
    m_modes = Modes();
    // What was asked of the device is forgotten with it; the id query and the
    // settings rewrite belong to the search, which goes on.
    m_pending.modes = Modes();
    m_pending.ReleaseSlider();
    m_instances.reset();
    m_claims.reset();
    emit PanelReset();
}

// ---------------------------------------------------------------- sending

void CDeviceSession::SendCommandLine(const uint8_t* line, int length) {
    if (!m_comm.GetPortOpen())
        throw CSerialError(tr("Port is closed."));
    EmitTraffic(true, Verdict::Ok, QByteArray(reinterpret_cast<const char*>(line), length));
    // Nothing else is handled until the line is out; bytes that arrive
    // meanwhile are read by a receive event afterwards.
    try {
        const QSignalBlocker hold(&m_comm.Backend());
        proto::SendCommandLine(m_comm, *m_clock, line, length);
    } catch (const CSerialError&) {
        OnLinkLost();
        return;
    }
    QTimer::singleShot(0, this, [this] { Run([this] { OnCommEvent(); }); });
}

void CDeviceSession::SendKeyCommand(uint8_t keyCode) {
    const proto::CommandLine line = proto::BuildKeyCommand(keyCode);
    if (IsConnected())
        SendCommandLine(line.bytes.data(), line.length);
}

void CDeviceSession::PressKey(Key key) {
    static constexpr uint8_t kCodes[] = {proto::kKeyMenu, proto::kKeyDown, proto::kKeyUp};
    Run([this, key] { SendKeyCommand(kCodes[static_cast<int>(key)]); });
}

void CDeviceSession::SetMode(Mode mode, bool on) {
    switch (mode) {
    case Mode::Dynamic:
        m_pending.modes.dynamic = true;
        m_modes.dynamic = on;
        Run([this] { SendKeyCommand(proto::kKeyDynamic); });
        break;
    case Mode::Quiet:
        m_pending.modes.quiet = true;
        m_modes.quiet = on;
        Run([this] { SendKeyCommand(proto::kKeyQuiet); });
        break;
    case Mode::Warnings:
        m_pending.modes.warnings = true;
        m_modes.warnings = on;
        Run([this] { SendKeyCommand(proto::kKeyWarnings); });
        break;
    }
}

void CDeviceSession::HoldLevel() {
    m_pending.levelHeld = true;
    m_pending.levelAckTicks.reset();
}

void CDeviceSession::SendLevel(uint8_t level) {
    m_pending.levelHeld = false;
    m_pending.levelAckTicks = 0;
    const proto::CommandLine line = proto::BuildLevelCommand(level);
    Run([&] {
        if (IsConnected())
            SendCommandLine(line.bytes.data(), line.length);
    });
}

void CDeviceSession::SendInstances(const std::array<uint8_t, 8>& instances) {
    // The instance line goes out with no connection test: a closed port
    // says so.
    const proto::CommandLine line = proto::BuildDeviceInstanceLine(instances);
    Run([&] { SendCommandLine(line.bytes.data(), line.length); }, true);
}

// ---------------------------------------------------------------- receiving

void CDeviceSession::OnCommEvent() {
    if (m_comm.GetCommEvent() != CMSComm::kEventReceive)
        return;
    const QByteArray input = m_comm.GetInput();
    if (!IsConnected() || input.isEmpty())
        return;
    static const QMetaMethod traffic = QMetaMethod::fromSignal(&CDeviceSession::Traffic);
    if (isSignalConnected(traffic)) {
        FrameWatched(input);
        return;
    }
    m_receiveWindow.Push(
        reinterpret_cast<const uint8_t*>(input.constData()), static_cast<int>(input.size()),
        [this](const uint8_t* line, int length) { proto::DispatchReport(line, length, *this); });
}

void CDeviceSession::FrameWatched(const QByteArray& input) {
    for (const char c : input) {
        m_unframed += c;
        m_receiveWindow.Push(static_cast<uint8_t>(c), [this](const uint8_t* line, int length) {
            // The line is the tail of what came since the last one; anything
            // before it never made a line.
            const qsizetype before = m_unframed.size() - length;
            if (before > 0)
                EmitTraffic(false, Verdict::Dropped, m_unframed.left(before));
            const QByteArray received = m_unframed.right(length);
            m_unframed.clear();
            const proto::ReportVerdict verdict = proto::DispatchReport(line, length, *this);
            EmitTraffic(false, FromReport(verdict), received);
        });
    }
    // Bytes pushed out of the window, or passed over by a restart at a
    // marker, are gone for good.
    const qsizetype gone = m_unframed.size() - m_receiveWindow.Count();
    if (gone > 0) {
        EmitTraffic(false, Verdict::Dropped, m_unframed.left(gone));
        m_unframed.remove(0, gone);
    }
}

void CDeviceSession::EmitTraffic(bool sent, Verdict verdict, const QByteArray& bytes) {
    TrafficLine line;
    line.ns = proto::SteadyNs();
    line.msSinceOpen = double(line.ns - m_openedNs) / 1e6;
    line.sent = sent;
    line.verdict = verdict;
    line.bytes = bytes;
    emit Traffic(line);
}

void CDeviceSession::OnLevelAck() {
    m_pending.ReleaseSlider();
    emit LevelAcknowledged();
}

void CDeviceSession::OnKeyAck() {
    m_pending.modes = Modes();
    emit KeyAcknowledged();
}

void CDeviceSession::OnIdReport(const uint8_t* line) {
    m_pending.idQuery = false;
    m_pending.settingsSave = true;
    if (!proto::IdReportChecksumValid(line)) {
        emit IdentificationCorrupt();
        return;
    }
    const proto::IdReport report = proto::DecodeIdReport(line);
    m_identity.productCode = report.productCode;
    m_identity.product = text::FromStd(proto::ProductName(report.productCode));
    m_identity.known = proto::IsKnownProduct(report.productCode);
    m_identity.serialNumber = report.serialNumber;
    m_identity.firmware =
        text::FromStd(proto::FirmwareVersionText(static_cast<uint16_t>(report.firmwareByte + 1)));
    m_bRecovering = false;
    // An unknown product is shown, then the link ends; its broadcasts never
    // reach the panel.
    if (m_identity.known)
        m_state = LinkState::Identified;
    emit Identified(m_identity);
    if (!m_identity.known)
        OnDisconnect();
}

void CDeviceSession::OnLevelBroadcast(uint8_t level, uint8_t modeFlags) {
    if (!m_pending.modes.quiet)
        m_modes.quiet = (modeFlags & proto::kModeQuietOff) == 0;
    if (!m_pending.modes.dynamic)
        m_modes.dynamic = (modeFlags & proto::kModeDynamic) != 0;
    if (!m_pending.modes.warnings)
        m_modes.warnings = (modeFlags & proto::kModeWarnings) != 0;
    emit LevelReported({level, m_modes, !m_pending.SliderBusy()});
}

void CDeviceSession::OnAddressClaim(const proto::AddressClaim& claim) {
    m_claims = claim;
    emit AddressClaimReported(claim);
}

void CDeviceSession::OnInstanceBroadcast(const proto::InstanceReport& instances) {
    m_instances = instances;
    emit InstancesReported(instances);
}

// ---------------------------------------------------------------- settings

void CDeviceSession::ReadSettings() {
    if (!m_settings)
        return; // the front end names the port
    const settings::LoadResult loaded = m_settings->Load();
    m_strPort = QString::fromStdString(loaded.port);
    if (loaded.rewrite)
        m_pending.settingsSave = true;
    if (!loaded.failure.isEmpty())
        ReportSettingsFailure(loaded.failure);
    emit PortChanged(m_strPort);
}

void CDeviceSession::WriteSettings() {
    m_pending.settingsSave = false;
    if (!m_settings)
        return;
    const QString failure = m_settings->Save(text::ToStd(m_strPort));
    if (failure.isEmpty())
        m_bSettingsFailureReported = false;
    else
        ReportSettingsFailure(failure);
}

void CDeviceSession::ReportSettingsFailure(const QString& text) {
    if (m_bSettingsFailureReported)
        return;
    m_bSettingsFailureReported = true;
    // At start-up no front end shows anything yet: tell the operator once
    // one does.
    QTimer::singleShot(0, this, [this, text] { emit Failure(text, FailureKind::Notice); });
}

} // namespace session
