#include "core/Reports.h"

#include "core/HexPair.h"

#include <cstring>

namespace proto {

namespace {

uint8_t Pair(const uint8_t* line, int position) {
    return DecodeHexPair(line[position], line[position + 1]);
}

bool Begins(const uint8_t* line, const char* text) {
    return std::memcmp(line, text, std::strlen(text)) == 0;
}

std::string SaText(uint8_t address, bool claimed, bool cannotClaim) {
    return "SA=" + FormatDecimal(address) + "; " + (claimed ? "Claimed;" : "NOT claimed;") +
           (cannotClaim ? " CANNOT claim." : " Normal.");
}

} // namespace

ReportVerdict DispatchReport(const uint8_t* line, int n, CReportTarget& target) {
    if (n < 4)
        return ReportVerdict::Unexpected;
    if (Begins(line, "ACK ")) {
        target.SetTrafficSeen();
        ReportVerdict verdict = ReportVerdict::Ok;
        if (n == kLevelAckLength && line[4] == '%') {
            target.OnLevelAck();
        } else if (n == kKeyAckLength && Begins(line + 4, "KI")) {
            target.OnKeyAck();
        } else if (n == kIdReportLength && Begins(line + 4, "ID") && target.IdQueryPending()) {
            verdict = IdReportChecksumValid(line) ? ReportVerdict::Ok : ReportVerdict::BadChecksum;
            target.OnIdReport(line);
        } else {
            verdict = ReportVerdict::Unexpected;
        }
        return verdict;
    }
    if (!Begins(line, "BRC "))
        return ReportVerdict::Unexpected;
    target.SetTrafficSeen();
    if (!target.DeviceIdentified())
        return ReportVerdict::Unexpected;
    auto checked = [&](int k) {
        return ReportChecksumValid(line, k) ? ReportVerdict::Ok : ReportVerdict::BadChecksum;
    };
    if (n == kLevelBroadcastLength && Begins(line + 4, "%S")) {
        const ReportVerdict verdict = checked(9);
        if (verdict == ReportVerdict::Ok)
            target.OnLevelBroadcast(Pair(line, 6), Pair(line, 8));
        return verdict;
    }
    if (n == kAddressClaimLength && Begins(line + 4, "ACS")) {
        const ReportVerdict verdict = checked(12);
        if (verdict == ReportVerdict::Ok)
            target.OnAddressClaim({Pair(line, 7), Pair(line, 9), Pair(line, 11)});
        return verdict;
    }
    if (n == kInstanceBroadcastLength && Begins(line + 4, "DS")) {
        const ReportVerdict verdict = checked(23);
        if (verdict == ReportVerdict::Ok) {
            InstanceReport r;
            r.engine = Pair(line, 6);
            r.sid = Pair(line, 8);
            r.fuelLevel = Pair(line, 10);
            r.battery = Pair(line, 12);
            r.exhaustGasTemp = Pair(line, 14);
            r.transmission = Pair(line, 16);
            r.wasteWater = Pair(line, 18);
            r.rudder = Pair(line, 20);
            r.blackWater = Pair(line, 22);
            target.OnInstanceBroadcast(r);
        }
        return verdict;
    }
    return ReportVerdict::Unexpected;
}

bool IdReportChecksumValid(const uint8_t* line) {
    return ReportChecksumValid(line, 17);
}

IdReport DecodeIdReport(const uint8_t* line) {
    IdReport r;
    r.productCode = Pair(line, 6);
    r.serialNumber =
        static_cast<uint32_t>(Pair(line, 8)) | static_cast<uint32_t>(Pair(line, 10)) << 8 |
        static_cast<uint32_t>(Pair(line, 12)) << 16 | static_cast<uint32_t>(Pair(line, 14)) << 24;
    r.firmwareByte = Pair(line, 16);
    return r;
}

std::string FormatDecimal(uint32_t value) {
    return std::to_string(value);
}

std::string FirmwareVersionText(uint16_t v) {
    const int hundreds = (v / 100) % 10;
    std::string text(5, ' ');
    text[0] = hundreds == 0 ? ' ' : static_cast<char>('0' + hundreds);
    text[1] = static_cast<char>('0' + (v % 100) / 10);
    text[2] = '.';
    text[3] = static_cast<char>('0' + v % 10);
    text[4] = 'A';
    return text;
}

bool IsKnownProduct(uint8_t code) {
    return code >= '7' && code <= '>';
}

std::string ProductName(uint8_t code) {
    static const char* const kNames[8] = {
        "Brendlow E-100", "Brendlow E-200", "Brendlow T-100", "Brendlow T-200",
        "Brendlow V-100", "Brendlow V-200", "Brendlow D-300", "Brendlow X-900",
    };
    return IsKnownProduct(code) ? kNames[code - '7'] : "Wrong ID";
}

std::string EngineSaText(const AddressClaim& c) {
    return SaText(c.engineAddress, c.claimFlags & ClaimedFlag(0),
                  c.claimFlags & CannotClaimFlag(0));
}

std::string TransmissionSaText(const AddressClaim& c) {
    return SaText(c.transmissionAddress, c.claimFlags & ClaimedFlag(1),
                  c.claimFlags & CannotClaimFlag(1));
}

} // namespace proto
