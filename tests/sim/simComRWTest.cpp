// vek-sim driven through the program's own serial port object, as the program's frames drive it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "link/treadRW.h"
#include "sim/simController.h"
#include "sim/simRecord.h"
#include "support/qtWait.h"
#include "support/simProcess.h"

namespace {
struct TGot {
    uint8_t channel;
    std::vector<uint8_t> payload;
};

// A simulator and an open TComRW on its port, with everything received kept in order.
struct TSimLink {
    TSimProcess sim;
    TComRW com;
    std::vector<TGot> got;
    bool lost = false;
    std::function<void(const TGot&)> onPacket;  // optional reaction, called on the GUI thread

    explicit TSimLink(const std::vector<std::string>& args = {}, bool trace = false) : sim(args, trace) {
        com.OnPacket = [this](const uint8_t* payload, uint8_t length, uint8_t channel) {
            got.push_back({channel, std::vector<uint8_t>(payload, payload + length)});
            if (onPacket) onPacket(got.back());
        };
        com.OnDeviceLost = [this] { lost = true; };
        if (!sim.Started()) return;
        com.PortName = sim.PortName();
        com.SetActive(true);
        com.SetControlLines(true, true);  // as the program does right after opening; a pty may refuse
    }
    bool Ready() const { return sim.Started() && com.Active(); }

