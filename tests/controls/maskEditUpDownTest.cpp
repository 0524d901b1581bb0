#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QPointer>
#include <QStringList>
#include <QStyleOptionFrame>
#include <QTest>
#include <memory>

#include "controls/MaskEditUpDown.h"

namespace {

// Every test runs with "." and with "," as the program's decimal separator.
class MaskEdit : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override {
        saved_ = TMaskEditUpDown::DecimalSeparator();
        TMaskEditUpDown::SetDecimalSeparator(QLatin1Char(GetParam()));
        host_ = std::make_unique<QWidget>();
    }
    void TearDown() override {
        host_.reset();
        TMaskEditUpDown::SetDecimalSeparator(saved_);
    }

    // A number text written with "." in the test, shown with the separator in use.
    static QString N(const char* text) {
        return QString::fromLatin1(text).replace(QLatin1Char('.'), QLatin1Char(GetParam()));
    }

    TMaskEditUpDown* Make(double min, double max, double increment, bool isInt = false) {
        auto* e = new TMaskEditUpDown(host_.get());
        e->Min = min;
        e->Max = max;
        e->Increment = increment;
        e->isInt = isInt;
        e->OnBeforeUpdate = [this, e] { events_ << "before:" + e->text(); };
        e->OnUpdate = [this, e] { events_ << "update:" + e->text(); };
        return e;
    }

    static void Focus(TMaskEditUpDown* e, QEvent::Type type, Qt::FocusReason reason = Qt::TabFocusReason) {
        QFocusEvent event(type, reason);
        QApplication::sendEvent(e, &event);
    }

    QChar saved_;
    std::unique_ptr<QWidget> host_;
    QStringList events_;
};

TEST_P(MaskEdit, ArrowsStepByModifierFactor) {
    struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* expected;
    } const cases[] = {
        {Qt::Key_Up, Qt::NoModifier, "12.6"},
        {Qt::Key_Up, Qt::ShiftModifier, "13.5"},
        {Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier, "12.51"},
        {Qt::Key_Up, Qt::ControlModifier, "12.6"},
        {Qt::Key_Down, Qt::NoModifier, "12.4"},
        {Qt::Key_Down, Qt::ShiftModifier, "11.5"},
        {Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier, "12.49"},
    };
    for (const auto& c : cases) {
        TMaskEditUpDown* e = Make(0, 100, 0.1);
        e->setText(N("12.5"));
        QTest::keyClick(e, c.key, c.modifiers);
        EXPECT_EQ(e->text(), N(c.expected)) << c.expected;
        delete e;
    }
}

TEST_P(MaskEdit, EnterCommitsClampedRoundedValue) {
    struct {
        const char* typed;
        const char* shown;
    } const cases[] = {
        {"2*30", "60"}, {"7000", "5000"}, {"abc", "10"}, {"", "10"},
        {"44.5", "44"}, {"45.5", "46"},   {"1/0", "10"},
    };
    for (const auto& c : cases) {
        TMaskEditUpDown* e = Make(10, 5000, 10, true);
        events_.clear();
        e->setText(N(c.typed));
        QTest::keyClick(e, Qt::Key_Return);
        EXPECT_EQ(e->text(), c.shown) << c.typed;
        EXPECT_EQ(events_,
                  QStringList({QStringLiteral("before:") + N(c.typed), QStringLiteral("update:") + c.shown}))
            << c.typed;
        EXPECT_EQ(e->LastText(), c.shown);
        delete e;
    }
}

TEST_P(MaskEdit, UnchangedCommitRaisesNothingAndKeepsTheText) {
    TMaskEditUpDown* e = Make(0, 100, 1);
    e->SetValue(5);
    e->setText(N("5.0"));
    QTest::keyClick(e, Qt::Key_Enter);
    EXPECT_EQ(e->text(), N("5.0"));
    EXPECT_EQ(e->LastText(), N("5.0"));
    e->SetValue(5);
    e->setText("2+3");
    Focus(e, QEvent::FocusOut);
    EXPECT_EQ(e->text(), "2+3");
    EXPECT_TRUE(events_.isEmpty());
    e->setText("2*3");
    Focus(e, QEvent::FocusOut);
    EXPECT_EQ(e->text(), "6");
    EXPECT_EQ(events_, QStringList({"before:2*3", "update:6"}));
}

