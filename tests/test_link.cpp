// The line protocol: hex pairs, command and report lines, the paced sender,
// receive framing, report dispatch and the texts shown for reports; and the
// device instance line.
#include "CommandLine.h"
#include "HexPair.h"
#include "InstanceManagement.h"
#include "PacedSender.h"
#include "ReceiveWindow.h"
#include "ReportLines.h"
#include "Reports.h"

#include <QtTest>
#include <chrono>
#include <set>
#include <stdexcept>

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
Bytes B(const std::string& s) {
    return Bytes::fromStdString(s);
}
QString Join(const char* what, std::initializer_list<int> values) {
    QStringList texts;
    for (int v : values)
        texts << QString::number(v);
    return what + texts.join(',');
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
    void WriteByte(uint8_t byte) override {
        if (written.size() == failAt)
            throw std::runtime_error("port gone");
        written.append(static_cast<char>(byte));
    }
    Bytes written;
    qsizetype failAt = -1;
};

class CRecordingTarget final : public CReportTarget {
public:
    void RefreshMembers() override { events << "refresh"; }
    void WriteMembers() override { events << "write"; }
    void SetTrafficSeen() override { events << "traffic"; }
    bool IdQueryPending() const override { return idPending; }
    bool DeviceIdentified() const override { return identified; }
    void OnLevelAck() override { events << "levelAck"; }
    void OnKeyAck() override { events << "keyAck"; }
    void OnIdReport(const uint8_t* line) override { events << "id:" + B(line, 18); }
    void OnLevelBroadcast(uint8_t level, uint8_t modes) override {
        events << Join("level:", {level, modes});
    }
    void OnAddressClaim(const AddressClaim& c) override {
        events << Join("claim:", {c.claimFlags, c.engineAddress, c.transmissionAddress});
    }
    void OnInstanceBroadcast(const InstanceReport& r) override {
        events << Join("instances:", {r.engine, r.sid, r.fuelLevel, r.battery, r.exhaustGasTemp,
                                      r.transmission, r.wasteWater, r.rudder, r.blackWater});
    }
    bool idPending = false, identified = false;
    QStringList events;
};

} // namespace

class TestLink : public QObject {
    Q_OBJECT

private slots:
    void hexPair_data() {
        QTest::addColumn<Bytes>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("encodes"); // the text is how the value is written
        auto row = [](const char* text, int value, bool encodes) {
            QTest::newRow(text) << Bytes(text) << value << encodes;
        };
        row("10", 0x01, true), row("01", 0x10, true), row("C3", 0x3C, true);
        row("25", 0x52, true), row("46", 100, true), row("FF", 0xFF, true), row("BA", 0xAB, true);
        // Non-digits decode by the same arithmetic.
        row("a0", 0x2A, false), row("0a", 0xA0, false), row(" 0", 0xF0, false);
        row("GG", 0x10, false), row("@@", 0x10, false), row("\xFF\xFF", 0x48, false);
    }
    void hexPair() {
        QFETCH(Bytes, text);
        QFETCH(int, value);
        QFETCH(bool, encodes);
        QCOMPARE(int(DecodeHexPair(U(text)[0], U(text)[1])), value);
        if (encodes) {
            const HexPair pair = EncodeHexPair(static_cast<uint8_t>(value));
            QCOMPARE(Bytes(1, pair.first) + pair.second, text);
        }
    }

