#include "window/CTerminalDlg.h"

#include "core/InstanceManagement.h"
#include "core/PanelFields.h"
#include "core/ParameterModel.h"
#include "core/ProductInfo.h"
#include "core/SettingsFile.h"
#include "session/Latin1.h"
#include "session/PanelSnapshot.h"
#include "session/PortMap.h"
#include "session/SystemSerialBackend.h"
#include "widgets/AppIcon.h"
#include "widgets/CiAnalogDisplayX.h"
#include "widgets/CiSliderX.h"
#include "widgets/DialogData.h"
#include "window/CAboutDlg.h"
#include "window/CPlotDlg.h"
#include "window/CScenarioDlg.h"
#include "window/CSerialPortsDlg.h"
#include "window/CTrafficDlg.h"
#include "window/PanelAccessibility.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QString kNotAvailable = QStringLiteral("N/A");
const QString kAboutEntry = QStringLiteral("&About Quarnel...");

session::SessionEnvironment SessionParts(TerminalEnvironment& env, const QString& dataFolder) {
    session::SessionEnvironment s;
    s.serial = env.serial ? std::move(env.serial) : CreateSystemSerialBackend(dataFolder);
    s.clock = env.clock;
    // The file's name comes from the executable's; it lives in the data folder.
    s.settingsPath =
        env.settingsPath.isEmpty()
            ? QDir(dataFolder)
                  .filePath(QFileInfo(QString::fromStdString(settings::SettingsFilePath(
                                          QCoreApplication::applicationFilePath().toStdString())))
                                .fileName())
            : env.settingsPath;
    return s;
}

} // namespace

CTerminalDlg::CTerminalDlg(TerminalEnvironment env, QWidget* parent)
    : QDialog(parent), m_ownMessages(env.messages ? nullptr : std::make_unique<CMessageBoxSink>()),
      m_messages(env.messages ? *env.messages : *m_ownMessages, this),
      m_dataFolder(ports::DataFolder(QCoreApplication::applicationDirPath())),
      m_session(SessionParts(env, m_dataFolder)) {
    m_started.start();
    m_historyClock = env.historyClock ? env.historyClock : [this] { return m_started.elapsed(); };
    m_hIcon = ApplicationIcon();
    setWindowIcon(m_hIcon);
    // A top-level window of its own, so that task bars list it; it keeps
    // the dialog's keys (Enter presses the default button, Escape closes).
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    m_controls.Build(this, Template());
    m_panel.emplace(m_controls);
    m_modeBoxes = {m_controls.ItemAs<QCheckBox>(ids::kDynamic),
                   m_controls.ItemAs<QCheckBox>(ids::kQuiet),
                   m_controls.ItemAs<QCheckBox>(ids::kWarnings)};
    m_slider = m_controls.ItemAs<CiSliderX>(ids::kSlider);
    m_controls.ItemAs<QComboBox>(ids::kPortList)->installEventFilter(this);
    MakePanelAccessible(m_controls);
    // The panel's controls explain themselves when hovered.
    for (const panel::PanelEntry& e : panel::kPanelEntries)
        if (QWidget* w = m_controls.Item(e.controlId))
            w->installEventFilter(this);

    ConnectSession();
    ConnectControls();
    OnInitDialog();
    // For measurements: the traffic monitor open from the start.
    if (qEnvironmentVariableIsSet("BRENDLOW_TRAFFIC_MONITOR"))
        QTimer::singleShot(0, this, &CTerminalDlg::ShowTraffic);
    // For screenshots: the scenario player open from the start on this file,
    // playing once the device answers.
    if (const QString file = qEnvironmentVariable("BRENDLOW_SCENARIO"); !file.isEmpty())
        QTimer::singleShot(0, this, [this, file] {
            ShowScenario();
            if (m_scenario->Load(file))
                connect(
                    &m_session, &session::CDeviceSession::Identified, m_scenario,
                    [this] { m_scenario->Player().Play(); }, Qt::SingleShotConnection);
        });
    // For measurements and screenshots: the plot open from the start on
    // these read-outs (control ids, comma-separated).
    if (const QString plotted = qEnvironmentVariable("BRENDLOW_PLOT"); !plotted.isEmpty())
        QTimer::singleShot(0, this, [this, plotted] {
            for (const QString& id : plotted.split(QLatin1Char(',')))
                ShowPlot(session::ReadoutIndex(id.toInt()));
        });
}