TEST_P(MaskEdit, ReadingNeitherRewritesNorRaises) {
    TMaskEditUpDown* e = Make(-1000, 1000, 1);
    struct {
        const char* text;
        double value;
        int intValue;
    } const cases[] = {
        {"3+4", 7, 7},      {"2.5", 2.5, 2},     {"3.5", 3.5, 4},         {"-2.5", -2.5, -2},
        {"2,5", 2.5, 2},    {"bad", 0, 0},       {"5000", 1000, 1000},    {"-1e3", 0, 0},
        {"1.25*2", 2.5, 2}, {"0.1+0.2", 0.3, 0}, {"(1+2)*(3+4)", 21, 21}, {"x+2", 2, 2},
    };
    for (const auto& c : cases) {
        e->setText(N(c.text));
        EXPECT_DOUBLE_EQ(e->GetValue(), c.value) << c.text;
        EXPECT_DOUBLE_EQ(e->Data, c.value) << c.text;
        EXPECT_EQ(e->GetIntValue(), c.intValue) << c.text;
        EXPECT_EQ(e->text(), N(c.text));
    }
    EXPECT_TRUE(events_.isEmpty());
}

TEST_P(MaskEdit, ExpressionsBeyondTheProgramLimitsAreCut) {
    TMaskEditUpDown* e = Make(-1e9, 1e9, 1);
    e->setText("200000");
    EXPECT_EQ(e->GetValue(), 100000);
    e->setText("0-300000");
    EXPECT_EQ(e->GetValue(), -100000);
    e->setText("99999.9999999999999");
    EXPECT_EQ(TMaskEditUpDown::TextToValue(N("99999.9999999999999")), 100000);
}

TEST_P(MaskEdit, SetValueClampsRoundsAndStaysQuiet) {
    TMaskEditUpDown* e = Make(0, 100, 1);
    e->SetValue(33.333333333);
    EXPECT_EQ(e->text(), N("33.333333"));
    EXPECT_EQ(e->LastText(), e->text());
    e->SetValue(250);
    EXPECT_EQ(e->text(), "100");
    e->SetValue(-4);
    EXPECT_EQ(e->text(), "0");
    e->isInt = true;
    e->SetValue(33.333333333);
    EXPECT_EQ(e->text(), "33");
    e->SetValue(32.5);
    EXPECT_EQ(e->text(), "32");
    EXPECT_EQ(e->Data, 32);
    EXPECT_TRUE(events_.isEmpty());
}

TEST_P(MaskEdit, ValueToTextTrimsSixDecimals) {
    struct {
        double value;
        const char* text;
    } const cases[] = {
        {12.5, "12.5"},
        {100, "100"},
        {0.1, "0.1"},
        {-3, "-3"},
        {0, "0"},
        {33.333333333, "33.333333"},
        {-12.5, "-12.5"},
        {12345.678901234, "12345.6789"},
        {0.0000004, "0"},
        {-0.0000004, "0"},
        {0.0000005, "0"},
        {0.0000015, "0.000002"},
        {0.000001, "0.000001"},
        {99999.99999996, "100000"},
        {-99999.5, "-99999.5"},
        {2.675, "2.675"},
        {1e10, "10000000000"},
        {0.1 + 0.2, "0.3"},
    };
    for (const auto& c : cases) EXPECT_EQ(TMaskEditUpDown::ValueToText(c.value), N(c.text)) << c.value;
}

TEST_P(MaskEdit, MaxBelowMinReadsMaxAndStepsDownToMin) {
    TMaskEditUpDown* e = Make(10, 5, 1);
    e->setText("7");
    EXPECT_EQ(e->GetValue(), 5);
    e->StepDown();
    EXPECT_EQ(e->text(), "10");
    e->setText("7");
    e->StepUp();
    EXPECT_EQ(e->text(), "5");
}

