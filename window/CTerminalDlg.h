#pragma once
// The terminal's main window: the connection, remote-control and status
// groups on the left, the panel of read-outs on the right. It is the device
// session's view: it renders what the session reports and forwards the
// operator's actions to it; the conversation with the device lives there.
#include "session/CDeviceSession.h"
#include "widgets/DialogTemplate.h"
#include "widgets/MessageSink.h"
#include "widgets/RepaintThrottle.h"
#include "window/PanelView.h"

#include <QDialog>
#include <QFile>
#include <QIcon>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class CTrafficDlg;
class CiAnalogDisplayX;
class CiSliderX;

// What the window runs on; tests swap in fakes.
struct TerminalEnvironment {
    std::unique_ptr<CSerialBackend> serial;    // default: the system's serial ports
    proto::CMillisecondClock* clock = nullptr; // default: the steady clock
    CMessageSink* messages = nullptr;          // default: message boxes
    QString settingsPath;                      // default: beside the executable
};

// Control ids of the main window.
namespace ids {
inline constexpr int kExit = 1;
inline constexpr int kConnect = 1000;
inline constexpr int kDisconnect = 1001;
inline constexpr int kPortList = 1002;
inline constexpr int kProductId = 1003;
inline constexpr int kFirmwareVersion = 1004;
inline constexpr int kSerialNumber = 1005;
inline constexpr int kComm = 1006;
inline constexpr int kMenu = 1007;
inline constexpr int kDown = 1008;
inline constexpr int kUp = 1009;
inline constexpr int kDynamic = 1010;
inline constexpr int kQuiet = 1011;
inline constexpr int kWarnings = 1012;
inline constexpr int kSlider = 1013;
inline constexpr int kEngineSa = 1014;
inline constexpr int kTransmissionSa = 1015;
inline constexpr int kEngineSaBox = 1016;
inline constexpr int kTransmissionSaBox = 1017;
inline constexpr int kEngineInstance = 1018;
inline constexpr int kExhaustInstance = 1019;
inline constexpr int kExhaustBox = 1020;
inline constexpr int kFuelLevelInstance = 1021;
inline constexpr int kFuelLevelBox = 1022;
inline constexpr int kBatteryInstance = 1023;
inline constexpr int kBatteryBox = 1024;
inline constexpr int kTransmissionInstance = 1025;
inline constexpr int kTransmissionBox = 1026;
inline constexpr int kWasteWaterInstance = 1027;
inline constexpr int kWasteWaterBox = 1028;
inline constexpr int kBlackWaterInstance = 1029;
inline constexpr int kBlackWaterBox = 1030;
inline constexpr int kRudderInstance = 1031;
inline constexpr int kRudderBox = 1032;
inline constexpr int kDiscreteStatus1 = 1033;
inline constexpr int kTransWarning = 1034;
inline constexpr int kDiscreteStatus2 = 1036;
inline constexpr int kRudderDirOrder = 1038;
inline constexpr int kRudderAngleOrder = 1071;
inline constexpr int kRudderAngleText = 1072;
inline constexpr int kMaxDepthRange = 1074;
inline constexpr int kMaxDepthText = 1077;
inline constexpr int kCogReference = 1083;
inline constexpr int kSid = 1084;
inline constexpr int kSidBox = 1085;
// The instance texts in the order of the instance line (device::kInstanceFields).
inline constexpr int kInstanceTexts[8] = {
    kEngineInstance,       kFuelLevelInstance,  kBatteryInstance, kExhaustInstance,
    kTransmissionInstance, kWasteWaterInstance, kRudderInstance,  kBlackWaterInstance};
} // namespace ids

inline constexpr unsigned kSysCommandAbout = 0x0010;

class CTerminalDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTerminalDlg(TerminalEnvironment environment = {}, QWidget* parent = nullptr);
    ~CTerminalDlg() override;

    // The window's template, as data.
    static DialogTemplate Template();

    session::CDeviceSession& Session() { return m_session; }
    // One watchdog tick, as the timer delivers it.
    void Tick() { m_session.Tick(); }
    bool IsWatchdogRunning() const { return m_session.IsWatchdogRunning(); }

    void OnSysCommand(unsigned id, long param);
    // Sets every read-out and text box of the panel for a level, with the
    // Warnings mode as the device reports it now.
    void ShowLevel(uint8_t level);
    void ShowLevel(uint8_t level, bool warnings);

    const CDialogControls& Controls() const { return m_controls; }
    CiSliderX* Slider() const { return m_slider; }
    CiAnalogDisplayX* Readout(int controlId) const;
    // Called with each level the panel has just shown (for measurements).
    void SetLevelShownHook(std::function<void(uint8_t)> hook) { m_levelShown = std::move(hook); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    void OnInitDialog();
    void ConnectControls();
    void ConnectSession();
    void OnOK();
    void SendLevelCommand();
    void ShowAboutBox();
    void ShowSerialPorts();
    void CopyValues();
    void ShowTraffic();
    void ShowPortTargets();

    // What the session reports.
    void ResetPanel();
    void OnIdentified(const session::DeviceIdentity& identity);
    void OnLevelReported(const session::LevelStatus& status);
    void OnAddressClaim(const proto::AddressClaim& claim);
    void OnInstances(const proto::InstanceReport& instances);
    void OnFailure(const QString& text, session::FailureKind kind);

    void ShowPendingLevel();
    void ClearReadouts();
    void SetText(int id, const QString& text) const;
    void SetChecked(int id, bool checked) const;
    void EnableStatusControls(bool enable);

    // Shows a message; while another box or dialog of ours is open it waits
    // for that one to close, so no box opens over another.
    void ShowMessage(const QString& text, MessageIcon icon);
    // Runs a modal box or dialog; messages that arise meanwhile follow it.
    void RunModal(const std::function<void()>& modal);

    CDialogControls m_controls;
    std::unique_ptr<CMessageSink> m_ownMessages;
    CMessageSink* m_messages;
    // The traffic monitor, made on first use.
    CTrafficDlg* m_traffic = nullptr;
    // Where the remembered port and the port links live.
    QString m_dataFolder;
    session::CDeviceSession m_session;
    CiSliderX* m_slider = nullptr;
    QIcon m_hIcon;
    int m_nMessageDepth = 0;
    QList<QPair<QString, MessageIcon>> m_waitingMessages;
    std::function<void(uint8_t)> m_levelShown;
    // What the panel shows; details and copies are made from it.
    CPanelView m_panel{m_controls};
    // The panel shows at most one level a frame: the latest broadcast waits
    // here for the frame's end (the slider, the check boxes and the status
    // log follow every broadcast).
    std::optional<std::pair<uint8_t, bool>> m_pendingLevel;
    CRepaintThrottle m_levelFrame{[this] { ShowPendingLevel(); }};
    // Where BRENDLOW_STATUS_LOG points: one line per identification and per
    // level shown, with the steady clock's nanoseconds, for scripts and
    // measurements.
    std::unique_ptr<QFile> m_statusLog;
    bool m_bPainted = false;
    QByteArray m_statusLines; // written at once, or with the frame's level
    void LogStatus(const char* what, const QString& detail, bool now = true);
};
