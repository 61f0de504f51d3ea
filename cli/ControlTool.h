#pragma once
// brendlowctl's commands on one device session: each waits for the device
// to be identified, does its work and ends the event loop with an exit code.
#include "session/CDeviceSession.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

namespace cli {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCannotOpen = 2;
inline constexpr int kExitNoAnswer = 3;
inline constexpr int kExitNoAcknowledgement = 4;
inline constexpr int kExitUnknownProduct = 5;
inline constexpr int kExitUsage = 64;

struct Request {
    QString command; // identify, watch, traffic, level, key, sweep, instances
    QStringList arguments;
    QString portName;   // "COM3", or empty when portPath is set
    QString portPath;   // a device path, opened whatever the port name
    QString portShown;  // how messages name the port
    double timeout = 5; // seconds for an answer or an acknowledgement
    bool json = false;
    long count = -1;     // watch: records to print; -1 for no limit
    double seconds = -1; // watch, traffic: how long; -1 for no limit
    int step = 1;        // sweep
    double every = 1;    // sweep: seconds between steps
};

class CControlTool : public QObject {
    Q_OBJECT
public:
    CControlTool(Request request, std::unique_ptr<CSerialBackend> serial);
    ~CControlTool() override;

    // Runs the command to its end; returns the exit code.
    int Run();

private:
    void OnIdentified(const session::DeviceIdentity& identity);
    void OnFailure(const QString& text);
    void Finish(int code, const QString& message = {});
    // Waits `seconds` for `done`; past it the tool ends with `code`.
    void Expect(double seconds, int code, const QString& message);

    void StartTraffic();
    void StartWatch();
    void OnLevel(const session::LevelStatus& status);
    void StartLevel(uint8_t level);
    // Sends a level; no acknowledgement within the timeout ends the tool.
    void SendLevel(uint8_t level);
    void StartKey(const QString& name);
    void SweepStep();
    void StartInstances();
    void SendInstances(const proto::InstanceReport& current);

    double Elapsed() const;
    QByteArray WatchRecord(const session::LevelStatus& status);
    QByteArray WatchLine(const session::LevelStatus& status);
    void Print(const QByteArray& bytes);

    Request m_request;
    session::CDeviceSession m_session;
    QTimer m_deadline;
    int m_nExitCode = -1;
    bool m_bIdentified = false;
    int64_t m_startNs = 0;
    // watch
    long m_nRecords = 0;
    bool m_bTerminal = false;
    int64_t m_lastTableNs = 0;
    // sweep
    int m_nSweepLevel = 0;
    int m_nSweepTo = 0;
    // instances
    std::array<uint8_t, 8> m_wanted{};
    std::array<bool, 8> m_named{};
    bool m_bInstancesSent = false;
};

// The `ports` command: what each COMn opens, the system's serial ports, and
// assigning or removing a port's link.
int RunPorts(const QString& dataFolder, const QStringList& assign, const QStringList& remove,
             bool json);

} // namespace cli
