// The numeric field: evaluation, commit and its events, steps, focus, and its spin button.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QPointer>
#include <QStyleOptionFrame>
#include <QTest>
#include <memory>
#include <tuple>

#include "controls/MaskEditUpDown.h"

namespace {

// Runs with "." and with "," as the program's decimal separator.
class MaskEdit : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override {
        TMaskEditUpDown::SetDecimalSeparator(QLatin1Char(GetParam()));
        host.show();
    }
    // A number text written with "." in the test, shown with the separator in use.
    static QString N(const char* text) {
        return QString::fromLatin1(text).replace('.', QLatin1Char(GetParam()));
    }
    TMaskEditUpDown* Make(double min, double max, double increment, bool isInt = false) {
        auto* e = new TMaskEditUpDown(&host);
        std::tie(e->Min, e->Max, e->Increment, e->isInt) = std::tuple(min, max, increment, isInt);
        e->OnBeforeUpdate = [this, e] { events << "before:" + e->text(); };
        e->OnUpdate = [this, e] { events << "update:" + e->text(); };
        return e;
    }
    static void Focus(QWidget* e, QEvent::Type type, Qt::FocusReason reason = Qt::TabFocusReason) {
        QFocusEvent event(type, reason);
        QApplication::sendEvent(e, &event);
    }

    QWidget host;
    QStringList events;
};

// On a fresh field (text and reference "0"): the operator types, then commits or steps.
TEST_P(MaskEdit, CommitsAndStepsRaiseTheirEventsOnlyOnAChange) {
    enum TAction { Enter, FocusOut, FocusInOut, Up, Down, SpinUp, SpinDown };
    constexpr auto No = Qt::NoModifier, Shift = Qt::ShiftModifier, Ctrl = Qt::ControlModifier;
    // clang-format off
    // Fields: p 0..100 by 0.1; i integers 10..5000 by 10; v Max 5 below Min 10, by 1.
    const struct { char field; bool readOnly; const char* typed; TAction action; Qt::KeyboardModifiers keys;
                   const char* shown; } cases[] = {
        {'p', 0, "12.5", Up, No, "12.6"}, {'p', 0, "12.5", Up, Shift, "13.5"},
        {'p', 0, "12.5", Up, Ctrl, "12.6"}, {'p', 0, "12.5", Up, Shift | Ctrl, "12.51"},
        {'p', 0, "12.5", Down, No, "12.4"}, {'p', 0, "12.5", Down, Shift, "11.5"},
        {'p', 0, "12.5", Down, Shift | Ctrl, "12.49"}, {'i', 0, "2*30", Enter, No, "60"},
        {'i', 0, "7000", Enter, No, "5000"}, {'i', 0, "abc", Enter, No, "10"}, {'i', 0, "", Enter, No, "10"},
        {'i', 0, "44.5", Enter, No, "44"}, {'i', 0, "45.5", Enter, No, "46"},
        {'i', 0, "1/0", FocusOut, No, "10"}, {'v', 0, "7", Down, No, "10"}, {'v', 0, "7", Up, No, "5"},
        {'v', 0, "7", Enter, No, "5"},
        // The value's text equals the reference: nothing is raised and the typed text stays.
        {'p', 0, "0.0", Enter, No, "0.0"}, {'p', 0, "0*5", FocusOut, No, "0*5"},
        {'p', 0, "2*3", FocusOut, No, "6"},
        {'p', 0, "7", FocusInOut, No, "7"},  // focus entry takes the text as the reference
        {'p', 0, "12.5", SpinUp, No, "12.6"}, {'p', 0, "12.5", SpinDown, No, "12.4"},
        {'p', 0, "12.5", SpinUp, Shift, "13.5"}, {'p', 0, "12.5", SpinDown, Shift | Ctrl, "12.49"},
        // Read-only: no steps, but commits.
        {'p', 1, "50", Up, No, "50"}, {'p', 1, "50", Down, Shift, "50"}, {'p', 1, "50", SpinUp, No, "50"},
        {'p', 1, "2*3", Enter, No, "6"}, {'p', 1, "2*4", FocusOut, No, "8"}};
    // clang-format on
    for (const auto& c : cases) {
        const std::unique_ptr<TMaskEditUpDown> e(c.field == 'p'   ? Make(0, 100, 0.1)
                                                 : c.field == 'i' ? Make(10, 5000, 10, true)
                                                                  : Make(10, 5, 1));
        e->setReadOnly(c.readOnly);
        e->setText(N(c.typed));
        events.clear();
        // Spin buttons step by the factor of the last key event: a Shift press, which Qt holds itself.
        if (c.action >= SpinUp && c.keys != No) QTest::keyPress(e.get(), Qt::Key_Shift, c.keys & Ctrl);
        if (c.action == FocusInOut) Focus(e.get(), QEvent::FocusIn);
        const Qt::Key key = c.action == Enter ? Qt::Key_Return : c.action == Up ? Qt::Key_Up : Qt::Key_Down;
        if (c.action == FocusOut || c.action == FocusInOut)
            Focus(e.get(), QEvent::FocusOut);
        else if (c.action >= SpinUp)
            QTest::mouseClick(c.action == SpinUp ? e->UpButton() : e->DownButton(), Qt::LeftButton);
        else
            QTest::keyClick(e.get(), key, c.keys);
        const bool changed = N(c.shown) != N(c.typed);
        EXPECT_EQ(e->text(), N(c.shown)) << c.typed << " gave " << e->text().toStdString();
        EXPECT_EQ(events,
                  changed ? QStringList({"before:" + N(c.typed), "update:" + N(c.shown)}) : QStringList())
            << c.typed;
        EXPECT_EQ(e->LastText(), changed || c.action < Up ? N(c.shown) : "0") << c.typed;
    }
}

