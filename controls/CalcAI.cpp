#include "controls/CalcAI.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <numbers>
#include <string>

// An operator or built-in function: how many values it takes from the stack and what it computes.
// Unary routines get their operand as `a`; "pi" gets none.
struct TCalcRoutine {
    const char* name;
    int priority;
    int arity;  // the value the element carries; the evaluation uses `pops`
    int pops;
    double (*fn)(double a, double b);
};

namespace {

const TCalcRoutine kOperators[] = {
    {"+", 2, 0, 2, [](double a, double b) { return a + b; }},
    {"-", 2, 0, 2, [](double a, double b) { return a - b; }},
    {"*", 1, 0, 2, [](double a, double b) { return a * b; }},
    {"/", 1, 0, 2, [](double a, double b) { return b == 0 ? NAN : a / b; }},
};

const TCalcRoutine kFunctions[] = {
    {"sin", 1, 1, 1, [](double a, double) { return std::sin(a); }},
    {"cos", 1, 1, 1, [](double a, double) { return std::cos(a); }},
    {"abs", 1, 2, 1, [](double a, double) { return std::fabs(a); }},
    {"pi", 1, 0, 0, [](double, double) { return std::numbers::pi; }},
    {"exp", 1, 1, 1, [](double a, double) { return std::exp(a); }},
    {"arctan", 1, 1, 2, [](double a, double b) { return std::atan2(a, b); }},
    {"sqrt", 1, 1, 1, [](double a, double) { return a < 0 ? NAN : std::sqrt(a); }},
    {"tab", 1, 1, 1, [](double a, double) { return std::fabs(a); }},
};

QChar gDecimalSeparator;

bool IsAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
bool IsAsciiLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}
bool IsVariableLetter(QChar c) {
    return QStringLiteral("TXYtxy").contains(c);
}
QChar ListSeparatorFor(QChar separator, QChar previous) {
    if (separator == QLatin1Char(',')) return QLatin1Char(';');
    if (separator == QLatin1Char('.')) return QLatin1Char(',');
    return previous;
}

bool StartsOperand(const TElementStack& e) {
    switch (e.kind) {
        case TElementStack::KNumber:
        case TElementStack::KVariable:
        case TElementStack::KOpen:
        case TElementStack::KFunction:
        case TElementStack::KExtern:
            return true;
        default:
            return false;
    }
}

bool EndsOperand(const TElementStack& e) {
    switch (e.kind) {
        case TElementStack::KNumber:
        case TElementStack::KVariable:
        case TElementStack::KClose:
            return true;
        case TElementStack::KFunction:
            return e.routine->pops == 0;  // pi
        case TElementStack::KExtern:
            return e.arity == 0;
        default:
            return false;
    }
}

}  // namespace

bool TStack::Append(const TElementStack& e) {
    if (count >= Capacity) return false;
    items[count++] = e;
    return true;
}

QChar TCalcAI::DecimalSeparator() {
    if (gDecimalSeparator.isNull()) {
        const QString point = QLocale::system().decimalPoint();
        gDecimalSeparator = point.isEmpty() ? QLatin1Char('.') : point.at(0);
    }
    return gDecimalSeparator;
}

void TCalcAI::SetDecimalSeparator(QChar separator) {
    gDecimalSeparator = separator.isNull() ? QLatin1Char('.') : separator;
}

void TCalcAI::SetCalcStr(const QString& text) {
    const QChar separator = DecimalSeparator();
    if (text == calcStr_ && separator == parsedSeparator_) return;
    Modif = true;
    calcStr_ = text;
    parsedSeparator_ = separator;
    valid_ = Parse(separator);
    // An expression that does not read with the separator in use may read with the other one.
    if (!valid_ && (separator == QLatin1Char(',') || separator == QLatin1Char('.')))
        valid_ = Parse(separator == QLatin1Char(',') ? QLatin1Char('.') : QLatin1Char(','));
    Modif = false;
}

bool TCalcAI::Parse(QChar separator) {
    listSeparator_ = ListSeparatorFor(separator, listSeparator_);
    postfix_.Clear();
    operators_.Clear();
    return Tokenize(separator, listSeparator_) && CheckGrammar() && ConvertToPostfix() && CheckStackUse();
}

