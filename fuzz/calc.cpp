// Arbitrary text through the calculator: it never crashes or reads outside its lists, and an
// evaluation gives a finite value, or 0.0 with the expression marked invalid.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "controls/CalcAI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the decimal separator and the variables' values.
    const uint8_t control = data[0];
    TCalcAI::SetDecimalSeparator((control & 1) ? QLatin1Char(',') : QLatin1Char('.'));
    static TCalcAI calc;
    calc.X = (control >> 1) & 7;
    calc.T = -double((control >> 4) & 3);
    calc.Y = (control & 0x40) ? 1e300 : 0.5;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    for (int pass = 0; pass < 2; ++pass) {  // the second pass reuses the parse
        calc.SetCalcStr(text);
        const bool parsed = calc.IsValidStr();
        const double v = calc.Calculate();
        if (!std::isfinite(v)) std::abort();
        if (!parsed && v != 0.0) std::abort();
        if (!calc.IsValidStr() && v != 0.0) std::abort();
        if (calc.Tokens().count > TStack::Capacity || calc.Postfix().count > TStack::Capacity) std::abort();
    }
    return 0;
}
