#pragma once
// One run of a brendlowctl command on a device session: the tool opens the
// port, waits for the device to be identified, hands over to the command and
// ends the event loop with the command's exit code.
#include "cli/Request.h"
#include "session/CDeviceSession.h"

#include <QObject>
#include <QTimer>
#include <memory>

namespace cli {

class CControlTool;

// What one command does with the device once it is identified.
class CCommand : public QObject {
    Q_OBJECT
public:
    explicit CCommand(CControlTool& tool) : m_tool(tool) {}

    // Before the first query. By default the device has to answer within
    // the timeout (CControlTool::ExpectDevice).
    virtual void Begin();
    // When the device Begin asked for is identified and of a known product;
    // once per run.
    virtual void Start(const session::DeviceIdentity& identity) = 0;

protected:
    CControlTool& m_tool;
};

using CommandFactory = std::unique_ptr<CCommand> (*)(CControlTool& tool);

class CControlTool : public QObject {
    Q_OBJECT
public:
    CControlTool(Request request, std::unique_ptr<CSerialBackend> serial);
    ~CControlTool() override;

    // Runs the command made by `make` to its end; returns the exit code.
    int Run(CommandFactory make);

    const Request& GetRequest() const { return m_request; }
    session::CDeviceSession& Session() { return m_session; }
    bool Finished() const { return m_nExitCode >= 0; }
    // Seconds since Run began.
    double Elapsed() const;

    // Ends the run; the first call decides the exit code.
    void Finish(int code, const QString& message = {});
    // Writes data on stdout; when stdout does not take it, the run ends
    // with kExitOutput and false is returned.
    bool Output(const QByteArray& bytes);
    // Past `seconds` the run ends with `code` and `message`; replaces any
    // earlier deadline.
    void Expect(double seconds, int code, const QString& message = {});
    // The device has to be identified within the timeout, and once
    // identified it may fall silent for the timeout at most.
    void ExpectDevice();
    void CancelDeadline() { m_deadline.stop(); }

private:
    void OnIdentified(const session::DeviceIdentity& identity);
    void OnPanelReset();
    // The run ends with kExitNoAnswer, saying why no device was identified.
    void NoDevice();

    Request m_request;
    session::CDeviceSession m_session;
    std::unique_ptr<CCommand> m_command;
    QTimer m_deadline;
    // Runs while a device that was identified is silent.
    QTimer m_silence;
    int m_nExitCode = -1;
    bool m_bIdentified = false;
    bool m_bAwaitingDevice = false;
    bool m_bNeedsDevice = false;
    // An identification report came whose checksum was wrong, and none
    // good since.
    bool m_bCorruptIdentity = false;
    int64_t m_startNs = 0;
};

} // namespace cli
