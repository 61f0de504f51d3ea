// The line protocol: hex pairs, command and report lines, the paced sender,
// receive framing, report dispatch and the texts shown for reports; and the
// device instance line.
#include "core/CommandLine.h"
#include "core/InstanceManagement.h"
#include "core/PacedSender.h"
#include "core/ReceiveWindow.h"
#include "core/ReportLines.h"
#include "core/Reports.h"

#include <QtTest>
#include <chrono>
#include <set>
#include <stdexcept>
#include <tuple>

using Bytes = QByteArray;
using Lines = QByteArrayList;
using namespace proto;

namespace {

const uint8_t* U(const Bytes& b) {
    return reinterpret_cast<const uint8_t*>(b.constData());
}
Bytes B(const uint8_t* bytes, int n) {
    return Bytes(reinterpret_cast<const char*>(bytes), n);
}
Bytes B(const CommandLine& l) {
    return B(l.bytes.data(), l.length);
}

// Moves on by `step` after every reading; `script` readings come first.
class CFakeClock final : public CMillisecondClock {
public:
    CFakeClock(uint32_t start, uint32_t step) : m_next(start), m_step(step) {}
    uint32_t Now() override {
        if (readings.size() > 100000)
            throw std::runtime_error("the pause does not end");
        const uint32_t t = script.isEmpty() ? m_next : script.takeFirst();
        m_next = t + m_step;
        readings.append(t);
        return t;
    }
    void BeginPause() override { pauseStarts.append(readings.size()); }

    QList<uint32_t> script, readings;
    QList<qsizetype> pauseStarts; // index of each pause's first reading
private:
    uint32_t m_next, m_step;
};

class CRecordingSink final : public CByteSink {
public:
    void WriteByte(uint8_t byte) override { written.append(static_cast<char>(byte)); }
    Bytes written;
};

// Records every call; an ID report with what it decodes to and whether its
// checksum holds. Decoded broadcast values are left to the fuzz_framing
// target.
class CRecordingTarget final : public CReportTarget {
public:
    explicit CRecordingTarget(int state) : idPending(state & 1), identified(state & 2) {}
    void SetTrafficSeen() override { events << "traffic"; }
    bool IdQueryPending() const override { return idPending; }
    bool DeviceIdentified() const override { return identified; }
    void OnLevelAck() override { events << "levelAck"; }
    void OnKeyAck() override { events << "keyAck"; }
    void OnIdReport(const uint8_t* line) override {
        const IdReport r = DecodeIdReport(line);
        events << QString::asprintf("id:%c,%u,%d,%s", r.productCode, r.serialNumber, r.firmwareByte,
                                    IdReportChecksumValid(line) ? "ok" : "bad");
    }
    void OnLevelBroadcast(uint8_t, uint8_t) override { events << "level"; }
    void OnAddressClaim(const AddressClaim&) override { events << "claim"; }
    void OnInstanceBroadcast(const InstanceReport&) override { events << "instances"; }
    const bool idPending, identified;
    QStringList events;
};

} // namespace