TEST_P(MaskEdit, ReadsSetsAndFormatsValues) {
    // Reading evaluates the text, keeps it and raises nothing; the program's limits apply first.
    TMaskEditUpDown* e = Make(-1e9, 1e9, 1);
    // clang-format off
    // (Expressions themselves: calcAITest.cpp.)
    const std::tuple<const char*, double, int> reads[] = {
        {"3+4", 7, 7}, {"2.5", 2.5, 2}, {"3.5", 3.5, 4}, {"-2.5", -2.5, -2}, {"2,5", 2.5, 2}, {"bad", 0, 0},
        {"x+2", 2, 2}, {"200000", 100000, 100000}, {"0-100000.5", -100000, -100000},
        {"99999.9999999999999", 100000, 100000}};
    // clang-format on
    for (const auto& [text, value, intValue] : reads) {
        e->setText(N(text));
        EXPECT_DOUBLE_EQ(e->GetValue(), value) << text;
        EXPECT_DOUBLE_EQ(e->Data, value) << text;
        EXPECT_EQ(e->GetIntValue(), intValue) << text;
        EXPECT_EQ(e->text(), N(text));
    }
    // Setting clamps and rounds, quietly.
    e = Make(0, 100, 1);
    const std::tuple<bool, double, const char*> sets[] = {
        {false, 33.333333333, "33.333333"}, {false, 250, "100"}, {false, -4, "0"},
        {true, 33.333333333, "33"},         {true, 32.5, "32"},  {true, 33.5, "34"}};
    for (const auto& [isInt, value, text] : sets) {
        e->isInt = isInt;
        e->SetValue(value);
        EXPECT_EQ(e->text(), N(text)) << value;
        EXPECT_EQ(e->LastText(), e->text());
        EXPECT_EQ(e->Data, e->GetValue());
    }
    EXPECT_TRUE(events.isEmpty());
    // clang-format off
    const std::pair<double, const char*> texts[] = {
        {12.5, "12.5"}, {100, "100"}, {0.1, "0.1"}, {-3, "-3"}, {0, "0"}, {33.333333333, "33.333333"},
        {-12.5, "-12.5"}, {12345.678901234, "12345.6789"}, {0.0000004, "0"}, {-0.0000004, "0"},
        {0.0000005, "0"}, {0.0000015, "0.000002"}, {0.000001, "0.000001"}, {99999.99999996, "100000"},
        {-99999.5, "-99999.5"}, {2.675, "2.675"}, {1e10, "10000000000"}, {0.1 + 0.2, "0.3"}};
    // clang-format on
    for (const auto& [value, text] : texts) EXPECT_EQ(TMaskEditUpDown::ValueToText(value), N(text)) << value;
}