    // Waits for the next packet with the given command after index `from`; returns its index or -1.
    int Await(uint8_t code, size_t from = 0, int timeoutMs = 10000) {
        int found = -1;
        ProcessEventsUntil(
            [&] {
                for (size_t i = from; i < got.size(); ++i) {
                    if (!got[i].payload.empty() && got[i].payload[0] == code) {
                        found = int(i);
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return found;
    }
    // Sends and returns the first reply with the given code that arrives after the request.
    std::optional<TGot> Ask(uint8_t channel, std::vector<uint8_t> payload, uint8_t code,
                            int timeoutMs = 10000) {
        const size_t from = got.size();
        const uint8_t command = payload[0];
        payload.erase(payload.begin());
        if (!com.SendCommandData(channel, command, payload.data(), uint8_t(payload.size()))) return {};
        const int i = Await(code, from, timeoutMs);
        if (i < 0) return {};
        return got[size_t(i)];
    }
    size_t Count(uint8_t code) const {
        size_t n = 0;
        for (const auto& g : got) n += !g.payload.empty() && g.payload[0] == code;
        return n;
    }
};

std::vector<uint8_t> Record(const TGot& data) {
    return {data.payload.begin() + 1, data.payload.end()};
}

std::vector<uint8_t> BootInfoRequest(uint16_t code, uint32_t size) {
    std::vector<uint8_t> p = {zuq::Cmd::BootInfo, 0, 0, 0, 0, 0, 0};
    sim::Put16(&p[1], code);
    sim::Put32(&p[3], size);
    return p;
}

std::string Firmware(const TGot& identify) {
    return std::string(reinterpret_cast<const char*>(&identify.payload[1]));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
}  // namespace

TEST(SimComRW, PingAndIdentityOnTheLineChannel) {
    TSimLink link({"--firmware", "2.1", "--serial", "0xDEADBEEF"});
    ASSERT_TRUE(link.Ready()) << link.sim.Error() << link.com.LastError();
    const auto echo = link.Ask(0x01, {zuq::Cmd::Ping}, zuq::Cmd::Echo);
    ASSERT_TRUE(echo);
    EXPECT_EQ(echo->channel, 0x04);
    EXPECT_EQ(echo->payload.size(), 1u);
    const auto id = link.Ask(0x01, {zuq::Cmd::Identify}, zuq::Cmd::Identify);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->channel, 0x04);
    ASSERT_EQ(id->payload.size(), 25u);
    EXPECT_EQ(Firmware(*id), "2.1");
    EXPECT_EQ(sim::U32(&id->payload[21]), 0xDEADBEEFu);
    const auto detected = link.Ask(0x01, {zuq::Cmd::Detect}, zuq::Cmd::Detected);
    ASSERT_TRUE(detected);
    EXPECT_EQ(detected->channel, 0x04);
}

TEST(SimComRW, ReadsAllSeventeenDefaultRecords) {
    TSimLink link;
    ASSERT_TRUE(link.Ready()) << link.sim.Error() << link.com.LastError();
    for (uint8_t n = 0; n < sim::RecordCount; ++n) {
        const auto data = link.Ask(0x01, {zuq::Cmd::ConfigGet, n}, zuq::Cmd::ConfigData);
        ASSERT_TRUE(data) << int(n);
        EXPECT_EQ(data->channel, 0x04);
        ASSERT_EQ(data->payload.size(), 52u);
        const std::vector<uint8_t> r = Record(*data);
        EXPECT_EQ(std::string(r.begin(), r.begin() + 4), "QEZO");
        EXPECT_EQ(sim::U16(&r[4]), 3);  // version 0.3
        EXPECT_EQ(r[6], n);                // Number = slot
        EXPECT_EQ(sim::U16(&r[7]), 1);  // Flags: Enable PWM
        EXPECT_EQ(r[17], 0xFF);            // automatic timing
        EXPECT_EQ(sim::U16(&r[18]), 8000);
        EXPECT_EQ(sim::U16(&r[20]), 300);
        EXPECT_EQ(sim::U16(&r[22]), 150);
        EXPECT_EQ(sim::U16(&r[24]), 900);
        EXPECT_EQ(sim::U16(&r[26]), 40);
        EXPECT_EQ(sim::U16(&r[28]), 950);
        EXPECT_EQ(sim::U16(&r[36]), 90);
        EXPECT_EQ(r[38], 12);
        EXPECT_EQ(r[48], 40);
        EXPECT_EQ(r[49], 40);
    }
    // No record 17: no answer rather than a made-up one.
    EXPECT_FALSE(link.Ask(0x01, {zuq::Cmd::ConfigGet, 17}, zuq::Cmd::ConfigData, 500));
}

TEST(SimComRW, SetKeepsRamOnlyFlashSurvivesReset) {
    TSimLink link;
    ASSERT_TRUE(link.Ready()) << link.sim.Error() << link.com.LastError();
    auto modified = [](uint8_t number, uint16_t maxCurrent) {
        sim::TConfigBytes r = sim::DefaultRecord(number);
        sim::Put16(&r[sim::Rec::MaxCurrent], maxCurrent);
        std::vector<uint8_t> p = {0};
        p.insert(p.end(), r.begin(), r.end());
        return p;
    };
    struct TCase {
        uint8_t command;
        uint8_t number;
        uint16_t maxCurrent;
        bool survivesReset;
    };
    const TCase cases[] = {{zuq::Cmd::ConfigSet, 5, 123, false}, {zuq::Cmd::ConfigFlash, 6, 456, true}};
    for (const TCase& c : cases) {
        std::vector<uint8_t> request = modified(c.number, c.maxCurrent);
        request[0] = c.command;
        const auto ack = link.Ask(0x01, request, zuq::Cmd::ConfigUploaded);
        ASSERT_TRUE(ack);
        EXPECT_EQ(ack->payload, (std::vector<uint8_t>{0xFF, 0x18}));
        const auto back = link.Ask(0x01, {zuq::Cmd::ConfigGet, c.number}, zuq::Cmd::ConfigData);
        ASSERT_TRUE(back);
        EXPECT_EQ(Record(*back), std::vector<uint8_t>(request.begin() + 1, request.end()));
    }
    ASSERT_TRUE(link.com.SendCommand(0x01, zuq::Cmd::SoftReset));  // RAM is reloaded from flash
    for (const TCase& c : cases) {
        const auto back = link.Ask(0x01, {zuq::Cmd::ConfigGet, c.number}, zuq::Cmd::ConfigData);
        ASSERT_TRUE(back);
        EXPECT_EQ(sim::U16(&Record(*back)[sim::Rec::MaxCurrent]), c.survivesReset ? c.maxCurrent : 300)
            << int(c.number);
    }
}

TEST(SimComRW, StatusStreamRunsAtTheRequestedRateUntilStopped) {
    constexpr int Rate = 25;
    TSimLink link({"--mode", "7", "--trace"}, true);
    ASSERT_TRUE(link.Ready()) << link.sim.Error() << link.com.LastError();
    const auto first = link.Ask(0x01, {zuq::Cmd::StatusRequest, Rate}, zuq::Cmd::Status);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->channel, 0x04);
    ASSERT_EQ(first->payload.size(), 30u);
    EXPECT_EQ(first->payload[1 + 16], 7);  // Mode: the record in use
    EXPECT_EQ(first->payload[1 + 18] & sim::StatusFlag::Stopped, sim::StatusFlag::Stopped);

    // Count over one second of the simulator's own clock, so a busy machine cannot skew the figure.
    std::vector<long long> stamps;
    ASSERT_TRUE(ProcessEventsUntil(
        [&] {
            stamps.clear();
            std::istringstream lines(link.sim.Stderr());
            std::string line;
            while (std::getline(lines, line)) {
                long long us = 0;
                char dir[8] = {}, name[32] = {};
                if (std::sscanf(line.c_str(), "%lld %7s %31s", &us, dir, name) == 3 &&
                    std::string(dir) == "out" && std::string(name) == "Status")
                    stamps.push_back(us);
            }
            return stamps.size() >= 2 && stamps.back() - stamps.front() > 1'200'000;
        },
        20000));
    const long long t0 = stamps.front();
    const auto inSecond = std::count_if(stamps.begin(), stamps.end(),
                                        [&](long long t) { return t >= t0 && t < t0 + 1'000'000; });
    EXPECT_GE(inSecond, Rate - 2);
    EXPECT_LE(inSecond, Rate + 1);
    // Every packet the simulator sent arrived whole through the port object.
    ASSERT_TRUE(ProcessEventsUntil([&] { return link.Count(zuq::Cmd::Status) >= stamps.size(); }));

    ASSERT_TRUE(link.Ask(0x01, {zuq::Cmd::StatusRequest, 0}, zuq::Cmd::Status));
    // The Status taken as the answer may be a streamed one already on its way; let the answer come.
    ProcessEventsFor(200);
    const size_t afterStop = link.Count(zuq::Cmd::Status);
    ProcessEventsFor(300);  // at 25 per second, seven more would have come
    EXPECT_EQ(link.Count(zuq::Cmd::Status), afterStop);
}

TEST(SimComRW, ScanSelectAndReachANodeWithTheNetBit) {
    TSimLink link({"--nodes", "1,4,30", "--serial", "0x1000"});
    ASSERT_TRUE(link.Ready()) << link.sim.Error() << link.com.LastError();
    const auto scan = link.Ask(0x01, {zuq::Cmd::ScanLinks}, zuq::Cmd::ScanLinks);
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->channel, 0x04);
    ASSERT_EQ(scan->payload.size(), 5u);
    EXPECT_EQ(sim::U32(&scan->payload[1]), (1u << 1) | (1u << 4) | (1u << 30));

    struct TSelect {
        uint8_t link;
        uint8_t expected;
    };
    for (TSelect s : {TSelect{7, 255}, TSelect{0xFF, 255}, TSelect{4, 4}}) {
        const auto active = link.Ask(0x01, {zuq::Cmd::SelectLink, s.link}, zuq::Cmd::ActiveLink);
        ASSERT_TRUE(active);
        EXPECT_EQ(active->channel, 0x04);
        EXPECT_EQ(active->payload, (std::vector<uint8_t>{0x5B, s.expected})) << int(s.link);
    }
    const auto id = link.Ask(0x81, {zuq::Cmd::Identify}, zuq::Cmd::Identify);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->channel, 0x84);
    EXPECT_EQ(sim::U32(&id->payload[21]), 0x1000u + 0x100 + 4);

