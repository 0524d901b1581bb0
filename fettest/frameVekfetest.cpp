#include "fettest/frameVekfetest.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QToolButton>

#include "controls/MaskEditUpDown.h"
#include "link/comLink.h"
#include "link/zuq.h"

TFrameFETest::TFrameFETest(QWidget* parent) : QFrame(parent) {
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* group = new QGroupBox(QStringLiteral(" FET Test "), this);
    outer->addWidget(group);
    auto* row = new QHBoxLayout(group);

    auto* grid = new QGridLayout;
    const char* phases[] = {"Phase A", "Phase B", "Phase C"};
    for (int i = 0; i < 3; ++i)
        grid->addWidget(new QLabel(QString::fromLatin1(phases[i]), group), 0, i + 1, Qt::AlignCenter);
    grid->addWidget(new QLabel(QStringLiteral("HIGH"), group), 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("LOW"), group), 2, 0);
    QComboBox** lists[] = {&ComboBox1, &ComboBox2, &ComboBox3, &ComboBox4, &ComboBox5, &ComboBox6};
    for (int i = 0; i < 6; ++i) {
        auto* list = new QComboBox(group);
        list->addItems({QStringLiteral("OFF"), QStringLiteral("ON"), QStringLiteral("PWM")});
        list->setCurrentIndex(FetOff);
        grid->addWidget(list, i < 3 ? 1 : 2, i % 3 + 1);
        // activated is the operator's choice only; setting a list from code raises nothing.
        connect(list, &QComboBox::activated, this, [this, list]() { ComboBox1Click(list); });
        *lists[i] = list;
    }
    row->addLayout(grid);

    auto* values = new QGridLayout;
    MaskEditUpDown1 = new TMaskEditUpDown(group);
    MaskEditUpDown1->Min = 0;
    MaskEditUpDown1->Max = 100;
    MaskEditUpDown1->Increment = 0.1;
    MaskEditUpDown1->setText(QStringLiteral("1"));
    MaskEditUpDown2 = new TMaskEditUpDown(group);
    MaskEditUpDown2->Min = 0;
    MaskEditUpDown2->Max = 10000;
    MaskEditUpDown2->Increment = 10;
    MaskEditUpDown2->isInt = true;
    MaskEditUpDown2->setText(QStringLiteral("500"));
    values->addWidget(new QLabel(QStringLiteral("PWM (%) = "), group), 0, 0);
    values->addWidget(MaskEditUpDown1, 0, 1);
    values->addWidget(new QLabel(QStringLiteral("Delay (ms) = "), group), 1, 0);
    values->addWidget(MaskEditUpDown2, 1, 1);
    row->addLayout(values);

    SpeedButton1 = new QToolButton(group);
    SpeedButton1->setText(QStringLiteral("CHECK"));
    QFont font = SpeedButton1->font();
    font.setBold(true);
    SpeedButton1->setFont(font);
    SpeedButton1->setMinimumSize(72, 36);
    connect(SpeedButton1, &QToolButton::clicked, this, &TFrameFETest::SpeedButton1Click);
    row->addWidget(SpeedButton1);
    row->addStretch(1);
}

void TFrameFETest::Initialize(TComLink* port, std::function<uint8_t()> netBit) {
    port_ = port;
    netBit_ = std::move(netBit);
}

std::array<QComboBox*, 6> TFrameFETest::Lists() const {
    return {ComboBox1, ComboBox2, ComboBox3, ComboBox4, ComboBox5, ComboBox6};
}

TFetStates TFrameFETest::States() const {
    TFetStates states{};
    const auto lists = Lists();
    for (size_t i = 0; i < lists.size(); ++i) states[i] = std::max(0, lists[i]->currentIndex());
    return states;
}

void TFrameFETest::SetStates(const TFetStates& states) {
    const auto lists = Lists();
    for (size_t i = 0; i < lists.size(); ++i) {
        const QSignalBlocker quiet(lists[i]);
        lists[i]->setCurrentIndex(states[i]);
    }
}

void TFrameFETest::ComboBox1Click(QComboBox* sender) {
    const auto lists = Lists();
    for (size_t i = 0; i < lists.size(); ++i) {
        if (lists[i] != sender) continue;
        TFetStates states = States();
        ApplyFetInterlock(states, int(i));
        SetStates(states);
        return;
    }
}

std::array<uint8_t, 6> TFrameFETest::BuildRequest() {
    return BuildFetRequest(States(), MaskEditUpDown1->GetValue(), MaskEditUpDown2->GetIntValue());
}

void TFrameFETest::SpeedButton1Click() {
    if (port_ == nullptr || !port_->IsOpen()) return;
    const std::array<uint8_t, 6> data = BuildRequest();
    const uint8_t channel = uint8_t(zuq::ChannelApp | (netBit_ ? netBit_() : 0));
    port_->SendCommandData(channel, zuq::Cmd::FetTest, data.data(), uint8_t(data.size()));
}
