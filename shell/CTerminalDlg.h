#pragma once
// The terminal's main window: the connection, remote-control and status
// groups on the left, the panel of read-outs on the right. It owns all of
// the program's state; every piece of work is one of its event handlers, run
// to completion on the user-interface thread.
#include "CMSComm.h"
#include "DialogTemplate.h"
#include "MessageSink.h"
#include "PacedSender.h"
#include "ReceiveWindow.h"
#include "Reports.h"

#include <QDialog>
#include <QFile>
#include <QIcon>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

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
} // namespace ids

inline constexpr int kWatchdogTimerId = 3;
inline constexpr int kWatchdogPeriodMs = 1000;
inline constexpr unsigned kSysCommandAbout = 0x0010;

class CTerminalDlg : public QDialog, private proto::CReportTarget {
    Q_OBJECT
public:
    explicit CTerminalDlg(TerminalEnvironment environment = {}, QWidget* parent = nullptr);
    ~CTerminalDlg() override;

    // The window's template, as data.
    static DialogTemplate Template();

    // The error boundary: runs one handler; a failure it raises ends it there
    // and is shown in a message box with the stop icon.
    void RunHandler(const std::function<void()>& handler);
    // One watchdog tick, as the timer delivers it.
    void Tick() {
        RunHandler([this] { OnTimer(kWatchdogTimerId); });
    }

    // Handlers and operations.
    void OnInitDialog();
    void OnSysCommand(unsigned id, long param);
    void OnConnect();
    void OnDisconnect();
    void OnTimer(int timerId);
    void OpenSelectedPort();
    static int PortNumberFromName(const QString& name);
    void ResetPanel();
    void OnCommEvent();
    void OnOK();
    void UpdateData(bool take);

    void OnMenu();
    void OnDown();
    void OnUp();
    void OnDynamic();
    void OnQuiet();
    void OnWarnings();
    void SendKeyCommand(uint8_t keyCode);
    void SendLevelCommand();

    void ShowLevel(uint8_t level);
    void ClearReadouts();

    void ReadSettings();
    void WriteSettings();
    void ShowAboutBox();
    // The instance line goes through the paced sender with no connection test.
    void SendDeviceInstances(const std::array<QString, 8>& instanceTexts);

    bool IsWatchdogRunning() const { return m_watchdog.isActive(); }
    const CDialogControls& Controls() const { return m_controls; }
    CMSComm& Comm() { return m_comm; }
    CiSliderX* Slider() const { return m_slider; }
    CiAnalogDisplayX* Readout(int controlId) const;
    const proto::CReceiveWindow& ReceiveWindow() const { return m_receiveWindow; }
    const QString& SettingsPath() const { return m_settingsPath; }
    // Called with each level the panel has just shown (for measurements).
    void SetLevelShownHook(std::function<void(uint8_t)> hook) { m_levelShown = std::move(hook); }

    // ---- The window's state. ----
    int m_bDeviceIdentified = 0;
    QString m_strPort;
    QString m_strProductId;
    uint32_t m_dwSerialNumber = 0;
    QString m_strFirmwareVersion;
    int m_bDynamic = 0;
    int m_bQuiet = 0;
    int m_bWarnings = 0;
    // Network status texts.
    QString m_strEngineSa;
    QString m_strTransmissionSa;
    QString m_strEngineInstance;
    QString m_strSid;
    QString m_strFuelLevelInstance;
    QString m_strBatteryInstance;
    QString m_strExhaustGasTempInstance;
    QString m_strTransmissionInstance;
    QString m_strWasteWaterInstance;
    QString m_strRudderInstance;
    QString m_strBlackWaterInstance;
    // Panel text boxes.
    QString m_strDiscreteStatus1;
    QString m_strDiscreteStatus2;
    QString m_strTransWarning;
    QString m_strRudderDirOrder;
    QString m_strCogReference;
    QString m_strRudderAngleText;
    QString m_strMaxDepthText;
    QIcon m_hIcon;
    int m_bSaveSettings = 0;
    uint8_t m_nProductCode = 0;
    uint16_t m_nFirmwareVersion = 0;
    int m_bConnected = 0;
    int m_bIdQueryPending = 0;
    int m_bTrafficSeen = 0;
    int m_bSliderBusy = 0;
    int m_bDynamicPending = 0;
    int m_bQuietPending = 0;
    int m_bWarningsPending = 0;
    // Set when the watchdog lost an identified device: a port that then
    // fails to open is retried at every tick, so the device is found again
    // when it comes back.
    int m_bRecovering = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    // Report dispatch.
    void RefreshMembers() override {
        UpdateData(true);
    }
    void WriteMembers() override {
        UpdateData(false);
    }
    void SetTrafficSeen() override {
        m_bTrafficSeen = 1;
    }
    bool IdQueryPending() const override {
        return m_bIdQueryPending != 0;
    }
    bool DeviceIdentified() const override {
        return m_nFirmwareVersion != 0;
    }
    void OnLevelAck() override;
    void OnKeyAck() override;
    void OnIdReport(const uint8_t* line) override;
    void OnLevelBroadcast(uint8_t level, uint8_t modeFlags) override;
    void OnAddressClaim(const proto::AddressClaim& claim) override;
    void OnInstanceBroadcast(const proto::InstanceReport& instances) override;

    void SendCommandLine(const uint8_t* line, int length);
    void StartWatchdog();
    void StopWatchdog();
    void EnableStatusControls(bool enable);
    void ConnectControls();
    // Shows a message unless another box is open; `failureKey` (when not
    // empty) is shown once until ClearReportedFailures.
    void ShowMessage(const QString& text, MessageIcon icon, const QString& failureKey = {});
    void ClearReportedFailures();
    void ReportSettingsFailure(const QString& what, const QString& reason);

    CDialogControls m_controls;
    std::unique_ptr<proto::CMillisecondClock> m_ownClock;
    proto::CMillisecondClock* m_clock;
    std::unique_ptr<CMessageSink> m_ownMessages;
    CMessageSink* m_messages;
    CMSComm m_comm;
    CiSliderX* m_slider = nullptr;
    QTimer m_watchdog;
    proto::CReceiveWindow m_receiveWindow;
    uint8_t m_staging[2048];
    QString m_settingsPath;
    int m_nMessageDepth = 0;
    QStringList m_reportedFailures;
    bool m_bSettingsFailureReported = false;
    std::function<void(uint8_t)> m_levelShown;
    // Where BRENDLOW_STATUS_LOG points: one line per identification and per
    // level shown, with the steady clock's nanoseconds, for scripts and
    // measurements.
    std::unique_ptr<QFile> m_statusLog;
    bool m_bPainted = false;
    void LogStatus(const char* what, const QString& detail);
};
