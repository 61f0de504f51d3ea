#include "bench/SystemRuns.h"

#include "core/CommandLine.h"
#include "core/PacedSender.h"
#include "session/CMSComm.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sched.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace bench {

namespace fs = std::filesystem;

Summary Summarize(std::vector<double> values) {
    Summary s;
    s.count = values.size();
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least p of the sample at or below it.
    auto rank = [&](double p) {
        const auto index = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
        return values[std::clamp<size_t>(index, 1, values.size()) - 1];
    };
    s.min = values.front();
    s.max = values.back();
    s.p50 = rank(0.50);
    s.p99 = rank(0.99);
    double sum = 0;
    for (double v : values)
        sum += v;
    s.mean = sum / static_cast<double>(values.size());
    return s;
}

namespace {

void SleepSeconds(double seconds) {
    if (seconds > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(static_cast<int64_t>(seconds * 1e9)));
}

// ---- child processes ----

class CChild {
public:
    CChild() = default;
    CChild(const CChild&) = delete;
    CChild& operator=(const CChild&) = delete;
    ~CChild() { Stop(); }

    // Starts `args` with `extraEnv` added to this process's environment and
    // its output going to `outputPath`. `startNs` gets the steady clock read
    // right before the fork.
    // A `realtimePriority` above 0 asks for SCHED_FIFO at that priority (the
    // parent can tell with RealTime() whether it was granted).
    bool Start(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
               const std::string& outputPath, int64_t* startNs = nullptr,
               int realtimePriority = 0) {
        std::vector<std::string> env = extraEnv;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            const bool replaced = std::any_of(extraEnv.begin(), extraEnv.end(), [&](const auto& x) {
                return x.compare(0, name.size() + 1, name + "=") == 0;
            });
            if (!replaced)
                env.push_back(entry);
        }
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        const int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (output < 0)
            return false;

        const int64_t before = SteadyNs();
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM); // ends with the driver, however it ends
            if (realtimePriority > 0) {
                sched_param param{};
                param.sched_priority = realtimePriority;
                sched_setscheduler(0, SCHED_FIFO, &param);
            }
            dup2(output, STDOUT_FILENO);
            dup2(output, STDERR_FILENO);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        close(output);
        if (pid < 0)
            return false;
        m_pid = pid;
        if (startNs != nullptr)
            *startNs = before;
        return true;
    }

    pid_t Pid() const { return m_pid; }
    bool RealTime() const { return m_pid > 0 && sched_getscheduler(m_pid) == SCHED_FIFO; }
    bool Running() {
        if (m_pid <= 0)
            return false;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        return true;
    }

    // Stops the process where it is (SIGSTOP) and waits until it has stopped.
    bool Freeze() {
        if (m_pid <= 0 || kill(m_pid, SIGSTOP) != 0)
            return false;
        int status = 0;
        return waitpid(m_pid, &status, WUNTRACED) == m_pid && WIFSTOPPED(status);
    }

    // SIGTERM (the emulator then flushes its logs and removes its link),
    // SIGKILL after five seconds.
    void Stop() {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGTERM);
        kill(m_pid, SIGCONT);
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            SleepSeconds(0.01);
        }
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

// ---- /proc ----

// utime + stime of all the process's threads, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t paren = text.rfind(')');
    if (paren == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(paren + 1));
    std::vector<std::string> f;
    for (std::string s; fields >> s;)
        f.push_back(s);
    // f[0] is field 3 (state); utime and stime are fields 14 and 15.
    if (f.size() < 13)
        return -1;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (std::stod(f[11]) + std::stod(f[12])) / ticks;
}

// The run time the scheduler accounted to each of the process's threads, in
// nanoseconds, summed: finer than the clock ticks of utime and stime.
double ScheduledSeconds(pid_t pid) {
    std::error_code ec;
    double total = 0;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(task.path() / "schedstat");
        double ns = 0;
        if (in >> ns)
            total += ns;
    }
    return total * 1e-9;
}

// VmRSS in kB, or -1.
long ResidentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// ---- logs ----

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// One line of the terminal's status log: "<what> <detail> <steady_ns>".
struct StatusLine {
    std::string what;
    std::string detail;
    int64_t ns = 0;
};

