// BrendlowEmulator: the simulator device's serial side on a pseudo-terminal,
// and with --can or --candump its NMEA 2000 side. Reads its options, sets up
// the pty, its link and the log files, starts the bus side's thread and runs
// the serial side's loop until a signal or --exit-after ends it.
#include "can/CanDevice.h"
#include "emulator/BusSide.h"
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
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kExitFailure = 1;
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

// A log goes to a file, a device (/dev/null, a terminal) or where this
// program's own stdout or stderr goes; a FIFO or a socket could hold every
// write up for as long as its reader pleases.
bool IsLogTarget(const struct stat& info) {
    if (S_ISREG(info.st_mode) || S_ISCHR(info.st_mode))
        return true;
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat standard {};
        if (fstat(fd, &standard) == 0 && standard.st_dev == info.st_dev &&
            standard.st_ino == info.st_ino)
            return true;
    }
    return false;
}

// False when the file was asked for and cannot be written. Opened without
// waiting, so that a FIFO nobody reads cannot hold the start up.
bool OpenOutputFile(const std::string& path, const QString& failure, File& file) {
    if (path.empty())
        return true;
    const QString name = QFile::decodeName(path.c_str());
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
    const int openError = errno;
    struct stat info {};
    if ((fd >= 0 ? fstat(fd, &info) : stat(path.c_str(), &info)) == 0 && !IsLogTarget(info)) {
        Say(failure.arg(name, Tr("not a file or a device")));
        if (fd >= 0)
            close(fd);
        return false;
    }
    if (fd >= 0 && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0)
        file.reset(fdopen(fd, "w"));
    if (!file) {
        Say(failure.arg(name, QString::fromLocal8Bit(std::strerror(fd >= 0 ? errno : openError))));
        if (fd >= 0)
            close(fd);
    }
    return file != nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const QCoreApplication app(argc, argv);
    can::PrepareProcess();
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

    File trace, sendLog, candumpFile;
    const bool candumpToStdout = options.candumpPath == "-";
    if (!OpenOutputFile(options.tracePath, Tr("Cannot open the trace file %1: %2"), trace) ||
        !OpenOutputFile(options.sendLogPath, Tr("Cannot open the send log %1: %2"), sendLog) ||
        (!candumpToStdout &&
         !OpenOutputFile(options.candumpPath, Tr("Cannot open the candump log %1: %2"),
                         candumpFile)))
        return kExitFailure;
    FILE* const candump = candumpToStdout ? stdout : candumpFile.get();
    // Before the pty: a port that is taken leaves nothing behind.
    emulator::CCandumpGateway gateway;
    if (options.gatewayPort != 0) {
        if (const QString error = gateway.Listen(options.gatewayPort); !error.isEmpty()) {
            Say(Tr("Cannot serve the bus on 127.0.0.1:%1: %2").arg(options.gatewayPort).arg(error));
            return kExitFailure;
        }
    }
    if (!InstallSignalHandlers()) {
        Say(Tr("Cannot catch the stop signals: %1")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return kExitFailure;
    }
    emulator::CPty pty;
    if (const std::string error = pty.Open(); !error.empty()) {
        Say(Tr("Cannot set up a pseudo-terminal: %1").arg(QString::fromLocal8Bit(error.c_str())));
        return kExitFailure;
    }
    emulator::CPtyLink link;
    if (!options.linkPath.empty()) {
        if (const std::string error = link.Make(options.linkPath, pty.SlavePath());
            !error.empty()) {
            Say(Tr("Cannot make the link %1: %2")
                    .arg(QFile::decodeName(options.linkPath.c_str()),
                         QString::fromLocal8Bit(error.c_str())));
            return kExitFailure;
        }
    }
    // Whoever started us waits for this line; without it there is no run.
    if (std::printf("%s\n", pty.SlavePath().c_str()) < 0 || std::fflush(stdout) != 0) {
        Say(Tr("Cannot write the pty's path on stdout: %1")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return kExitFailure;
    }

    // The loop puts the device's state in the exchange before the bus side
    // starts, so the bus's first messages show it.
    const bool busSide = options.can || candump || options.gatewayPort != 0;
    emulator::CBusExchange exchange;
    emulator::CEmulatorLoop loop(options, pty.Master(), g_signalPipe[0],
                                 {trace.get(), sendLog.get()}, {}, busSide ? &exchange : nullptr);
    emulator::CBusSide bus(options.device,
                           {options.can, candump, options.gatewayPort != 0 ? &gateway : nullptr},
                           exchange, Say, [] { OnStopSignal(0); });
    gateway.MoveTo(&bus);
    if (busSide)
        bus.start();
    loop.Run();
    bus.Stop();
    if (const int error = bus.CandumpError(); error != 0) {
        Say(Tr("Cannot write the candump log %1: %2")
                .arg(candumpToStdout ? Tr("on stdout")
                                     : QFile::decodeName(options.candumpPath.c_str()),
                     QString::fromLocal8Bit(std::strerror(error))));
        return kExitFailure;
    }
    if (const emulator::WriteFailure& failure = loop.Failure(); failure.file) {
        const bool traceFailed = failure.file == trace.get();
        Say((traceFailed ? Tr("Cannot write the trace file %1: %2")
                         : Tr("Cannot write the send log %1: %2"))
                .arg(QFile::decodeName(
                         (traceFailed ? options.tracePath : options.sendLogPath).c_str()),
                     QString::fromLocal8Bit(std::strerror(failure.error))));
        return kExitFailure;
    }
    return 0;
}
