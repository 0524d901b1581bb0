// The numeric field used for every number the operator enters: a line edit whose text is evaluated
// as an expression, kept within Min..Max, stepped by keys and by a spin button at its right.
//
// Layout: the edit's own rectangle holds both the text box and the spin button. The text box is
// drawn in the left part and the spin button (a sibling in the edit's parent) covers the right
// part, immediately right of the drawn box and exactly as high as it. sizeHint() and
// minimumSizeHint() include the button, so a frame only adds the edit to its layout (or gives it a
// geometry) and never handles the button. The button follows the edit when it is moved, resized,
// shown, hidden, enabled, disabled or re-parented, and is destroyed with the edit.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <functional>

#include "controls/CalcAI.h"

class QAbstractButton;
class TUpDownButton;

class TMaskEditUpDown : public QLineEdit {
    Q_OBJECT
public:
    explicit TMaskEditUpDown(QWidget* parent = nullptr);
    ~TMaskEditUpDown() override;

    double Min = 0, Max = 0, Increment = 0, Data = 0;
    bool isInt = false;
    std::function<void()> OnUpdate;        // after the text was replaced by a new value
    std::function<void()> OnBeforeUpdate;  // just before
    QWidget* UpDown;                       // the spin button (owned by the edit's parent)

    bool VisibleUpDown() const { return visibleUpDown_; }
    void SetVisibleUpDown(bool visible);

    // Evaluates the text (no rewrite, no event), stores it in Data and returns it.
    double GetValue();
    // GetValue rounded to the nearest integer, halves to even.
    int GetIntValue();
    // Shows the value clamped to Min..Max (rounded when isInt) without raising any event.
    void SetValue(double value);
    // One step of Increment times the factor chosen by the modifier keys; nothing while read-only.
    void StepUp();
    void StepDown();
    // Commits Data: rewrites the text and raises the events when its formatted text differs from LastText.
    void ApplyValue();

    // The value of an expression text, limited to ValueMin..ValueMax; 0 when it does not evaluate.
    static double TextToValue(const QString& text);
    // Fixed-point text with at most 6 decimals and 10 significant digits, trailing zeros removed.
    static QString ValueToText(double value);

    const QString& LastText() const { return lastText_; }
    double StepFactor() const { return stepFactor_; }
    QAbstractButton* UpButton() const;
    QAbstractButton* DownButton() const;

    // Program-wide number settings.
    static constexpr int Decimals = 6;
    static constexpr double ValueMin = -100000;
    static constexpr double ValueMax = 100000;
    static QChar DecimalSeparator();
    static void SetDecimalSeparator(QChar separator);
    static TCalcAI& Calculator();  // the one calculator shared by every field

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // Width of the spin button at the right end of the edit's rectangle (0 when hidden or parentless).
    int UpDownWidth() const;

protected:
    void initStyleOption(QStyleOptionFrame* option) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class TUpDownButton;
    enum TStep { StepNone = 0, StepUpward = 1, StepDownward = -1 };
    void Evaluate(TStep step);
    void SpinPressed(TStep step);

    bool visibleUpDown_ = true;
    double stepFactor_ = 1.0;
    QString lastText_;
    bool suspended_ = false;  // focus left for a popup or another window: nothing was committed
    QPointer<TUpDownButton> button_;
};
