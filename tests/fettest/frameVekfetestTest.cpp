// The " FET Test " frame: the operator's choices through the lists, and the FetTest packet of "CHECK".
#include <gtest/gtest.h>

#include <QComboBox>
#include <QToolButton>

#include "controls/MaskEditUpDown.h"
#include "fettest/frameVekfetest.h"
#include "support/recordingLink.h"

TEST(FrameFETest, CheckSendsThePickedPatternOnlyWhileConnected) {
    TRecordingLink link;
    TFrameFETest frame;
    uint8_t netBit = 0;
    frame.Initialize(&link, [&netBit] { return netBit; });
    QComboBox* lists[] = {frame.ComboBox1, frame.ComboBox2, frame.ComboBox3,
                          frame.ComboBox4, frame.ComboBox5, frame.ComboBox6};
    // Picks (list 0..5 for A high .. C low, state) from all OFF, the delay text (none: as the frame
    // starts), the net bit, and the packet; none while disconnected. The interlock's every rule:
    // fetPatternTest.cpp.
    // clang-format off
    const std::tuple<std::vector<std::pair<int, int>>, const char*, uint8_t, std::vector<uint8_t>> cases[] = {
        {{}, nullptr, 0, {0x92, 0x00, 0x00, 0x0A, 0x00, 0xF4, 0x01}},
        {{{0, 1}, {4, 2}}, "500", 0x80, {0x92, 0x08, 0x04, 0x0A, 0x00, 0xF4, 0x01}},  // a low PWM: A high ON
        {{{0, 1}, {3, 1}}, "20*3", 0, {0x92, 0x10, 0x00, 0x0A, 0x00, 0x3C, 0x00}},  // same phase: A high OFF
        {{{0, 2}, {4, 1}}, "oops(", 0, {0x92, 0x04, 0x08, 0x0A, 0x00, 0x00, 0x00}},  // A high stays at PWM
        {{{0, 1}}, "500", 0, {}}};
    // clang-format on
    for (const auto& [picks, delay, bit, packet] : cases) {
        frame.SetStates({});
        for (auto [list, state] : picks) {  // what the operator does: picks an entry of a list
            lists[list]->setCurrentIndex(state);
            emit lists[list]->activated(state);
        }
        if (delay) frame.MaskEditUpDown2->setText(QString::fromLatin1(delay));
        netBit = bit;
        link.Open = !packet.empty();
        link.Clear();
        frame.SpeedButton1->click();
        const auto sent = link.Packets();
        ASSERT_EQ(sent.size(), packet.empty() ? 0u : 1u) << link.Describe();
        EXPECT_TRUE(sent.empty() || (sent[0].Channel == (0x01 | bit) && sent[0].Payload == packet))
            << link.Describe();
    }
}