CTerminalDlg::~CTerminalDlg() {
    delete m_traffic; // it listens to the session, which goes before the window's children
    delete m_plot;    // it reads the history, which goes before them too
    m_session.Stop();
}

CiAnalogDisplayX* CTerminalDlg::Readout(int controlId) const {
    return m_panel->Readout(controlId);
}

void CTerminalDlg::ConnectSession() {
    using session::CDeviceSession;
    connect(&m_session, &CDeviceSession::PanelReset, this, &CTerminalDlg::ResetPanel);
    connect(&m_session, &CDeviceSession::Identified, this, &CTerminalDlg::OnIdentified);
    connect(&m_session, &CDeviceSession::LevelReported, this, &CTerminalDlg::OnLevelReported);
    // Every broadcast, whatever the slider does: the plot shows the device.
    connect(&m_session, &CDeviceSession::LevelReported, this,
            [this](const session::LevelStatus& status) {
                m_history.Record(HistoryNowMs(), status.level, status.modes.warnings);
            });
    connect(&m_session, &CDeviceSession::AddressClaimReported, this, &CTerminalDlg::OnAddressClaim);
    connect(&m_session, &CDeviceSession::InstancesReported, this, &CTerminalDlg::OnInstances);
    connect(&m_session, &CDeviceSession::Failure, this, &CTerminalDlg::OnFailure);
    connect(&m_session, &CDeviceSession::PortChanged, this, [this](const QString& port) {
        QString shown = port;
        ExchangeComboText(m_controls.ItemAs<QComboBox>(ids::kPortList), shown, false);
    });
    if (m_statusLog)
        connect(&m_session, &CDeviceSession::Ticked, this,
                [this] { m_statusLog->Write("tick", QStringLiteral("watchdog")); });
}

void CTerminalDlg::ConnectControls() {
    auto button = [this](int id, auto action) {
        connect(qobject_cast<QAbstractButton*>(m_controls.Item(id)), &QAbstractButton::clicked,
                this, action);
    };
    using session::Key;
    using session::Mode;
    button(ids::kConnect, [this] { m_session.Connect(); });
    button(ids::kDisconnect, [this] { m_session.Disconnect(); });
    button(ids::kExit, [this] { OnOK(); });
    const std::pair<int, Key> keys[] = {
        {ids::kMenu, Key::Menu}, {ids::kDown, Key::Down}, {ids::kUp, Key::Up}};
    for (const auto& [id, key] : keys)
        button(id, [this, key] {
            OperatorActs(tr("a key was pressed"));
            m_session.PressKey(key);
        });
    // A mode check box toggles itself; the session learns its new state.
    const std::pair<int, Mode> modes[] = {{ids::kDynamic, Mode::Dynamic},
                                          {ids::kQuiet, Mode::Quiet},
                                          {ids::kWarnings, Mode::Warnings}};
    for (const auto& [id, mode] : modes) {
        auto* box = m_controls.ItemAs<QCheckBox>(id);
        connect(box, &QCheckBox::clicked, this, [this, box, mode] {
            OperatorActs(tr("a mode was changed"));
            m_session.SetMode(mode, box->isChecked());
        });
    }

    // The port list is where the operator names the port the session opens.
    connect(m_controls.ItemAs<QComboBox>(ids::kPortList), &QComboBox::currentTextChanged,
            &m_session, &session::CDeviceSession::SetPort);

    // The slider: a press of the primary button, a key press or the start of
    // a wheel change holds it; a release, a key release or the end of a
    // change sends the level.
    const auto hold = [this] {
        OperatorActs(tr("the slider was moved"));
        m_session.HoldLevel();
    };
    connect(m_slider, &CiSliderX::MouseDown, this, [hold](short buttons, short, int, int) {
        if (buttons & 1)
            hold();
    });
    connect(m_slider, &CiSliderX::MouseUp, this, [this] { SendLevelCommand(); });
    connect(m_slider, &CiSliderX::KeyDown, this, hold);
    connect(m_slider, &CiSliderX::KeyUp, this, [this] { SendLevelCommand(); });
    connect(m_slider, &CiSliderX::PositionChangeBegin, this, hold);
    connect(m_slider, &CiSliderX::PositionChangeEnd, this, [this] { SendLevelCommand(); });

    auto* copy = new QShortcut(QKeySequence::Copy, this);
    connect(copy, &QShortcut::activated, this, &CTerminalDlg::CopyValues);
    auto* traffic = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this);
    connect(traffic, &QShortcut::activated, this, &CTerminalDlg::ShowTraffic);

    // The About entry: F1 and the window's context menu (the system menu on Windows).
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { OnSysCommand(kSysCommandAbout, 0); });
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
    ShowPortTargets();
    m_session.Start();
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
    QAction* serialPorts = menu.addAction(tr("&Serial Ports..."));
    QAction* traffic = menu.addAction(tr("&Traffic..."));
    traffic->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    QAction* scenario = menu.addAction(tr("Sce&nario..."));
    QAction* plot = menu.addAction(tr("&Plot..."));
    menu.addSeparator();
    QAction* copy = menu.addAction(tr("&Copy Values"));
    copy->setShortcut(QKeySequence::Copy);
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == about)
        OnSysCommand(kSysCommandAbout, 0);
    else if (chosen == serialPorts)
        ShowSerialPorts();
    else if (chosen == traffic)
        ShowTraffic();
    else if (chosen == scenario)
        ShowScenario();
    else if (chosen == plot)
        ShowPlot();
    else if (chosen == copy)
        CopyValues();
}

