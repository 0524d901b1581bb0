// Cost of the numeric fields' arithmetic: parsing and evaluating an expression, re-evaluating a
// parsed one, and formatting a value for display.
#include <benchmark/benchmark.h>

#include <QStringList>

#include "controls/CalcAI.h"
#include "controls/MaskEditUpDown.h"

namespace {

const QStringList kTexts = {"12.5", "2*30", "(2+3)*4-sqrt(16)/2", "arctan(1,1)*180/pi", "2,5"};

void BM_ParseAndCalculate(benchmark::State& state) {
    TCalcAI::SetDecimalSeparator(QLatin1Char('.'));
    TCalcAI calc;
    qsizetype i = 0;
    for (auto _ : state) {
        calc.SetCalcStr(kTexts[i++ % kTexts.size()]);  // a new text each time: always parsed
        benchmark::DoNotOptimize(calc.Calculate());
    }
}
BENCHMARK(BM_ParseAndCalculate);

void BM_CalculateParsed(benchmark::State& state) {
    TCalcAI calc;
    calc.SetCalcStr("(x+3)*4-sqrt(16)/2+arctan(1,x)");
    for (auto _ : state) {
        calc.X += 1;
        benchmark::DoNotOptimize(calc.Calculate());
    }
}
BENCHMARK(BM_CalculateParsed);

void BM_LongestExpression(benchmark::State& state) {
    const QString a = QStringLiteral("-1") + QStringLiteral("+1").repeated(127);  // 257 tokens
    const QString b = a + QStringLiteral(" ");
    TCalcAI calc;
    bool flip = false;
    for (auto _ : state) {
        calc.SetCalcStr((flip = !flip) ? a : b);
        benchmark::DoNotOptimize(calc.Calculate());
    }
}
BENCHMARK(BM_LongestExpression);

void BM_ValueToText(benchmark::State& state) {
    double v = 0.1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TMaskEditUpDown::ValueToText(v));
        v += 1.37;
        if (v > 100000) v = -100000;
    }
}
BENCHMARK(BM_ValueToText);

}  // namespace

BENCHMARK_MAIN();
