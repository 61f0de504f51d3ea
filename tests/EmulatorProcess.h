#pragma once
// Runs the device emulator as a separate process on a pseudo-terminal,
// linked at <folder>/ports/COMn, for tests that cross a real serial line.
#include "session/SystemSerialBackend.h"
#include "tests/FakeEnvironment.h"
#include "window/CTerminalDlg.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QStringList>
#include <QtTest>
#include <functional>

class EmulatorProcess {
public:
    // Starts the emulator linked at <folder>/ports/COM<port>; returns false
    // when it did not come up.
    bool Start(const QString& folder, int port, const QStringList& extra = {}) {
        const QString link = QDir(folder).filePath(QStringLiteral("ports/COM%1").arg(port));
        m_process.setProgram(QStringLiteral(BRENDLOW_EMULATOR_PATH));
        m_process.setArguments(QStringList{"--link", link} + extra);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        for (int i = 0; i < 100 && !m_process.canReadLine(); ++i)
            m_process.waitForReadyRead(100);
        return m_process.readLine().startsWith('/') && QFileInfo::exists(link);
    }
    // SIGTERM, as a user's Ctrl+C: the emulator removes its link.
    void Stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
    bool Running() const { return m_process.state() == QProcess::Running; }
    ~EmulatorProcess() { Stop(); }

private:
    QProcess m_process;
};

// A main window on the system's serial ports, with ports/COMn looked up in
// `folder`; message boxes are recorded instead of shown.
struct LiveTerminal {
    CRecordingSink messages;
    std::unique_ptr<CTerminalDlg> dlg;

    LiveTerminal(const QString& folder, const QString& settingsPath) {
        TerminalEnvironment env;
        env.serial = CreateSystemSerialBackend(folder);
        env.messages = &messages;
        env.settingsPath = settingsPath;
        dlg = std::make_unique<CTerminalDlg>(std::move(env));
    }
};

// What a run of brendlowctl (or `program`) gave; code -1: it did not end by
// itself. `setUp` may point the standard streams elsewhere or change the folder.
struct CtlResult {
    int code = -1;
    QByteArray out, err;
};
inline CtlResult Ctl(const QStringList& arguments, const QString& program = BRENDLOW_CTL_PATH,
                     const std::function<void(QProcess&)>& setUp = {}) {
    QProcess p;
    if (setUp)
        setUp(p);
    p.start(program, arguments);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

// The text of one of the window's edit boxes.
inline QString EditText(const CTerminalDlg& d, int id) {
    return d.Controls().ItemAs<QLineEdit>(id)->text();
}

// Reads a file that another process appends to.
inline QStringList ReadLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
}