TEST_P(MaskEdit, PopupsOtherKeysAndADisabledFieldLeaveTheValueAlone) {
    struct TKeyLog : QWidget {
        QList<int> keys;
        void keyPressEvent(QKeyEvent* event) override { keys << event->key(); }
    } parent;
    parent.setParent(&host);
    TMaskEditUpDown* e = Make(0, 1000, 2);
    e->setParent(&parent);
    parent.show();
    // Leaving for a popup or another window commits nothing and keeps the reference.
    for (Qt::FocusReason reason : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
        events.clear();
        e->SetValue(7);
        Focus(e, QEvent::FocusIn);
        e->setText("9");
        Focus(e, QEvent::FocusOut, reason);
        Focus(e, QEvent::FocusIn, reason);
        EXPECT_TRUE(events.isEmpty());
        EXPECT_EQ(e->LastText(), "7");
        Focus(e, QEvent::FocusOut, Qt::MouseFocusReason);
        EXPECT_EQ(events, QStringList({"before:9", "update:9"}));
    }
    // The arrows are the field's, other keys go on; a released Shift steps by one increment again.
    QTest::keyPress(e, Qt::Key_Shift);  // Qt reports a Shift press as Shift held, its release as let go
    QTest::keyRelease(e, Qt::Key_Shift, Qt::ShiftModifier);
    QTest::mouseClick(e->UpButton(), Qt::LeftButton);
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Up, Qt::Key_F5}) QTest::keyClick(e, key);
    EXPECT_EQ(e->text(), "13");
    EXPECT_EQ(parent.keys, QList<int>({Qt::Key_Shift, Qt::Key_F5}));
    e->setEnabled(false);
    EXPECT_FALSE(e->UpDown->isEnabled());
    e->UpButton()->setEnabled(true);  // even a press that gets through does nothing
    emit e->UpButton()->pressed();
    EXPECT_EQ(e->text(), "13");
}

INSTANTIATE_TEST_SUITE_P(Separators, MaskEdit, ::testing::Values('.', ','),
                         [](const auto& info) { return info.param == '.' ? "Point" : "Comma"; });

// The spin button sits in the edit's parent over the right end of the edit's rectangle, beside the
// drawn text box, and follows the edit; a layout gives the edit room for it.
TEST(MaskEditSpinButton, FollowsTheEditThroughGeometryVisibilityParentsAndLayouts) {
    struct TProbe : TMaskEditUpDown {
        QRect Panel() const {
            QStyleOptionFrame option;
            initStyleOption(&option);
            return option.rect;
        }
    };
    QWidget host, other(&host), *neighbour = new QWidget;
    host.resize(400, 200);
    host.show();
    auto* e = new TProbe;
    e->setParent(&host);
    QWidget* b = e->UpDown;
    const int w = e->UpDownWidth();
    ASSERT_GT(w, 0);
    auto* layout = new QHBoxLayout;
    for (int step = 0; step < 7; ++step) {
        if (step == 0) e->setGeometry(10, 20, 120, 24), e->show();
        if (step == 1) e->move(40, 60);
        if (step == 2) e->resize(90, 30);
        if (step == 3) e->hide();
        if (step == 4) e->show(), other.show(), e->setParent(&other), e->show();
        if (step == 5) other.setLayout(layout), layout->addWidget(e), layout->addWidget(neighbour);
        if (step >= 5) other.resize(400 + 100 * (step - 5), 60);
        QApplication::processEvents();
        EXPECT_EQ(b->parentWidget(), e->parentWidget()) << step;
        EXPECT_EQ(b->geometry(), QRect(e->x() + e->width() - w, e->y(), w, e->height())) << step;
        EXPECT_EQ(e->Panel(), QRect(0, 0, e->width() - w, e->height())) << step;
        EXPECT_EQ(b->isVisible(), e->isVisible()) << step;
        EXPECT_TRUE(step < 5 || b->geometry().right() < neighbour->geometry().left()) << step;
    }
    const QSize withButton = e->sizeHint();
    e->SetVisibleUpDown(false);
    EXPECT_FALSE(b->isVisible());
    EXPECT_EQ(e->sizeHint().width(), withButton.width() - w);
    EXPECT_EQ(e->Panel(), e->rect());
    // An edit made without a parent takes its button along when a layout adopts it.
    auto* late = new TProbe;
    EXPECT_EQ(late->UpDownWidth(), 0);
    layout->addWidget(late);
    QApplication::processEvents();
    EXPECT_EQ(late->UpDown->parentWidget(), &other);
    EXPECT_TRUE(late->UpDown->isVisible());
    EXPECT_EQ(late->UpDown->geometry().right(), late->geometry().right());
    QPointer<QWidget> guard(b);
    delete e;
    EXPECT_TRUE(guard.isNull()) << "the button goes with its edit";
}

}  // namespace