bool TCalcAI::Tokenize(QChar separator, QChar listSeparator) {
    tokens_.Clear();
    TElementStack zero;
    zero.text = QStringLiteral("0");
    zero.kind = TElementStack::KNumber;
    tokens_.Append(zero);

    const QString& s = calcStr_;
    const int n = int(s.size());
    int p = 0;
    bool stopped = false;
    while (p < n && !stopped) {
        const QChar c = s.at(p);
        TElementStack e;
        int length = 1;
        if (c == QLatin1Char(' ') || c == listSeparator) {
            ++p;
            continue;
        } else if (c == QLatin1Char('(')) {
            e.text = c;
            e.kind = TElementStack::KOpen;
            e.priority = 10;
        } else if (c == QLatin1Char(')')) {
            e.text = c;
            e.kind = TElementStack::KClose;
        } else if (IsVariableLetter(c) &&
                   !(p + 1 < n && (IsAsciiDigit(s.at(p + 1)) || IsAsciiLetter(s.at(p + 1))))) {
            e.text = c;
            e.kind = TElementStack::KVariable;
            e.arity = 1;
            const QChar u = c.toUpper();
            e.variable = u == QLatin1Char('T') ? &T : u == QLatin1Char('X') ? &X : &Y;
        } else {
            const TCalcRoutine* function = nullptr;
            for (const TCalcRoutine& f : kFunctions) {
                const QLatin1String name(f.name);
                if (QStringView(s).mid(p).startsWith(name, Qt::CaseInsensitive)) {
                    function = &f;
                    break;
                }
            }
            if (function) {
                e.text = QString::fromLatin1(function->name);
                e.kind = TElementStack::KFunction;
                e.priority = function->priority;
                e.arity = function->arity;
                e.routine = function;
                length = int(qstrlen(function->name));
            } else if (!IsAsciiDigit(c)) {
                int run = 0;
                while (p + run < n && (IsAsciiDigit(s.at(p + run)) || IsAsciiLetter(s.at(p + run)))) ++run;
                int index = -1;
                if (run > 0 && OnGetExternNumFunct) OnGetExternNumFunct(s.mid(p, run), index);
                if (index >= 0) {
                    e.kind = TElementStack::KExtern;
                    e.priority = 1;
                    e.index = index;
                    if (OnGetExternFunctNumGarm) OnGetExternFunctNumGarm(index, e.arity);
                    if (OnGetExternFunctName) OnGetExternFunctName(index, e.text);
                    length = run;
                } else {
                    const TCalcRoutine* op = nullptr;
                    for (const TCalcRoutine& o : kOperators)
                        if (c == QLatin1Char(o.name[0])) op = &o;
                    if (!op) {
                        stopped = true;
                        break;
                    }
                    e.text = c;
                    e.kind = TElementStack::KOperator;
                    e.priority = op->priority;
                    e.routine = op;
                    e.leadingSign = tokens_.count == 1 && (c == QLatin1Char('+') || c == QLatin1Char('-'));
                }
            } else {
                length = ScanNumber(p, separator, e.value);
                if (length <= 0) {
                    stopped = true;
                    break;
                }
                e.text = s.mid(p, length);
                e.kind = TElementStack::KNumber;
            }
        }
        if (!tokens_.Append(e)) {
            stopped = true;
            break;
        }
        p += length;
    }
    if (p < n) {
        TElementStack error;
        error.text = QStringLiteral("Error");
        error.kind = TElementStack::KError;
        tokens_.Append(error);  // may not fit when the list is what overflowed
        return false;
    }
    return true;
}

// Reads the longest plain decimal at p (digits, then optionally the separator and more digits) and
// returns its length, or 0 when its value does not fit a double. No signs and no exponents.
int TCalcAI::ScanNumber(int p, QChar separator, double& value) const {
    const QString& s = calcStr_;
    const int n = int(s.size());
    std::string ascii;
    int q = p;
    while (q < n && IsAsciiDigit(s.at(q))) ascii += char(s.at(q++).unicode());
    if (q < n && s.at(q) == separator) {
        ascii += '.';
        ++q;
        while (q < n && IsAsciiDigit(s.at(q))) ascii += char(s.at(q++).unicode());
    }
    const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (ec != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value)) return 0;
    return q - p;
}

// Shapes the conversion cannot handle: unbalanced parentheses, and an operator right after "(" or
// another operator; only a sign may open the expression.
bool TCalcAI::CheckGrammar() const {
    int depth = 0;
    for (int i = 1; i < tokens_.count; ++i) {
        const TElementStack& e = tokens_[i];
        if (e.kind == TElementStack::KOpen) ++depth;
        if (e.kind == TElementStack::KClose && --depth < 0) return false;
        if (e.kind == TElementStack::KOperator) {
            const int previous = tokens_[i - 1].kind;
            if (previous == TElementStack::KOperator || previous == TElementStack::KOpen) return false;
            if (i == 1 && !e.leadingSign) return false;
        }
    }
    return depth == 0;
}