    void builtLines_data() {
        QTest::addColumn<Bytes>("line");
        QTest::addColumn<Bytes>("expected");
        auto row = [](const char* name, const Bytes& line, const char* text) {
            QTest::newRow(name) << line << Bytes(text) + "\r\n";
        };
        auto instances = [](std::array<uint8_t, 8> v) { return B(BuildDeviceInstanceLine(v)); };
        row("id query", B(BuildIdQuery()), "AT ID?");
        row("Down", B(BuildKeyCommand(kKeyDown)), "AT KI1065");
        row("Dynamic", B(BuildKeyCommand(kKeyDynamic)), "AT KI2505");
        row("level 0", B(BuildLevelCommand(0)), "AT %006C");
        row("level 100", B(BuildLevelCommand(100)), "AT %46CB");
        row("instances FF", instances({255, 255, 255, 255, 255, 255, 255, 255}),
            "AT DIFFFFFFFFFFFFFFFFE5");
        row("instances 0..7", instances({0, 1, 2, 3, 4, 5, 6, 7}), "AT DI00102030405060702A");
        row("instance texts",
            B(device::DeviceInstanceLine({"12", "N/A", "", "16", "05", " 3", "1 ", "x"})),
            "AT DIC0FFFFFFFFFFFFFF77");
        row("level broadcast", B(BuildLevelBroadcastLine(50, 3)), "BRC %S23309C");
        row("address claim", B(BuildAddressClaimLine(5, 0, 3)), "BRC ACS500030A0");
        row("instance broadcast", B(BuildInstanceBroadcastLine({0, 1, 2, 3, 4, 5, 6, 7, 8})),
            "BRC DS001020304050607080EE");
        row("id report", B(BuildIdReportLine('>', 16777216, 122)), "ACK IDE300000010A731");
    }
    void builtLines() {
        QFETCH(Bytes, line);
        QFETCH(Bytes, expected);
        QCOMPARE(line, expected);
    }

    void instanceFromText_data() {
        QTest::addColumn<Bytes>("text");
        QTest::addColumn<int>("value");
        for (const char* t : {"0", "9", "10", "15"})
            QTest::newRow(t) << Bytes(t) << Bytes(t).toInt();
        for (const char* t : {"16", "19", "05", " 3", "N/A", "1 ", "+", ":", "1:", "-1", "150"})
            QTest::newRow(t) << Bytes(t) << 255;
        QTest::newRow("empty") << Bytes() << 255;
    }
    void instanceFromText() {
        QFETCH(Bytes, text);
        QFETCH(int, value);
        QCOMPARE(int(device::InstanceFromText(text.toStdString())), value);
    }

    void pause_data() {
        QTest::addColumn<uint32_t>("start");
        QTest::addColumn<uint32_t>("step");
        QTest::addColumn<QList<uint32_t>>("script");
        QTest::addColumn<int>("readings");
        auto row = [](const char* name, uint32_t start, uint32_t step, QList<uint32_t> script,
                      int readings) { QTest::newRow(name) << start << step << script << readings; };
        row("1 ms steps", 100, 1, {}, 3);
        row("5 ms steps", 100, 5, {}, 2);
        row("stuck, then moving", 0, 1, {50, 50, 50, 51, 52}, 5);
        row("t0 = FFFFFFFD", 0xFFFFFFFD, 1, {}, 3);
        row("t0 = FFFFFFFE, stuck", 0xFFFFFFFE, 0, {}, 2);
        row("t0 = FFFFFFFF", 0xFFFFFFFF, 1, {}, 2);
        row("jumps back", 0, 0, {1000, 999}, 2);
    }
    void pause() {
        QFETCH(uint32_t, start);
        QFETCH(uint32_t, step);
        QFETCH(QList<uint32_t>, script);
        QFETCH(int, readings);
        CFakeClock clock(start, step);
        clock.script = script;
        PauseTwoMilliseconds(clock);
        QCOMPARE(clock.readings.size(), readings);
        QCOMPARE(clock.pauseStarts, QList<qsizetype>{0});
    }

