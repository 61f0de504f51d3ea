// BrendlowEmulator: the simulator device's serial side on a pseudo-terminal.
//
// One thread, one ppoll() loop. It reads command lines from the pty master,
// answers them, writes the broadcasts on their schedule and drives the fault
// and throughput switches. The loop always sleeps in ppoll() until input,
// room for output (only asked for when there is something to write and the
// pacer allows it), a signal or the next deadline, so it never spins.
#include "core/PacedSender.h"
#include "emulator/EmulatedDevice.h"
#include "emulator/EmulatorOptions.h"
#include "emulator/OutputQueue.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <poll.h>
#include <random>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using emulator::CBytePacer;
using emulator::CCommandFramer;
using emulator::CEmulatedDevice;
using emulator::COutputQueue;
using emulator::EmulatorOptions;

constexpr int64_t kSecondNs = 1'000'000'000;
constexpr size_t kDropAbove = 4096;              // queued bytes before lines are dropped
constexpr int64_t kGarbagePeriodNs = 20'000'000; // 20 random bytes every 20 ms
constexpr int64_t kIdleWakeNs = 500'000'000;

int64_t NowNs() {
    return proto::SteadyNs();
}

int64_t SecondsToNs(double seconds) {
    return static_cast<int64_t>(seconds * 1e9);
}

// ---- signals: the handler only writes a byte to a pipe the loop polls ----

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

// ---- the pseudo-terminal ----

struct Pty {
    int master = -1;
    int slave = -1; // held open, never read, so the master never sees a hang-up
    std::string slavePath;
};

bool OpenPty(Pty& pty, std::string& error) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (pty.master < 0) {
        error = std::string("posix_openpt: ") + std::strerror(errno);
        return false;
    }
    char name[256];
    if (grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 ||
        ptsname_r(pty.master, name, sizeof name) != 0) {
        error = std::string("cannot unlock the pty: ") + std::strerror(errno);
        return false;
    }
    pty.slavePath = name;
    pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0) {
        error = "cannot open " + pty.slavePath + ": " + std::strerror(errno);
        return false;
    }
    // Raw, 8N1: without this the line discipline would echo what we write
    // straight back to us and mangle CR LF.
    termios tio{};
    if (tcgetattr(pty.slave, &tio) != 0) {
        error = std::string("tcgetattr: ") + std::strerror(errno);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    if (tcsetattr(pty.slave, TCSANOW, &tio) != 0) {
        error = std::string("tcsetattr: ") + std::strerror(errno);
        return false;
    }
    return true;
}

// ---- the --link symbolic link ----

bool CreateLink(const std::string& path, const std::string& target, std::string& error) {
    std::error_code failed;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), failed);
    if (failed) {
        error = "cannot create the folders of " + path + ": " + failed.message();
        return false;
    }
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = path + " exists and is not a symbolic link; not replacing it";
        return false;
    }
    // Make the link under a temporary name and rename it over any old one.
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0 ||
        rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot make the link " + path + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// Removes the link unless someone has meanwhile pointed it elsewhere.