void CTerminalDlg::ShowTraffic() {
    // One monitor, non-modal: the panel goes on while it is open.
    if (m_traffic == nullptr)
        m_traffic = new CTrafficDlg(m_session, this);
    m_traffic->show();
    m_traffic->raise();
    m_traffic->activateWindow();
}

CScenarioDlg& CTerminalDlg::Scenario() {
    if (m_scenario == nullptr)
        m_scenario = new CScenarioDlg(m_session, this);
    return *m_scenario;
}

void CTerminalDlg::ShowScenario() {
    // Non-modal, as the traffic monitor: the panel shows the run.
    Scenario().show();
    m_scenario->raise();
    m_scenario->activateWindow();
}

void CTerminalDlg::OperatorActs(const QString& what) {
    if (m_scenario != nullptr)
        m_scenario->OperatorActed(what);
}

CPlotDlg* CTerminalDlg::ShowPlot(int readout) {
    // One plot, non-modal, as the traffic monitor.
    if (m_plot == nullptr)
        m_plot = new CPlotDlg(
            m_history, [this] { return HistoryNowMs(); }, this);
    m_plot->SetPlotted(readout, true);
    m_plot->show();
    m_plot->raise();
    m_plot->activateWindow();
    return m_plot;
}

bool CTerminalDlg::ShowReadoutMenu(QObject* watched, const QContextMenuEvent& event) {
    for (int r = 0; r < panel::kReadoutCount; ++r) {
        if (m_controls.Item(session::ReadoutEntry(r).controlId) != watched)
            continue;
        QMenu menu(this);
        QAction* plotThis = menu.addAction(tr("Plot &This"));
        QAction* plot = menu.addAction(tr("&Plot..."));
        QAction* chosen = menu.exec(event.globalPos());
        if (chosen == plotThis)
            ShowPlot(r);
        else if (chosen == plot)
            ShowPlot();
        return true;
    }
    return false;
}

bool CTerminalDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ContextMenu &&
        ShowReadoutMenu(watched, *static_cast<QContextMenuEvent*>(event)))
        return true;
    if (event->type() == QEvent::ToolTip &&
        m_panel->ShowDetails(watched, *static_cast<QHelpEvent*>(event)))
        return true;
    // The port box would take Ctrl+C as a copy of its own text; on this
    // window the key copies the panel, wherever the focus is.
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy) &&
        watched == m_controls.Item(ids::kPortList))
        return true;
    return QDialog::eventFilter(watched, event);
}

