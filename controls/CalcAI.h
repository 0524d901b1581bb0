// Expression calculator: parses a text once into a postfix list and evaluates it over a small stack
// of doubles, so that the same expression can be re-evaluated with new values of T, X and Y.
#pragma once

#include <QChar>
#include <QString>
#include <array>
#include <functional>

// The value stack of an evaluation; external functions pop their arguments and push their result.
struct TDStack {
    static constexpr int Capacity = 9;
    std::array<double, Capacity> items{};
};

struct TCalcRoutine;

// One element of the token list, the postfix list or the operator stack.
struct TElementStack {
    enum TKind {
        KError = -1,
        KNone = 0,
        KOperator = 1,
        KNumber = 2,
        KVariable = 3,
        KOpen = 4,
        KClose = 5,
        KFunction = 6,
        KExtern = 7
    };
    QString text;
    int priority = 0;
    int arity = 0;
    int kind = KNone;
    double value = 0;                       // number
    double* variable = nullptr;             // variable: T, X or Y of the owning calculator
    const TCalcRoutine* routine = nullptr;  // operator or built-in function
    int index = 0;                          // external function
    bool leadingSign = false;               // the "+" or "-" right after the leading 0
};

// A fixed-capacity list of elements; Append refuses (false) when full.
struct TStack {
    static constexpr int Capacity = 257;
    std::array<TElementStack, Capacity> items;
    int count = 0;
    bool Append(const TElementStack& e);
    void Clear() { count = 0; }
    const TElementStack& operator[](int i) const { return items[i]; }
};

class TCalcAI {
public:
    using TGetNumExtFunct = std::function<void(const QString& s, int& i)>;
    using TGetGarmExtFunct = std::function<void(int i, int& gar)>;
    using TGetNameExtFunct = std::function<void(int i, QString& name)>;
    using TCalcExtFunct = std::function<void(int i, TDStack& r, int& iR)>;

    TCalcAI() = default;
    TCalcAI(const TCalcAI&) = delete;  // variable tokens point into the instance
    TCalcAI& operator=(const TCalcAI&) = delete;

    bool Modif = false;  // true while a newly set expression is being parsed
    double MinT = 0, MaxT = 0, T = 0, X = 0, Y = 0;
    int Step = 0;
    TGetNumExtFunct OnGetExternNumFunct;
    TGetGarmExtFunct OnGetExternFunctNumGarm;
    TGetNameExtFunct OnGetExternFunctName;
    TCalcExtFunct OnCalcExtFunct;

    const QString& CalcStr() const { return calcStr_; }
    // Parses the text unless it equals the current one and the decimal separator is unchanged.
    void SetCalcStr(const QString& text);
    bool IsValidStr() const { return valid_; }
    // The value of the parsed expression; 0.0 (and IsValidStr false) when invalid or on an arithmetic fault.
    double Calculate();

    const TStack& Tokens() const { return tokens_; }
    const TStack& Postfix() const { return postfix_; }

    // The program-wide decimal separator: the system's, or "." when the system gives none.
    static QChar DecimalSeparator();
    static void SetDecimalSeparator(QChar separator);

private:
    bool Parse(QChar separator);
    bool Tokenize(QChar separator, QChar listSeparator);
    int ScanNumber(int p, QChar separator, double& value) const;
    bool CheckGrammar() const;
    bool ConvertToPostfix();
    bool CheckStackUse() const;

    QString calcStr_ = QStringLiteral("t");
    bool valid_ = false;
    QChar parsedSeparator_;
    QChar listSeparator_ = QLatin1Char(',');
    TStack tokens_;
    TStack postfix_;
    TStack operators_;
};
