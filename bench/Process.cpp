#include "bench/Process.h"

#include "bench/ProcReadings.h"
#include "core/PacedSender.h"

#include <QProcessEnvironment>
#include <csignal>
#include <sched.h>
#include <sys/prctl.h>
#include <thread>

namespace bench {

bool CChildProcess::Start(const QString& program, const QStringList& arguments,
                          const Options& options, int64_t* startNs) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : options.environment) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        environment.insert(entry.left(equals), entry.mid(equals + 1));
    }
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(options.outputPath, QIODevice::Truncate);
    m_process.setStandardInputFile(QProcess::nullDevice());
    const int priority = options.realtimePriority;
    m_process.setChildProcessModifier([priority] {
        prctl(PR_SET_PDEATHSIG, SIGTERM); // ends with the driver, however it ends
        if (priority > 0) {
            sched_param param{};
            param.sched_priority = priority;
            sched_setscheduler(0, SCHED_FIFO, &param);
        }
    });
    const int64_t before = proto::SteadyNs();
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return false;
    m_pid = static_cast<pid_t>(m_process.processId());
    if (startNs != nullptr)
        *startNs = before;
    return true;
}

bool CChildProcess::Running() {
    if (m_process.state() != QProcess::Running)
        return false;
    // Without an event loop QProcess learns of the end only while it waits.
    return !m_process.waitForFinished(0);
}

bool CChildProcess::RealTime() const {
    return m_pid > 0 && sched_getscheduler(m_pid) == SCHED_FIFO;
}

bool CChildProcess::Freeze() {
    if (m_process.state() != QProcess::Running || ::kill(m_pid, SIGSTOP) != 0)
        return false;
    for (int i = 0; i < 500; ++i) {
        if (ProcessStopped(m_pid))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

int CChildProcess::WaitForExit(double seconds) {
    if (m_process.state() != QProcess::NotRunning &&
        !m_process.waitForFinished(static_cast<int>(seconds * 1000)))
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

void CChildProcess::Stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    ::kill(m_pid, SIGCONT); // a frozen process takes the SIGTERM once it runs again
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

} // namespace bench
