// The packet codec: worked bytes of the builder and the receive state machine's resynchronisation.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "link/zuq.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Wire(const zuq::TPacket& p) {
    return Bytes(p.Bytes, p.Bytes + zuq::PacketSize(p));
}

Bytes Packet(uint8_t channel, const Bytes& payload, uint8_t address = 0) {
    zuq::TPacket p;
    zuq::BuildPacket(p, channel, payload.data(), payload.size(), address);
    return Wire(p);
}

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
    for (size_t i = 0; i < wire.size(); ++i)
        if (i != 6 && i != 7) sum += wire[i];
    return uint16_t(sum);
}

struct TGot {
    uint8_t channel;
    uint8_t letter;
    Bytes payload;
    bool operator==(const TGot&) const = default;
};

// Feeds the stream to one collector in reads of the given sizes (the rest in one read), the way the
// reader thread does: one slot, reused until Collect reports a packet.
std::vector<TGot> Collect(const Bytes& stream, const std::vector<size_t>& reads = {}) {
    zuq::TCollectorZUQ collector;
    zuq::TPacket slot;
    std::vector<TGot> got;
    size_t pos = 0;
    auto feed = [&](size_t n) {
        for (size_t i = 0; i < n && pos < stream.size(); ++i, ++pos) {
            if (collector.Collect(slot, stream[pos]))
                got.push_back({slot.Channel(), slot.Bytes[zuq::OffAddress],
                               Bytes(slot.Payload(), slot.Payload() + slot.Length())});
        }
    };
    for (size_t n : reads) feed(n);
    feed(stream.size());
    EXPECT_EQ(collector.State(), 0) << "a complete stream leaves the collector looking for a magic";
    return got;
}

Bytes Counting(size_t n, uint8_t start = 0) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), start);
    return b;
}

}  // namespace

TEST(Codec, PingIsTheNineWorkedBytes) {
    EXPECT_EQ(Packet(0x01, {0x01}), Bytes({0x5A, 0x55, 0x51, 0x53, 0x01, 0x01, 0x56, 0x01, 0x01}));
}

TEST(Codec, AddressLetters) {
    const struct {
        uint8_t address;
        char letter;
    } cases[] = {{0, 'S'}, {1, 'A'}, {2, 'B'}, {3, 'C'}, {4, 'D'}, {5, 'S'}, {0x53, 'S'}, {255, 'S'}};
    for (const auto& c : cases) {
        EXPECT_EQ(zuq::AddressLetter(c.address), c.letter) << int(c.address);
        const Bytes wire = Packet(0xBB, {0x05, 1, 2}, c.address);
        EXPECT_EQ(wire[3], uint8_t(c.letter));
        EXPECT_EQ(wire[6] | (wire[7] << 8), SumOf(wire)) << "the letter counts in the sum";
    }
}

TEST(Codec, PayloadLengthsAndSums) {
    const struct {
        size_t requested;
        size_t sent;
    } cases[] = {{1, 1}, {2, 2}, {239, 239}, {240, 240}, {241, 240}, {255, 240}, {1000, 240}};
    for (const auto& c : cases) {
        // Mostly 0xFF, so that a sum kept in 8 bits, or one that counts the cut bytes, would show.
        Bytes payload(c.requested, 0xFF);
        for (size_t i = 0; i < payload.size(); i += 7) payload[i] = uint8_t(i);
        zuq::TPacket p;
        EXPECT_EQ(zuq::BuildPacket(p, 0x81, payload.data(), payload.size()), c.sent);
        const Bytes wire = Wire(p);
        ASSERT_EQ(wire.size(), c.sent + 8) << c.requested;
        EXPECT_EQ(wire[5], c.sent);
        EXPECT_EQ(Bytes(wire.begin() + 8, wire.end()), Bytes(payload.begin(), payload.begin() + c.sent));
        EXPECT_EQ(p.Sum(), SumOf(wire)) << c.requested;
        EXPECT_EQ(wire[6], SumOf(wire) & 0xFF) << "least significant byte first";
    }
}

TEST(Codec, CutRequestIsSummedOverTheBytesSent) {
    Bytes payload(241, 0xFF);
    zuq::TPacket p;
    zuq::BuildPacket(p, 0x01, payload.data(), payload.size());
    const unsigned expected = 'Z' + 'U' + 'Q' + 'S' + 0x01 + 240 + 240u * 0xFF;
    EXPECT_EQ(p.Sum(), uint16_t(expected));
    EXPECT_EQ(zuq::PacketSize(p), 248);
}

TEST(Codec, CommandNames) {
    EXPECT_STREQ(zuq::CommandName(zuq::Cmd::Ping), "Ping");
    EXPECT_STREQ(zuq::CommandName(zuq::Cmd::SelectLink), "SelectLink");
    EXPECT_STREQ(zuq::CommandName(0x5B, true), "ActiveLink");
    EXPECT_STREQ(zuq::CommandName(0x5C, true), "ActiveLink");
    EXPECT_STREQ(zuq::CommandName(zuq::Cmd::ConfigUploaded, true), "ConfigUploaded");
    EXPECT_STREQ(zuq::CommandName(0x03), "?");
    // Every code of the protocol has its own name (0x5B/0x5C share "ActiveLink" coming back).
    const uint8_t codes[] = {0x01, 0x02, 0x04, 0x05, 0x07, 0x08, 0x09, 0x0A, 0x17, 0x18, 0x19, 0x1A, 0x33,
                             0x44, 0x46, 0x5A, 0x5B, 0x5D, 0x5E, 0x77, 0x91, 0x92, 0xFD, 0xFE, 0xFF};
    std::vector<std::string> names;
    for (uint8_t c : codes) names.emplace_back(zuq::CommandName(c));
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_NE(names[i], "?") << int(codes[i]);
        for (size_t j = i + 1; j < names.size(); ++j) EXPECT_NE(names[i], names[j]);
    }
}

