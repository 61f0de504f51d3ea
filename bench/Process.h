#pragma once
// The programs a benchmark starts: the terminal, the emulator, brendlowctl.
// QProcess starts them; what it has no call for (stopping a process where it
// is, real-time priority, ending with the driver) is added around it.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <sys/types.h>

namespace bench {

class CChildProcess {
public:
    CChildProcess() = default;
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;
    ~CChildProcess() { Stop(); }

    struct Options {
        QStringList environment;  // NAME=value, added to this process's own
        QString outputPath;       // standard output and error go there
        int realtimePriority = 0; // above 0: SCHED_FIFO at this priority
    };

    // Starts `program`; `startNs`, when given, gets the steady clock read
    // right before the process is started.
    bool Start(const QString& program, const QStringList& arguments, const Options& options,
               int64_t* startNs = nullptr);

    pid_t Pid() const { return m_pid; }
    bool Running();
    // Whether the scheduler runs the process at real-time priority.
    bool RealTime() const;
    // Stops the process where it is (SIGSTOP) and waits until it has stopped.
    bool Freeze();
    // Waits for the process to end by itself; its exit code, or -1 when it
    // crashed or was still running after `seconds`.
    int WaitForExit(double seconds);
    // SIGTERM (the emulator then flushes its logs and removes its link), and
    // SIGKILL when it has not ended after five seconds.
    void Stop();

private:
    QProcess m_process;
    pid_t m_pid = -1;
};

} // namespace bench
