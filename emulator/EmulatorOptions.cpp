#include "emulator/EmulatorOptions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace emulator {

namespace {

// Decimal, or hexadecimal with a 0x prefix; the whole text must be the number.
std::optional<uint64_t> ParseUnsigned(const std::string& text) {
    int base = 10;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    uint64_t value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value, base);
    if (ec != std::errc() || ptr != end || begin == end)
        return std::nullopt;
    return value;
}

std::optional<double> ParseNumber(const std::string& text) {
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || text.empty() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A single character stands for itself ("9" is 0x39); anything longer is a number.
std::optional<uint8_t> ParseProductCode(const std::string& text) {
    if (text.size() == 1)
        return static_cast<uint8_t>(text[0]);
    const auto value = ParseUnsigned(text);
    if (!value || *value > 255)
        return std::nullopt;
    return static_cast<uint8_t>(*value);
}

} // namespace

ParseOutcome ParseOptions(const std::vector<std::string>& args, EmulatorOptions& options,
                          std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }

        auto flag = [&](bool& target) {
            if (inlineValue) {
                error = name + " takes no value";
                return false;
            }
            target = true;
            return true;
        };
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto bad = [&](const std::string& text, const char* expected) {
            error = "bad value '" + text + "' for " + name + ": expected " + expected;
            return ParseOutcome::Error;
        };

        std::string text;
        if (name == "--help" || name == "-h") {
            return ParseOutcome::Help;
        } else if (name == "--noise" || name == "--garbage" || name == "--flood" ||
                   name == "--sweep") {
            bool& target = name == "--noise"     ? options.noise
                           : name == "--garbage" ? options.garbage
                           : name == "--flood"   ? options.flood
                                                 : options.device.sweep;
            if (!flag(target))
                return ParseOutcome::Error;
        } else if (name == "--link" || name == "--trace" || name == "--send-log") {
            if (!value(text))
                return ParseOutcome::Error;
            if (text.empty())
                return bad(text, "a file path");
            (name == "--link"    ? options.linkPath
             : name == "--trace" ? options.tracePath
                                 : options.sendLogPath) = text;
        } else if (name == "--product-code") {
            if (!value(text))
                return ParseOutcome::Error;
            const auto code = ParseProductCode(text);
            if (!code)
                return bad(text, "one character or a number 0..255");
            options.device.productCode = *code;
        } else if (name == "--serial" || name == "--firmware" || name == "--bad-checksum-every" ||
                   name == "--seed") {
            if (!value(text))
                return ParseOutcome::Error;
            const auto number = ParseUnsigned(text);
            if (name == "--serial") {
                if (!number || *number > std::numeric_limits<uint32_t>::max())
                    return bad(text, "a number 0..4294967295");
                options.device.serialNumber = static_cast<uint32_t>(*number);
            } else if (name == "--firmware") {
                if (!number || *number > 255)
                    return bad(text, "a number 0..255");
                options.device.firmwareByte = static_cast<uint8_t>(*number);
            } else if (name == "--bad-checksum-every") {
                if (!number || *number < 1 || *number > 1000000)
                    return bad(text, "a number 1..1000000");
                options.device.badChecksumEvery = static_cast<int>(*number);
            } else {
                if (!number)
                    return bad(text, "an unsigned number");
                options.seed = *number;
                options.seedGiven = true;
            }
        } else if (name == "--rate" || name == "--pace-bytes") {
            if (!value(text))
                return ParseOutcome::Error;
            const auto number = ParseNumber(text);
            const double limit = name == "--rate" ? 1000.0 : 1e8;
            if (!number || *number <= 0 || *number > limit)
                return bad(text, name == "--rate" ? "a number above 0, at most 1000"
                                                  : "a number above 0, at most 1e8");
            (name == "--rate" ? options.rate : options.paceBytes) = *number;
        } else if (name == "--silent-after" || name == "--exit-after") {
            if (!value(text))
                return ParseOutcome::Error;
            const auto seconds = ParseNumber(text);
            if (!seconds || *seconds < 0 || *seconds > 1e6)
                return bad(text, "seconds, 0 or more");
            (name == "--silent-after" ? options.silentAfter : options.exitAfter) = *seconds;
        } else {
            error = "unknown option '" + args[i] + "'";
            return ParseOutcome::Error;
        }
    }
    return ParseOutcome::Run;
}

std::string UsageText(const std::string& programName) {
    return "Usage: " + programName + R"( [options]

Behaves as the simulator device does on its serial side, on a pseudo-terminal.
Prints the pty's slave path (e.g. /dev/pts/5) as the first line on stdout;
point the terminal at that path (or at --link). Stops on SIGINT/SIGTERM.

Device:
  --product-code X        product code: one character ('9') or a number
                          (65, 0x41); default '9'
  --serial N              serial number, 0..4294967295; default 1234567
  --firmware N            firmware byte, 0..255; default 9 (" 1.0A")
  --rate N                level broadcasts per second (fractional ok); default 10

Port:
  --link PATH             also make a symbolic link PATH to the slave (parent
                          folders are created); removed on exit
  --trace FILE            log each received byte as "<monotonic_ns> <hex>" and
                          each received line as "LINE <text>"

Faults:
  --silent-after SECONDS  stop answering and broadcasting after SECONDS
  --exit-after SECONDS    exit after SECONDS (the device is unplugged)
  --bad-checksum-every N  spoil the checksum of every Nth checksummed line
  --noise                 random bytes (no CR, LF or space) between lines
  --garbage               never answer; write only random bytes (no space,
                          so never a valid line), about 1000 bytes/s
  --seed N                seed for --noise and --garbage; default: the clock

Throughput:
  --flood                 level broadcasts back to back, as fast as the reader
                          takes them
  --pace-bytes N          limit all output to N bytes per second (11520 is the
                          full 115200-baud line)
  --sweep                 each level broadcast shows the next level of 0..100
  --send-log FILE         after each level broadcast is written, append
                          "<monotonic_ns> <level>"

  -h, --help              show this text

Broadcasts start with the first "AT ID?". A level command above 100 sets 100.
Exit status: 0 on a clean stop, 1 when the pty or a file cannot be set up,
2 on a bad option.
)";
}

} // namespace emulator
