// The bus model's receiving side: arbitrary CAN frames through the
// reassembler, the decoder and a node's address claiming, and arbitrary
// text through the candump parser.
//
// The input is read twice: as frames of 13 bytes (identifier, length, eight
// data bytes), and as lines of text, each line a candump line whose frame
// joins the others.
#include "core/Candump.h"
#include "core/N2kMessages.h"
#include "core/N2kNode.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

constexpr size_t kFrameBytes = 13;

n2k::CanFrame FrameAt(const uint8_t* p) {
    n2k::CanFrame f;
    f.id = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    f.length = p[4];
    for (size_t i = 0; i < f.data.size(); ++i)
        f.data[i] = p[5 + i];
    return f;
}

struct Receiver {
    n2k::CReassembler reassembler;
    n2k::CNode node{n2k::DeviceName(n2k::Node::Engine, 7), 0, {1, "model", "1.0", "", "7"}};
    uint64_t now = 0;

    // A node never sends from an address it does not hold (as it holds it
    // once the frames are out: a claim it then loses was still its own).
    void CheckSent(const std::vector<n2k::CanFrame>& out) {
        for (const n2k::CanFrame& f : out) {
            const uint8_t source = n2k::SplitId(f.id).source;
            Check(f.length <= 8 && (source == node.Address() || source == n2k::kNullAddress));
        }
    }

    void Take(const n2k::CanFrame& frame) {
        std::vector<n2k::CanFrame> out;
        if (now == 0) {
            node.Claim(now, out);
            CheckSent(out);
            out.clear();
        }
        now += 10;
        node.Advance(now);
        node.Receive(frame, now, out);
        CheckSent(out);
        if (const auto m = reassembler.Push(frame)) {
            Check(m->length <= n2k::kMaxPayload);
            Check(n2k::MakeId(m->priority, m->pgn, m->source, m->destination) ==
                  (frame.id & 0x1FFFFFFF));
            if (const auto d = n2k::Decode(*m)) {
                Check(d->group->pgn == m->pgn && d->group->length <= m->length);
                // Our fields written back give our payload back.
                n2k::Message again = *m;
                for (size_t i = 0; i < d->group->fields.size(); ++i)
                    n2k::PutField(again.data.data(), d->group->fields[i], d->values[i]);
                Check(again.data == m->data);
            }
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Receiver receiver;
    for (size_t at = 0; at + kFrameBytes <= size; at += kFrameBytes)
        receiver.Take(FrameAt(data + at));

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (const auto record = n2k::ParseCandumpLine(text.substr(start, end - start))) {
            Check(record->frame.length <= 8 && record->frame.id <= 0x1FFFFFFF);
            // What we write we read back the same.
            const std::string line =
                n2k::FormatCandumpLine(record->microseconds, record->interface, record->frame);
            const auto again = n2k::ParseCandumpLine(line);
            Check(again && again->microseconds == record->microseconds &&
                  again->interface == record->interface && again->frame.id == record->frame.id &&
                  again->frame.length == record->frame.length &&
                  again->frame.data == record->frame.data);
            receiver.Take(record->frame);
        }
        start = end + 1;
    }
    return 0;
}
