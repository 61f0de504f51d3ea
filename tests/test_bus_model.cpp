// The NMEA 2000 bus model: the device's messages against bytes worked out by
// hand, the round trip through frames back to the panel's raw values, fast
// packet reassembly under interleaving and damage, candump lines, and the
// nodes' address claiming.
#include "core/Candump.h"
#include "core/N2kMessages.h"
#include "core/N2kNode.h"
#include "core/PanelFields.h"
#include "core/ParameterModel.h"

#include <QtTest>

#include <algorithm>
#include <vector>

using namespace n2k;

namespace {

DeviceState State(int level, bool warnings) {
    DeviceState s;
    s.level = static_cast<uint8_t>(level);
    s.modeFlags = warnings ? 0x05 : 0x01;
    s.instances = {0, 1, 2, 3, 4, 5, 6, 7};
    s.engineAddress = 0x17;
    s.transmissionAddress = 0x18;
    return s;
}

const Group& GroupOf(uint32_t pgn) {
    return *std::find_if(kGroups.begin(), kGroups.end(),
                         [pgn](const Group& g) { return g.pgn == pgn; });
}

std::vector<CanFrame> Frames(const Message& m) {
    CFrameEncoder encoder;
    CFrameEncoder::Frames frames;
    return {frames.begin(), frames.begin() + static_cast<long>(encoder.Encode(m, frames))};
}

CanFrame Frame(uint32_t id, std::vector<uint8_t> bytes) {
    CanFrame f{id, static_cast<uint8_t>(bytes.size()), {}};
    std::copy(bytes.begin(), bytes.end(), f.data.begin());
    return f;
}

QByteArray Bytes(const CanFrame& f) {
    return QByteArray(reinterpret_cast<const char*>(f.data.data()), f.length);
}

} // namespace

class TestBusModel : public QObject {
    Q_OBJECT

private slots:
    // Each row: frames, the id every frame carries and their bytes, worked
    // out by hand.
    // Engine speed 400 x 50 = 20000 (0x4E20), boost 50 x 50 = 2500 (0x09C4),
    // tilt/trim 50, engine instance 0, reserved ones; priority 2, PGN 0x1F200.
    // Distance log at level 50: date 65532 x 50 / 100 = 32766, time
    // 8640100 x 50 = 432005000 (0x19BFDF88), log 12500 x 50 = 625000, trip
    // one less; 14 bytes in three frames of sequence 0, the last padded.
    // Address claim: unique number 1234567 (0x12D687) under manufacturer 2000
    // (0x7D0 << 21): 0xFA12D687; instance 0; function 140; spare 1 under
    // class 50 << 1; industry 4 << 4 and arbitrary address capable in bit 7.
    void framesByHand() {
        const DeviceState s = State(50, false);
        std::vector<CanFrame> claim;
        CNode(DeviceName(Node::Engine, 1234567), 0, {}).Claim(0, claim);
        const std::tuple<std::vector<CanFrame>, uint32_t, QByteArrayList> rows[] = {
            {Frames(BuildMessage(GroupOf(127488), s, RawValuesOf(s), 0)),
             0x09F20017u,
             {"00204EC40932FFFF"}},
            {Frames(BuildMessage(GroupOf(128275), s, RawValuesOf(s), 0)),
             0x19F51317u,
             {"000EFE7F88DFBF19", "0168890900678909", "0200FFFFFFFFFFFF"}},
            {claim, 0x18EEFF00u, {"87D612FA008C65C0"}},
        };
        for (const auto& [frames, id, hex] : rows) {
            QCOMPARE(frames.size(), size_t(hex.size()));
            for (size_t i = 0; i < frames.size(); ++i) {
                QCOMPARE(frames[i].id, id);
                QCOMPARE(Bytes(frames[i]), QByteArray::fromHex(hex[qsizetype(i)]));
            }
        }
    }

    // Every read-out and status text of the panel travels in exactly one
    // field of its own group.
    void everyPanelFieldSentOnce() {
        for (const panel::PanelEntry& e : panel::kPanelEntries) {
            if (e.kind == panel::PanelKind::AlternateText)
                continue;
            int found = 0;
            for (const Group& g : kGroups)
                for (const Field& f : g.fields)
                    if (f.origin == Origin::Panel && f.arg == e.controlId) {
                        QCOMPARE(g.pgn, static_cast<uint32_t>(e.source.pgn));
                        ++found;
                    }
            QVERIFY2(found == 1, e.caption);
        }
    }

