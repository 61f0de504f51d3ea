#include "CTerminalDlg.h"

#include "AppIcon.h"
#include "CiAnalogDisplayX.h"
#include "CiSliderX.h"
#include "CommandLine.h"
#include "DialogData.h"
#include "HexPair.h"
#include "PanelTable.h"
#include "ParameterModel.h"
#include "SettingsFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <chrono>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QString kNotFoundYet = QStringLiteral("Not Found Yet!");
const QString kNotApplicable = QStringLiteral("Not Applicable");
const QString kNotAvailable = QStringLiteral("N/A");
const QString kAboutEntry = QStringLiteral("&About Quarnel...");

// The remote-control group's controls, enabled while a device is identified.
constexpr int kRemoteControls[] = {ids::kSlider, ids::kDown,     ids::kUp,  ids::kDynamic,
                                   ids::kQuiet,  ids::kWarnings, ids::kMenu};
// The status controls that an identified device enables, captions first.
constexpr int kStatusControls[] = {ids::kSidBox,
                                   ids::kSid,
                                   ids::kFuelLevelBox,
                                   ids::kFuelLevelInstance,
                                   ids::kBatteryBox,
                                   ids::kBatteryInstance,
                                   ids::kExhaustBox,
                                   ids::kExhaustInstance,
                                   ids::kTransmissionBox,
                                   ids::kTransmissionInstance,
                                   ids::kWasteWaterBox,
                                   ids::kWasteWaterInstance,
                                   ids::kRudderBox,
                                   ids::kRudderInstance,
                                   ids::kBlackWaterBox,
                                   ids::kBlackWaterInstance,
                                   ids::kTransmissionSaBox,
                                   ids::kTransmissionSa};

