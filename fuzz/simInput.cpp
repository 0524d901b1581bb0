// Bytes from the program's side fed into the simulated controller: nothing may crash it, every reply
// must be a well-formed packet payload, and its records must stay valid (signature, number = slot).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sim/simController.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckNode(sim::TSimNode& node) {
    for (int i = 0; i < sim::RecordCount; ++i) {
        for (const auto* records : {&node.Ram, &node.Flash}) {
            const sim::TConfigBytes& r = (*records)[size_t(i)];
            Check(sim::RecordValid(r));
            Check(r[sim::Rec::Number] == i);
        }
    }
    Check(node.Mode < sim::RecordCount);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::TSimSettings settings;
    settings.Nodes = {0, 3};
    settings.Mode = 2;
    settings.Boot.FlashErrorPage = 1;
    size_t replies = 0;
    sim::TSimController controller(settings, [&](uint8_t channel, const std::vector<uint8_t>& payload) {
        Check(!payload.empty() && payload.size() <= 240);
        Check(channel == sim::ReplyLine || channel == sim::ReplyNet || channel == sim::ReplyBoot);
        ++replies;
    });
    // Time moves on by a millisecond per byte, so the bootloader's start and the streams come due.
    int64_t now = 1'000'000;
    for (size_t i = 0; i < size; i += 16) {
        const size_t n = size - i < 16 ? size - i : 16;
        controller.Feed(data + i, n, now);
        now += int64_t(n) * 1000;
        controller.Tick(now);
    }
    now += 2'000'000;
    controller.Tick(now);
    CheckNode(controller.Line());
    for (int link : {0, 3}) {
        sim::TSimNode* node = controller.NetNode(link);
        Check(node != nullptr);
        CheckNode(*node);
    }
    Check(controller.NetNode(1) == nullptr);
    Check(replies < size * 64 + 1000);  // replies stay proportionate to the input (no runaway loop)
    return 0;
}
