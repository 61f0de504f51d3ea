#include "emulator/EmulatorLoop.h"

#include "core/PacedSender.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace emulator {

namespace {

constexpr int64_t kSecondNs = 1'000'000'000;
constexpr size_t kDropAbove = 4096;              // queued bytes before lines are dropped
constexpr int64_t kGarbagePeriodNs = 20'000'000; // 20 random bytes every 20 ms
constexpr int64_t kIdleWakeNs = 500'000'000;

// A level broadcast sent with a spoilt checksum is marked in the queue by
// this offset, so that the send log can say so.
constexpr int kSpoiltMark = 1000;

int64_t SecondsToNs(double seconds) {
    return static_cast<int64_t>(seconds * 1e9);
}

} // namespace

CEmulatorLoop::CEmulatorLoop(const EmulatorOptions& options, int master, int stop, LoopFiles files,
                             Clock clock, CBusExchange* bus)
    : m_options(options), m_master(master), m_stop(stop), m_files(files),
      m_clock(clock ? std::move(clock) : Clock(proto::SteadyNs)), m_bus(bus),
      m_device(options.device), m_queue(options.flood ? 0 : kDropAbove),
      m_random(options.seedGiven ? options.seed : static_cast<uint64_t>(m_clock())) {
    if (options.paceBytes > 0)
        m_pacer.emplace(options.paceBytes);
    m_levelPeriodNs = std::max<int64_t>(1, SecondsToNs(1.0 / options.rate));
    m_startNs = m_clock();
    m_nextGarbageNs = m_startNs;
    m_exitNs = options.exitAfter >= 0 ? m_startNs + SecondsToNs(options.exitAfter) : INT64_MAX;
    PublishState();
}

void CEmulatorLoop::Run() {
    while (Turn()) {
    }
    FlushFiles();
}

bool CEmulatorLoop::RunUntil(const std::function<bool()>& done, int turns) {
    bool held = done();
    for (int i = 0; i < turns && !held && Turn(); ++i)
        held = done();
    FlushFiles();
    return held;
}

bool CEmulatorLoop::Turn() {
    const int64_t now = m_clock();
    if (now >= m_exitNs || m_failure.file)
        return false;
    Schedule(now);

    bool wantWritable = false;
    int64_t wakeNs = std::min(Flush(now, wantWritable), m_exitNs);
    if (!m_options.garbage && m_broadcasting && !Silent(now)) {
        if (!m_options.flood)
            wakeNs = std::min(wakeNs, m_nextLevelNs);
        wakeNs = std::min(wakeNs, m_nextSecondNs);
    }
    if (m_options.garbage)
        wakeNs = std::min(wakeNs, m_nextGarbageNs);
    const int64_t waitNs = std::clamp<int64_t>(wakeNs - now, 0, kIdleWakeNs);

    pollfd fds[2] = {{m_stop, POLLIN, 0},
                     {m_master, static_cast<short>(POLLIN | (wantWritable ? POLLOUT : 0)), 0}};
    const timespec timeout{static_cast<time_t>(waitNs / kSecondNs),
                           static_cast<long>(waitNs % kSecondNs)};
    const int ready = ppoll(fds, 2, &timeout, nullptr);
    if (ready < 0) {
        if (errno == EINTR)
            return true;
        std::perror("ppoll");
        return false;
    }
    if (fds[0].revents & POLLIN)
        return false;
    if (fds[1].revents & POLLIN) {
        ReadInput(m_clock());
    } else if (fds[1].revents & (POLLHUP | POLLERR)) {
        // Cannot happen while the slave is held open; never spin on it anyway.
        const timespec pause{0, 50'000'000};
        nanosleep(&pause, nullptr);
    }
    return true;
}

bool CEmulatorLoop::Silent(int64_t now) const {
    return m_options.silentAfter >= 0 && now - m_startNs >= SecondsToNs(m_options.silentAfter);
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
        if (m_files.sendLog && m_unflushedSendLog > 0) {
            FlushFile(m_files.sendLog);
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
        Enqueue(m_bus ? m_device.NextAddressClaim(m_bus->Claims()) : m_device.NextAddressClaim());
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
        const int64_t writtenNs = m_clock();
        sent.clear();
        const long written = m_queue.WriteTo(m_master, allowed, sent);
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
    if (!m_files.sendLog || levels.empty())
        return;
    const long long at = writtenNs;
    for (int level : levels) {
        const int printed =
            level >= kSpoiltMark
                ? std::fprintf(m_files.sendLog, "%lld %d bad\n", at, level - kSpoiltMark)
                : std::fprintf(m_files.sendLog, "%lld %d\n", at, level);
        Check(m_files.sendLog, printed >= 0);
        if (++m_unflushedSendLog >= 100) {
            FlushFile(m_files.sendLog);
            m_unflushedSendLog = 0;
        }
    }
    // Once silent, the log is complete: let readers see all of it.
    if (Silent(m_clock())) {
        FlushFile(m_files.sendLog);
        m_unflushedSendLog = 0;
    }
}

void CEmulatorLoop::ReadInput(int64_t now) {
    uint8_t buffer[256];
    const ssize_t n = read(m_master, buffer, sizeof buffer);
    if (n <= 0)
        return;
    bool lineEnded = false;
    for (ssize_t i = 0; i < n; ++i) {
        if (m_files.trace)
            Check(m_files.trace, std::fprintf(m_files.trace, "%lld %02X\n",
                                              static_cast<long long>(now), buffer[i]) >= 0);
        if (!m_framer.Push(buffer[i]))
            continue;
        lineEnded = true;
        if (m_files.trace)
            Check(m_files.trace,
                  std::fprintf(m_files.trace, "LINE %s\n", m_framer.Line().c_str()) >= 0);
        if (m_options.garbage || Silent(now))
            continue;
        const CommandResult result = m_device.HandleLine(m_framer.Line());
        PublishState(); // the bus side's very next messages show it
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
    if (m_files.trace && lineEnded)
        FlushFile(m_files.trace);
}

void CEmulatorLoop::PublishState() {
    if (m_bus)
        m_bus->SetState({m_device.Level(), m_device.ModeFlags(), m_device.Instances(), 0, 0});
}

void CEmulatorLoop::FlushFiles() {
    if (m_files.sendLog)
        FlushFile(m_files.sendLog);
    if (m_files.trace)
        FlushFile(m_files.trace);
}

void CEmulatorLoop::Check(FILE* file, bool ok) {
    if (!ok && !m_failure.file)
        m_failure = {file, errno};
}

} // namespace emulator