QString FromStd(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

CTerminalDlg::CTerminalDlg(TerminalEnvironment env, QWidget* parent)
    : QDialog(parent),
      m_ownClock(env.clock ? nullptr : std::make_unique<proto::CSteadyMillisecondClock>()),
      m_clock(env.clock ? env.clock : m_ownClock.get()),
      m_ownMessages(env.messages ? nullptr : std::make_unique<CMessageBoxSink>()),
      m_messages(env.messages ? env.messages : m_ownMessages.get()),
      m_comm(env.serial ? std::move(env.serial)
                        : CreateSystemSerialBackend(QCoreApplication::applicationDirPath())) {
    m_settingsPath = env.settingsPath.isEmpty()
                         ? QString::fromStdString(settings::SettingsFilePath(
                               QCoreApplication::applicationFilePath().toStdString()))
                         : env.settingsPath;
    m_hIcon = ApplicationIcon();
    setWindowIcon(m_hIcon);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    m_controls.Build(this, Template());

    m_slider = m_controls.ItemAs<CiSliderX>(ids::kSlider);

    const QString statusLog = qEnvironmentVariable("BRENDLOW_STATUS_LOG");
    if (!statusLog.isEmpty()) {
        m_statusLog = std::make_unique<QFile>(statusLog);
        if (!m_statusLog->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            m_statusLog.reset();
    }
    m_watchdog.setInterval(kWatchdogPeriodMs);
    connect(&m_watchdog, &QTimer::timeout, this, [this] { Tick(); });
    ConnectControls();
    OnInitDialog();
}

CTerminalDlg::~CTerminalDlg() {
    m_watchdog.stop();
    if (m_comm.GetPortOpen())
        m_comm.SetPortOpen(false);
}

CiAnalogDisplayX* CTerminalDlg::Readout(int controlId) const {
    return m_controls.ItemAs<CiAnalogDisplayX>(controlId);
}

void CTerminalDlg::ConnectControls() {
    auto button = [this](int id, void (CTerminalDlg::*handler)()) {
        auto* w = qobject_cast<QAbstractButton*>(m_controls.Item(id));
        connect(w, &QAbstractButton::clicked, this,
                [this, handler] { RunHandler([this, handler] { (this->*handler)(); }); });
    };
    button(ids::kConnect, &CTerminalDlg::OnConnect);
    button(ids::kDisconnect, &CTerminalDlg::OnDisconnect);
    button(ids::kExit, &CTerminalDlg::OnOK);
    button(ids::kMenu, &CTerminalDlg::OnMenu);
    button(ids::kDown, &CTerminalDlg::OnDown);
    button(ids::kUp, &CTerminalDlg::OnUp);
    button(ids::kDynamic, &CTerminalDlg::OnDynamic);
    button(ids::kQuiet, &CTerminalDlg::OnQuiet);
    button(ids::kWarnings, &CTerminalDlg::OnWarnings);

    // The operator's Connect and Disconnect end any automatic recovery.
    for (int id : {ids::kConnect, ids::kDisconnect})
        connect(qobject_cast<QAbstractButton*>(m_controls.Item(id)), &QAbstractButton::pressed,
                this, [this] { m_bRecovering = 0; });

    connect(&m_comm, &CMSComm::OnComm, this, [this] { RunHandler([this] { OnCommEvent(); }); });

    // The slider: a press of the primary button, a key press or the start of
    // a wheel change makes it busy; a release, a key release or the end of a
    // change sends the level.
    connect(m_slider, &CiSliderX::MouseDown, this, [this](short buttons, short, int, int) {
        if (buttons & 1)
            m_bSliderBusy = 1;
    });
    connect(m_slider, &CiSliderX::MouseUp, this,
            [this](short, short, int, int) { RunHandler([this] { SendLevelCommand(); }); });
    connect(m_slider, &CiSliderX::KeyDown, this, [this](short, short) { m_bSliderBusy = 1; });
    connect(m_slider, &CiSliderX::KeyUp, this,
            [this](short, short) { RunHandler([this] { SendLevelCommand(); }); });
    connect(m_slider, &CiSliderX::PositionChangeBegin, this, [this] { m_bSliderBusy = 1; });
    connect(m_slider, &CiSliderX::PositionChangeEnd, this,
            [this] { RunHandler([this] { SendLevelCommand(); }); });

    // The About entry: F1 and the window's context menu (the system menu on Windows).
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this,
            [this] { RunHandler([this] { OnSysCommand(kSysCommandAbout, 0); }); });
}

// ---------------------------------------------------------------- start-up

void CTerminalDlg::OnInitDialog() {
#ifdef Q_OS_WIN
    if (HMENU menu = ::GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
        ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(menu, MF_STRING, kSysCommandAbout,
                      reinterpret_cast<LPCWSTR>(kAboutEntry.utf16()));
    }
#endif
    setWindowIcon(m_hIcon);
    ResetPanel();
    m_bSaveSettings = 0;
    ReadSettings();
    m_bTrafficSeen = 0;
    StartWatchdog();
    m_strDiscreteStatus1 = m_strDiscreteStatus2 = m_strTransWarning = m_strRudderDirOrder =
        m_strCogReference = kNotApplicable;
    UpdateData(false);
}

void CTerminalDlg::OnSysCommand(unsigned id, long) {
    if ((id & 0xFFF0) == kSysCommandAbout)
        ShowAboutBox();
}

void CTerminalDlg::contextMenuEvent(QContextMenuEvent* event) {
    // Only the window's background offers the menu.
    if (childAt(event->pos()) != nullptr && !qobject_cast<QGroupBox*>(childAt(event->pos())))
        return;
    QMenu menu(this);
    QAction* about = menu.addAction(kAboutEntry);
    if (menu.exec(event->globalPos()) == about)
        RunHandler([this] { OnSysCommand(kSysCommandAbout, 0); });
}

#ifdef Q_OS_WIN
bool CTerminalDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    auto* msg = static_cast<MSG*>(message);
    if (eventType == "windows_generic_MSG" && msg->message == WM_SYSCOMMAND &&
        (msg->wParam & 0xFFF0) == kSysCommandAbout) {
        RunHandler([this] { OnSysCommand(kSysCommandAbout, 0); });
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif

void CTerminalDlg::OnOK() {
    if (m_comm.GetPortOpen())
        m_comm.SetPortOpen(false);
    StopWatchdog();
    UpdateData(true);
    accept();
}

void CTerminalDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (!m_bPainted && m_statusLog)
        LogStatus("painted", QStringLiteral("window"));
    m_bPainted = true;
}

// ---------------------------------------------------------------- data exchange

void CTerminalDlg::UpdateData(bool take) {
    const CDialogControls& c = m_controls;
    ExchangeComboText(c.ItemAs<QComboBox>(ids::kPortList), m_strPort, take);
    ExchangeText(c.ItemAs<QLineEdit>(ids::kProductId), m_strProductId, take);
    ExchangeText(c.ItemAs<QLineEdit>(ids::kFirmwareVersion), m_strFirmwareVersion, take);
    ExchangeUnsigned(c.ItemAs<QLineEdit>(ids::kSerialNumber), m_dwSerialNumber, take);
    ExchangeCheck(c.ItemAs<QCheckBox>(ids::kDynamic), m_bDynamic, take);
    ExchangeCheck(c.ItemAs<QCheckBox>(ids::kQuiet), m_bQuiet, take);
    ExchangeCheck(c.ItemAs<QCheckBox>(ids::kWarnings), m_bWarnings, take);
    const std::pair<int, QString*> texts[] = {
        {ids::kEngineSa, &m_strEngineSa},
        {ids::kTransmissionSa, &m_strTransmissionSa},
        {ids::kEngineInstance, &m_strEngineInstance},
        {ids::kSid, &m_strSid},
        {ids::kFuelLevelInstance, &m_strFuelLevelInstance},
        {ids::kBatteryInstance, &m_strBatteryInstance},
        {ids::kExhaustInstance, &m_strExhaustGasTempInstance},
        {ids::kTransmissionInstance, &m_strTransmissionInstance},
        {ids::kWasteWaterInstance, &m_strWasteWaterInstance},
        {ids::kRudderInstance, &m_strRudderInstance},
        {ids::kBlackWaterInstance, &m_strBlackWaterInstance},
        {ids::kDiscreteStatus1, &m_strDiscreteStatus1},
        {ids::kDiscreteStatus2, &m_strDiscreteStatus2},
        {ids::kTransWarning, &m_strTransWarning},
        {ids::kRudderDirOrder, &m_strRudderDirOrder},
        {ids::kCogReference, &m_strCogReference},
        {ids::kRudderAngleText, &m_strRudderAngleText},
        {ids::kMaxDepthText, &m_strMaxDepthText},
    };
    for (const auto& [id, member] : texts)
        ExchangeText(c.ItemAs<QLineEdit>(id), *member, take);
}

// ---------------------------------------------------------------- messages

void CTerminalDlg::RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const CSerialError& e) {
        ShowMessage(e.description(), MessageIcon::Stop, e.description());
    } catch (const std::exception& e) {
        ShowMessage(QString::fromLocal8Bit(e.what()), MessageIcon::Stop,
                    QString::fromLocal8Bit(e.what()));
    }
}

