// BrendlowEmulator: the simulator device's serial side on a pseudo-terminal.
// Reads its options, sets up the pty, its link and the log files, and runs
// the loop until a signal or --exit-after ends it.
#include "emulator/EmulatorLoop.h"
#include "emulator/EmulatorOptions.h"
#include "emulator/Pty.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <signal.h>
#include <unistd.h>

namespace {

constexpr int kExitSetUpFailed = 1;
constexpr int kExitBadArguments = 64;

QString Tr(const char* text) {
    return QCoreApplication::translate("emulator", text);
}

void Say(const QString& message) {
    std::fprintf(stderr, "BrendlowEmulator: %s\n", qPrintable(message));
}

// The handler only writes a byte to a pipe the loop polls.
int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

bool InstallSignalHandlers() {
    if (pipe2(g_signalPipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        if (sigaction(sig, &action, nullptr) != 0)
            return false;
    signal(SIGPIPE, SIG_IGN);
    return true;
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// False when the file was asked for and cannot be written.
bool OpenOutputFile(const std::string& path, const QString& failure, File& file) {
    if (path.empty())
        return true;
    file.reset(std::fopen(path.c_str(), "w"));
    if (!file)
        Say(failure.arg(QFile::decodeName(path.c_str()),
                        QString::fromLocal8Bit(std::strerror(errno))));
    return file != nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const QCoreApplication app(argc, argv);
    emulator::EmulatorOptions options;
    QString text;
    switch (emulator::ParseOptions(QCoreApplication::arguments(), options, text)) {
    case emulator::ParseOutcome::Help:
        std::fputs(qPrintable(text), stdout);
        return 0;
    case emulator::ParseOutcome::Error:
        Say(text);
        std::fprintf(
            stderr, "%s\n",
            qPrintable(Tr("Try '%1 --help'.").arg(QCoreApplication::arguments().constFirst())));
        return kExitBadArguments;
    case emulator::ParseOutcome::Run:
        break;
    }

    File trace, sendLog;
    if (!OpenOutputFile(options.tracePath, Tr("Cannot open the trace file %1: %2"), trace) ||
        !OpenOutputFile(options.sendLogPath, Tr("Cannot open the send log %1: %2"), sendLog))
        return kExitSetUpFailed;
    if (!InstallSignalHandlers()) {
        Say(Tr("Cannot catch the stop signals: %1")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return kExitSetUpFailed;
    }
    emulator::CPty pty;
    if (const std::string error = pty.Open(); !error.empty()) {
        Say(Tr("Cannot set up a pseudo-terminal: %1").arg(QString::fromLocal8Bit(error.c_str())));
        return kExitSetUpFailed;
    }
    emulator::CPtyLink link;
    if (!options.linkPath.empty()) {
        if (const std::string error = link.Make(options.linkPath, pty.SlavePath());
            !error.empty()) {
            Say(Tr("Cannot make the link %1: %2")
                    .arg(QFile::decodeName(options.linkPath.c_str()),
                         QString::fromLocal8Bit(error.c_str())));
            return kExitSetUpFailed;
        }
    }
    std::printf("%s\n", pty.SlavePath().c_str());
    std::fflush(stdout);

    emulator::CEmulatorLoop(options, pty.Master(), g_signalPipe[0], {trace.get(), sendLog.get()})
        .Run();
    return 0;
}