std::vector<StatusLine> ReadStatusLog(const std::string& path) {
    std::vector<StatusLine> result;
    for (const std::string& line : ReadLines(path)) {
        const size_t first = line.find(' ');
        const size_t last = line.rfind(' ');
        if (first == std::string::npos || last == first)
            continue; // a line still being written
        StatusLine s;
        s.what = line.substr(0, first);
        s.detail = line.substr(first + 1, last - first - 1);
        s.ns = std::strtoll(line.c_str() + last + 1, nullptr, 10);
        result.push_back(s);
    }
    return result;
}

const StatusLine* Find(const std::vector<StatusLine>& log, const std::string& what) {
    for (const StatusLine& s : log)
        if (s.what == what)
            return &s;
    return nullptr;
}

// Polls the status log until a line `what` appears; returns its time or -1.
int64_t WaitForStatus(const std::string& path, const std::string& what, double timeoutSeconds,
                      CChild& terminal) {
    const int64_t end = SteadyNs() + static_cast<int64_t>(timeoutSeconds * 1e9);
    while (SteadyNs() < end && terminal.Running()) {
        const auto log = ReadStatusLog(path);
        if (const StatusLine* s = Find(log, what))
            return s->ns;
        SleepSeconds(0.005);
    }
    return -1;
}

// ---- a scratch folder with its own copy of the terminal ----

struct RunFolder {
    std::string path;
    std::string terminal; // the copy, with Quarnel.ini naming COM1 beside it
    std::string link;     // ports/COM1, made by the emulator

    std::string File(const std::string& name) const { return path + "/" + name; }
};

bool MakeRunFolder(const Programs& programs, const std::string& name, RunFolder& folder,
                   std::string& error) {
    folder.path = programs.workFolder + "/" + name;
    std::error_code ec;
    fs::remove_all(folder.path, ec);
    fs::create_directories(folder.path, ec);
    if (ec) {
        error = "cannot make " + folder.path + ": " + ec.message();
        return false;
    }
    folder.terminal = folder.File("BrendlowTerminal");
    folder.link = folder.File("ports/COM1");
    fs::copy_file(programs.terminal, folder.terminal, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        error = "cannot copy " + programs.terminal + ": " + ec.message();
        return false;
    }
    std::ofstream(folder.File("Quarnel.ini")) << "COM=1;\r\n";
    // The copy and the removed folder's files are written back now, not by
    // the kernel's write-back in the middle of a measurement (where it
    // delays the pseudo-terminal's delivery and the terminal's own writes).
    ::sync();
    return true;
}

bool StartEmulator(const Programs& programs, const RunFolder& folder,
                   const std::vector<std::string>& options, CChild& emulator, std::string& error,
                   int realtimePriority = 0) {
    std::vector<std::string> args{programs.emulator, "--link", folder.link};
    args.insert(args.end(), options.begin(), options.end());
    if (!emulator.Start(args, {}, folder.File("emulator.out"), nullptr, realtimePriority)) {
        error = "cannot start " + programs.emulator;
        return false;
    }
    for (int i = 0; i < 500; ++i) {
        struct stat st {};
        if (lstat(folder.link.c_str(), &st) == 0)
            return true;
        if (!emulator.Running())
            break;
        SleepSeconds(0.01);
    }
    error = "the emulator did not make " + folder.link;
    return false;
}

bool StartTerminal(const RunFolder& folder, CChild& terminal, int64_t* startNs, std::string& error,
                   const std::vector<std::string>& extraEnv = {}) {
    std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen",
                                 "BRENDLOW_STATUS_LOG=" + folder.File("status.log")};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    if (!terminal.Start({folder.terminal}, env, folder.File("terminal.out"), startNs)) {
        error = "cannot start " + folder.terminal;
        return false;
    }
    return true;
}

std::string Excerpt(const std::string& path) {
    const auto lines = ReadLines(path);
    std::string text;
    for (size_t i = lines.size() > 5 ? lines.size() - 5 : 0; i < lines.size(); ++i)
        text += " | " + lines[i];
    return text;
}

// Starts the emulator with `emulatorArgs` and the terminal, and waits until
// the terminal has identified the device. Returns when that was, or -1.
int64_t StartConnected(const Programs& programs, const RunFolder& folder,
                       const std::vector<std::string>& emulatorArgs, CChild& emulator,
                       CChild& terminal, std::string& error,
                       const std::vector<std::string>& terminalEnv = {}) {
    if (!StartEmulator(programs, folder, emulatorArgs, emulator, error) ||
        !StartTerminal(folder, terminal, nullptr, error, terminalEnv))
        return -1;
    const int64_t identifiedNs =
        WaitForStatus(folder.File("status.log"), "identified", 20, terminal);
    if (identifiedNs < 0)
        error = "the terminal did not identify the device" + Excerpt(folder.File("terminal.out"));
    return identifiedNs;
}