void CTerminalDlg::ShowMessage(const QString& text, MessageIcon icon, const QString& failureKey) {
    // Never a box inside another box's message loop, and a failure that
    // repeats is shown once.
    if (m_nMessageDepth > 0)
        return;
    if (!failureKey.isEmpty()) {
        if (m_reportedFailures.contains(failureKey))
            return;
        m_reportedFailures << failureKey;
    }
    ++m_nMessageDepth;
    m_messages->Show(this, text, icon);
    --m_nMessageDepth;
}

void CTerminalDlg::ClearReportedFailures() {
    m_reportedFailures.clear();
}

// ---------------------------------------------------------------- connection

int CTerminalDlg::PortNumberFromName(const QString& name) {
    for (int n = 1; n <= 30; ++n)
        if (name == QStringLiteral("COM%1").arg(n))
            return n;
    return 1;
}

void CTerminalDlg::OpenSelectedPort() {
    UpdateData(true);
    const int n = PortNumberFromName(m_strPort);
    m_bConnected = 0;
    if (m_comm.GetPortOpen())
        m_comm.SetPortOpen(false);
    m_comm.SetCommPort(n);
    if (m_comm.GetPortOpen()) {
        ShowMessage(QStringLiteral("Cannot Open the selected Serial Port!"),
                    MessageIcon::Exclamation, QStringLiteral("still open"));
    } else {
        m_comm.SetPortOpen(true); // raises CSerialError when the port cannot be opened
        m_bConnected = 1;
        ClearReportedFailures();
    }
    m_comm.SetSettings(QStringLiteral("115200,n,8,1"));
    m_comm.SetInputMode(1);
    m_comm.SetRThreshold(1);
    m_comm.SetInputLen(0);
    m_comm.GetInput(); // bytes waiting from before are dropped
}

