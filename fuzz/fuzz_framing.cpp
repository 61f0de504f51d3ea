// Received bytes through the receive window and the report dispatcher.
//
// The first input byte sets the link state: bit 0 an identification query is
// pending, bit 1 the device is identified ('0'..'3' in the text seeds). Every
// further byte goes through the window, in chunks whose lengths follow the
// bytes themselves; each line it hands out is dispatched to a target that
// checks what reaches it. The same bytes go one by one through the first,
// plain form of the window (ReferenceWindow.h): both must hand out the same
// lines and hold the same bytes after every chunk.
#include "core/ReceiveWindow.h"
#include "core/Reports.h"
#include "fuzz/ReferenceWindow.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

bool Begins(const uint8_t* line, int length, const char* text) {
    const int n = static_cast<int>(std::strlen(text));
    return length >= n && std::memcmp(line, text, static_cast<size_t>(n)) == 0;
}

// The pair rule written out on its own, so the check does not lean on the
// code it checks.
uint8_t PairValue(uint8_t first, uint8_t second) {
    const unsigned high = second >= 'A' ? (second + 9u) * 16u : second * 16u;
    const unsigned low = first >= 'A' ? first - 0x37u : first - 0x30u;
    return static_cast<uint8_t>(high + low);
}

bool ChecksumOk(const uint8_t* line, int k) {
    unsigned sum = 0;
    for (int i = 0; i <= k; ++i)
        sum += line[i];
    return static_cast<uint8_t>(sum + PairValue(line[k + 1], line[k + 2])) == 0;
}

class CCheckingTarget final : public proto::CReportTarget {
public:
    CCheckingTarget(bool idPending, bool identified)
        : m_idPending(idPending), m_identified(identified) {}

    void Dispatch(const uint8_t* line, int length) {
        Check(length >= 6 && length <= proto::CReceiveWindow::kSize);
        Check(line[length - 2] == '\r' && line[length - 1] == '\n');
        for (int i = 0; i < length; ++i)
            Check(line[i] < 'a' || line[i] > 'z');
        m_line = line;
        m_length = length;
        m_traffic = m_handlers = 0;
        const proto::ReportVerdict verdict = proto::DispatchReport(line, length, *this);

        const bool ack = Begins(line, length, "ACK ");
        const bool brc = Begins(line, length, "BRC ");
        Check(m_handlers <= 1);
        if (ack || brc)
            Check(m_traffic == 1);
        else
            Check(m_traffic == 0 && m_handlers == 0 && verdict == proto::ReportVerdict::Unexpected);
        if (brc)
            Check(m_identified || (m_handlers == 0 && verdict == proto::ReportVerdict::Unexpected));
        // A broadcast reaches its handler exactly when it is judged sound.
        if (brc)
            Check((m_handlers == 1) == (verdict == proto::ReportVerdict::Ok));
    }

    void SetTrafficSeen() override { ++m_traffic; }
    bool IdQueryPending() const override { return m_idPending; }
    bool DeviceIdentified() const override { return m_identified; }

    void OnLevelAck() override {
        Handler();
        Check(m_length == proto::kLevelAckLength && Begins(m_line, m_length, "ACK %"));
    }
    void OnKeyAck() override {
        Handler();
        Check(m_length == proto::kKeyAckLength && Begins(m_line, m_length, "ACK KI"));
    }
    void OnIdReport(const uint8_t* line) override {
        Handler();
        Check(m_idPending && line == m_line && m_length == proto::kIdReportLength &&
              Begins(line, m_length, "ACK ID"));
    }
    void OnLevelBroadcast(uint8_t level, uint8_t modeFlags) override {
        Broadcast(proto::kLevelBroadcastLength, "BRC %S", 9);
        Check(level == Pair(6) && modeFlags == Pair(8));
    }
    void OnAddressClaim(const proto::AddressClaim& c) override {
        Broadcast(proto::kAddressClaimLength, "BRC ACS", 12);
        Check(c.claimFlags == Pair(7) && c.engineAddress == Pair(9) &&
              c.transmissionAddress == Pair(11));
    }
    void OnInstanceBroadcast(const proto::InstanceReport& r) override {
        Broadcast(proto::kInstanceBroadcastLength, "BRC DS", 23);
        const uint8_t values[9] = {r.engine,         r.sid,          r.fuelLevel,  r.battery,
                                   r.exhaustGasTemp, r.transmission, r.wasteWater, r.rudder,
                                   r.blackWater};
        for (int i = 0; i < 9; ++i)
            Check(values[i] == Pair(6 + 2 * i));
    }

private:
    void Handler() {
        Check(m_line != nullptr);
        ++m_handlers;
    }
    void Broadcast(int length, const char* head, int lastCovered) {
        Handler();
        Check(m_identified && m_length == length && Begins(m_line, m_length, head) &&
              ChecksumOk(m_line, lastCovered));
    }
    uint8_t Pair(int position) const { return PairValue(m_line[position], m_line[position + 1]); }

    bool m_idPending;
    bool m_identified;
    const uint8_t* m_line = nullptr;
    int m_length = 0;
    int m_traffic = 0;
    int m_handlers = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    CCheckingTarget target((data[0] & 0x01) != 0, (data[0] & 0x02) != 0);
    proto::CReceiveWindow window;
    reference::CReceiveWindow plain;
    std::vector<std::vector<uint8_t>> expected;
    for (size_t i = 1; i < size;) {
        const size_t chunk = std::min<size_t>(size - i, 1 + data[i - 1] % 61);
        expected.clear();
        for (size_t k = i; k < i + chunk; ++k)
            plain.Push(data[k], [&](const uint8_t* line, int length) {
                expected.emplace_back(line, line + length);
            });
        size_t next = 0;
        auto onLine = [&](const uint8_t* line, int length) {
            Check(window.Count() == 0);
            Check(next < expected.size() && expected[next].size() == static_cast<size_t>(length) &&
                  std::memcmp(expected[next].data(), line, static_cast<size_t>(length)) == 0);
            ++next;
            target.Dispatch(line, length);
        };
        if (chunk == 1)
            window.Push(data[i], onLine);
        else
            window.Push(data + i, static_cast<int>(chunk), onLine);
        Check(next == expected.size());
        Check(window.Count() >= 0 && window.Count() <= proto::CReceiveWindow::kSize);
        Check(window.Count() == plain.Count() &&
              std::memcmp(window.Data(), plain.Data(), static_cast<size_t>(plain.Count())) == 0);
        i += chunk;
    }
    return 0;
}