struct CpuWindow {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double scheduledSeconds = 0;
};

// The CPU a process takes over the next `seconds`.
CpuWindow MeasureCpu(pid_t pid, double seconds) {
    const int64_t t0 = SteadyNs();
    const double cpu0 = CpuSeconds(pid);
    const double scheduled0 = ScheduledSeconds(pid);
    SleepSeconds(seconds);
    CpuWindow w;
    w.cpuSeconds = CpuSeconds(pid) - cpu0;
    w.scheduledSeconds = ScheduledSeconds(pid) - scheduled0;
    w.wallSeconds = static_cast<double>(SteadyNs() - t0) * 1e-9;
    return w;
}

} // namespace

// ---- 3: end to end under a flood at the full line rate ----

FloodResult RunFlood(const Programs& programs, const Durations& d, FloodReader reader) {
    FloodResult r;
    RunFolder folder;
    const char* const names[] = {"flood", "flood-traffic", "flood-watch"};
    if (!MakeRunFolder(programs, names[static_cast<int>(reader)], folder, r.error))
        return r;
    const std::string sendLog = folder.File("send.log");
    const std::string statusLog = folder.File("status.log");
    const std::string watchOutput = folder.File("watch.jsonl");
    const std::vector<std::string> flood{"--flood", "--pace-bytes", "11520",
                                         "--sweep", "--send-log",   sendLog};
    CChild emulator, terminal;
    if (reader == FloodReader::WatchJson) {
        // brendlowctl stands where the terminal would: its first record
        // says it identified the device.
        if (!StartEmulator(programs, folder, flood, emulator, r.error))
            return r;
        if (!terminal.Start({programs.ctl, "--port", folder.link, "watch", "--json"}, {},
                            watchOutput)) {
            r.error = "cannot start " + programs.ctl;
            return r;
        }
        for (int i = 0; i < 2000 && ReadLines(watchOutput).empty(); ++i)
            SleepSeconds(0.01);
        if (ReadLines(watchOutput).empty()) {
            r.error = "brendlowctl printed no record";
            return r;
        }
    } else {
        std::vector<std::string> env;
        if (reader == FloodReader::WindowWithTrafficMonitor)
            env.push_back("BRENDLOW_TRAFFIC_MONITOR=1");
        if (StartConnected(programs, folder, flood, emulator, terminal, r.error, env) < 0)
            return r;
    }

    const CpuWindow cpu = MeasureCpu(terminal.Pid(), d.floodSeconds);
    r.wallSeconds = cpu.wallSeconds;
    r.cpuSeconds = cpu.cpuSeconds;
    r.scheduledSeconds = cpu.scheduledSeconds;

    // Halt the emulator: what it had written by now is what must be shown.
    if (!emulator.Freeze()) {
        r.error = "cannot stop the emulator";
        return r;
    }
    const int64_t frozenNs = SteadyNs();
    SleepSeconds(0.5); // the terminal reads and shows what is left in the pty
    std::vector<StatusLine> status = ReadStatusLog(statusLog);
    emulator.Stop(); // flushes the send log
    terminal.Stop();
    if (reader == FloodReader::WatchJson) {
        status.push_back({"identified", "", 0});
        for (const std::string& line : ReadLines(watchOutput)) {
            const size_t at = line.find("\"level\":");
            if (at != std::string::npos)
                status.push_back({"level", std::to_string(std::atoi(line.c_str() + at + 8)), 0});
        }
    }

    struct Event {
        int64_t ns;
        int level;
    };
    std::vector<Event> sent, shown;
    for (const std::string& line : ReadLines(sendLog)) {
        Event e{};
        if (std::sscanf(line.c_str(), "%ld %d", &e.ns, &e.level) == 2 && e.ns <= frozenNs)
            sent.push_back(e);
    }
    bool identified = false;
    for (const StatusLine& s : status) {
        identified = identified || s.what == "identified";
        if (identified && s.what == "level")
            shown.push_back({s.ns, std::atoi(s.detail.c_str())});
    }
    // With --sweep consecutive broadcasts carry different levels, so the
    // shown levels are matched to the sent ones in order; a sent level that
    // does not come next among the shown ones was lost.
    std::vector<double> latencies;
    size_t k = 0;
    for (const Event& e : sent) {
        if (k < shown.size() && shown[k].level == e.level) {
            if (reader != FloodReader::WatchJson)
                latencies.push_back(static_cast<double>(shown[k].ns - e.ns) * 1e-6);
            ++k;
            ++r.matched;
        } else {
            ++r.lost;
        }
    }
    r.sent = sent.size();
    r.shown = shown.size();
    r.unmatchedShown = shown.size() - k;
    if (sent.size() >= 2)
        r.sentPerSecond = static_cast<double>(sent.size() - 1) /
                          (static_cast<double>(sent.back().ns - sent.front().ns) * 1e-9);
    r.latencyMs = Summarize(latencies);
    r.ok = !sent.empty();
    if (!r.ok)
        r.error = "the emulator logged no level broadcast";
    return r;
}

