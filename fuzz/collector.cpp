// Arbitrary bytes into the packet collector: it never reads or writes outside its record, and every
// packet it reports has a length of 1..240 and a sum that matches its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "link/zuq.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// The sum recomputed from the record: magic, letter, channel, length and payload.
uint16_t SumOf(const zuq::TPacket& p) {
    unsigned sum = 0;
    for (int i = 0; i < zuq::OffSum; ++i) sum += p.Bytes[i];
    for (int i = 0; i < p.Length(); ++i) sum += p.Payload()[i];
    return uint16_t(sum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One slot, reused after each packet, as the reader does with a ring slot.
    zuq::TCollectorZUQ collector;
    zuq::TPacket slot;
    for (size_t i = 0; i < size; ++i) {
        if (!collector.Collect(slot, data[i])) continue;
        const uint8_t length = slot.Length();
        Check(length >= 1 && length <= zuq::MaxPayload);
        Check(zuq::PacketSize(slot) == length + zuq::HeaderSize);
        Check(slot.Bytes[0] == 'Z' && slot.Bytes[1] == 'U' && slot.Bytes[2] == 'Q');
        const uint8_t letter = slot.Bytes[zuq::OffAddress];
        Check(letter == 'S' || (letter >= 'A' && letter <= 'D'));
        Check(slot.Sum() == SumOf(slot));
        // A packet rebuilt from what was reported is the same packet on the wire.
        zuq::TPacket rebuilt;
        zuq::BuildPacket(rebuilt, slot.Channel(), slot.Payload(), length,
                         uint8_t(letter == 'S' ? 0 : letter - 'A' + 1));
        for (int b = 0; b < zuq::PacketSize(slot); ++b) Check(rebuilt.Bytes[b] == slot.Bytes[b]);
    }
    return 0;
}
