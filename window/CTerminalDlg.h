#pragma once
// The terminal's main window: the connection, remote-control and status
// groups on the left, the panel of read-outs on the right. It is the device
// session's view: it renders what the session reports and forwards the
// operator's actions to it; the conversation with the device lives there.
#include "session/CDeviceSession.h"
#include "session/ReadoutHistory.h"
#include "widgets/DialogTemplate.h"
#include "widgets/MessageQueue.h"
#include "widgets/RepaintThrottle.h"
#include "window/ControlIds.h"
#include "window/PanelView.h"
#include "window/StatusLog.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class CScenarioDlg;
class CPlotDlg;
class CTrafficDlg;
class CiAnalogDisplayX;
class CiSliderX;
class QCheckBox;

// What the window runs on; tests swap in fakes.
struct TerminalEnvironment {
    std::unique_ptr<CSerialBackend> serial;    // default: the system's serial ports
    proto::CMillisecondClock* clock = nullptr; // default: the steady clock
    CMessageSink* messages = nullptr;          // default: message boxes
    QString settingsPath;                      // default: beside the executable
    // Milliseconds the read-out history is kept by; default: since the window was made.
    std::function<int64_t()> historyClock;
};

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
    // The scenario player, opened as "Scenario..." opens it.
    CScenarioDlg& Scenario();
    // The last hour of every read-out since the window was made, and the
    // clock it is kept by (milliseconds since then).
    const session::CReadoutHistory& History() const { return m_history; }
    int64_t HistoryNowMs() const { return m_historyClock(); }
    // The plot, opened with `readout` (a place in panel order) plotted
    // too; -1 adds none.
    CPlotDlg* ShowPlot(int readout = -1);
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
    void ShowScenario();
    // The operator drives the device by hand: a scenario playing pauses.
    void OperatorActs(const QString& what);
    void ShowPortTargets();
    // A read-out's own menu; false when `watched` is no read-out.
    bool ShowReadoutMenu(QObject* watched, const QContextMenuEvent& event);

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
    void ShowModes(const session::Modes& modes);
    void EnableStatusControls(bool enable);

    CDialogControls m_controls;
    std::unique_ptr<CMessageSink> m_ownMessages;
    CMessageQueue m_messages;
    // The traffic monitor, made on first use.
    CTrafficDlg* m_traffic = nullptr;
    // The scenario player, made on first use.
    CScenarioDlg* m_scenario = nullptr;
    // Kept from the start, so that a plot opened late shows the past.
    QElapsedTimer m_started;
    std::function<int64_t()> m_historyClock;
    session::CReadoutHistory m_history;
    CPlotDlg* m_plot = nullptr; // made on first use
    // Where the remembered port and the port links live.
    QString m_dataFolder;
    session::CDeviceSession m_session;
    CiSliderX* m_slider = nullptr;
    std::array<QCheckBox*, 3> m_modeBoxes{}; // Dynamic, Quiet, Warnings
    QIcon m_hIcon;
    std::function<void(uint8_t)> m_levelShown;
    // What the panel shows; details and copies are made from it.
    // Made once the controls are built.
    std::optional<CPanelView> m_panel;
    // The panel and the slider show at most one level a frame: the latest
    // broadcast waits here for the frame's end (the check boxes and the
    // status log follow every broadcast).
    std::optional<std::pair<uint8_t, bool>> m_pendingLevel;
    CRepaintThrottle m_levelFrame{[this] { ShowPendingLevel(); }};
    std::unique_ptr<CStatusLog> m_statusLog = CStatusLog::FromEnvironment();
    bool m_bPainted = false; // the first paint is logged
};