TEST(Collector, RoundTripsEveryLengthAndLetter) {
    const uint8_t channels[] = {0x01, 0x04, 0x84, 0xBB, 0x00, 0xFF};
    for (size_t length = 1; length <= 240; ++length) {
        const uint8_t address = uint8_t(length % 5);  // S, A, B, C, D
        const uint8_t channel = channels[length % 6];
        const Bytes payload = Counting(length, uint8_t(length));
        const auto got = Collect(Packet(channel, payload, address));
        ASSERT_EQ(got.size(), 1u) << length;
        EXPECT_EQ(got[0], (TGot{channel, uint8_t(zuq::AddressLetter(address)), payload})) << length;
    }
}

TEST(Collector, AcceptsOnlyTheKnownAddressLetters) {
    for (int letter = 0; letter < 256; ++letter) {
        Bytes wire = Packet(0x04, {0x02, 0x10});
        wire[3] = uint8_t(letter);
        const uint16_t sum = SumOf(wire);
        wire[6] = uint8_t(sum);
        wire[7] = uint8_t(sum >> 8);
        const bool known = std::string("SABCD").find(char(letter)) != std::string::npos;
        EXPECT_EQ(Collect(wire).size(), known ? 1u : 0u) << "letter " << letter;
    }
}

TEST(Collector, ResynchronisesAfterNoiseAndBrokenPackets) {
    const Bytes a = Packet(0x04, {0x02});
    const Bytes b = Packet(0x84, {0x1A, 9, 8, 7});
    const TGot gotA{0x04, 'S', {0x02}};
    const TGot gotB{0x84, 'S', {0x1A, 9, 8, 7}};
    Bytes badSumLow = a, badSumHigh = a, badPayload = b;
    badSumLow[6] ^= 0x01;
    badSumHigh[7] ^= 0x80;
    badPayload[10] ^= 0x10;
    const struct {
        const char* name;
        Bytes stream;
        std::vector<TGot> expected;
    } cases[] = {
        {"nothing but noise", Text("hello ZU QZ\x01\x02ZUQx"), {}},
        {"noise before a packet", Bytes{0x00, 0xFF, 'U', 'Q', 'S', 0x13, 0x11} + a, {gotA}},
        {"a broken magic, then a packet", Text("ZUX") + a, {gotA}},
        {"magic and a wrong letter, then a packet", Text("ZUQE") + a, {gotA}},
        // The second "Z" breaks the magic at index 1 and is not taken as a new start.
        {"ZZUQ loses that packet", Text("Z") + a + b, {gotB}},
        {"ZUZUQ loses that packet", Text("ZU") + a + b, {gotB}},
        {"ZUQZUQ loses that packet", Text("ZUQ") + a + b, {gotB}},
        {"two packets back to back", a + b, {gotA, gotB}},
        {"the same packet three times", a + a + a, {gotA, gotA, gotA}},
        {"length 0 ends the packet at its length byte", Bytes{'Z', 'U', 'Q', 'S', 0x04, 0x00} + a, {gotA}},
        {"length 241", Bytes{'Z', 'U', 'Q', 'A', 0x04, 241} + b, {gotB}},
        {"length 255", Bytes{'Z', 'U', 'Q', 'D', 0x04, 255} + a + b, {gotA, gotB}},
        {"wrong sum, low byte", badSumLow + b, {gotB}},
        {"wrong sum, high byte", badSumHigh + b, {gotB}},
        {"corrupted payload", badPayload + a, {gotA}},
        {"packet cut short, then the next one swallowed into its payload",
         Bytes(b.begin(), b.begin() + 9) + a + b,
         {gotB}},
    };
    for (const auto& c : cases) EXPECT_EQ(Collect(c.stream), c.expected) << c.name;
}

TEST(Collector, SplitReadsAtEveryPosition) {
    const Bytes stream = Text("\x01Y") + Packet(0x04, Counting(240)) + Packet(0xBB, {0x08, 0x34, 0x12}) +
                         Packet(0x84, {0x44, 0, 1, 2, 3, 4});
    const auto whole = Collect(stream);
    ASSERT_EQ(whole.size(), 3u);
    EXPECT_EQ(whole[0].payload, Counting(240));
    for (size_t cut = 0; cut <= stream.size(); ++cut) ASSERT_EQ(Collect(stream, {cut}), whole) << cut;
    for (size_t first = 1; first < 20; ++first)
        for (size_t second = 1; second < 20; ++second) {
            std::vector<size_t> reads;
            for (size_t total = 0; total < stream.size(); total += first + second) {
                reads.push_back(first);
                reads.push_back(second);
            }
            ASSERT_EQ(Collect(stream, reads), whole) << first << "/" << second;
        }
}

TEST(Collector, RecordHoldsTheWireBytesOfTheLastPacket) {
    // The reader hands the slot itself on: it must read back as the packet that was received.
    const Bytes wire = Packet(0x84, Counting(17, 100), 3);
    zuq::TCollectorZUQ collector;
    zuq::TPacket slot;
    std::memset(slot.Bytes, 0xEE, sizeof slot.Bytes);
    int complete = 0;
    for (uint8_t b : wire) complete += collector.Collect(slot, b) ? 1 : 0;
    EXPECT_EQ(complete, 1);
    EXPECT_EQ(Bytes(slot.Bytes, slot.Bytes + wire.size()), wire);
    EXPECT_EQ(slot.Bytes[wire.size()], 0xEE) << "nothing written past the packet";
}