void CTerminalDlg::OnConnect() {
    UpdateData(true);
    m_bIdQueryPending = 1;
    m_strProductId = kNotFoundYet;
    m_dwSerialNumber = 0;
    UpdateData(false);
    try {
        OpenSelectedPort();
    } catch (const CSerialError&) {
        // While recovering a lost device the attempts go on at every tick.
        if (m_bRecovering)
            StartWatchdog();
        throw;
    }
    if (m_bConnected) {
        const proto::CommandLine query = proto::BuildIdQuery();
        SendCommandLine(query.bytes.data(), query.length);
    }
    StopWatchdog();
    StartWatchdog();
}

void CTerminalDlg::OnDisconnect() {
    StopWatchdog();
    ResetPanel();
}

void CTerminalDlg::OnTimer(int timerId) {
    if (timerId != kWatchdogTimerId)
        return;
    if (m_statusLog)
        LogStatus("tick", QStringLiteral("watchdog"));
    if (!m_bTrafficSeen) {
        if (m_controls.IsEnabled(ids::kDisconnect))
            m_bRecovering = 1; // an identified device went silent
        OnDisconnect();
    }
    if (m_controls.IsEnabled(ids::kConnect))
        OnConnect();
    m_bTrafficSeen = 0;
    if (m_bSaveSettings)
        WriteSettings();
}

void CTerminalDlg::StartWatchdog() {
    m_watchdog.start();
}
void CTerminalDlg::StopWatchdog() {
    m_watchdog.stop();
}

void CTerminalDlg::EnableStatusControls(bool enable) {
    for (int id : kStatusControls)
        m_controls.Enable(id, enable);
}

void CTerminalDlg::ResetPanel() {
    if (m_comm.GetPortOpen())
        m_comm.SetPortOpen(false);
    m_bConnected = 0;
    m_controls.Enable(ids::kDisconnect, false);
    m_controls.Enable(ids::kConnect, true);
    for (int id : kRemoteControls)
        m_controls.Enable(id, false);
    EnableStatusControls(false);
    m_nFirmwareVersion = 0;
    m_nProductCode = 0;
    m_slider->SetPosition(0.0);
    ClearReadouts();
    m_strProductId = kNotFoundYet;
    m_strFirmwareVersion = kNotFoundYet;
    m_dwSerialNumber = 0;
    m_bQuiet = m_bDynamic = m_bWarnings = 0;
    m_bWarningsPending = m_bQuietPending = m_bDynamicPending = m_bSliderBusy = 0;
    m_strEngineSa = m_strTransmissionSa = kNotApplicable;
    for (QString* text :
         {&m_strEngineInstance, &m_strSid, &m_strFuelLevelInstance, &m_strBatteryInstance,
          &m_strExhaustGasTempInstance, &m_strTransmissionInstance, &m_strWasteWaterInstance,
          &m_strRudderInstance, &m_strBlackWaterInstance})
        *text = kNotAvailable;
    m_bDeviceIdentified = 0;
    UpdateData(false);
}

// ---------------------------------------------------------------- sending

void CTerminalDlg::SendCommandLine(const uint8_t* line, int length) {
    // Nothing else is handled until the line is out; bytes that arrive
    // meanwhile are read by a receive event afterwards.
    {
        const QSignalBlocker hold(&m_comm.Backend());
        proto::SendCommandLine(m_comm, *m_clock, line, length);
    }
    QTimer::singleShot(0, this, [this] { RunHandler([this] { OnCommEvent(); }); });
}