void RemoveLink(const std::string& path, const std::string& target) {
    char buffer[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (n >= 0 && std::string(buffer, static_cast<size_t>(n)) == target)
        unlink(path.c_str());
}

// ---- the loop ----

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

class CEmulatorLoop {
public:
    CEmulatorLoop(const EmulatorOptions& options, const Pty& pty, FILE* trace, FILE* sendLog)
        : m_options(options), m_pty(pty), m_trace(trace), m_sendLog(sendLog),
          m_device(options.device), m_queue(options.flood ? 0 : kDropAbove),
          m_random(options.seedGiven ? options.seed : static_cast<uint64_t>(NowNs())) {
        if (options.paceBytes > 0)
            m_pacer.emplace(options.paceBytes);
        m_levelPeriodNs = std::max<int64_t>(1, SecondsToNs(1.0 / options.rate));
    }

    void Run();

private:
    bool Silent(int64_t now) const {
        return m_options.silentAfter >= 0 && now - m_startNs >= SecondsToNs(m_options.silentAfter);
    }
    void Schedule(int64_t now);
    void Enqueue(const std::string& line, int shownLevel = -1);
    void EnqueueLevelBroadcast();
    void AppendNoise(size_t minCount, size_t maxCount, bool allowLineEnds);
    int64_t Flush(int64_t now, bool& wantWritable);
    void ReadInput(int64_t now);
    void LogSent(const std::vector<int>& levels, int64_t writtenNs);

    const EmulatorOptions& m_options;
    const Pty& m_pty;
    FILE* m_trace;
    FILE* m_sendLog;
    CEmulatedDevice m_device;
    CCommandFramer m_framer;
    COutputQueue m_queue;
    std::optional<CBytePacer> m_pacer;
    std::mt19937_64 m_random;

    int64_t m_startNs = 0;
    int64_t m_levelPeriodNs = 0;
    int64_t m_nextLevelNs = 0;
    int64_t m_nextSecondNs = 0;
    int64_t m_nextGarbageNs = 0;
    bool m_broadcasting = false;
    uint64_t m_unflushedSendLog = 0;
};

void CEmulatorLoop::Run() {
    m_startNs = NowNs();
    m_nextGarbageNs = m_startNs;
    const int64_t exitNs =
        m_options.exitAfter >= 0 ? m_startNs + SecondsToNs(m_options.exitAfter) : INT64_MAX;
    for (;;) {
        int64_t now = NowNs();
        if (now >= exitNs)
            break;
        Schedule(now);

        bool wantWritable = false;
        int64_t wakeNs = std::min(Flush(now, wantWritable), exitNs);
        if (!m_options.garbage && m_broadcasting && !Silent(now)) {
            if (!m_options.flood)
                wakeNs = std::min(wakeNs, m_nextLevelNs);
            wakeNs = std::min(wakeNs, m_nextSecondNs);
        }
        if (m_options.garbage)
            wakeNs = std::min(wakeNs, m_nextGarbageNs);
        const int64_t waitNs = std::clamp<int64_t>(wakeNs - now, 0, kIdleWakeNs);

        pollfd fds[2] = {
            {g_signalPipe[0], POLLIN, 0},
            {m_pty.master, static_cast<short>(POLLIN | (wantWritable ? POLLOUT : 0)), 0}};
        const timespec timeout{static_cast<time_t>(waitNs / kSecondNs),
                               static_cast<long>(waitNs % kSecondNs)};
        const int ready = ppoll(fds, 2, &timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::perror("ppoll");
            break;
        }
        if (fds[0].revents & POLLIN)
            break;
        if (fds[1].revents & POLLIN) {
            ReadInput(NowNs());
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            // Cannot happen while we hold the slave open; never spin on it anyway.
            const timespec pause{0, 50'000'000};
            nanosleep(&pause, nullptr);
        }
    }
    if (m_sendLog)
        std::fflush(m_sendLog);
    if (m_trace)
        std::fflush(m_trace);
}

// Queues whatever is due at `now`: garbage, periodic broadcasts, the flood.
void CEmulatorLoop::Schedule(int64_t now) {
    if (m_options.garbage) {
        while (now >= m_nextGarbageNs) {
            AppendNoise(20, 20, true);
            m_nextGarbageNs += kGarbagePeriodNs;
        }
        return;
    }
    if (!m_broadcasting || Silent(now)) {
        // Nothing more goes out: let readers of the send log see all of it.
        if (m_sendLog && m_unflushedSendLog > 0) {
            std::fflush(m_sendLog);
            m_unflushedSendLog = 0;
        }
        return;
    }
    if (!m_options.flood && now >= m_nextLevelNs) {
        EnqueueLevelBroadcast();
        m_nextLevelNs += m_levelPeriodNs;
        if (m_nextLevelNs <= now) // fell behind: keep the rate, not the backlog
            m_nextLevelNs = now + m_levelPeriodNs;
    }
    if (now >= m_nextSecondNs) {
        Enqueue(m_device.NextAddressClaim());
        Enqueue(m_device.NextInstanceBroadcast());
        m_nextSecondNs += kSecondNs;
        if (m_nextSecondNs <= now)
            m_nextSecondNs = now + kSecondNs;
    }
    if (m_options.flood) {
        // Keep a little queued: enough to fill the pty, little enough that the
        // send log's times are the times the lines left.
        const size_t target = m_pacer ? 2 * m_pacer->Chunk() : 2048;
        while (m_queue.Pending() < target)
            EnqueueLevelBroadcast();
    }
}

void CEmulatorLoop::Enqueue(const std::string& line, int shownLevel) {
    if (m_options.noise && m_random() % 2 == 0)
        AppendNoise(1, 8, false);
    m_queue.Append(line, shownLevel);
}

// A level broadcast sent with a spoilt checksum is marked in the queue by
// this offset, so that the send log can say so.
constexpr int kSpoiltMark = 1000;

void CEmulatorLoop::EnqueueLevelBroadcast() {
    uint8_t shown = 0;
    bool spoilt = false;
    const std::string line = m_device.NextLevelBroadcast(&shown, &spoilt);
    Enqueue(line, spoilt ? shown + kSpoiltMark : shown);
}

// Random bytes without a space, so they never make an "ACK " or "BRC " marker.
void CEmulatorLoop::AppendNoise(size_t minCount, size_t maxCount, bool allowLineEnds) {
    const size_t count = minCount + m_random() % (maxCount - minCount + 1);
    std::string bytes;
    while (bytes.size() < count) {
        const auto b = static_cast<char>(m_random() & 0xFF);
        if (b == ' ' || (!allowLineEnds && (b == '\r' || b == '\n')))
            continue;
        // Noise between lines holds none of the markers' capitals either, so
        // the receiver cuts it off before the next line. Garbage is not so
        // kind.
        if (!allowLineEnds && b != '\0' && std::strchr("ABCKR", b) != nullptr)
            continue;
        bytes += b;
    }
    m_queue.Append(bytes);
}

// Writes what the pacer allows. Returns when the pacer next allows a write
// worth waking for (INT64_MAX if it does not hold anything back); sets
// `wantWritable` when bytes wait for room in the pty.
int64_t CEmulatorLoop::Flush(int64_t now, bool& wantWritable) {
    constexpr size_t kMaxPerCall = 65536; // then read input and look at the clock again
    std::vector<int> sent;
    int64_t wakeNs = INT64_MAX;
    size_t total = 0;
    while (m_queue.Pending() > 0 && total < kMaxPerCall) {
        size_t allowed = kMaxPerCall - total;
        if (m_pacer) {
            m_pacer->Refill(now);
            const size_t worth = std::min(m_queue.Pending(), m_pacer->Chunk());
            if (m_pacer->Allowance() < worth) {
                wakeNs = m_pacer->WhenAvailable(worth);
                break;
            }
            allowed = std::min(allowed, m_pacer->Allowance());
        }
        // The send log's time is taken before the write: the reader may take
        // the lines the moment they are in the pty, and this loop goes on
        // while it makes room, so a time taken afterwards can be later than
        // the reader showing them.
        const int64_t writtenNs = NowNs();
        sent.clear();
        const long written = m_queue.WriteTo(m_pty.master, allowed, sent);
        LogSent(sent, writtenNs);
        if (written <= 0) {
            // EAGAIN: the pty is full. The flood's queue is never trimmed,
            // so waiting for room is what holds the flood back.
            if (written < 0 && errno != EAGAIN && errno != EINTR)
                std::perror("write");
            break;
        }
        total += static_cast<size_t>(written);
        if (m_pacer)
            m_pacer->Consume(static_cast<size_t>(written));
        if (m_options.flood)
            Schedule(now);
    }
    if (m_queue.Pending() > 0 && wakeNs == INT64_MAX)
        wantWritable = true;
    return wakeNs;
}

void CEmulatorLoop::LogSent(const std::vector<int>& levels, int64_t writtenNs) {
    if (!m_sendLog || levels.empty())
        return;
    const long long at = writtenNs;
    for (int level : levels) {
        if (level >= kSpoiltMark)
            std::fprintf(m_sendLog, "%lld %d bad\n", at, level - kSpoiltMark);
        else
            std::fprintf(m_sendLog, "%lld %d\n", at, level);
        if (++m_unflushedSendLog >= 100) {
            std::fflush(m_sendLog);
            m_unflushedSendLog = 0;
        }
    }
    // Once silent, the log is complete: let readers see all of it.
    if (Silent(NowNs())) {
        std::fflush(m_sendLog);
        m_unflushedSendLog = 0;
    }
}

void CEmulatorLoop::ReadInput(int64_t now) {
    uint8_t buffer[256];
    const ssize_t n = read(m_pty.master, buffer, sizeof buffer);
    if (n <= 0)
        return;
    bool lineEnded = false;
    for (ssize_t i = 0; i < n; ++i) {
        if (m_trace)
            std::fprintf(m_trace, "%lld %02X\n", static_cast<long long>(now), buffer[i]);
        if (!m_framer.Push(buffer[i]))
            continue;
        lineEnded = true;
        if (m_trace)
            std::fprintf(m_trace, "LINE %s\n", m_framer.Line().c_str());
        if (m_options.garbage || Silent(now))
            continue;
        const emulator::CommandResult result = m_device.HandleLine(m_framer.Line());
        for (const std::string& reply : result.replies)
            Enqueue(reply);
        if (!m_broadcasting && m_device.Queried()) {
            m_broadcasting = true;
            m_nextLevelNs = now + m_levelPeriodNs;
            m_nextSecondNs = now + kSecondNs / 2;
        }
        if (result.levelOrModeChanged && m_broadcasting && !m_options.flood) {
            EnqueueLevelBroadcast();
            m_nextLevelNs = now + m_levelPeriodNs;
        }
    }
    // The trace goes to its file when a line is complete, not after every
    // read: a paced sender's bytes come one per read, and a file write for
    // each could hold up the next read (a journalling file system makes a
    // write wait now and then), which would show as bytes read together.
    if (m_trace && lineEnded)
        std::fflush(m_trace);
}

File OpenOutputFile(const std::string& path, const char* what) {
    if (path.empty())
        return nullptr;
    File file(std::fopen(path.c_str(), "w"));
    if (!file)
        std::fprintf(stderr, "BrendlowEmulator: cannot open %s file %s: %s\n", what, path.c_str(),
                     std::strerror(errno));
    return file;
}

} // namespace

