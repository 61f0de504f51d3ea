// 6: the paced sender, seen from both ends.
#include "bench/RunFolder.h"
#include "bench/SystemRuns.h"

#include "core/CommandLine.h"
#include "core/PacedSender.h"
#include "session/CMSComm.h"
#include "session/SystemSerialBackend.h"

#include <algorithm>
#include <cstdio>

namespace bench {

namespace {

// Times each one-byte write of the paced sender.
class CTimedSink final : public proto::CByteSink {
public:
    explicit CTimedSink(proto::CByteSink& inner) : m_inner(inner) {}
    void WriteByte(uint8_t byte) override {
        const int64_t before = proto::SteadyNs();
        m_inner.WriteByte(byte);
        starts.push_back(before);
        durations.push_back(static_cast<double>(proto::SteadyNs() - before) * 1e-6);
    }
    std::vector<int64_t> starts;
    std::vector<double> durations;

private:
    proto::CByteSink& m_inner;
};

// What the sender measured of the lines after the first.
struct Sent {
    std::vector<double> gapsMs;  // start of one write to the start of the next, within a line
    std::vector<double> writeMs; // how long each write took
    std::vector<int64_t> starts; // the start of each write
};

// Sends the device-instance line 1 + `lines` times through the terminal's
// own serial component on the emulator's pty, as the window uses it.
bool SendLines(const RunFolder& folder, int lines, int& lineLength, Sent& sent,
               std::string& error) {
    CMSComm comm(CreateSystemSerialBackend(QString::fromStdString(folder.path)));
    try {
        comm.SetCommPort(1);
        comm.SetSettings(QStringLiteral("115200,n,8,1"));
        comm.SetPortOpen(true);
    } catch (const CSerialError& e) {
        error = std::string("cannot open the port: ") + e.what();
        return false;
    }
    const proto::CommandLine line = proto::BuildDeviceInstanceLine({1, 2, 3, 4, 5, 6, 7, 8});
    lineLength = line.length;
    CTimedSink sink(comm);
    proto::CSteadyMillisecondClock clock;
    // The lines go one after another, after one that is not measured: on a
    // machine that has been idle, the pseudo-terminal hands the first byte
    // after a silence to the reader late (the kernel first wakes a sleeping
    // processor for it), and the second byte then comes out of the same read.
    // A serial port's receiver has no such start; the first line absorbs it.
    for (int i = 0; i <= lines; ++i) {
        sink.starts.clear();
        sink.durations.clear();
        try {
            proto::SendCommandLine(sink, clock, line.bytes.data(), line.length);
        } catch (const CSerialError& e) {
            error = std::string("write failed: ") + e.what();
            return false;
        }
        if (i == 0)
            continue;
        for (size_t b = 1; b < sink.starts.size(); ++b)
            sent.gapsMs.push_back(static_cast<double>(sink.starts[b] - sink.starts[b - 1]) * 1e-6);
        sent.writeMs.insert(sent.writeMs.end(), sink.durations.begin(), sink.durations.end());
        sent.starts.insert(sent.starts.end(), sink.starts.begin(), sink.starts.end());
    }
    SleepSeconds(0.2);
    comm.SetPortOpen(false);
    return true;
}

// When the emulator's reads returned, one per byte: "<ns> <hex>" lines of
// its trace.
std::vector<int64_t> ReceivedTimes(const std::string& tracePath) {
    std::vector<int64_t> received;
    for (const std::string& t : ReadLines(tracePath)) {
        long long ns = 0;
        unsigned byte = 0;
        if (t.rfind("LINE ", 0) != 0 && std::sscanf(t.c_str(), "%lld %x", &ns, &byte) == 2)
            received.push_back(ns);
    }
    return received;
}

// The receiver's gaps within each measured line, set against the writes.
// `received` holds the unmeasured line first.
void CompareEnds(const std::vector<int64_t>& received, const Sent& sent, PacedResult& r) {
    const auto length = static_cast<size_t>(r.lineLength);
    auto writtenAt = [&](size_t i) { return sent.starts[i - length]; };
    auto ms = [](int64_t ns) { return static_cast<double>(ns) * 1e-6; };
    std::vector<double> receiverGaps, laterGaps, delivery;
    double coalescedSenderGapMin = 1e9;
    for (size_t i = length; i < received.size(); ++i) {
        delivery.push_back(ms(received[i] - writtenAt(i)));
        const size_t position = i % length;
        if (position == 0)
            continue;
        const double gap = ms(received[i] - received[i - 1]);
        receiverGaps.push_back(gap);
        if (gap < 0.5) {
            ++r.coalesced;
            coalescedSenderGapMin =
                std::min(coalescedSenderGapMin, ms(writtenAt(i) - writtenAt(i - 1)));
            r.coalescedDeliveryMaxMs =
                std::max(r.coalescedDeliveryMaxMs, ms(received[i - 1] - writtenAt(i - 1)));
        }
        if (position <= 2 && gap < 2.0)
            ++r.shortAtLineStart;
        if (position > 2)
            laterGaps.push_back(gap);
    }
    r.minAfterLineStartMs = Summarize(laterGaps).min;
    r.deliveryMs = Summarize(delivery);
    r.coalescedSenderGapMinMs = r.coalesced > 0 ? coalescedSenderGapMin : 0;
    r.receiverGapsMs = Summarize(receiverGaps);
}

} // namespace

PacedResult RunPacedSender(const Programs& programs, const Durations& d, bool realtimeReceiver) {
    PacedResult r;
    RunFolder folder;
    if (!MakeRunFolder(programs, realtimeReceiver ? "paced-realtime" : "paced", folder, r.error))
        return r;
    const std::string tracePath = folder.File("trace.log");
    CChildProcess emulator;
    if (!StartEmulator(programs, folder, {"--trace", tracePath}, emulator, r.error,
                       realtimeReceiver ? 50 : 0))
        return r;
    r.realtimeReceiver = emulator.RealTime();
    if (realtimeReceiver && !r.realtimeReceiver) {
        r.error = "the emulator was not given real-time priority";
        return r;
    }
    Sent sent;
    if (!SendLines(folder, d.pacedLines, r.lineLength, sent, r.error))
        return r;
    emulator.Stop(); // flushes the trace

    const std::vector<int64_t> received = ReceivedTimes(tracePath);
    const auto length = static_cast<size_t>(r.lineLength);
    const size_t expected = static_cast<size_t>(d.pacedLines + 1) * length;
    if (received.size() != expected) {
        r.error = "the emulator traced " + std::to_string(received.size()) + " bytes, not " +
                  std::to_string(expected);
        return r;
    }
    if (sent.starts.size() != received.size() - length) {
        r.error = "the sender wrote " + std::to_string(sent.starts.size()) +
                  " measured bytes, not " + std::to_string(received.size() - length);
        return r;
    }
    CompareEnds(received, sent, r);
    r.lines = d.pacedLines;
    r.senderGapsMs = Summarize(sent.gapsMs);
    r.writeMs = Summarize(sent.writeMs);
    r.ok = true;
    return r;
}

} // namespace bench
