#pragma once
// The conversation with the device, with no window: the serial port, the
// one-second watchdog, the receive window, the link's state, the operations
// waiting for the device, the identification and the remembered port. Front ends (the main window,
// the command line) send the operator's commands in and render its signals.
//
// Everything runs on the thread that owns the session, one handler at a
// time; signals are delivered at once, so a broadcast has reached every
// front end before the next byte is framed.
#include "core/PacedSender.h"
#include "core/ReceiveWindow.h"
#include "core/Reports.h"
#include "session/CMSComm.h"
#include "session/Traffic.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace settings {
class CSettingsStore;
}

namespace session {

inline constexpr int kWatchdogPeriodMs = 1000;
// A level command whose acknowledgement has not come after this many ticks
// is taken as lost, and the slider follows the device again.
inline constexpr int kLevelAckTicks = 2;

struct Modes {
    bool dynamic = false;
    bool quiet = false;
    bool warnings = false;
};

// One level broadcast as the front ends show it: the modes with any
// operator change still waiting for its acknowledgement, and whether the
// level moves the slider and the panel (not while the slider is held or
// its level is on its way).
struct LevelStatus {
    uint8_t level = 0;
    Modes modes;
    bool follows = true;
};

struct DeviceIdentity {
    uint8_t productCode = 0;
    QString product;  // "Brendlow E-100", or "Wrong ID"
    QString firmware; // " 1.0A"
    uint32_t serialNumber = 0;
    bool known = false;
};

// Where the link stands. Closed: no port is open (at start-up, after a
// disconnect, a lost device or an unknown product). Searching: the port is
// open and the identification query is out, or is asked again at every
// tick. Identified: a known device answered; its broadcasts move the panel.
enum class LinkState { Closed, Searching, Identified };

// What the session has asked of the device and not yet seen done.
struct PendingOperations {
    bool idQuery = false;      // an identification query awaits its report
    bool settingsSave = false; // the remembered port is rewritten at the next tick
    bool levelHeld = false;    // the operator is moving the slider
    // A level command awaits its acknowledgement: watchdog ticks since it
    // went out.
    std::optional<int> levelAckTicks;
    Modes modes; // mode keys whose acknowledgement is awaited

    // Broadcasts leave the slider alone.
    bool SliderBusy() const { return levelHeld || levelAckTicks.has_value(); }
    // The slider follows the device again.
    void ReleaseSlider() {
        levelHeld = false;
        levelAckTicks.reset();
    }
};

enum class Key { Menu, Down, Up };
enum class Mode { Dynamic, Quiet, Warnings };

// Notice: the operator should know (the exclamation box); Error: a step
// failed (the stop box).
enum class FailureKind { Notice, Error };

struct SessionEnvironment {
    std::unique_ptr<CSerialBackend> serial;    // required
    proto::CMillisecondClock* clock = nullptr; // default: the steady clock
    // The remembered port; empty: none is read or written.
    QString settingsPath;
    // A test that feeds lines by hand, however slowly a loaded machine runs
    // it, lengthens this so that no tick falls between its lines.
    int watchdogPeriodMs = kWatchdogPeriodMs;
};

class CDeviceSession : public QObject, private proto::CReportTarget {
    Q_OBJECT
public:
    explicit CDeviceSession(SessionEnvironment environment, QObject* parent = nullptr);
    ~CDeviceSession() override;

    // Start-up: the disconnected state, the remembered port, the watchdog.
    void Start();
    // Closes the port and stops the watchdog for good.
    void Stop();

    // The port the next connection opens, "COM1".."COM30" (any other text
    // opens COM1).
    void SetPort(const QString& port);
    const QString& Port() const { return m_strPort; }

    // The operator's commands. A failure of the operator's own Connect is
    // always reported; the watchdog's retries report each failure once.
    void Connect();
    void Disconnect();
    void PressKey(Key key);
    void SetMode(Mode mode, bool on);
    // The slider is being moved: broadcasts leave it alone.
    void HoldLevel();
    void SendLevel(uint8_t level);
    // The eight device instances in line order (255 leaves one unchanged).
    void SendInstances(const std::array<uint8_t, 8>& instances);

    // One watchdog tick, as the timer delivers it.
    void Tick();