bool TCalcAI::ConvertToPostfix() {
    for (int i = 0; i < tokens_.count; ++i) {
        const TElementStack& e = tokens_[i];
        // Operands in a row are separate arguments (as in arctan(2+3,1)): the previous one is
        // complete, so its pending operators go out before the next one starts.
        if (i > 0 && StartsOperand(e) && EndsOperand(tokens_[i - 1])) {
            while (operators_.count > 0 && operators_[operators_.count - 1].kind != TElementStack::KOpen)
                if (!postfix_.Append(operators_[--operators_.count])) return false;
        }
        switch (e.kind) {
            case TElementStack::KOpen:
            case TElementStack::KFunction:
            case TElementStack::KExtern:
                if (!operators_.Append(e)) return false;
                break;
            case TElementStack::KClose:
                while (operators_.count > 0 && operators_[operators_.count - 1].kind != TElementStack::KOpen)
                    if (!postfix_.Append(operators_[--operators_.count])) return false;
                if (operators_.count == 0) return false;
                --operators_.count;
                break;
            default:
                if (i == 0 || e.priority < tokens_[i - 1].priority) {
                    if (!postfix_.Append(e)) return false;
                } else {
                    while (operators_.count > 0 && operators_[operators_.count - 1].priority <= e.priority)
                        if (!postfix_.Append(operators_[--operators_.count])) return false;
                    if (!operators_.Append(e)) return false;
                }
        }
    }
    while (operators_.count > 0)
        if (!postfix_.Append(operators_[--operators_.count])) return false;
    return true;
}

// Runs the postfix list on value counts only: it must fit the value stack, take values only where
// there are some, leave the leading 0 for the opening sign alone, and end with a single result.
bool TCalcAI::CheckStackUse() const {
    // The conversion always puts the leading 0 first.
    int depth = 1;
    bool zeroAlive = true;  // the leading 0 still lies at the bottom of the stack
    for (int i = 1; i < postfix_.count; ++i) {
        const TElementStack& e = postfix_[i];
        int pops = 0, pushes = 0;
        switch (e.kind) {
            case TElementStack::KNumber:
            case TElementStack::KVariable:
                pushes = 1;
                break;
            case TElementStack::KOperator:
            case TElementStack::KFunction:
                pops = e.routine->pops;
                pushes = 1;
                break;
            case TElementStack::KExtern:
                pops = e.arity;
                pushes = 1;
                break;
            default:
                continue;
        }
        if (pops < 0 || pops > depth) return false;
        const bool takesZero = zeroAlive && depth - pops < 1;
        if (takesZero != (e.leadingSign)) return false;  // the sign must take exactly the leading 0
        if (takesZero) zeroAlive = false;
        depth += pushes - pops;
        if (depth > TDStack::Capacity) return false;
    }
    return zeroAlive ? depth == 1 || depth == 2 : depth == 1;
}

double TCalcAI::Calculate() {
    if (!valid_) return 0.0;
    TDStack r;
    int count = 0;
    auto fail = [this] {
        valid_ = false;
        return 0.0;
    };
    for (int i = 0; i < postfix_.count; ++i) {
        const TElementStack& e = postfix_[i];
        switch (e.kind) {
            case TElementStack::KNumber:
            case TElementStack::KVariable:
                if (count >= TDStack::Capacity) return fail();
                r.items[count++] = e.kind == TElementStack::KNumber ? e.value : *e.variable;
                break;
            case TElementStack::KOperator:
            case TElementStack::KFunction: {
                const TCalcRoutine& f = *e.routine;
                if (count < f.pops || (f.pops == 0 && count >= TDStack::Capacity)) return fail();
                double a = 0, b = 0;
                if (f.pops == 2) {
                    b = r.items[--count];
                    a = r.items[--count];
                } else if (f.pops == 1) {
                    a = r.items[--count];
                }
                const double v = f.fn(a, b);
                if (!std::isfinite(v)) return fail();
                r.items[count++] = v;
                break;
            }
            case TElementStack::KExtern:
                if (!OnCalcExtFunct) return fail();
                OnCalcExtFunct(e.index, r, count);
                if (count < 1 || count > TDStack::Capacity || !std::isfinite(r.items[count - 1]))
                    return fail();
                break;
            default:
                break;
        }
    }
    if (count < 1 || !std::isfinite(r.items[count - 1])) return fail();
    return r.items[count - 1];
}
