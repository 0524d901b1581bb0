// The packet codec: the builder's bytes and the receive state machine's resynchronisation.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/zuq.h"
#include "support/ptyPeer.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Text(const char* s) {
    return Bytes(s, s + std::strlen(s));
}

// The sum computed independently of the codec: every byte of the packet but the sum field.
uint16_t SumOf(const Bytes& wire) {
    unsigned sum = 0;
    for (size_t i = 0; i < wire.size(); ++i) sum += (i == 6 || i == 7) ? 0 : wire[i];
    return uint16_t(sum);
}

// Feeds the stream to one collector the way the reader thread does: one slot, reused until Collect
// reports a packet and then handed on in place. Returns the slot's bytes at each report.
std::vector<Bytes> Collect(const Bytes& stream) {
    zuq::TCollectorZUQ collector;
    zuq::TPacket slot;
    std::vector<Bytes> got;
    for (uint8_t b : stream)
        if (collector.Collect(slot, b)) got.emplace_back(slot.Bytes, slot.Bytes + zuq::PacketSize(slot));
    EXPECT_EQ(collector.State(), 0) << "a complete stream leaves the collector looking for a magic";
    return got;
}

}  // namespace

TEST(Codec, BytesLengthsLettersAndSums) {
    EXPECT_EQ(TPtyPeer::Wire(0x01, {0x01}), Bytes({0x5A, 0x55, 0x51, 0x53, 0x01, 0x01, 0x56, 0x01, 0x01}));
    const struct {
        size_t requested, sent;
        uint8_t address;
        char letter;
    } cases[] = {{1, 1, 0, 'S'},     {2, 2, 1, 'A'},     {239, 239, 2, 'B'},   {240, 240, 3, 'C'},
                 {241, 240, 4, 'D'}, {255, 240, 5, 'S'}, {1000, 240, 255, 'S'}};
    for (const auto& c : cases) {
        // Mostly 0xFF, so that a sum kept in 8 bits, or one that counts the cut bytes, would show.
        Bytes payload(c.requested, 0xFF);
        for (size_t i = 0; i < payload.size(); i += 7) payload[i] = uint8_t(i);
        const Bytes wire = TPtyPeer::Wire(0x81, payload, c.address);
        ASSERT_EQ(wire.size(), c.sent + 8) << c.requested;
        EXPECT_EQ(std::make_pair(wire[3], wire[5]), std::make_pair(uint8_t(c.letter), uint8_t(c.sent)));
        EXPECT_EQ(Bytes(wire.begin() + 8, wire.end()),
                  Bytes(payload.begin(), payload.begin() + long(c.sent)));
        EXPECT_EQ(wire[6] | (wire[7] << 8), SumOf(wire)) << c.requested << ": least significant byte first";
        EXPECT_EQ(Collect(wire), std::vector<Bytes>{wire}) << c.requested;
    }
}

TEST(Collector, ResynchronisesAfterNoiseAndBrokenPackets) {
    const Bytes a = TPtyPeer::Wire(0x04, {0x02});
    const Bytes b = TPtyPeer::Wire(0x84, {0x1A, 9, 8, 7});
    Bytes badSumLow = a, badSumHigh = a, badPayload = b;
    badSumLow[6] ^= 0x01;
    badSumHigh[7] ^= 0x80;
    badPayload[10] ^= 0x10;
    const struct {
        const char* name;
        Bytes stream;
        std::vector<Bytes> expected;
    } cases[] = {
        {"nothing but noise", Text("hello ZU QZ\x01\x02ZUQx"), {}},
        {"noise before a packet", Bytes{0x00, 0xFF, 'U', 'Q', 'S', 0x13, 0x11} + a, {a}},
        {"a broken magic, then a packet", Text("ZUX") + a, {a}},
        {"magic and a wrong letter, then a packet", Text("ZUQEZUQs") + a, {a}},
        // A byte that breaks the magic is looked at again as a possible start.
        {"ZZUQ", Text("Z") + a + b, {a, b}},
        {"ZUZUQ", Text("ZU") + a + b, {a, b}},
        {"ZUQZUQ", Text("ZUQ") + a + b, {a, b}},
        {"ZZZUZUQZUQ", Text("ZZZUZUQ") + a, {a}},
        {"two packets back to back", a + b, {a, b}},
        {"length 0 ends the packet at its length byte", Bytes{'Z', 'U', 'Q', 'S', 0x04, 0x00} + a, {a}},
        {"length 255", Bytes{'Z', 'U', 'Q', 'D', 0x04, 255} + a + b, {a, b}},
        {"wrong sum, low byte", badSumLow + b, {b}},
        {"wrong sum, high byte", badSumHigh + b, {b}},
        {"corrupted payload", badPayload + a, {a}},
        {"packet cut short, then the next one swallowed into its payload",
         Bytes(b.begin(), b.begin() + 9) + a + b,
         {b}},
    };
    for (const auto& c : cases) EXPECT_EQ(Collect(c.stream), c.expected) << c.name;
}
