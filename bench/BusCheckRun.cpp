// 4d: brendlowctl bus following a fully loaded bus. The emulator stands on a
// virtual CAN bus as the device; a load generator in this process fills the
// bus to about 1,800 frames a second with another engine's messages (fast
// packets among them) and a counter; brendlowctl keeps a candump of what it
// saw, from which every frame the generator sent while it listened must be
// there, in order.
#include "bench/ProcReadings.h"
#include "bench/Report.h"
#include "bench/RunFolder.h"
#include "bench/SystemRuns.h"
#include "can/CanDevice.h"
#include "core/Candump.h"
#include "core/N2kMessages.h"
#include "core/ParameterModel.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <unistd.h>

namespace bench {

namespace {

constexpr uint8_t kCounterSource = 100;
constexpr uint8_t kOtherEngine = 101;
constexpr uint8_t kOtherTransmission = 102;
constexpr uint32_t kCounterPgn = 65280; // proprietary, single frame
// One frame in eight of a fast packet carries its sequence counter in the
// top bits of its first byte: they depend on what went before.
constexpr uint8_t kFrameIndexBits = 0x1F;

// The device's own frames a second: each group's frames over its interval.
double DeviceFramesPerSecond() {
    double perSecond = 0;
    for (const n2k::Group& g : n2k::kGroups)
        if (g.intervalMs > 0)
            perSecond +=
                (n2k::IsFastPacket(g.pgn) ? (g.length + 7) / 7 : 1) * 1000.0 / g.intervalMs;
    return perSecond;
}

// The generator's cycle `c`: a counter frame, then every group of another
// engine at level c % 101. The same `c` always gives the same frames, but
// for fast packets' sequence counters.
std::vector<n2k::CanFrame> Cycle(uint32_t c, n2k::CFrameEncoder& encoder) {
    std::vector<n2k::CanFrame> frames;
    n2k::CanFrame counter;
    counter.id = n2k::MakeId(7, kCounterPgn, kCounterSource, n2k::kGlobal);
    counter.length = 8;
    counter.data = {0xFF, 0x9F, uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), uint8_t(c >> 24),
                    0xFF, 0xFF};
    frames.push_back(counter);
    n2k::DeviceState state;
    state.level = static_cast<uint8_t>(c % 101);
    state.engineAddress = kOtherEngine;
    state.transmissionAddress = kOtherTransmission;
    const panel::RawValues raw = n2k::RawValuesOf(state);
    for (const n2k::Group& g : n2k::kGroups) {
        n2k::CFrameEncoder::Frames out;
        const size_t n = encoder.Encode(n2k::BuildMessage(g, state, raw, 0), out);
        frames.insert(frames.end(), out.begin(), out.begin() + static_cast<long>(n));
    }
    return frames;
}

bool SameFrame(const n2k::CanFrame& a, const n2k::CanFrame& b) {
    if (a.id != b.id || a.length != b.length)
        return false;
    const bool fast = n2k::IsFastPacket(n2k::SplitId(a.id).pgn);
    for (size_t i = 0; i < a.length; ++i)
        if ((i == 0 && fast) ? (a.data[0] & kFrameIndexBits) != (b.data[0] & kFrameIndexBits)
                             : a.data[i] != b.data[i])
            return false;
    return true;
}

// Writes the cycles at `framesPerSecond` on its own thread until stopped.
class CLoadGenerator final : public QThread {
public:
    CLoadGenerator(can::CanName bus, double framesPerSecond)
        : m_bus(std::move(bus)), m_rate(framesPerSecond) {}
    ~CLoadGenerator() override { Stop(); }
    void Stop() {
        quit();
        wait();
    }
    std::atomic<bool> connected{false};
    std::atomic<uint64_t> written{0};
    std::string error;

protected:
    void run() override {
        can::Opened opened = can::OpenCanDevice(m_bus);
        if (!opened.device) {
            error = opened.error.toStdString();
            return;
        }
        QCanBusDevice& device = *opened.device;
        n2k::CFrameEncoder encoder;
        std::vector<n2k::CanFrame> pending;
        uint32_t cycle = 0;
        size_t next = 0;
        QElapsedTimer clock;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (device.state() != QCanBusDevice::ConnectedState)
                return;
            if (!clock.isValid()) {
                clock.start();
                connected = true;
            }
            const auto due = static_cast<uint64_t>(clock.nsecsElapsed() * 1e-9 * m_rate);
            while (written < due) {
                if (next == pending.size()) {
                    pending = Cycle(cycle++, encoder);
                    next = 0;
                }
                if (!device.writeFrame(can::ToQt(pending[next])))
                    return;
                ++next;
                ++written;
            }
        });
        ticker.start(5);
        exec();
        device.disconnectDevice();
    }

private:
    can::CanName m_bus;
    double m_rate;
};