// ---- 4 and 5: idle at the default rate, resident memory ----

IdleResult RunIdle(const Programs& programs, const Durations& d) {
    IdleResult r;
    RunFolder folder;
    if (!MakeRunFolder(programs, "idle", folder, r.error))
        return r;
    CChild emulator, terminal;
    const int64_t identifiedNs = StartConnected(programs, folder, {}, emulator, terminal, r.error);
    if (identifiedNs < 0)
        return r;
    const CpuWindow cpu = MeasureCpu(terminal.Pid(), d.idleSeconds);
    r.wallSeconds = cpu.wallSeconds;
    r.cpuSeconds = cpu.cpuSeconds;
    r.scheduledSeconds = cpu.scheduledSeconds;

    SleepSeconds(d.residentSeconds - static_cast<double>(SteadyNs() - identifiedNs) * 1e-9);
    r.residentAfterSeconds = static_cast<double>(SteadyNs() - identifiedNs) * 1e-9;
    const long kb = ResidentKb(terminal.Pid());
    if (kb < 0 || !terminal.Running()) {
        r.error = "the terminal ended before its memory was read";
        return r;
    }
    r.residentMiB = static_cast<double>(kb) / 1024.0;
    r.ok = true;
    return r;
}

// ---- 5: start-up to the first paint ----

StartupResult RunStartups(const Programs& programs, const Durations& d) {
    StartupResult r;
    RunFolder folder;
    if (!MakeRunFolder(programs, "startup", folder, r.error))
        return r;
    // An emulator on COM1 as in real use; the window is painted before the
    // first connection attempt, a second after start.
    CChild emulator;
    if (!StartEmulator(programs, folder, {}, emulator, r.error))
        return r;
    for (int i = 0; i < d.startups; ++i) {
        std::remove(folder.File("status.log").c_str());
        CChild terminal;
        int64_t startNs = 0;
        if (!StartTerminal(folder, terminal, &startNs, r.error))
            return r;
        const int64_t paintedNs = WaitForStatus(folder.File("status.log"), "painted", 20, terminal);
        terminal.Stop();
        if (paintedNs < 0) {
            r.error =
                "the terminal did not paint its window" + Excerpt(folder.File("terminal.out"));
            return r;
        }
        r.ms.push_back(static_cast<double>(paintedNs - startNs) * 1e-6);
    }
    r.ok = true;
    return r;
}

// ---- 6: the paced sender, seen from both ends ----

namespace {

// Times each one-byte write of the paced sender.
class CTimedSink final : public proto::CByteSink {
public:
    explicit CTimedSink(proto::CByteSink& inner) : m_inner(inner) {}
    void WriteByte(uint8_t byte) override {
        const int64_t before = SteadyNs();
        m_inner.WriteByte(byte);
        starts.push_back(before);
        durations.push_back(static_cast<double>(SteadyNs() - before) * 1e-6);
    }
    std::vector<int64_t> starts;
    std::vector<double> durations;

private:
    proto::CByteSink& m_inner;
};

} // namespace