TEST_P(MaskEdit, ReadOnlyIgnoresStepsButCommits) {
    TMaskEditUpDown* e = Make(0, 100, 1);
    host_->show();
    e->SetValue(50);
    e->setReadOnly(true);
    QTest::keyClick(e, Qt::Key_Up);
    QTest::keyClick(e, Qt::Key_Down, Qt::ShiftModifier);
    QTest::mouseClick(e->UpButton(), Qt::LeftButton);
    EXPECT_EQ(e->text(), "50");
    EXPECT_TRUE(events_.isEmpty());
    e->setText("2*3");
    QTest::keyClick(e, Qt::Key_Return);
    EXPECT_EQ(e->text(), "6");
    e->setText("2*4");
    Focus(e, QEvent::FocusOut);
    EXPECT_EQ(e->text(), "8");
    EXPECT_EQ(events_, QStringList({"before:2*3", "update:6", "before:2*4", "update:8"}));
}

TEST_P(MaskEdit, FocusSetsTheReferenceText) {
    TMaskEditUpDown* e = Make(0, 100, 1);
    e->setText("7");  // set by a frame without SetValue
    Focus(e, QEvent::FocusIn);
    EXPECT_EQ(e->LastText(), "7");
    Focus(e, QEvent::FocusOut);
    EXPECT_TRUE(events_.isEmpty());

    // A popup or another window taking the focus commits nothing and keeps the reference.
    for (Qt::FocusReason reason : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
        events_.clear();
        e->SetValue(7);
        Focus(e, QEvent::FocusIn);
        e->setText("9");
        Focus(e, QEvent::FocusOut, reason);
        Focus(e, QEvent::FocusIn, reason);
        EXPECT_TRUE(events_.isEmpty());
        EXPECT_EQ(e->LastText(), "7");
        Focus(e, QEvent::FocusOut, Qt::MouseFocusReason);
        EXPECT_EQ(events_, QStringList({"before:9", "update:9"}));
    }
}

TEST_P(MaskEdit, ArrowKeysStayInTheField) {
    // Keys the field leaves alone travel on to its parent; the arrows must not.
    struct TKeyLog : QWidget {
        QList<int> keys;
        void keyPressEvent(QKeyEvent* event) override { keys << event->key(); }
    } parent;
    auto* e = new TMaskEditUpDown(&parent);
    e->Max = 10;
    e->Increment = 1;
    QTest::keyClick(e, Qt::Key_Up);
    QTest::keyClick(e, Qt::Key_Down);
    QTest::keyClick(e, Qt::Key_Up);
    EXPECT_EQ(e->text(), "1");
    EXPECT_TRUE(parent.keys.isEmpty());
    QTest::keyClick(e, Qt::Key_F5);
    EXPECT_EQ(parent.keys, QList<int>{Qt::Key_F5});
}

