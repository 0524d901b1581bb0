#include <gtest/gtest.h>

#include <QStringList>
#include <cmath>
#include <numbers>

#include "controls/CalcAI.h"

namespace {

constexpr double kInvalid = std::numeric_limits<double>::quiet_NaN();

// Runs each test once with "." and once with "," as the program's decimal separator.
class CalcAISeparator : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override {
        saved_ = TCalcAI::DecimalSeparator();
        TCalcAI::SetDecimalSeparator(QLatin1Char(GetParam()));
    }
    void TearDown() override { TCalcAI::SetDecimalSeparator(saved_); }

    // The value of `text`, or NaN when the calculator rejects it at parse or evaluation time.
    static double Eval(TCalcAI& calc, const QString& text) {
        calc.SetCalcStr(text);
        if (!calc.IsValidStr()) return kInvalid;
        const double v = calc.Calculate();
        if (!calc.IsValidStr()) {
            EXPECT_EQ(v, 0.0) << text.toStdString();
            return kInvalid;
        }
        return v;
    }

    QChar saved_;
};

struct TCase {
    const char* text;
    double expected;  // kInvalid: rejected
};

const TCase kCases[] = {
    {"2+3*4", 14},
    {"2*3+4", 10},
    {"(2+3)*4", 20},
    {"-5", -5},
    {"+5", 5},
    {"-2*3", -6},
    {"sqrt(16)+1", 5},
    {"-sqrt(4)", -2},
    {"2*sqrt(4)+1", 5},
    {"pi", std::numbers::pi},
    {"2*pi", 2 * std::numbers::pi},
    {"arctan(1,1)", std::numbers::pi / 4},
    {"arctan(1;1)", std::numbers::pi / 4},
    {"arctan(0-1,0-1)", -3 * std::numbers::pi / 4},
    {"2+arctan(1,1)", 2 + std::numbers::pi / 4},
    {"arctan(2+3,1)", std::atan2(5, 1)},
    {"arctan(pi,1)", std::atan2(std::numbers::pi, 1)},
    {"arctan(1+1,sqrt(4))", std::numbers::pi / 4},
    {"arctan((0-1),(0-1))", -3 * std::numbers::pi / 4},
    {"2.5*2", 5},
    {"2,5*2", 5},
    {"2,5", 2.5},  // a comma is a decimal separator for the operator, whatever the system's is
    {"-2,5", -2.5},
    {"1+2,5", 3.5},
    {"8/2/2", 2},
    {"8-2-2", 4},
    {"1+2*3-4/2", 5},
    {" 1 +  2 ", 3},
    {"((7))", 7},
    {"12.", 12},
    {"", 0},
    {"SIN(0)+Cos(0)", 1},
    {"abs(0-3)", 3},
    {"tab(2-5)", 3},
    {"exp(0)", 1},
    {"sqrt 16 + 9", 13},
    // Rejected while parsing.
    {"abc", kInvalid},
    {"x2", kInvalid},
    {"sine", kInvalid},
    {"2*-3", kInvalid},
    {"(-5)", kInvalid},
    {"2+3)", kInvalid},
    {"(2+3", kInvalid},
    {")(", kInvalid},
    {"2 3", kInvalid},
    {"2(3)", kInvalid},
    {"2pi", kInvalid},
    {"*5", kInvalid},
    {"2+", kInvalid},
    {"-", kInvalid},
    {"sin", kInvalid},
    {"sin*2", kInvalid},
    {"arctan(1)", kInvalid},
    {".5", kInvalid},
    {"1.2.3", kInvalid},
    {"1e5", kInvalid},
    {"5a", kInvalid},
    {"x y", kInvalid},
    {"2\xc3\xa9", kInvalid},
    {"1,5+1.5", kInvalid},
    // Rejected by the evaluation.
    {"1/0", kInvalid},
    {"1/(1-1)", kInvalid},
    {"sqrt(0-1)", kInvalid},
    {"exp(1000)", kInvalid},
};

TEST_P(CalcAISeparator, EvaluatesOrRejects) {
    for (const TCase& c : kCases) {
        TCalcAI calc;
        const double v = Eval(calc, QString::fromUtf8(c.text));
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(v)) << '"' << c.text << "\" gave " << v;
        else
            EXPECT_NEAR(v, c.expected, 1e-12) << '"' << c.text << '"';
    }
}

