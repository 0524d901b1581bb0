#include "sim/simController.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {
constexpr uint8_t WakeUp[] = {'B', 'O', 'O', 'T', 'Q', 'O', 'X'};
constexpr int FirmwareTextMax = 19;  // payload bytes 1..20 hold the text and its zero

uint32_t Crc32(const std::vector<uint8_t>& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}
}  // namespace

TSimNode::TSimNode(int link, const TSimSettings& settings)
    : Firmware(settings.Firmware), Mode(settings.Mode), Boot(settings.Boot), link_(link) {
    Serial = link < 0 ? settings.Serial : settings.Serial + 0x100 + uint32_t(link);
    if (Mode >= RecordCount) Mode = 0;
    for (int i = 0; i < RecordCount; ++i) Flash[size_t(i)] = DefaultRecord(uint8_t(i));
    Ram = Flash;
}

TStatusRecord TSimNode::Status(int64_t nowUs) {
    Motor.Advance(nowUs, Ram[Mode]);
    TStatusRecord s = Motor.Telemetry();
    s.Mode = Mode;
    s.Address = link_ < 0 ? Ram[Mode][Rec::BaseAddr] : uint8_t(link_);
    return s;
}

TSimController::TSimController(const TSimSettings& settings, TSend send)
    : settings_(settings), send_(std::move(send)) {
    nodes_.push_back(std::make_unique<TSimNode>(-1, settings_));
    std::vector<int> links = settings_.Nodes;
    std::sort(links.begin(), links.end());
    links.erase(std::unique(links.begin(), links.end()), links.end());
    for (int link : links) {
        if (link >= 0 && link < MaxNodes) nodes_.push_back(std::make_unique<TSimNode>(link, settings_));
    }
    for (auto& node : nodes_) {
        TSimNode* n = node.get();
        n->Boot.OnImageComplete = [this, n](const std::vector<uint8_t>& image, bool clean) {
            if (clean) n->NewFirmware = FirmwareText(image);
            char text[128];
            std::snprintf(text, sizeof text, "%s: image of %zu bytes complete, crc %08x%s",
                          n->Link() < 0 ? "line" : ("node " + std::to_string(n->Link())).c_str(),
                          image.size(), Crc32(image), clean ? "" : " (with a flash error, not taken)");
            Note(text);
            if (OnImageComplete) OnImageComplete(image, clean);
        };
    }
}

std::string TSimController::FirmwareText(const std::vector<uint8_t>& image) {
    char text[32];
    std::snprintf(text, sizeof text, "VekFW %08x", Crc32(image));
    return text;
}

TSimNode* TSimController::NetNode(int link) {
    for (size_t i = 1; i < nodes_.size(); ++i) {
        if (nodes_[i]->Link() == link) return nodes_[i].get();
    }
    return nullptr;
}

uint32_t TSimController::LinkMask() const {
    uint32_t mask = 0;
    for (size_t i = 1; i < nodes_.size(); ++i) mask |= 1u << nodes_[i]->Link();
    return mask;
}

void TSimController::Feed(const uint8_t* data, size_t count, int64_t nowUs) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = data[i];
        // The wake-up sequence travels outside any packet; look for it in the raw stream.
        if (b == WakeUp[wakeMatch_]) {
            if (++wakeMatch_ == sizeof WakeUp) {
                wakeMatch_ = 0;
                for (auto& node : nodes_) {
                    node->Boot.WakeUp(nowUs, [this](const std::vector<uint8_t>& p) { send_(ReplyBoot, p); });
                }
            }
        } else {
            wakeMatch_ = b == WakeUp[0] ? 1 : 0;
        }
        if (collector_.Collect(slot_, b))
            HandlePacket(slot_.Channel(), slot_.Payload(), slot_.Length(), nowUs);
    }
}

TSimNode* TSimController::BootTarget() {
    // The bootloader channel carries the net bit by itself: prefer the active node, then the line.
    if (TSimNode* active = NetNode(activeLink_); active != nullptr && active->Boot.Running()) return active;
    for (auto& node : nodes_) {
        if (node->Boot.Running()) return node.get();
    }
    return nullptr;
}