class TestLink : public QObject {
    Q_OBJECT

private slots:
    // The lines built from hex pairs (the pairs themselves are left to the
    // fuzz_hexpair target), and the instance texts.
    void builtLines() {
        const std::pair<Bytes, const char*> lines[] = {
            {B(BuildIdQuery()), "AT ID?"},
            {B(BuildKeyCommand(kKeyDown)), "AT KI1065"},
            {B(BuildLevelCommand(0)), "AT %006C"},
            {B(BuildLevelCommand(100)), "AT %46CB"},
            {B(BuildDeviceInstanceLine({255, 255, 255, 255, 255, 255, 255, 255})),
             "AT DIFFFFFFFFFFFFFFFFE5"},
            {B(BuildDeviceInstanceLine({12, 255, 255, 255, 255, 255, 255, 255})),
             "AT DIC0FFFFFFFFFFFFFF77"},
            {Bytes::fromStdString(BuildLevelBroadcastLine(50, 3)), "BRC %S23309C"},
            {Bytes::fromStdString(BuildAddressClaimLine(5, 0, 3)), "BRC ACS500030A0"},
            {Bytes::fromStdString(BuildInstanceBroadcastLine({0, 1, 2, 3, 4, 5, 6, 7, 8})),
             "BRC DS001020304050607080EE"},
            {Bytes::fromStdString(BuildIdReportLine('>', 16777216, 122)), "ACK IDE300000010A731"},
        };
        for (const auto& [line, text] : lines)
            QCOMPARE(line, Bytes(text) + "\r\n");

        // 0..15 written plainly is an instance; anything else is 255.
        QList<int> got;
        for (const char* t : {"0", "9", "10", "15", "16", "19", "05", " 3", "N/A", "1 ", "+", ":",
                              "1:", "-1", "150", ""})
            got << device::InstanceFromText(t);
        QCOMPARE(got, QList<int>({0, 9, 10, 15, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                                  255, 255}));
    }

    void pacedSender() {
        // The pause alone. Each row: clock start and step, readings scripted
        // first, readings the pause takes. A wrap, or a reading below the
        // start, ends it at once.
        using Row = std::tuple<uint32_t, uint32_t, QList<uint32_t>, int>;
        for (const auto& [start, step, script, readings] :
             {Row{100, 1, {}, 3}, Row{100, 5, {}, 2}, Row{0, 1, {50, 50, 50, 51, 52}, 5},
              Row{0xFFFFFFFD, 1, {}, 3}, Row{0xFFFFFFFE, 0, {}, 2}, Row{0xFFFFFFFF, 1, {}, 2},
              Row{0, 0, {1000, 999}, 2}}) {
            CFakeClock clock(start, step);
            clock.script = script;
            PauseTwoMilliseconds(clock);
            QCOMPARE(clock.readings.size(), readings);
            QCOMPARE(clock.pauseStarts, QList<qsizetype>{0});
        }

        // One byte per write, never past the length; a pause after every
        // byte, the last included, each ending at the first reading 2 ms
        // after its first.
        const Bytes line = B(BuildKeyCommand(kKeyDown)).leftJustified(300, 'x');
        for (auto [length, written] :
             {std::pair{11, 11}, {3, 3}, {1, 1}, {255, 255}, {0, 0}, {-1, 0}, {256, 0}}) {
            CFakeClock clock(0, 1);
            CRecordingSink sink;
            SendCommandLine(sink, clock, U(line), length);
            QCOMPARE(sink.written, line.left(written));
            QCOMPARE(clock.pauseStarts.size(), written);
            clock.pauseStarts.append(clock.readings.size());
            for (int i = 0; i < written; ++i) {
                const qsizetype first = clock.pauseStarts[i], last = clock.pauseStarts[i + 1] - 1;
                QCOMPARE(clock.readings[last] - clock.readings[first], 2u);
            }
        }

        // The real clock never pauses less than 2.0 ms.
        CSteadyMillisecondClock steady;
        auto shortest = std::chrono::steady_clock::duration::max();
        for (int i = 0; i < 50; ++i) {
            const auto t = std::chrono::steady_clock::now();
            PauseTwoMilliseconds(steady);
            shortest = std::min(shortest, std::chrono::steady_clock::now() - t);
        }
        QVERIFY2(shortest >= std::chrono::milliseconds(2),
                 qPrintable(QString("shortest pause %1 ns").arg(shortest.count())));
    }