void CTerminalDlg::OnMenu() {
    UpdateData(true);
    SendKeyCommand(proto::kKeyMenu);
}
void CTerminalDlg::OnDown() {
    UpdateData(true);
    SendKeyCommand(proto::kKeyDown);
}
void CTerminalDlg::OnUp() {
    UpdateData(true);
    SendKeyCommand(proto::kKeyUp);
}
void CTerminalDlg::OnDynamic() {
    m_bDynamicPending = 1;
    UpdateData(true);
    SendKeyCommand(proto::kKeyDynamic);
}
void CTerminalDlg::OnQuiet() {
    m_bQuietPending = 1;
    UpdateData(true);
    SendKeyCommand(proto::kKeyQuiet);
}
void CTerminalDlg::OnWarnings() {
    m_bWarningsPending = 1;
    UpdateData(true);
    SendKeyCommand(proto::kKeyWarnings);
}

void CTerminalDlg::SendKeyCommand(uint8_t keyCode) {
    const proto::CommandLine line = proto::BuildKeyCommand(keyCode);
    if (m_bConnected)
        SendCommandLine(line.bytes.data(), line.length);
}

void CTerminalDlg::SendLevelCommand() {
    m_bSliderBusy = 1;
    UpdateData(true);
    const auto level = static_cast<uint8_t>(static_cast<int>(m_slider->GetPosition()) & 0xFF);
    const proto::CommandLine line = proto::BuildLevelCommand(level);
    if (m_bConnected)
        SendCommandLine(line.bytes.data(), line.length);
}

// ---------------------------------------------------------------- receiving

void CTerminalDlg::OnCommEvent() {
    if (m_comm.GetCommEvent() != CMSComm::kEventReceive)
        return;
    const QByteArray input = m_comm.GetInput();
    if (!m_bConnected || input.isEmpty())
        return;
    // Framed through the staging buffer, a buffer's worth at a time.
    const qsizetype total = input.size();
    for (qsizetype offset = 0; offset < total; offset += qsizetype(sizeof m_staging)) {
        const int count = static_cast<int>(std::min<qsizetype>(sizeof m_staging, total - offset));
        std::memcpy(m_staging, input.constData() + offset, static_cast<size_t>(count));
        m_receiveWindow.Push(m_staging, count, [this](const uint8_t* line, int length) {
            proto::DispatchReport(line, length, *this);
        });
    }
}

void CTerminalDlg::OnLevelAck() {
    m_bSliderBusy = 0;
}

void CTerminalDlg::OnKeyAck() {
    m_bDynamicPending = m_bQuietPending = m_bWarningsPending = 0;
}

void CTerminalDlg::OnIdReport(const uint8_t* line) {
    m_bIdQueryPending = 0;
    m_bSaveSettings = 1;
    if (!proto::IdReportChecksumValid(line))
        return;
    const proto::IdReport report = proto::DecodeIdReport(line);
    m_nProductCode = report.productCode;
    m_strProductId = FromStd(proto::ProductName(report.productCode));
    const bool known = proto::IsKnownProduct(report.productCode);
    m_bDeviceIdentified = known ? 1 : 0;
    m_dwSerialNumber = report.serialNumber;
    m_nFirmwareVersion = static_cast<uint16_t>(report.firmwareByte + 1);
    m_strFirmwareVersion = FromStd(proto::FirmwareVersionText(m_nFirmwareVersion));
    for (int id : kRemoteControls)
        m_controls.Enable(id, true);
    EnableStatusControls(true);
    m_controls.Enable(ids::kDisconnect, true);
    m_controls.Enable(ids::kConnect, false);
    UpdateData(false);
    m_bRecovering = 0;
    if (m_statusLog && known)
        LogStatus("identified", m_strProductId);
    if (!known)
        OnDisconnect();
}