    bool IsWatchdogRunning() const { return m_watchdog.isActive(); }
    LinkState State() const { return m_state; }
    bool IsConnected() const { return m_state != LinkState::Closed; }
    // A known device answered: Connect is over until it is lost or disconnected.
    bool IsDeviceIdentified() const { return m_state == LinkState::Identified; }
    bool IsSliderBusy() const { return m_pending.SliderBusy(); }
    bool IsTrafficSeen() const { return m_trafficSeen; }
    bool IsIdQueryPending() const { return m_pending.idQuery; }
    bool IsSettingsSavePending() const { return m_pending.settingsSave; }
    bool IsModePending(Mode mode) const;
    const DeviceIdentity& Identity() const { return m_identity; }
    Modes CurrentModes() const { return m_modes; }
    const std::optional<proto::InstanceReport>& Instances() const { return m_instances; }
    const std::optional<proto::AddressClaim>& Claims() const { return m_claims; }
    const proto::CReceiveWindow& ReceiveWindow() const { return m_receiveWindow; }
    CMSComm& Comm() { return m_comm; }

    // For tests of the settings rewrite.
    void RequestSettingsSave() { m_pending.settingsSave = true; }

signals:
    // The link is back in its disconnected state: no identity, no level.
    void PanelReset();
    // The line hung up or stopped taking bytes (before the PanelReset that
    // follows); the search for the device goes on.
    void HungUp();
    void PortChanged(const QString& port);
    void Identified(const session::DeviceIdentity& identity);
    // An identification report came whose checksum is wrong: a device is
    // there, but who it is cannot be trusted.
    void IdentificationCorrupt();
    void LevelReported(const session::LevelStatus& status);
    void AddressClaimReported(const proto::AddressClaim& claim);
    void InstancesReported(const proto::InstanceReport& instances);
    // Something the operator must read; each failure of the automatic
    // retries comes once.
    void Failure(const QString& text, session::FailureKind kind);
    void Ticked();
    // The device acknowledged a level command or a key.
    void LevelAcknowledged();
    void KeyAcknowledged();
    // Every command line written, every line received with what became of
    // it, and the bytes that never made a line; only when connected to.
    void Traffic(const session::TrafficLine& line);

private:
    // The error boundary: runs one step; a failure it raises ends it there
    // and is reported. `operatorAction` reports it even when it repeats.
    void Run(const std::function<void()>& step, bool operatorAction = false);
    void Report(const QString& text, FailureKind kind, const QString& failureKey,
                bool operatorAction);

    void OnConnect();
    void OnDisconnect();
    void OnTimer();
    void OpenSelectedPort();
    void ResetPanel();
    void OnCommEvent();
    // The receive path with the traffic tap: byte by byte, so that bytes
    // that never make a line are told apart.
    void FrameWatched(const QByteArray& input);
    void EmitTraffic(bool sent, Verdict verdict, const QByteArray& bytes);
    void SendCommandLine(const uint8_t* line, int length);
    void SendKeyCommand(uint8_t keyCode);
    void OnLinkLost();
    void StartWatchdog() { m_watchdog.start(); }
    void StopWatchdog() { m_watchdog.stop(); }
    void ReadSettings();
    void WriteSettings();
    void ReportSettingsFailure(const QString& text);

    // Report dispatch.
    void SetTrafficSeen() override { m_trafficSeen = true; }
    bool IdQueryPending() const override { return m_pending.idQuery; }
    bool DeviceIdentified() const override { return m_state == LinkState::Identified; }
    void OnLevelAck() override;
    void OnKeyAck() override;
    void OnIdReport(const uint8_t* line) override;
    void OnLevelBroadcast(uint8_t level, uint8_t modeFlags) override;
    void OnAddressClaim(const proto::AddressClaim& claim) override;
    void OnInstanceBroadcast(const proto::InstanceReport& instances) override;

    std::unique_ptr<proto::CMillisecondClock> m_ownClock;
    proto::CMillisecondClock* m_clock;
    CMSComm m_comm;
    QTimer m_watchdog;
    proto::CReceiveWindow m_receiveWindow;
    std::unique_ptr<settings::CSettingsStore> m_settings;

    QString m_strPort;
    DeviceIdentity m_identity;
    Modes m_modes;
    std::optional<proto::InstanceReport> m_instances;
    std::optional<proto::AddressClaim> m_claims;

    LinkState m_state = LinkState::Closed;
    PendingOperations m_pending;
    // A line arrived since the last watchdog tick.
    bool m_trafficSeen = false;
    // Set when an identified device was lost: a port that then fails to
    // open is retried at every tick, so the device is found again when it
    // comes back.
    bool m_bRecovering = false;
    // For the traffic tap: when the port was opened, and the bytes received
    // since the last complete line.
    int64_t m_openedNs = 0;
    QByteArray m_unframed;

    QStringList m_reportedFailures;
    bool m_bSettingsFailureReported = false;
};

} // namespace session