    // A record written on node 4 changes node 4 only.
    sim::TConfigBytes r = sim::DefaultRecord(2);
    r[sim::Rec::Poles] = 14;
    std::vector<uint8_t> set = {zuq::Cmd::ConfigSet};
    set.insert(set.end(), r.begin(), r.end());
    const auto ack = link.Ask(0x81, set, zuq::Cmd::ConfigUploaded);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->channel, 0x84);
    for (uint8_t n = 0; n < sim::RecordCount; ++n) {
        const auto data = link.Ask(0x81, {zuq::Cmd::ConfigGet, n}, zuq::Cmd::ConfigData);
        ASSERT_TRUE(data) << int(n);
        EXPECT_EQ(data->channel, 0x84);
        EXPECT_EQ(Record(*data)[sim::Rec::Number], n);
        EXPECT_EQ(Record(*data)[sim::Rec::Poles], n == 2 ? 14 : 12);
    }
    const auto lineRecord = link.Ask(0x01, {zuq::Cmd::ConfigGet, 2}, zuq::Cmd::ConfigData);
    ASSERT_TRUE(lineRecord);
    EXPECT_EQ(lineRecord->channel, 0x04);
    EXPECT_EQ(Record(*lineRecord)[sim::Rec::Poles], 12);

    // With no node selected, a request over the net reaches nobody.
    ASSERT_TRUE(link.Ask(0x01, {zuq::Cmd::SelectLink, 0xFF}, zuq::Cmd::ActiveLink));
    EXPECT_FALSE(link.Ask(0x81, {zuq::Cmd::Ping}, zuq::Cmd::Echo, 500));
}