TEST_P(MaskEdit, SpinButtonStepsWithTheLastKeyFactor) {
    TMaskEditUpDown* e = Make(0, 1000, 2);
    host_->show();
    e->SetValue(100);
    QTest::mouseClick(e->UpButton(), Qt::LeftButton);
    EXPECT_EQ(e->text(), "102");
    QTest::mouseClick(e->DownButton(), Qt::LeftButton);
    QTest::mouseClick(e->DownButton(), Qt::LeftButton);
    EXPECT_EQ(e->text(), "98");
    // Qt reports a Shift press as Shift held and its release as Shift let go.
    QTest::keyPress(e, Qt::Key_Shift);
    EXPECT_EQ(e->StepFactor(), 10);
    QTest::mouseClick(e->UpButton(), Qt::LeftButton);
    EXPECT_EQ(e->text(), "118");
    QTest::keyRelease(e, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_EQ(e->StepFactor(), 1);
    e->setEnabled(false);
    EXPECT_FALSE(e->UpDown->isEnabled());
    e->UpButton()->setEnabled(true);  // even a press that gets through does nothing
    emit e->UpButton()->pressed();
    EXPECT_EQ(e->text(), "118");
    EXPECT_EQ(events_.size(), 8);
}

TEST_P(MaskEdit, SpinButtonFollowsTheEdit) {
    TMaskEditUpDown* e = Make(0, 100, 1);
    host_->resize(300, 200);
    host_->show();
    QWidget* b = e->UpDown;
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->parentWidget(), host_.get());
    const int w = e->UpDownWidth();
    EXPECT_GT(w, 0);
    auto expectBeside = [&](const char* when) {
        EXPECT_EQ(b->geometry(), QRect(e->x() + e->width() - w, e->y(), w, e->height())) << when;
    };

    e->setGeometry(10, 20, 120, 24);
    expectBeside("placed");
    EXPECT_TRUE(b->isVisible());
    e->move(40, 60);
    expectBeside("moved");
    e->resize(90, 30);
    expectBeside("resized");
    e->hide();
    EXPECT_FALSE(b->isVisible());
    e->show();
    EXPECT_TRUE(b->isVisible());

    const QSize withButton = e->sizeHint();
    e->SetVisibleUpDown(false);
    EXPECT_FALSE(b->isVisible());
    EXPECT_EQ(e->sizeHint().width(), withButton.width() - w);
    e->SetVisibleUpDown(true);
    EXPECT_TRUE(b->isVisible());

    QWidget other(host_.get());
    other.setGeometry(150, 0, 100, 100);
    other.show();
    e->setParent(&other);
    e->show();
    EXPECT_EQ(b->parentWidget(), &other);
    EXPECT_TRUE(b->isVisible());
    expectBeside("re-parented");

    QPointer<QWidget> guard(b);
    delete e;
    EXPECT_TRUE(guard.isNull());
}

TEST_P(MaskEdit, TextBoxIsDrawnLeftOfTheButton) {
    struct TProbe : TMaskEditUpDown {
        using TMaskEditUpDown::TMaskEditUpDown;
        QRect Panel() const {
            QStyleOptionFrame option;
            initStyleOption(&option);
            return option.rect;
        }
    };
    auto* e = new TProbe(host_.get());
    host_->show();
    e->setGeometry(5, 5, 100, 24);
    EXPECT_EQ(e->Panel(), QRect(0, 0, 100 - e->UpDownWidth(), 24));
    EXPECT_EQ(e->mapToParent(e->Panel().topRight()) + QPoint(1, 0), e->UpDown->geometry().topLeft());
    e->SetVisibleUpDown(false);
    EXPECT_EQ(e->Panel(), QRect(0, 0, 100, 24));
}

TEST_P(MaskEdit, LaidOutEditKeepsItsButtonInsideItsCell) {
    auto* layout = new QHBoxLayout(host_.get());
    layout->setSpacing(0);
    TMaskEditUpDown* e = Make(0, 100, 1);
    auto* neighbour = new QWidget(host_.get());
    layout->addWidget(e);
    layout->addWidget(neighbour);
    host_->resize(400, 60);
    host_->show();
    QApplication::processEvents();
    EXPECT_LE(e->UpDown->geometry().right(), neighbour->geometry().left() - 1);
    EXPECT_EQ(e->UpDown->geometry().right(), e->geometry().right());
    EXPECT_EQ(e->UpDown->height(), e->height());
    host_->resize(500, 80);
    QApplication::processEvents();
    EXPECT_EQ(e->UpDown->geometry().right(), e->geometry().right());
    EXPECT_EQ(e->UpDown->geometry().top(), e->geometry().top());
    EXPECT_EQ(e->UpDown->height(), e->height());

    // An edit created without a parent takes its button along when a layout adopts it.
    auto* late = new TMaskEditUpDown;
    EXPECT_FALSE(late->UpDown->isVisible());
    EXPECT_EQ(late->UpDownWidth(), 0);
    layout->addWidget(late);
    QApplication::processEvents();
    EXPECT_EQ(late->UpDown->parentWidget(), host_.get());
    EXPECT_TRUE(late->UpDown->isVisible());
    EXPECT_EQ(late->UpDown->geometry().right(), late->geometry().right());
}

INSTANTIATE_TEST_SUITE_P(Separators, MaskEdit, ::testing::Values('.', ','),
                         [](const auto& info) { return info.param == '.' ? "Point" : "Comma"; });

}  // namespace