void CTerminalDlg::OnLevelBroadcast(uint8_t level, uint8_t modeFlags) {
    if (!m_bQuietPending)
        m_bQuiet = (modeFlags & proto::kModeQuietOff) ? 0 : 1;
    if (!m_bDynamicPending)
        m_bDynamic = (modeFlags & proto::kModeDynamic) ? 1 : 0;
    if (!m_bWarningsPending)
        m_bWarnings = (modeFlags & proto::kModeWarnings) ? 1 : 0;
    UpdateData(false);
    if (m_bSliderBusy)
        return;
    m_slider->SetPosition(level);
    ShowLevel(level);
}

void CTerminalDlg::OnAddressClaim(const proto::AddressClaim& claim) {
    m_strEngineSa = FromStd(proto::EngineSaText(claim));
    m_strTransmissionSa = FromStd(proto::TransmissionSaText(claim));
    UpdateData(false);
}

void CTerminalDlg::OnInstanceBroadcast(const proto::InstanceReport& r) {
    auto text = [](uint8_t v) { return FromStd(proto::FormatDecimal(v)); };
    m_strEngineInstance = text(r.engine);
    m_strSid = text(r.sid);
    m_strFuelLevelInstance = text(r.fuelLevel & 0x0F);
    m_strBatteryInstance = text(r.battery);
    m_strExhaustGasTempInstance = text(r.exhaustGasTemp);
    m_strTransmissionInstance = text(r.transmission);
    m_strWasteWaterInstance = text(r.wasteWater);
    m_strRudderInstance = text(r.rudder);
    m_strBlackWaterInstance = text(r.blackWater);
    UpdateData(false);
}

// ---------------------------------------------------------------- panel

void CTerminalDlg::ShowLevel(uint8_t level) {
    UpdateData(true);
    const panel::PanelValues v =
        panel::ScaleRawValues(panel::ComputeRawValues(level, m_bWarnings != 0));
    for (const panel::ReadoutSetting& r : v.readouts) {
        // A read-out hidden behind its alternate text keeps its old value.
        if ((r.controlId == ids::kMaxDepthRange && v.depthRangeAlternate) ||
            (r.controlId == ids::kRudderAngleOrder && v.rudderAngleAlternate))
            continue;
        if (CiAnalogDisplayX* readout = Readout(r.controlId))
            readout->SetValue(r.value);
    }
    m_controls.Show(ids::kMaxDepthRange, !v.depthRangeAlternate);
    m_controls.Show(ids::kMaxDepthText, v.depthRangeAlternate);
    if (v.depthRangeAlternate)
        m_strMaxDepthText = FromStd(v.depthRangeText);
    m_controls.Show(ids::kRudderAngleOrder, !v.rudderAngleAlternate);
    m_controls.Show(ids::kRudderAngleText, v.rudderAngleAlternate);
    if (v.rudderAngleAlternate)
        m_strRudderAngleText = FromStd(v.rudderAngleText);
    m_strCogReference = FromStd(v.cogReference);
    m_strRudderDirOrder = FromStd(v.rudderDirOrder);
    m_strTransWarning = FromStd(v.transWarning);
    m_strDiscreteStatus1 = FromStd(v.discreteStatus1);
    m_strDiscreteStatus2 = FromStd(v.discreteStatus2);
    UpdateData(false);
    if (m_levelShown)
        m_levelShown(level);
    if (m_statusLog)
        LogStatus("level", QString::number(level));
}

void CTerminalDlg::LogStatus(const char* what, const QString& detail) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
    m_statusLog->write(
        QStringLiteral("%1 %2 %3\n").arg(QLatin1String(what), detail).arg(ns).toUtf8());
}

void CTerminalDlg::ClearReadouts() {
    UpdateData(true);
    for (const panel::PanelEntry& e : panel::kPanelEntries)
        if (CiAnalogDisplayX* readout = Readout(e.controlId))
            readout->SetValue(0.0);
    m_controls.Show(ids::kMaxDepthText, false);
    m_controls.Show(ids::kRudderAngleText, false);
    m_controls.Show(ids::kMaxDepthRange, true);
    m_controls.Show(ids::kRudderAngleOrder, true);
    m_strCogReference = m_strRudderDirOrder = m_strTransWarning = m_strDiscreteStatus1 =
        m_strDiscreteStatus2 = kNotApplicable;
    UpdateData(false);
}