void CTerminalDlg::CopyValues() {
    QGuiApplication::clipboard()->setText(panel::CopyText(m_panel->Shown()));
}

void CTerminalDlg::ShowSerialPorts() {
    CSerialPortsDlg dialog(m_dataFolder, this);
    m_messages.RunModal([&] { dialog.exec(); });
    ShowPortTargets();
}

void CTerminalDlg::ShowPortTargets() {
    // Each item of the port list tells what it opens now.
    auto* portList = m_controls.ItemAs<QComboBox>(ids::kPortList);
    for (int i = 0; i < portList->count() && i < ports::kPortCount; ++i)
        portList->setItemData(i, ports::Describe(i + 1, m_dataFolder), Qt::ToolTipRole);
}

#ifdef Q_OS_WIN
bool CTerminalDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    auto* msg = static_cast<MSG*>(message);
    if (eventType == "windows_generic_MSG" && msg->message == WM_SYSCOMMAND &&
        (msg->wParam & 0xFFF0) == kSysCommandAbout) {
        OnSysCommand(kSysCommandAbout, 0);
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif

void CTerminalDlg::OnOK() {
    m_session.Stop();
    accept();
}

void CTerminalDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (!m_bPainted && m_statusLog)
        m_statusLog->Write("painted", QStringLiteral("window"));
    m_bPainted = true;
}

// ---------------------------------------------------------------- messages

void CTerminalDlg::OnFailure(const QString& text, session::FailureKind kind) {
    m_messages.Show(text, kind == session::FailureKind::Error ? MessageIcon::Stop
                                                              : MessageIcon::Exclamation);
}

// ---------------------------------------------------------------- the session's state

void CTerminalDlg::SetText(int id, const QString& text) const {
    if (auto* edit = m_controls.ItemAs<QLineEdit>(id); edit && edit->text() != text)
        edit->setText(text);
}

void CTerminalDlg::ShowModes(const session::Modes& modes) {
    // Every broadcast comes here, hundreds a second in a flood: the boxes
    // were found once.
    const bool checked[] = {modes.dynamic, modes.quiet, modes.warnings};
    for (size_t i = 0; i < m_modeBoxes.size(); ++i)
        if (m_modeBoxes[i]->isChecked() != checked[i])
            m_modeBoxes[i]->setChecked(checked[i]);
}
void CTerminalDlg::EnableStatusControls(bool enable) {
    for (int id : ids::kStatusControls)
        m_controls.Enable(id, enable);
}

void CTerminalDlg::ResetPanel() {
    m_controls.Enable(ids::kDisconnect, false);
    m_controls.Enable(ids::kConnect, true);
    for (int id : ids::kRemoteControls)
        m_controls.Enable(id, false);
    EnableStatusControls(false);
    m_slider->SetPosition(0.0);
    ClearReadouts();
    SetText(ids::kProductId, QString::fromLatin1(device::kNotFoundYet));
    SetText(ids::kFirmwareVersion, QString::fromLatin1(device::kNotFoundYet));
    SetText(ids::kSerialNumber, QStringLiteral("0"));
    ShowModes(session::Modes());
    for (int id : {ids::kEngineSa, ids::kTransmissionSa})
        SetText(id, panel::NotApplicableText());
    for (int id : ids::kInstanceTexts)
        SetText(id, kNotAvailable);
    SetText(ids::kSid, kNotAvailable);
}

void CTerminalDlg::OnIdentified(const session::DeviceIdentity& identity) {
    SetText(ids::kProductId, identity.product);
    SetText(ids::kFirmwareVersion, identity.firmware);
    SetText(ids::kSerialNumber, QString::number(identity.serialNumber));
    for (int id : ids::kRemoteControls)
        m_controls.Enable(id, true);
    EnableStatusControls(true);
    m_controls.Enable(ids::kDisconnect, true);
    m_controls.Enable(ids::kConnect, false);
    if (m_statusLog && identity.known)
        m_statusLog->Write("identified", identity.product);
}