namespace {
// Plays the program's side of a firmware update: answers every page request from the image.
struct TUpdate {
    TSimLink& link;
    std::vector<uint8_t> image;
    std::vector<uint16_t> written;  // status words in order
    int requests = 0;

    TUpdate(TSimLink& l, std::vector<uint8_t> i) : link(l), image(std::move(i)) {}

    void Attach() {
        link.onPacket = [this](const TGot& g) {
            if (g.payload.size() < 3 || g.channel != 0xBB) return;
            const uint16_t word = sim::U16(&g.payload[1]);
            if (g.payload[0] == zuq::Cmd::BootPageRequest) {
                ++requests;
                std::vector<uint8_t> page(130, 0);
                sim::Put16(&page[0], word);
                for (size_t i = 0; i < 128 && size_t(word) * 128 + i < image.size(); ++i)
                    page[2 + i] = image[size_t(word) * 128 + i];
                link.com.SendCommandData(0xBB, zuq::Cmd::BootPage, page.data(), uint8_t(page.size()));
            } else if (g.payload[0] == zuq::Cmd::BootPageWritten) {
                written.push_back(word);
            }
        };
    }
    bool Done() const { return !written.empty() && (written.back() & 0x8000) != 0; }
};
}  // namespace

TEST(SimComRW, FirmwareTransferOf64KiBMatchesTheDump) {
    const std::string dump = std::string(std::getenv("HOME")) + "/image.bin";
    std::remove(dump.c_str());
    TSimLink link({"--dump-firmware", dump});
    ASSERT_TRUE(link.Ready()) << link.sim.Error() << link.com.LastError();
    const auto before = link.Ask(0x01, {zuq::Cmd::Identify}, zuq::Cmd::Identify);
    ASSERT_TRUE(before);

    TUpdate update{link, std::vector<uint8_t>(64 * 1024)};
    uint32_t x = 12345;
    for (auto& b : update.image) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
    update.Attach();

    // As the program does: StartUpdate, control lines, the raw wake-up sequence, BootInfo on BootReady.
    ASSERT_TRUE(link.com.SendCommand(0x01, zuq::Cmd::StartUpdate));
    link.com.SetControlLines(false, false);
    const uint8_t wake[] = {'B', 'O', 'O', 'T', 'Q', 'O', 'X'};
    for (int i = 0; i < 4; ++i) link.com.WriteRaw(wake, sizeof wake);
    const int ready = link.Await(zuq::Cmd::BootReady);
    ASSERT_GE(ready, 0);
    EXPECT_EQ(link.got[size_t(ready)].channel, 0xBB);
    const std::vector<uint8_t> info = BootInfoRequest(sim::DefaultDeviceCode, uint32_t(update.image.size()));
    const auto reply = link.Ask(0xBB, info, zuq::Cmd::BootInfo);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->channel, 0xBB);
    EXPECT_EQ(reply->payload, (std::vector<uint8_t>{0x05, 0x13, 0x02, 0x00, 0x00, 0x01, 0x00}));

    // A repeated exchange in the middle of the transfer must not spoil it.
    ASSERT_TRUE(ProcessEventsUntil([&] { return update.written.size() >= 100; }, 30000));
    for (int i = 0; i < 4; ++i) link.com.WriteRaw(wake, sizeof wake);
    link.com.SendCommandData(0xBB, info[0], &info[1], 6);
    ASSERT_TRUE(ProcessEventsUntil([&] { return update.Done(); }, 60000));

    ASSERT_EQ(update.written.size(), 512u);
    for (size_t i = 0; i < update.written.size(); ++i) {
        EXPECT_EQ(update.written[i], i == 511 ? 0x8000 | 511 : i) << i;
    }
    EXPECT_EQ(ReadFile(dump), update.image);

    // Back in the application, the firmware text tells the new image.
    ASSERT_TRUE(link.com.SendCommand(0x01, zuq::Cmd::SoftReset));
    const auto after = link.Ask(0x01, {zuq::Cmd::Identify}, zuq::Cmd::Identify);
    ASSERT_TRUE(after);
    EXPECT_EQ(Firmware(*after), sim::TSimController::FirmwareText(update.image));
    EXPECT_NE(Firmware(*after), Firmware(*before));
}