int main(int argc, char** argv) {
    const std::string program = argc > 0 ? argv[0] : "BrendlowEmulator";
    EmulatorOptions options;
    std::string error;
    switch (
        emulator::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    case emulator::ParseOutcome::Help:
        std::fputs(emulator::UsageText(program).c_str(), stdout);
        return 0;
    case emulator::ParseOutcome::Error:
        std::fprintf(stderr, "BrendlowEmulator: %s\nTry '%s --help'.\n", error.c_str(),
                     program.c_str());
        return 2;
    case emulator::ParseOutcome::Run:
        break;
    }

    File trace = OpenOutputFile(options.tracePath, "trace");
    File sendLog = OpenOutputFile(options.sendLogPath, "send log");
    if ((!options.tracePath.empty() && !trace) || (!options.sendLogPath.empty() && !sendLog))
        return 1;
    Pty pty;
    if (!InstallSignalHandlers() || !OpenPty(pty, error)) {
        std::fprintf(stderr, "BrendlowEmulator: %s\n",
                     error.empty() ? std::strerror(errno) : error.c_str());
        return 1;
    }
    if (!options.linkPath.empty() && !CreateLink(options.linkPath, pty.slavePath, error)) {
        std::fprintf(stderr, "BrendlowEmulator: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", pty.slavePath.c_str());
    std::fflush(stdout);

    CEmulatorLoop(options, pty, trace.get(), sendLog.get()).Run();

    if (!options.linkPath.empty())
        RemoveLink(options.linkPath, pty.slavePath);
    close(pty.slave);
    close(pty.master);
    return 0;
}
