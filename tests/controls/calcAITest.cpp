// The expression calculator, once with "." and once with "," as the program's decimal separator.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QStringList>
#include <cmath>
#include <numbers>
#include <utility>

#include "controls/CalcAI.h"

namespace {

constexpr double kInvalid = std::numeric_limits<double>::quiet_NaN(), Pi = std::numbers::pi;

class CalcAISeparator : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override {
        TCalcAI::SetDecimalSeparator(QLatin1Char(GetParam()));
        calc.X = 3, calc.T = 1, calc.Y = -2;
    }
    // The value of `text`, or NaN when the calculator rejects it at parse or evaluation time.
    double Eval(const QString& text) {
        calc.SetCalcStr(text);
        const double v = calc.Calculate();
        EXPECT_TRUE(calc.IsValidStr() || v == 0.0) << text.toStdString();
        return calc.IsValidStr() ? v : kInvalid;
    }

    TCalcAI calc;
};

// Either separator reads, whatever the system's is; variables are X = 3, T = 1, Y = -2, in either case.
TEST_P(CalcAISeparator, EvaluatesOrRejects) {
    // clang-format off
    const std::pair<const char*, double> values[] = {
        {"2+3*4", 14}, {"2*3+4", 10}, {"(2+3)*4", 20}, {"-5", -5}, {"+5", 5}, {"-2*3", -6}, {"8/2/2", 2},
        {"8-2-2", 4}, {"1+2*3-4/2", 5}, {" 1 +  2 ", 3}, {"((7))", 7}, {"12.", 12}, {"", 0},
        {"sqrt(16)+1", 5}, {"-sqrt(4)", -2}, {"2*sqrt(4)+1", 5}, {"pi", Pi}, {"2*pi", 2 * Pi},
        {"arctan(1,1)", Pi / 4}, {"arctan(1;1)", Pi / 4}, {"arctan(0-1,0-1)", -3 * Pi / 4},
        {"2+arctan(1,1)", 2 + Pi / 4}, {"arctan(2+3,1)", std::atan2(5, 1)},
        {"arctan(pi,1)", std::atan2(Pi, 1)}, {"arctan(1+1,sqrt(4))", Pi / 4},
        {"arctan((0-1),(0-1))", -3 * Pi / 4}, {"SIN(0)+Cos(0)", 1}, {"abs(0-3)", 3}, {"tab(2-5)", 3},
        {"exp(0)", 1}, {"sqrt 16 + 9", 13}, {"2.5*2", 5}, {"2,5*2", 5}, {"2,5", 2.5}, {"-2,5", -2.5},
        {"1+2,5", 3.5}, {"x*2+T-y", 9}, {"X+x", 6}};
    // clang-format on
    for (const auto& [text, expected] : values)
        EXPECT_NEAR(Eval(QString::fromUtf8(text)), expected, 1e-12) << text;
    // Rejected while parsing, then by the evaluation.
    const char* rejected =
        "x2|tx|abc|sine|2*-3|(-5)|2+3)|(2+3|)(|2 3|2(3)|2pi|*5|2+|-|sin|sin*2|arctan(1)|.5|"
        "1.2.3|1e5|5a|x y|2\xc3\xa9|1,5+1.5|1/0|1/(1-1)|sqrt(0-1)|exp(1000)";
    for (const QString& text : QString::fromUtf8(rejected).split('|'))
        EXPECT_TRUE(std::isnan(Eval(text))) << text.toStdString();
    // A new value of a variable needs no new parse.
    Eval("x*2");
    calc.X = 5;
    EXPECT_EQ(calc.Calculate(), 10.0);
    // At most 257 tokens ("-1+1+...": the leading 0, "-", "1" and two per "+1") and 9 values pending
    // (1+(1+(... keeps every 1 above the leading 0 until the closing operators).
    auto sum = [](int n) { return "-1" + QStringLiteral("+1").repeated(n); };
    auto nested = [](int n) { return QStringLiteral("1+(").repeated(n - 1) + "1" + QString(n - 1, ')'); };
    EXPECT_EQ(Eval(sum(127)), 126.0);
    EXPECT_EQ(Eval(nested(8)), 8.0);
    for (const QString& text : {sum(128), "(1" + QStringLiteral("+1").repeated(127) + ")",
                                QStringLiteral("1+").repeated(5000) + "1", nested(9)})
        EXPECT_TRUE(std::isnan(Eval(text))) << text.size();
}

TEST_P(CalcAISeparator, SameTextParsesOnceAndAnEvaluationFaultSticks) {
    int lookups = 0;
    calc.OnGetExternNumFunct = [&](const QString&, int& i) { i = -1, ++lookups; };
    calc.SetCalcStr("abc");
    const int once = lookups;
    calc.SetCalcStr("abc");
    EXPECT_TRUE(once > 0 && lookups == once && !calc.IsValidStr() && !calc.Modif);
    EXPECT_EQ(calc.Tokens()[calc.Tokens().count - 1].text, "Error");
    calc.SetCalcStr("1/0");
    EXPECT_TRUE(calc.IsValidStr() && calc.Calculate() == 0.0);
    calc.SetCalcStr("1/0");
    EXPECT_FALSE(calc.IsValidStr()) << "the fault sticks until the text changes";
}

TEST_P(CalcAISeparator, ExternalFunctionsWorkOnTheValueStack) {
    const QStringList names = {"twice", "hyp", "bad"};
    calc.OnGetExternNumFunct = [&](const QString& s, int& i) { i = int(names.indexOf(s.toLower())); };
    calc.OnGetExternFunctNumGarm = [](int i, int& gar) { gar = i == 1 ? 2 : 1; };
    calc.OnGetExternFunctName = [&](int i, QString& name) { name = names[i]; };
    calc.OnCalcExtFunct = [](int i, TDStack& r, int& iR) {
        if (i == 0) r.items[iR - 1] *= 2;
        if (i == 1) --iR, r.items[iR - 1] = std::hypot(r.items[iR - 1], r.items[iR]);
        if (i == 2) iR = 0;  // a handler that loses the stack
    };
    // hyp(3) is one argument short.
    for (auto [text, value] : {std::pair{"TWICE(3)+1", 7.0},
                               {"hyp(3,4)*2", 10.0},
                               {"bad(1)", kInvalid},
                               {"hyp(3)", kInvalid},
                               {"thrice(3)", kInvalid}})
        EXPECT_THAT(Eval(text), ::testing::NanSensitiveDoubleEq(value)) << text;
    calc.OnCalcExtFunct = nullptr;
    EXPECT_TRUE(std::isnan(Eval("twice(2)")));
}

INSTANTIATE_TEST_SUITE_P(Separators, CalcAISeparator, ::testing::Values('.', ','),
                         [](const auto& info) { return info.param == '.' ? "Point" : "Comma"; });

}  // namespace