    // Each row: the chunks pushed, the lines handed out, what is left in the
    // window. Invariants on any bytes are left to the fuzz_framing target, an
    // overlong line to test_session.
    void receiveWindow() {
        const Bytes noise = Bytes("abcdefghijklmnopqrstuvwxyz").repeated(3).left(60);
        for (const auto& [chunks, lines, rest] : {
                 std::tuple<Lines, Lines, Bytes>{{"ack %\r\n"}, {"ACK %\r\n"}, {}},
                 {{"xyaCk %\r\n"}, {"ACK %\r\n"}, {}},
                 {{"abc ACK %\r\n"}, {"ABC ACK %\r\n"}, {}},
                 {{"BRC %", "S23309C\r\n"}, {"BRC %S23309C\r\n"}, {}},
                 {{"ACK %\r\nACK KI\r\n"}, {"ACK %\r\n", "ACK KI\r\n"}, {}},
                 {{noise}, {}, noise.right(50)},
                 {{"abcd\r\n"}, {"ABCD\r\n"}, {}},
             }) {
            CReceiveWindow window;
            Lines got;
            for (const Bytes& chunk : chunks)
                window.Push(U(chunk), int(chunk.size()),
                            [&](const uint8_t* line, int length) { got << B(line, length); });
            QCOMPARE(got.join('|') + " rest " + B(window.Data(), window.Count()),
                     lines.join('|') + " rest " + rest);
        }
    }

    // Each row: the line, the state (bit 0: ID query pending, bit 1:
    // identified), the calls it makes and the verdict. Broadcasts before the
    // identification and bad checksums are in test_session and fuzz_framing.
    void dispatch() {
        for (const auto& [text, state, events] : {
                 std::tuple{"ACK %", 0, "traffic levelAck ok"},
                 {"ACK KI", 0, "traffic keyAck ok"},
                 {"ACK ID931000000090E2", 1, "traffic id:9,1,9,ok ok"},
                 {"ACK ID83102030FF1000", 1, "traffic id:8,4278387201,1,bad bad-checksum"},
                 {"ACK XY", 3, "traffic unexpected"},
                 {"BRC %S23309C", 2, "traffic level ok"},
                 {"BRC ACS500030A0", 2, "traffic claim ok"},
                 {"BRC DS001020304050607080EE", 2, "traffic instances ok"},
             }) {
            const Bytes line = Bytes(text) + "\r\n";
            CRecordingTarget target(state);
            static const char* const kVerdicts[] = {"ok", "bad-checksum", "unexpected"};
            target.events << kVerdicts[int(DispatchReport(U(line), int(line.size()), target))];
            const QString context = QString("%1 (%2): ").arg(text).arg(state);
            QCOMPARE(context + target.events.join(' '), context + events);
        }
    }

    void texts() {
        auto S = [](const std::string& text) { return QString::fromStdString(text); };
        QStringList texts;
        for (int v : {1, 5, 10, 100, 123, 256})
            texts << S(FirmwareVersionText(uint16_t(v)));
        for (const AddressClaim& c : {AddressClaim{0x01, 0, 3}, {0x08, 254, 255}, {0x06, 9, 10}})
            texts << S(EngineSaText(c)) << S(TransmissionSaText(c));
        QCOMPARE(texts,
                 QStringList({" 0.1A", " 0.5A", " 1.0A", "10.0A", "12.3A", "25.6A",
                              "SA=0; Claimed; Normal.", "SA=3; NOT claimed; Normal.",
                              "SA=254; NOT claimed; Normal.", "SA=255; NOT claimed; CANNOT claim.",
                              "SA=9; NOT claimed; CANNOT claim.", "SA=10; Claimed; Normal."}));
        // '7'..'>' are eight products with names of their own; the rest are
        // "Wrong ID".
        std::multiset<std::string> names;
        for (int code = 0; code < 256; ++code) {
            QCOMPARE(IsKnownProduct(uint8_t(code)), code >= '7' && code <= '>');
            names.insert(ProductName(uint8_t(code)));
        }
        QCOMPARE(names.count("Wrong ID"), size_t(248));
        QCOMPARE(std::set<std::string>(names.begin(), names.end()).size(), size_t(9));
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