void CTerminalDlg::OnLevelReported(const session::LevelStatus& status) {
    ShowModes(status.modes);
    if (!status.follows)
        return;
    if (m_statusLog)
        m_statusLog->Hold("level", QString::number(status.level));
    m_pendingLevel = std::make_pair(status.level, status.modes.warnings);
    m_levelFrame.Request();
}

void CTerminalDlg::ShowPendingLevel() {
    if (m_statusLog)
        m_statusLog->Flush();
    // Nothing to do when reset meanwhile.
    const std::optional<std::pair<uint8_t, bool>> pending = std::exchange(m_pendingLevel, {});
    if (!pending)
        return;
    // The slider moves with the panel, once a frame: moving it at every
    // broadcast of a flood cost a fifth of the terminal's time, for a pointer
    // drawn once a frame anyway. One the operator took hold of meanwhile
    // stays where it is.
    if (!m_session.IsSliderBusy())
        m_slider->SetPosition(pending->first);
    const panel::PanelSnapshot& shown = m_panel->Shown();
    if (shown.level == pending->first && shown.warnings == pending->second)
        return;
    ShowLevel(pending->first, pending->second);
}

void CTerminalDlg::OnAddressClaim(const proto::AddressClaim& claim) {
    SetText(ids::kEngineSa, text::FromStd(proto::EngineSaText(claim)));
    SetText(ids::kTransmissionSa, text::FromStd(proto::TransmissionSaText(claim)));
}

void CTerminalDlg::OnInstances(const proto::InstanceReport& instances) {
    const std::array<uint8_t, 8> values = device::InstancesInLineOrder(instances);
    for (size_t i = 0; i < values.size(); ++i)
        SetText(ids::kInstanceTexts[i], QString::number(values[i]));
    SetText(ids::kSid, QString::number(instances.sid));
}

// ---------------------------------------------------------------- operator

void CTerminalDlg::SendLevelCommand() {
    m_session.SendLevel(static_cast<uint8_t>(static_cast<int>(m_slider->GetPosition()) & 0xFF));
}

void CTerminalDlg::ShowAboutBox() {
    CAboutDlg about(&m_messages.Sink(), m_hIcon, this);
    if (m_session.IsDeviceIdentified()) {
        const session::DeviceIdentity& identity = m_session.Identity();
        about.m_strProductId = identity.product;
        about.m_strFirmwareVersion = identity.firmware;
        about.m_dwSerialNumber = identity.serialNumber;
        if (const auto& instances = m_session.Instances()) {
            const std::array<uint8_t, 8> values = device::InstancesInLineOrder(*instances);
            for (size_t i = 0; i < values.size(); ++i)
                about.m_strInstances[i] = QString::number(values[i]);
        }
    } else {
        about.m_strProductId = about.m_strFirmwareVersion =
            QString::fromLatin1(device::kNotFoundYet);
        about.m_dwSerialNumber = 0;
    }
    int result = CAboutDlg::kResultCancel;
    m_messages.RunModal([&] { result = about.DoModal(); });
    if (result != CAboutDlg::kResultOk || !about.m_bConfirmUpdate)
        return;
    std::array<uint8_t, 8> values{};
    for (size_t i = 0; i < values.size(); ++i) {
        const QByteArray text = about.m_strInstances[i].toLatin1();
        values[i] =
            device::InstanceFromText(std::string_view(text.constData(), size_t(text.size())));
    }
    m_session.SendInstances(values);
}

// ---------------------------------------------------------------- panel

void CTerminalDlg::ShowLevel(uint8_t level) {
    ShowLevel(level, m_session.CurrentModes().warnings);
}

void CTerminalDlg::ShowLevel(uint8_t level, bool warnings) {
    m_panel->Show(panel::SnapshotAt(level, warnings));
    if (m_levelShown)
        m_levelShown(level);
}

void CTerminalDlg::ClearReadouts() {
    m_pendingLevel.reset();
    m_panel->Show(panel::ClearedSnapshot());
}