void TSimController::HandlePacket(uint8_t channel, const uint8_t* payload, uint8_t length, int64_t nowUs) {
    if (length == 0 || length > zuq::MaxPayload) return;
    if (OnPacketIn && !OnPacketIn(channel, payload, length)) return;
    Tick(nowUs);

    if (channel == zuq::ChannelBoot) {
        TSimNode* node = BootTarget();
        if (node == nullptr) return;  // no bootloader running: the applications do not listen here
        if (payload[0] == zuq::Cmd::SoftReset) {
            HandleApp(*node, node->Link() < 0 ? ReplyLine : ReplyNet, payload, length, nowUs);
            return;
        }
        node->Boot.Handle(payload, length, [this](const std::vector<uint8_t>& p) { send_(ReplyBoot, p); });
        return;
    }
    if ((channel & 0x7F) != zuq::ChannelApp) return;

    if ((channel & zuq::NetBit) == 0) {
        TSimNode& line = Line();
        // The controller on the line manages the net.
        if (payload[0] == zuq::Cmd::SelectLink && !line.Boot.Running()) {
            if (length < 2) return;
            activeLink_ = NetNode(payload[1]) != nullptr ? payload[1] : 255;
            send_(ReplyLine, {zuq::Cmd::ActiveLink, uint8_t(activeLink_)});
            return;
        }
        if (payload[0] == zuq::Cmd::ScanLinks && !line.Boot.Running()) {
            std::vector<uint8_t> reply(5);
            reply[0] = zuq::Cmd::ScanLinks;
            Put32(&reply[1], LinkMask());
            send_(ReplyLine, reply);
            return;
        }
        HandleApp(line, ReplyLine, payload, length, nowUs);
        return;
    }
    TSimNode* node = NetNode(activeLink_);
    if (node == nullptr) return;  // nobody is addressed on the net
    HandleApp(*node, ReplyNet, payload, length, nowUs);
}

std::string TSimController::TargetName(uint8_t channel) {
    const TSimNode* node = nullptr;
    if (channel == zuq::ChannelBoot)
        node = BootTarget();
    else if ((channel & 0x7F) == zuq::ChannelApp)
        node = (channel & zuq::NetBit) == 0 ? &Line() : NetNode(activeLink_);
    if (node == nullptr) return "nobody";
    return node->Link() < 0 ? "line" : "node" + std::to_string(node->Link());
}

void TSimController::SendStatus(TSimNode& node, uint8_t replyChannel, int64_t nowUs) {
    const TStatusBytes record = node.Status(nowUs).Pack();
    std::vector<uint8_t> reply(1 + StatusSize);
    reply[0] = zuq::Cmd::Status;
    std::copy(record.begin(), record.end(), reply.begin() + 1);
    send_(replyChannel, reply);
}