PacedResult RunPacedSender(const Programs& programs, const Durations& d, bool realtimeReceiver) {
    PacedResult r;
    RunFolder folder;
    if (!MakeRunFolder(programs, realtimeReceiver ? "paced-realtime" : "paced", folder, r.error))
        return r;
    const std::string tracePath = folder.File("trace.log");
    CChild emulator;
    if (!StartEmulator(programs, folder, {"--trace", tracePath}, emulator, r.error,
                       realtimeReceiver ? 50 : 0))
        return r;
    r.realtimeReceiver = emulator.RealTime();
    if (realtimeReceiver && !r.realtimeReceiver) {
        r.error = "the emulator was not given real-time priority";
        return r;
    }

    // The terminal's own serial component on the pty, as the window uses it.
    CMSComm comm(CreateSystemSerialBackend(QString::fromStdString(folder.path)));
    try {
        comm.SetCommPort(1);
        comm.SetSettings(QStringLiteral("115200,n,8,1"));
        comm.SetPortOpen(true);
    } catch (const CSerialError& e) {
        r.error = std::string("cannot open the port: ") + e.what();
        return r;
    }
    const proto::CommandLine line = proto::BuildDeviceInstanceLine({1, 2, 3, 4, 5, 6, 7, 8});
    r.lineLength = line.length;
    CTimedSink sink(comm);
    proto::CSteadyMillisecondClock clock;
    std::vector<double> senderGaps, writeMs;
    std::vector<int64_t> written; // the start of each measured write
    // The lines go one after another, after one that is not measured: on a
    // machine that has been idle, the pseudo-terminal hands the first byte
    // after a silence to the reader late (the kernel first wakes a sleeping
    // processor for it), and the second byte then comes out of the same read.
    // A serial port's receiver has no such start; the first line absorbs it.
    for (int i = 0; i <= d.pacedLines; ++i) {
        sink.starts.clear();
        sink.durations.clear();
        try {
            proto::SendCommandLine(sink, clock, line.bytes.data(), line.length);
        } catch (const CSerialError& e) {
            r.error = std::string("write failed: ") + e.what();
            return r;
        }
        if (i == 0)
            continue;
        for (size_t b = 1; b < sink.starts.size(); ++b)
            senderGaps.push_back(static_cast<double>(sink.starts[b] - sink.starts[b - 1]) * 1e-6);
        writeMs.insert(writeMs.end(), sink.durations.begin(), sink.durations.end());
        written.insert(written.end(), sink.starts.begin(), sink.starts.end());
    }
    SleepSeconds(0.2);
    comm.SetPortOpen(false);
    emulator.Stop(); // flushes the trace

    // "<ns> <hex>" per received byte; the lines are sent one after another.
    std::vector<int64_t> received;
    for (const std::string& t : ReadLines(tracePath)) {
        long long ns = 0;
        unsigned byte = 0;
        if (t.rfind("LINE ", 0) != 0 && std::sscanf(t.c_str(), "%lld %x", &ns, &byte) == 2)
            received.push_back(ns);
    }
    const auto expected = static_cast<size_t>(d.pacedLines + 1) * static_cast<size_t>(line.length);
    if (received.size() != expected) {
        r.error = "the emulator traced " + std::to_string(received.size()) + " bytes, not " +
                  std::to_string(expected);
        return r;
    }
    const auto measuredFrom = static_cast<size_t>(line.length);
    if (written.size() != received.size() - measuredFrom) {
        r.error = "the sender wrote " + std::to_string(written.size()) + " measured bytes, not " +
                  std::to_string(received.size() - measuredFrom);
        return r;
    }
    auto writtenAt = [&](size_t i) { return written[i - measuredFrom]; };
    std::vector<double> receiverGaps, laterGaps, delivery;
    double coalescedSenderGapMin = 1e9;
    for (size_t i = measuredFrom; i < received.size(); ++i) {
        delivery.push_back(static_cast<double>(received[i] - writtenAt(i)) * 1e-6);
        const size_t position = i % static_cast<size_t>(line.length);
        if (position == 0)
            continue;
        const double gap = static_cast<double>(received[i] - received[i - 1]) * 1e-6;
        receiverGaps.push_back(gap);
        if (gap < 0.5) {
            ++r.coalesced;
            coalescedSenderGapMin = std::min(
                coalescedSenderGapMin, static_cast<double>(writtenAt(i) - writtenAt(i - 1)) * 1e-6);
            r.coalescedDeliveryMaxMs =
                std::max(r.coalescedDeliveryMaxMs,
                         static_cast<double>(received[i - 1] - writtenAt(i - 1)) * 1e-6);
        }
        if (position <= 2 && gap < 2.0)
            ++r.shortAtLineStart;
        if (position > 2)
            laterGaps.push_back(gap);
    }
    r.minAfterLineStartMs = Summarize(laterGaps).min;
    r.deliveryMs = Summarize(delivery);
    r.coalescedSenderGapMinMs = r.coalesced > 0 ? coalescedSenderGapMin : 0;
    r.lines = d.pacedLines;
    r.receiverGapsMs = Summarize(receiverGaps);
    r.senderGapsMs = Summarize(senderGaps);
    r.writeMs = Summarize(writeMs);
    r.ok = true;
    return r;
}

} // namespace bench
