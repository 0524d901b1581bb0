// The " FET Test " frame: the operator's choices through the lists, and the FetTest packet of "CHECK".
#include <gtest/gtest.h>

#include <QComboBox>
#include <QToolButton>

#include "controls/MaskEditUpDown.h"
#include "fettest/frameVekfetest.h"
#include "link/frameConnect.h"
#include "support/ptyPeer.h"

namespace {

class FrameFETestTest : public ::testing::Test {
protected:
    void SetUp() override {
        link.InitPort({}, {}, {});
        link.ComRW->PortName = peer.SlaveName();
        link.ComRW->SetActive(true);
        ASSERT_TRUE(link.IsConnected());
        frame.Initialize(link.Port(), [this]() { return netBit; });
    }

    // What the operator does: picks an entry of a list.
    void Pick(QComboBox* list, int state) {
        list->setCurrentIndex(state);
        emit list->activated(state);
    }

    TPtyPeer peer;
    TFrameConnectPort link;
    TFrameFETest frame;
    uint8_t netBit = 0;
};

}  // namespace

TEST_F(FrameFETestTest, DefaultsAndCaptions) {
    EXPECT_EQ(frame.States(), (TFetStates{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(frame.ComboBox1->count(), 3);
    EXPECT_EQ(frame.ComboBox6->itemText(2), QStringLiteral("PWM"));
    EXPECT_EQ(frame.MaskEditUpDown1->text(), QStringLiteral("1"));
    EXPECT_EQ(frame.MaskEditUpDown2->text(), QStringLiteral("500"));
    EXPECT_EQ(frame.SpeedButton1->text(), QStringLiteral("CHECK"));
    EXPECT_EQ(frame.BuildRequest(), (std::array<uint8_t, 6>{0, 0, 10, 0, 0xF4, 0x01}));
}

TEST_F(FrameFETestTest, ChoicesThroughTheListsFollowTheInterlock) {
    struct Case {
        std::vector<std::pair<int, int>> picks;  // list index 0..5, state
        uint16_t word;
    };
    const Case cases[] = {
        {{{0, 1}, {4, 2}}, 0x0408},
        {{{0, 1}, {3, 1}}, 0x0010},
        {{{0, 2}, {4, 1}}, 0x0804},
        {{{0, 1}, {1, 1}, {2, 2}}, 0x0080},  // one high side at a time
    };
    QComboBox* lists[] = {frame.ComboBox1, frame.ComboBox2, frame.ComboBox3,
                          frame.ComboBox4, frame.ComboBox5, frame.ComboBox6};
    for (const Case& c : cases) {
        frame.SetStates({});
        for (auto [list, state] : c.picks) Pick(lists[list], state);
        const std::array<uint8_t, 6> bytes = frame.BuildRequest();
        EXPECT_EQ(bytes[0] | (bytes[1] << 8), c.word);
    }
}

TEST_F(FrameFETestTest, CheckSendsTheFetTestPacket) {
    Pick(frame.ComboBox1, FetOn);
    Pick(frame.ComboBox5, FetPwm);
    frame.MaskEditUpDown1->SetValue(12.5);
    frame.MaskEditUpDown2->SetValue(500);
    frame.SpeedButton1->click();
    std::vector<TPeerPacket> packets = peer.Drain(100);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].channel, 0x01);
    EXPECT_EQ(packets[0].payload, (std::vector<uint8_t>{0x92, 0x08, 0x04, 0x7D, 0x00, 0xF4, 0x01}));

    netBit = 0x80;
    frame.MaskEditUpDown2->setText(QStringLiteral("oops("));  // invalid text reads as the minimum, 0
    frame.SpeedButton1->click();
    packets = peer.Drain(100);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].channel, 0x81);
    EXPECT_EQ(packets[0].payload, (std::vector<uint8_t>{0x92, 0x08, 0x04, 0x7D, 0x00, 0x00, 0x00}));
}

TEST_F(FrameFETestTest, CheckWhileDisconnectedSendsNothing) {
    Pick(frame.ComboBox1, FetOn);
    link.ComRW->SetActive(false);
    frame.SpeedButton1->click();
    link.ComRW->SetActive(true);
    EXPECT_TRUE(peer.Drain(100).empty());
}