void TSimController::HandleApp(TSimNode& node, uint8_t replyChannel, const uint8_t* payload, uint8_t length,
                               int64_t nowUs) {
    const uint8_t code = payload[0];
    if (node.Boot.Running()) {
        // Only a reset brings the application back; it then runs a freshly taken image.
        if (code != zuq::Cmd::SoftReset) return;
        node.Boot.Leave();
        if (!node.NewFirmware.empty()) {
            node.Firmware = node.NewFirmware;
            node.NewFirmware.clear();
        }
        node.Ram = node.Flash;
        Note("reset into the application, firmware \"" + node.Firmware + "\"");
        return;
    }
    switch (code) {
        case zuq::Cmd::Ping:
            send_(replyChannel, {zuq::Cmd::Echo});
            return;
        case zuq::Cmd::Detect:
            send_(replyChannel, {zuq::Cmd::Detected});
            return;
        case zuq::Cmd::Identify: {
            std::vector<uint8_t> reply(25, 0);
            reply[0] = zuq::Cmd::Identify;
            const size_t n = std::min<size_t>(node.Firmware.size(), FirmwareTextMax);
            std::copy(node.Firmware.begin(), node.Firmware.begin() + std::ptrdiff_t(n), reply.begin() + 1);
            Put32(&reply[21], node.Serial);
            send_(replyChannel, reply);
            return;
        }
        case zuq::Cmd::ConfigGet: {
            if (length < 2 || payload[1] >= RecordCount) return;  // no such record: no answer
            std::vector<uint8_t> reply(1 + RecordSize);
            reply[0] = zuq::Cmd::ConfigData;
            const TConfigBytes& record = node.Ram[payload[1]];
            std::copy(record.begin(), record.end(), reply.begin() + 1);
            send_(replyChannel, reply);
            return;
        }
        case zuq::Cmd::ConfigSet:
        case zuq::Cmd::ConfigFlash: {
            if (length < 1 + RecordSize) {
                Note("refused a short record (" + std::to_string(length - 1) + " bytes)");
                return;
            }
            TConfigBytes record;
            std::copy(payload + 1, payload + 1 + RecordSize, record.begin());
            if (!RecordValid(record)) {
                Note("refused a record with a bad signature or number");
                return;  // unacknowledged: the program times out instead of believing it was stored
            }
            const uint8_t number = record[Rec::Number];
            node.Ram[number] = record;
            if (code == zuq::Cmd::ConfigFlash) node.Flash[number] = record;
            send_(replyChannel, {zuq::Cmd::ConfigUploaded, zuq::Cmd::ConfigSet});
            return;
        }
        case zuq::Cmd::StatusRequest: {
            const int rate = length >= 2 ? std::min<int>(payload[1], MaxStatusRate) : 0;
            SendStatus(node, replyChannel, nowUs);
            node.StatusRate = rate;
            // The reply just sent counts as the stream's sample: the next one follows one period later.
            node.NextStatusUs = rate > 0 ? nowUs + 1'000'000 / rate : INT64_MAX;
            return;
        }
        case zuq::Cmd::Throttle:
            if (length >= 3) node.Motor.SetThrottle(U16(payload + 1), nowUs);
            return;
        case zuq::Cmd::Melody:
            node.Motor.PlayMelody(nowUs);
            return;
        case zuq::Cmd::FetTest:
            if (length >= 7) {
                node.Motor.Advance(nowUs, node.Ram[node.Mode]);
                node.Motor.FetTest(U16(payload + 1), U16(payload + 3), U16(payload + 5), nowUs);
            }
            return;
        case zuq::Cmd::StartUpdate:
            node.Motor.SetThrottle(0, nowUs);
            node.StatusRate = 0;
            node.NextStatusUs = INT64_MAX;
            node.Boot.Enter(nowUs);
            Note("restarting into the bootloader");
            return;
        case zuq::Cmd::SoftReset:
            // A restart: the motor stops, the stream ends and RAM is loaded from flash again.
            node.Motor.SetThrottle(0, nowUs);
            node.StatusRate = 0;
            node.NextStatusUs = INT64_MAX;
            node.Ram = node.Flash;
            return;
        default:
            return;  // unknown commands are ignored, as a controller would
    }
}

void TSimController::Tick(int64_t nowUs) {
    for (auto& node : nodes_) {
        // The motor runs up to now under the commands it had, before new ones apply.
        node->Motor.Advance(nowUs, node->Ram[node->Mode]);
        node->Boot.Tick(nowUs, [this](const std::vector<uint8_t>& p) { send_(ReplyBoot, p); });
        if (node->StatusRate > 0 && nowUs >= node->NextStatusUs) {
            SendStatus(*node, node->Link() < 0 ? ReplyLine : ReplyNet, nowUs);
            const int64_t period = 1'000'000 / node->StatusRate;
            node->NextStatusUs += period;
            if (node->NextStatusUs <= nowUs) node->NextStatusUs = nowUs + period;  // fell behind: no burst
        }
    }
}

int64_t TSimController::NextDueUs() const {
    int64_t due = INT64_MAX;
    for (const auto& node : nodes_) {
        due = std::min(due, node->Boot.NextDueUs());
        if (node->StatusRate > 0) due = std::min(due, node->NextStatusUs);
    }
    return due;
}

}  // namespace sim