    void roundTrip_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("warnings");
        for (int level : {0, 1, 50, 99, 100})
            for (bool warnings : {false, true})
                QTest::addRow("%d %s", level, warnings ? "warnings" : "quiet") << level << warnings;
    }

    // Encoded, framed, received with the frames backwards and another
    // sender's frame between them, decoded: the panel's raw values again.
    void roundTrip() {
        QFETCH(int, level);
        QFETCH(bool, warnings);
        DeviceState s = State(level, warnings);
        s.instances = {9, 0x3A, 10, 11, 12, 13, 14, 15}; // the fuel pair's high nibble is dropped
        const panel::RawValues raw = RawValuesOf(s);
        DeviceState other = State(7, true);
        other.engineAddress = 0x30;
        const Message foreign = BuildMessage(GroupOf(127489), other, raw, 0);
        CReassembler reassembler;
        for (const Group& g : kGroups) {
            const Message sent = BuildMessage(g, s, raw, 42);
            auto frames = Frames(sent);
            std::reverse(frames.begin(), frames.end());
            std::optional<Message> got;
            for (size_t i = 0; i < frames.size(); ++i) {
                if (i == 1)
                    QVERIFY(!reassembler.Push(Frames(foreign)[0]));
                got = reassembler.Push(frames[i]);
                QCOMPARE(got.has_value(), i + 1 == frames.size());
            }
            QCOMPARE(got->source, g.node == Node::Engine ? 0x17 : 0x18);
            QCOMPARE(got->priority, g.priority);
            const std::optional<Decoded> d = Decode(*got);
            QVERIFY(d && d->group == &g);
            for (size_t i = 0; i < g.fields.size(); ++i) {
                const Field& f = g.fields[i];
                const int64_t v = d->values[i];
                switch (f.origin) {
                case Origin::Panel:
                    QCOMPARE(v, panel::FindPanelEntry(f.arg)->source.raw(raw));
                    break;
                case Origin::Instance:
                    QCOMPARE(v, s.instances[static_cast<size_t>(f.arg)] & ((1 << f.width) - 1));
                    break;
                case Origin::Sid:
                    QCOMPARE(v, 42);
                    break;
                case Origin::Constant:
                    QCOMPARE(v, f.arg);
                    break;
                default:
                    QCOMPARE(v, NotAvailable(f));
                }
            }
        }
    }

    void decodeRefusesOthers() {
        const DeviceState s = State(50, false);
        Message m = BuildMessage(GroupOf(127505), s, RawValuesOf(s), 0);
        m.data[0] = 0x10; // tank type 1, fresh water: not one of ours
        QVERIFY(!Decode(m));
        m = BuildMessage(GroupOf(130316), s, RawValuesOf(s), 0);
        m.length = 7;
        QVERIFY(!Decode(m));
        m.pgn = 130312;
        m.length = 8;
        QVERIFY(!Decode(m));
    }

    // Each group's SID counts with its own messages; the intervals come from
    // the table.
    void cycleSendsEachGroupAtItsInterval() {
        CMessageCycle cycle;
        const DeviceState s = State(50, false);
        QCOMPARE(cycle.Due(1000, s).size(), kGroups.size());
        QVERIFY(cycle.Due(1099, s).empty());
        std::vector<uint32_t> pgns;
        for (const Message& m : cycle.Due(1100, s)) {
            pgns.push_back(m.pgn);
            if (const auto d = Decode(m); d && d->Value("sid"))
                QCOMPARE(*d->Value("sid"), 1);
        }
        QCOMPARE(pgns, (std::vector<uint32_t>{127488, 127493, 127245, 129025}));
        QCOMPARE(cycle.Due(3500, s).size(), kGroups.size()); // after a pause, everything
    }

    void reassemblerDropsWhatItDidNotFullyGet_data() {
        QTest::addColumn<std::vector<CanFrame>>("frames");
        QTest::addColumn<QByteArray>("expected"); // empty: no message
        const uint32_t id = 0x19F51317;           // 128275 from 0x17
        const CanFrame f0 = Frame(id, {0x20, 14, 1, 2, 3, 4, 5, 6});
        const CanFrame f1 = Frame(id, {0x21, 7, 8, 9, 10, 11, 12, 13});
        const CanFrame f2 = Frame(id, {0x22, 14, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
        const QByteArray whole = QByteArray::fromHex("0102030405060708090A0B0C0D0E");
        const CanFrame otherSender = Frame(0x19F51318, {0x22, 1, 1, 1, 1, 1, 1, 1});
        QTest::newRow("in order") << std::vector{f0, f1, f2} << whole;
        QTest::newRow("out of order, a stranger between")
            << std::vector{f2, otherSender, f0, f1} << whole;
        QTest::newRow("a frame missing") << std::vector{f0, f2} << QByteArray();
        QTest::newRow("a new sequence drops the old")
            << std::vector{f0, f1, Frame(id, {0x42, 14, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})}
            << QByteArray();
        QTest::newRow("byte count 0")
            << std::vector{Frame(id, {0x20, 0, 1, 2, 3, 4, 5, 6})} << QByteArray();
        QTest::newRow("byte count above 223")
            << std::vector{Frame(id, {0x20, 224, 1, 2, 3, 4, 5, 6}), f1, f2} << QByteArray();
        QTest::newRow("a frame beyond the end")
            << std::vector{Frame(id, {0x23, 1, 1, 1, 1, 1, 1, 1}), f0, f1, f2} << QByteArray();
        QTest::newRow("a short frame") << std::vector{f0, f1, Frame(id, {0x22})} << QByteArray();
        QTest::newRow("a changed byte count")
            << std::vector{f0, f1, Frame(id, {0x20, 13, 1, 2, 3, 4, 5, 6}), f2} << QByteArray();
    }

    void reassemblerDropsWhatItDidNotFullyGet() {
        QFETCH(std::vector<CanFrame>, frames);
        QFETCH(QByteArray, expected);
        CReassembler reassembler;
        std::vector<Message> got;
        for (const CanFrame& f : frames)
            if (auto m = reassembler.Push(f))
                got.push_back(*m);
        QCOMPARE(got.size(), size_t{expected.isEmpty() ? 0u : 1u});
        if (!got.empty()) {
            QCOMPARE(got[0].pgn, 128275u);
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(got[0].data.data()), got[0].length),
                     expected);
        }
    }

    void candumpLines() {
        const auto r = ParseCandumpLine("(1733650000.123456) can0 09F20083#0102030405060708\n");
        QVERIFY(r);
        QCOMPARE(r->microseconds, 1733650000123456ull);
        QCOMPARE(r->interface, std::string("can0"));
        QCOMPARE(r->frame.id, 0x09F20083u);
        QCOMPARE(Bytes(r->frame), QByteArray::fromHex("0102030405060708"));
        const CanFrame f = Frame(0x18EAFF01, {0x00, 0xEE, 0x00});
        QCOMPARE(FormatCandumpLine(5000042, "vcan1", f),
                 std::string("(5.000042) vcan1 18EAFF01#00EE00"));
        for (const char* bad :
             {"(1.000001) can0 123#00", "(1.000001) can0 09F20083##00",
              "(1.000001) can0 09F20083#R", "(1.000001) can0 09F20083#010",
              "(1.000001) can0 09F20083#010203040506070809", "(1.0001) can0 09F20083#01",
              "(1.000001)  can0 09F20083#01", "1.000001 can0 09F20083#01",
              "(1.000001) can0 3FFFFFFF#01", "(1.000001) can0 09F2008G#01"})
            QVERIFY2(!ParseCandumpLine(bad), bad);
    }

    void addressContention_data() {
        QTest::addColumn<bool>("weHaveLowerName");
        QTest::addColumn<bool>("arbitrary");
        QTest::addColumn<int>("takenBefore"); // addresses 11.. already claimed by others
        QTest::addColumn<int>("claimedAt");   // the other node's claimed address
        QTest::addColumn<int>("address");
        QTest::addColumn<ClaimState>("state");
        QTest::addColumn<int>("sentFrom"); // source of our answer, -1 for none
        QTest::newRow("we win and say so")
            << true << true << 0 << 10 << 10 << ClaimState::Claiming << 10;
        QTest::newRow("we lose and move up")
            << false << true << 0 << 10 << 11 << ClaimState::Claiming << 11;
        QTest::newRow("we lose, skip the taken")
            << false << true << 2 << 10 << 13 << ClaimState::Claiming << 13;
        QTest::newRow("we lose, nowhere to go")
            << false << true << 251 << 10 << 254 << ClaimState::CannotClaim << 254;
        QTest::newRow("we lose, fixed address")
            << false << false << 0 << 10 << 254 << ClaimState::CannotClaim << 254;
        QTest::newRow("another address")
            << false << true << 0 << 12 << 10 << ClaimState::Claiming << -1;
    }

    void addressContention() {
        QFETCH(bool, weHaveLowerName);
        QFETCH(bool, arbitrary);
        QFETCH(int, takenBefore);
        QFETCH(int, claimedAt);
        QFETCH(int, address);
        QFETCH(ClaimState, state);
        QFETCH(int, sentFrom);
        NameFields ours = DeviceName(Node::Engine, 500);
        ours.arbitraryAddressCapable = arbitrary;
        NameFields theirs = DeviceName(Node::Engine, weHaveLowerName ? 501 : 499);
        theirs.arbitraryAddressCapable = arbitrary;
        CNode node(ours, 10, {});
        std::vector<CanFrame> out;
        node.Claim(0, out);
        const auto claimFrom = [&](int source, const NameFields& name) {
            const uint64_t value = EncodeName(name);
            CanFrame f{MakeId(6, 60928, static_cast<uint8_t>(source), kGlobal), 8, {}};
            for (size_t i = 0; i < 8; ++i)
                f.data[i] = static_cast<uint8_t>(value >> (8 * i));
            return f;
        };
        for (int i = 0; i < takenBefore; ++i) {
            NameFields other = DeviceName(Node::Transmission, static_cast<uint32_t>(i));
            node.Receive(claimFrom((11 + i) % 252, other), 10, out);
        }
        out.clear();
        node.Receive(claimFrom(claimedAt, theirs), 100, out);
        QCOMPARE(node.Address(), address);
        QCOMPARE(node.State(), state);
        QCOMPARE(out.size(), size_t{sentFrom < 0 ? 0u : 1u});
        if (sentFrom >= 0) {
            QCOMPARE(SplitId(out[0].id).source, sentFrom);
            QCOMPARE(SplitId(out[0].id).pgn, 60928u);
            QCOMPARE(Bytes(out[0]), Bytes(claimFrom(0, ours)));
        }
        node.Advance(100 + CNode::kContentionMs);
        QCOMPARE(node.MayTransmit(), state != ClaimState::CannotClaim);
    }

    // A claim nobody contests is ours after the contention time; requests
    // are answered to the requester, or to everyone when asked globally.
    void requests() {
        ProductInfo info{57, "Brendlow E-200", " 1.0A", "Engine", "1234567"};
        CNode node(DeviceName(Node::Engine, 1234567), 0x20, info);
        std::vector<CanFrame> out;
        node.Claim(1000, out);
        node.Advance(1000 + CNode::kContentionMs - 1);
        QCOMPARE(node.State(), ClaimState::Claiming);
        node.Advance(1000 + CNode::kContentionMs);
        QCOMPARE(node.State(), ClaimState::Claimed);

        const auto request = [&](uint32_t pgn, uint8_t to) {
            out.clear();
            node.Receive(Frame(MakeId(6, 59904, 0x05, to),
                               {uint8_t(pgn), uint8_t(pgn >> 8), uint8_t(pgn >> 16)}),
                         2000, out);
        };
        request(60928, 0x20);
        QCOMPARE(out.size(), size_t{1});
        QCOMPARE(out[0].id, 0x18EE0520u);
        request(60928, kGlobal);
        QCOMPARE(out.size(), size_t{1});
        QCOMPARE(out[0].id, 0x18EEFF20u);
        request(60928, 0x21);
        QVERIFY(out.empty());

        request(126996, kGlobal);
        CReassembler reassembler;
        std::optional<Message> got;
        for (const CanFrame& f : out)
            got = reassembler.Push(f);
        QVERIFY(got);
        QCOMPARE(got->source, 0x20);
        QCOMPARE(got->length, 134);
        const auto text = [&](int at) {
            return QByteArray(reinterpret_cast<const char*>(got->data.data()) + at, 32);
        };
        QCOMPARE(text(4), QByteArray("Brendlow E-200").leftJustified(32, '\xFF'));
        QCOMPARE(text(36), QByteArray(" 1.0A").leftJustified(32, '\xFF'));
        QCOMPARE(text(100), QByteArray("1234567").leftJustified(32, '\xFF'));
        QCOMPARE(got->data[2], 57);
    }
};

QTEST_GUILESS_MAIN(TestBusModel)
#include "test_bus_model.moc"