TEST_P(CalcAISeparator, ListsStopAtTheirCapacity) {
    // "-1+1+...": the leading 0, "-", "1" and two tokens per "+1".
    auto sum = [](int terms) { return QStringLiteral("-1") + QStringLiteral("+1").repeated(terms); };
    TCalcAI calc;
    EXPECT_EQ(Eval(calc, sum(127)), 126.0);  // 257 tokens
    EXPECT_EQ(calc.Tokens().count, TStack::Capacity);
    EXPECT_TRUE(std::isnan(Eval(calc, sum(128))));
    // "(1+1...)": 258 tokens.
    EXPECT_TRUE(std::isnan(Eval(calc, QStringLiteral("(1") + QStringLiteral("+1").repeated(127) + ")")));
    EXPECT_TRUE(std::isnan(Eval(calc, QStringLiteral("1+").repeated(5000) + "1")));
}

TEST_P(CalcAISeparator, ValueStackHoldsNineValues) {
    // 1+(1+(1+...)) keeps every 1 pending above the leading 0 until the closing operators.
    auto nested = [](int ones) {
        return QStringLiteral("1+(").repeated(ones - 1) + "1" + QString(ones - 1, QLatin1Char(')'));
    };
    TCalcAI calc;
    EXPECT_EQ(Eval(calc, nested(8)), 8.0);
    EXPECT_TRUE(std::isnan(Eval(calc, nested(9))));
}

TEST_P(CalcAISeparator, VariablesAreReadAtEachEvaluation) {
    TCalcAI calc;
    calc.X = 3;
    calc.T = 1;
    calc.Y = -2;
    EXPECT_EQ(Eval(calc, "x*2+T-y"), 9.0);
    calc.X = 5;
    EXPECT_EQ(calc.Calculate(), 13.0);  // no new parse needed
    EXPECT_EQ(Eval(calc, "X+x"), 10.0);
    EXPECT_TRUE(std::isnan(Eval(calc, "x2")));
    EXPECT_TRUE(std::isnan(Eval(calc, "tx")));
}

TEST_P(CalcAISeparator, SameTextParsesOnce) {
    TCalcAI calc;
    int lookups = 0;
    calc.OnGetExternNumFunct = [&](const QString&, int& i) {
        ++lookups;
        i = -1;
    };
    calc.SetCalcStr("abc");
    EXPECT_FALSE(calc.IsValidStr());
    const int afterFirst = lookups;
    EXPECT_GT(afterFirst, 0);
    calc.SetCalcStr("abc");
    EXPECT_EQ(lookups, afterFirst);
    EXPECT_EQ(calc.Tokens()[calc.Tokens().count - 1].text, "Error");

    // An evaluation fault sticks until the text changes.
    calc.SetCalcStr("1/0");
    EXPECT_TRUE(calc.IsValidStr());
    EXPECT_EQ(calc.Calculate(), 0.0);
    EXPECT_FALSE(calc.IsValidStr());
    calc.SetCalcStr("1/0");
    EXPECT_FALSE(calc.IsValidStr());
    EXPECT_EQ(calc.Calculate(), 0.0);
    calc.SetCalcStr("1/2");
    calc.SetCalcStr("1/0");
    EXPECT_TRUE(calc.IsValidStr());
    EXPECT_FALSE(calc.Modif);
}

TEST_P(CalcAISeparator, ExternalFunctionsWorkOnTheValueStack) {
    TCalcAI calc;
    calc.OnGetExternNumFunct = [](const QString& s, int& i) {
        i = s.compare("twice", Qt::CaseInsensitive) == 0 ? 0 : s == "hyp" ? 1 : s == "bad" ? 2 : -1;
    };
    calc.OnGetExternFunctNumGarm = [](int i, int& gar) { gar = i == 1 ? 2 : 1; };
    calc.OnGetExternFunctName = [](int i, QString& name) {
        name = QStringList({"twice", "hyp", "bad"}).at(i);
    };
    calc.OnCalcExtFunct = [](int i, TDStack& r, int& iR) {
        if (i == 0) r.items[iR - 1] *= 2;
        if (i == 1) {
            const double b = r.items[--iR];
            r.items[iR - 1] = std::hypot(r.items[iR - 1], b);
        }
        if (i == 2) iR = 0;  // a handler that loses the stack
    };
    EXPECT_EQ(Eval(calc, "TWICE(3)+1"), 7.0);
    EXPECT_EQ(Eval(calc, "hyp(3,4)*2"), 10.0);
    EXPECT_TRUE(std::isnan(Eval(calc, "bad(1)")));
    EXPECT_TRUE(std::isnan(Eval(calc, "hyp(3)")));  // one argument short
    EXPECT_TRUE(std::isnan(Eval(calc, "thrice(3)")));
    calc.OnCalcExtFunct = nullptr;
    EXPECT_TRUE(std::isnan(Eval(calc, "twice(2)")));
}

INSTANTIATE_TEST_SUITE_P(Separators, CalcAISeparator, ::testing::Values('.', ','),
                         [](const auto& info) { return info.param == '.' ? "Point" : "Comma"; });

}  // namespace