    void sendCommandLine_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("written");
        auto row = [](const char* name, int length, int written) {
            QTest::newRow(name) << length << written;
        };
        row("key line", 11, 11), row("short of the LF", 3, 3), row("1", 1, 1), row("255", 255, 255);
        row("0", 0, 0), row("-1", -1, 0), row("256", 256, 0);
    }
    void sendCommandLine() {
        QFETCH(int, length);
        QFETCH(int, written);
        const Bytes line = B(BuildKeyCommand(kKeyDown)).leftJustified(300, 'x');
        CFakeClock clock(0, 1);
        CRecordingSink sink;
        SendCommandLine(sink, clock, U(line), length);
        QCOMPARE(sink.written, line.left(written));
        // A pause after every byte, the last included, each ending at the
        // first reading 2 ms after its first.
        QCOMPARE(clock.pauseStarts.size(), written);
        clock.pauseStarts.append(clock.readings.size());
        for (int i = 0; i < written; ++i) {
            const qsizetype first = clock.pauseStarts[i], last = clock.pauseStarts[i + 1] - 1;
            QCOMPARE(clock.readings[last] - clock.readings[first], 2u);
        }
    }
    void failingSinkStopsTheLine() {
        const CommandLine line = BuildLevelCommand(50);
        CFakeClock clock(0, 1);
        CRecordingSink sink;
        sink.failAt = 3;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 SendCommandLine(sink, clock, line.bytes.data(), line.length));
        QCOMPARE(sink.written, Bytes("AT "));
    }
    void steadyClockPausesLastTwoMilliseconds() {
        CSteadyMillisecondClock clock;
        auto shortest = std::chrono::steady_clock::duration::max();
        for (int i = 0; i < 50; ++i) {
            const auto t = std::chrono::steady_clock::now();
            PauseTwoMilliseconds(clock);
            shortest = std::min(shortest, std::chrono::steady_clock::now() - t);
        }
        QVERIFY2(shortest >= std::chrono::milliseconds(2),
                 qPrintable(QString("shortest pause %1 ns").arg(shortest.count())));
    }

    void receiveWindow_data() {
        QTest::addColumn<Lines>("chunks");
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<Bytes>("rest"); // left in the window
        auto row = [](const char* name, Lines chunks, Lines lines, Bytes rest = {}) {
            QTest::newRow(name) << chunks << lines << rest;
        };
        Bytes noise;
        for (int i = 0; i < 60; ++i)
            noise += char('a' + i % 26);
        const Bytes longLine = "ACK " + noise.left(54) + "\r\n";
        row("lower case", {"ack %\r\n"}, {"ACK %\r\n"});
        row("noise, ACK", {"xyaCk %\r\n"}, {"ACK %\r\n"});
        row("noise, BRC", {"zzzzbrc %s23309c\r\n"}, {"BRC %S23309C\r\n"});
        row("lower b first", {"bxACK %\r\n"}, {"ACK %\r\n"});
        row("space at 3", {"abc ACK %\r\n"}, {"ABC ACK %\r\n"});
        row("B first", {"BxyzACK %\r\n"}, {"BXYZACK %\r\n"});
        row("split 5+9", {"BRC %", "S23309C\r\n"}, {"BRC %S23309C\r\n"});
        row("two lines", {"ACK %\r\nACK KI\r\n"}, {"ACK %\r\n", "ACK KI\r\n"});
        row("60 bytes of noise", {noise}, {}, noise.right(50));
        row("5-byte CR LF", {"ABC\r\n"}, {}, "ABC\r\n");
        row("6-byte CR LF", {"abcd\r\n"}, {"ABCD\r\n"});
        row("short, then ACK", {"AB\r\nACK KI\r\n"}, {"ACK KI\r\n"});
        row("LF CR", {"ACK %\n\r"}, {}, "ACK %\n\r");
        row("60-byte line", {longLine}, {longLine.right(50).toUpper()});
    }
    void receiveWindow() {
        QFETCH(Lines, chunks);
        QFETCH(Lines, lines);
        QFETCH(Bytes, rest);
        CReceiveWindow window;
        Lines got;
        for (const Bytes& chunk : chunks)
            window.Push(U(chunk), int(chunk.size()),
                        [&](const uint8_t* line, int length) { got << B(line, length); });
        QCOMPARE(got, lines);
        QCOMPARE(B(window.Data(), window.Count()), rest);
    }

    void dispatch_data() {
        QTest::addColumn<Bytes>("line");
        QTest::addColumn<int>("state"); // bit 0: id query pending, bit 1: identified
        QTest::addColumn<QString>("events");
        auto row = [](const char* name, const char* text, int state, const char* events) {
            QTest::newRow(name) << Bytes(text) + "\r\n" << state << QString(events);
        };
        const char* id = "ACK ID931000000090E2";
        row("level ack", "ACK %", 0, "refresh traffic levelAck write");
        row("key ack", "ACK KI", 0, "refresh traffic keyAck write");
        row("id report", id, 1, "refresh traffic id:ACK ID931000000090 write");
        row("id, bad sum", "ACK ID931000000090E3", 1,
            "refresh traffic id:ACK ID931000000090 write");
        row("id, not asked", id, 2, "refresh traffic write");
        row("id, too long", "ACK ID931000000090E2X", 3, "refresh traffic write");
        row("other ack", "ACK X", 3, "refresh traffic write");
        row("level", "BRC %S23309C", 2, "refresh traffic level:50,3");
        row("level, unidentified", "BRC %S23309C", 1, "refresh traffic");
        row("level, bad sum", "BRC %S23309D", 2, "refresh traffic");
        row("claim", "BRC ACS500030A0", 2, "refresh traffic claim:5,0,3");
        row("claim, bad sum", "BRC ACS500030A1", 3, "refresh traffic");
        row("instances", "BRC DS001020304050607080EE", 2,
            "refresh traffic instances:0,1,2,3,4,5,6,7,8");
        row("instances, bad sum", "BRC DS001020304050607080FE", 2, "refresh traffic");
        row("marker not first", "ABC ACK %", 3, "");
        row("no marker", "AT %006C", 3, "");
    }
    void dispatch() {
        QFETCH(Bytes, line);
        QFETCH(int, state);
        QFETCH(QString, events);
        CRecordingTarget target;
        target.idPending = state & 1;
        target.identified = state & 2;
        DispatchReport(U(line), int(line.size()), target);
        QCOMPARE(target.events.join(' '), events);
    }

    void idReport_data() {
        QTest::addColumn<Bytes>("line");
        QTest::addColumn<int>("code");
        QTest::addColumn<uint32_t>("serial");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<bool>("valid");
        QTest::newRow("9") << Bytes("ACK ID931000000090E2") << int('9') << 1u << 9 << true;
        QTest::newRow(">") << Bytes("ACK IDE300000010A731") << int('>') << 16777216u << 122 << true;
        QTest::newRow("A") << Bytes("ACK ID141000000000E3") << int('A') << 1u << 0 << true;
        QTest::newRow("bad sum") << Bytes("ACK ID141000000000F3") << int('A') << 1u << 0 << false;
        QTest::newRow("serial") << Bytes("ACK ID83102030FF1000") << int('8') << 0xFF030201u << 1
                                << false;
    }
    void idReport() {
        QFETCH(Bytes, line);
        QFETCH(int, code);
        QFETCH(uint32_t, serial);
        QFETCH(int, firmware);
        QFETCH(bool, valid);
        const IdReport r = DecodeIdReport(U(line));
        QCOMPARE(int(r.productCode), code);
        QCOMPARE(r.serialNumber, serial);
        QCOMPARE(int(r.firmwareByte), firmware);
        QCOMPARE(IdReportChecksumValid(U(line)), valid);
    }

    void texts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        auto row = [](const QString& name, const std::string& text, const QString& expected) {
            QTest::newRow(qPrintable(name)) << QString::fromStdString(text) << expected;
        };
        for (uint32_t v : {0u, 7u, 10u, 100u, 1000000000u, 4294967295u})
            row(QString::number(v), FormatDecimal(v), QString::number(v));
        for (auto [v, text] : {std::pair{1, " 0.1A"},
                               {5, " 0.5A"},
                               {10, " 1.0A"},
                               {100, "10.0A"},
                               {123, "12.3A"},
                               {256, "25.6A"}})
            row(text, FirmwareVersionText(uint16_t(v)), text);
        const AddressClaim claimed{0x01, 0, 3}, cannot{0x0A, 254, 255}, transmission{0x04, 9, 10};
        row("engine claimed", EngineSaText(claimed), "SA=0; Claimed; Normal.");
        row("transmission not", TransmissionSaText(claimed), "SA=3; NOT claimed; Normal.");
        row("engine cannot", EngineSaText(cannot), "SA=254; NOT claimed; CANNOT claim.");
        row("transmission cannot", TransmissionSaText(cannot),
            "SA=255; NOT claimed; CANNOT claim.");
        row("engine not", EngineSaText(transmission), "SA=9; NOT claimed; Normal.");
        row("transmission claimed", TransmissionSaText(transmission), "SA=10; Claimed; Normal.");
        for (int code : {0, int('6'), int('?'), int('A'), 0xFF})
            row(QString("product %1").arg(code), ProductName(uint8_t(code)), "Wrong ID");
    }
    void texts() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }
    void knownProductsHaveDistinctNames() {
        std::set<std::string> names;
        for (uint8_t code = '7'; code <= '>'; ++code) {
            QVERIFY(IsKnownProduct(code));
            names.insert(ProductName(code));
        }
        QCOMPARE(names.size(), size_t(8));
        QVERIFY(!names.count("Wrong ID"));
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