uint32_t CounterOf(const n2k::CanFrame& frame) {
    const auto& d = frame.data;
    return d[2] | d[3] << 8 | d[4] << 16 | uint32_t(d[5]) << 24;
}

// The generator's frames in brendlowctl's candump, cycle by cycle from the
// first counter frame: every frame that should have come and did not is
// lost, whole cycles between two counters included. The last cycle may be
// cut short by the end of the log.
void CountLost(const std::string& candump, BusCheckResult& r) {
    std::vector<std::vector<n2k::CanFrame>> cycles; // each from its counter frame on
    uint64_t firstUs = 0, lastUs = 0;
    for (const std::string& line : ReadLines(candump)) {
        const auto record = n2k::ParseCandumpLine(line);
        if (!record)
            continue;
        if (r.framesLogged++ == 0)
            firstUs = record->microseconds;
        lastUs = record->microseconds;
        const uint8_t source = n2k::SplitId(record->frame.id).source;
        if (source == kCounterSource)
            cycles.emplace_back();
        if (!cycles.empty() &&
            (source == kCounterSource || source == kOtherEngine || source == kOtherTransmission))
            cycles.back().push_back(record->frame);
    }
    if (lastUs > firstUs)
        r.framesPerSecondLogged = double(r.framesLogged - 1) / ((lastUs - firstUs) * 1e-6);
    n2k::CFrameEncoder encoder;
    for (size_t i = 0; i < cycles.size(); ++i) {
        const uint32_t c = CounterOf(cycles[i].front());
        const std::vector<n2k::CanFrame> expected = Cycle(c, encoder);
        if (i > 0) // whole cycles missing between two counters
            r.generatorFramesLost += (c - CounterOf(cycles[i - 1].front()) - 1) * expected.size();
        const bool last = i + 1 == cycles.size();
        size_t at = 0;
        for (const n2k::CanFrame& frame : expected) {
            if (at < cycles[i].size() && SameFrame(frame, cycles[i][at])) {
                ++r.generatorFramesMatched;
                ++at;
            } else if (!last || at < cycles[i].size()) {
                ++r.generatorFramesLost;
            }
        }
    }
}

} // namespace

BusCheckResult RunBusCheck(const Programs& programs, const Durations& d) {
    BusCheckResult r;
    RunFolder folder;
    if (!MakeRunFolder(programs, "bus-check", folder, r.error))
        return r;
    const std::string port = std::to_string(36000 + (getpid() + 1) % 20000);
    const can::CanName bus{QStringLiteral("virtualcan"),
                           QString::fromStdString("tcp://127.0.0.1:" + port + "/can0")};
    CChildProcess emulator;
    // The emulator hosts the bus: it is the first on it.
    if (!StartEmulator(programs, folder, {"--can", bus.Text().toStdString()}, emulator, r.error))
        return r;
    r.deviceFramesPerSecond = DeviceFramesPerSecond();
    r.generatorFramesPerSecond = kLoadedBusFramesPerSecond - r.deviceFramesPerSecond;
    CLoadGenerator generator(bus, r.generatorFramesPerSecond);
    generator.start();
    for (int i = 0; i < 500 && !generator.connected && generator.isRunning(); ++i)
        SleepSeconds(0.01);
    if (!generator.connected) {
        r.error = "the load generator did not connect to the bus: " + generator.error;
        return r;
    }
    // Long enough to identify the device and see its claims before the
    // window, and to judge what came in it after.
    const double settle = 2;
    const std::string candump = folder.File("bus.candump");
    CChildProcess ctl;
    const QStringList arguments{QStringLiteral("--port"),
                                QString::fromStdString(folder.link),
                                QStringLiteral("bus"),
                                QStringLiteral("--can"),
                                bus.Text(),
                                QStringLiteral("--seconds"),
                                QString::number(d.floodSeconds + 2 * settle),
                                QStringLiteral("--candump"),
                                QString::fromStdString(candump),
                                QStringLiteral("--json")};
    if (!ctl.Start(QString::fromStdString(programs.ctl), arguments,
                   {{}, QString::fromStdString(folder.File("bus.jsonl"))})) {
        r.error = "cannot start " + programs.ctl;
        return r;
    }
    SleepSeconds(settle);
    r.cpu = MeasureCpu(ctl.Pid(), d.floodSeconds);
    r.exitCode = ctl.WaitForExit(2 * settle + 10);
    generator.Stop();
    CountLost(candump, r);
    r.ok = r.exitCode >= 0 && r.generatorFramesMatched > 0;
    if (!r.ok)
        r.error = r.exitCode < 0 ? "brendlowctl bus did not end" + Excerpt(folder.File("bus.jsonl"))
                                 : "brendlowctl logged none of the generator's frames";
    return r;
}

} // namespace bench