TEST(SimComRW, InvalidDeviceWordAndFlashError) {
    const std::string dump = std::string(std::getenv("HOME")) + "/flash-error.bin";
    TSimLink link({"--device-code", "0x1234", "--flash-error-page", "3", "--dump-firmware", dump});
    ASSERT_TRUE(link.Ready()) << link.sim.Error() << link.com.LastError();
    TUpdate update{link, std::vector<uint8_t>(1000, 0xA5)};  // 8 pages, the last one partly filled
    update.Attach();
    ASSERT_TRUE(link.com.SendCommand(0x01, zuq::Cmd::StartUpdate));
    ASSERT_GE(link.Await(zuq::Cmd::BootReady), 0);

    const auto invalid = link.Ask(0xBB, BootInfoRequest(0x5645, 1000), zuq::Cmd::BootInvalidDevice);
    ASSERT_TRUE(invalid);
    EXPECT_EQ(invalid->channel, 0xBB);
    EXPECT_EQ(update.requests, 0) << "no page may be asked for after a refused device word";

    ASSERT_TRUE(link.Ask(0xBB, BootInfoRequest(0x1234, 1000), zuq::Cmd::BootInfo));
    ASSERT_TRUE(ProcessEventsUntil([&] { return update.Done(); }, 30000));
    const std::vector<uint16_t> expected = {0, 1, 2, 0x4000 | 3, 4, 5, 6, 0x8000 | 7};
    EXPECT_EQ(update.written, expected);
    EXPECT_EQ(ReadFile(dump), update.image);

    // An image with a flash error is not started: the old firmware answers after the reset.
    ASSERT_TRUE(link.com.SendCommand(0x01, zuq::Cmd::SoftReset));
    const auto id = link.Ask(0x01, {zuq::Cmd::Identify}, zuq::Cmd::Identify);
    ASSERT_TRUE(id);
    EXPECT_EQ(Firmware(*id), "VekSim 1.0");
}

TEST(SimComRW, UnplugIsALostDevice) {
    TSimLink link({"--unplug-after", "0.5"});
    ASSERT_TRUE(link.Ready()) << link.sim.Error() << link.com.LastError();
    ASSERT_TRUE(link.Ask(0x01, {zuq::Cmd::Ping}, zuq::Cmd::Echo));
    ASSERT_TRUE(ProcessEventsUntil([&] { return link.lost; }, 15000));
    EXPECT_FALSE(link.com.Active());
    EXPECT_FALSE(link.com.SendCommand(0x01, zuq::Cmd::Ping));
}
