#include "controls/MaskEditUpDown.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// The up and down arrows beside a field. It lives in the field's parent and follows the field
// through an event filter on it.
class TUpDownButton : public QWidget {
public:
    explicit TUpDownButton(TMaskEditUpDown* edit) : QWidget(edit->parentWidget()), edit_(edit) {
        setObjectName(QStringLiteral("UpDown"));
        for (QToolButton*& b : buttons_) {
            b = new QToolButton(this);
            b->setFocusPolicy(Qt::NoFocus);
            b->setAutoRepeat(true);
            b->setAutoRepeatDelay(
                style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold, nullptr, b));
            b->setAutoRepeatInterval(style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatRate, nullptr, b));
        }
        buttons_[0]->setArrowType(Qt::UpArrow);
        buttons_[1]->setArrowType(Qt::DownArrow);
        connect(buttons_[0], &QToolButton::pressed, edit,
                [edit] { edit->SpinPressed(TMaskEditUpDown::StepUpward); });
        connect(buttons_[1], &QToolButton::pressed, edit,
                [edit] { edit->SpinPressed(TMaskEditUpDown::StepDownward); });
        edit->installEventFilter(this);
    }

    QToolButton* Up() const { return buttons_[0]; }
    QToolButton* Down() const { return buttons_[1]; }

    // Takes the edit's parent, position, height, visibility and enabled state.
    void Follow() {
        QWidget* parent = edit_->parentWidget();
        if (parentWidget() != parent) {
            setParent(parent);  // hides this; shown again below when it belongs
            raise();
            edit_->updateGeometry();  // the room for the button comes or goes with the parent
            edit_->update();
        }
        const int w = edit_->UpDownWidth();
        const QRect g = edit_->geometry();
        setGeometry(g.x() + g.width() - w, g.y(), w, g.height());
        setEnabled(edit_->isEnabled());
        setVisible(parent != nullptr && w > 0 && !edit_->isHidden());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == edit_) {
            switch (event->type()) {
                case QEvent::Move:
                case QEvent::Resize:
                case QEvent::Show:
                case QEvent::Hide:
                case QEvent::ShowToParent:
                case QEvent::HideToParent:
                case QEvent::ParentChange:
                case QEvent::EnabledChange:
                case QEvent::StyleChange:
                    Follow();
                    break;
                case QEvent::ZOrderChange:
                    raise();  // stay above the edit, whose rectangle we share
                    break;
                default:
                    break;
            }
        }
        return QWidget::eventFilter(watched, event);
    }

    void resizeEvent(QResizeEvent*) override {
        const int half = height() / 2;
        buttons_[0]->setGeometry(0, 0, width(), half);
        buttons_[1]->setGeometry(0, half, width(), height() - half);
    }

private:
    TMaskEditUpDown* edit_;
    QToolButton* buttons_[2] = {};
};

namespace {
double FactorFor(Qt::KeyboardModifiers m) {
    if ((m & Qt::ShiftModifier) && !(m & Qt::ControlModifier)) return 10.0;
    if ((m & Qt::ShiftModifier) && (m & Qt::ControlModifier)) return 0.1;
    return 1.0;
}

// Focus moving to a popup menu or another window is not the operator leaving the field.
bool IsTransientFocusChange(Qt::FocusReason reason) {
    return reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason;
}
}  // namespace

TMaskEditUpDown::TMaskEditUpDown(QWidget* parent) : QLineEdit(parent), UpDown(nullptr) {
    setText(QStringLiteral("0"));
    lastText_ = text();
    button_ = new TUpDownButton(this);
    UpDown = button_;
    button_->Follow();
    connect(button_, &QObject::destroyed, this, [this] { UpDown = nullptr; });
}

TMaskEditUpDown::~TMaskEditUpDown() {
    UpDown = nullptr;
    delete button_.data();  // a spin button without its field would step nothing
}

void TMaskEditUpDown::SetVisibleUpDown(bool visible) {
    if (visible == visibleUpDown_) return;
    visibleUpDown_ = visible;
    updateGeometry();
    update();
    if (button_) button_->Follow();
}

int TMaskEditUpDown::UpDownWidth() const {
    if (!visibleUpDown_ || !button_ || !parentWidget()) return 0;  // without a parent it cannot show
    return qMax(14, style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
}

QAbstractButton* TMaskEditUpDown::UpButton() const {
    return button_ ? button_->Up() : nullptr;
}
QAbstractButton* TMaskEditUpDown::DownButton() const {
    return button_ ? button_->Down() : nullptr;
}

QSize TMaskEditUpDown::sizeHint() const {
    return QLineEdit::sizeHint() + QSize(UpDownWidth(), 0);
}
QSize TMaskEditUpDown::minimumSizeHint() const {
    return QLineEdit::minimumSizeHint() + QSize(UpDownWidth(), 0);
}

void TMaskEditUpDown::initStyleOption(QStyleOptionFrame* option) const {
    QLineEdit::initStyleOption(option);
    option->rect.setWidth(qMax(0, option->rect.width() - UpDownWidth()));
}

QChar TMaskEditUpDown::DecimalSeparator() {
    return TCalcAI::DecimalSeparator();
}
void TMaskEditUpDown::SetDecimalSeparator(QChar separator) {
    TCalcAI::SetDecimalSeparator(separator);
}

TCalcAI& TMaskEditUpDown::Calculator() {
    static TCalcAI calculator;
    return calculator;
}

double TMaskEditUpDown::TextToValue(const QString& text) {
    TCalcAI& calc = Calculator();
    calc.SetCalcStr(text);
    if (!calc.IsValidStr()) return 0.0;
    double result = calc.Calculate();
    if (!calc.IsValidStr()) return 0.0;
    if (result - 1e-12 < ValueMin) result = ValueMin;
    if (result + 1e-12 > ValueMax) result = ValueMax;
    return result;
}

QString TMaskEditUpDown::ValueToText(double value) {
    if (!std::isfinite(value) || value == 0) return QStringLiteral("0");
    // Ten significant digits first, then at most six decimals.
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.9e", value);
    const bool negative = buf[0] == '-';
    const char* m = buf + (negative ? 1 : 0);
    std::string digits;  // d.ddddddddde+XX -> dddddddddd
    for (const char* q = m; *q && *q != 'e'; ++q)
        if (*q != '.') digits += *q;
    const int exponent = std::atoi(std::strchr(m, 'e') + 1);

    // Integer and fraction digits of digits * 10^(exponent - 9).
    std::string whole, fraction;
    if (exponent >= 0) {
        const size_t wholeLength = size_t(exponent) + 1;
        whole = digits.substr(0, std::min(wholeLength, digits.size()));
        if (wholeLength > digits.size()) whole.append(wholeLength - digits.size(), '0');
        if (wholeLength < digits.size()) fraction = digits.substr(wholeLength);
    } else {
        whole = "0";
        fraction = std::string(size_t(-exponent - 1), '0') + digits;
    }
    if (fraction.size() > size_t(Decimals)) {
        // Halves to even on the decimal digits.
        const std::string rest = fraction.substr(Decimals);
        fraction.resize(Decimals);
        const bool aboveHalf =
            rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
        const bool half = rest[0] == '5' && !aboveHalf;
        if (aboveHalf || (half && (fraction.back() - '0') % 2 == 1)) {
            std::string all = whole + fraction;
            int i = int(all.size()) - 1;
            while (i >= 0 && all[size_t(i)] == '9') all[size_t(i--)] = '0';
            if (i >= 0)
                ++all[size_t(i)];
            else
                all.insert(all.begin(), '1');
            whole = all.substr(0, all.size() - Decimals);
            fraction = all.substr(all.size() - Decimals);
        }
    }
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (whole.find_first_not_of('0') == std::string::npos && fraction.empty()) return QStringLiteral("0");
    QString text = QString::fromLatin1(negative ? "-" : "") + QString::fromLatin1(whole.c_str());
    if (!fraction.empty()) text += DecimalSeparator() + QString::fromLatin1(fraction.c_str());
    return text;
}

void TMaskEditUpDown::Evaluate(TStep step) {
    Data = TextToValue(text());
    if (step != StepNone) Data += double(step) * Increment * stepFactor_;
    if (step == StepDownward) {
        if (Data > Max) Data = Max;
        if (Data < Min) Data = Min;
    } else {
        if (Data < Min) Data = Min;
        if (Data > Max) Data = Max;
    }
    if (isInt) Data = std::nearbyint(Data);
}

double TMaskEditUpDown::GetValue() {
    Evaluate(StepNone);
    return Data;
}

int TMaskEditUpDown::GetIntValue() {
    const double v = std::nearbyint(GetValue());
    if (v <= double(INT_MIN)) return INT_MIN;
    if (v >= double(INT_MAX)) return INT_MAX;
    return int(v);
}

void TMaskEditUpDown::SetValue(double value) {
    Data = std::isnan(value) ? 0.0 : value;
    if (Data < Min) Data = Min;
    if (Data > Max) Data = Max;
    if (isInt) Data = std::nearbyint(Data);
    setText(ValueToText(Data));
    lastText_ = text();
}

void TMaskEditUpDown::ApplyValue() {
    const QString newText = ValueToText(Data);
    if (newText != lastText_) {
        if (OnBeforeUpdate) OnBeforeUpdate();
        setText(newText);
        if (OnUpdate) OnUpdate();
    }
    lastText_ = text();
}

void TMaskEditUpDown::StepUp() {
    if (isReadOnly()) return;
    Evaluate(StepUpward);
    ApplyValue();
}

void TMaskEditUpDown::StepDown() {
    if (isReadOnly()) return;
    Evaluate(StepDownward);
    ApplyValue();
}

void TMaskEditUpDown::SpinPressed(TStep step) {
    if (!isEnabled()) return;
    setFocus(Qt::MouseFocusReason);
    if (step == StepUpward)
        StepUp();
    else
        StepDown();
}

void TMaskEditUpDown::keyPressEvent(QKeyEvent* event) {
    stepFactor_ = FactorFor(event->modifiers());
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Evaluate(StepNone);
            ApplyValue();
            break;
        case Qt::Key_Up:
            StepUp();
            break;
        case Qt::Key_Down:
            StepDown();
            break;
        default:
            break;
    }
    QLineEdit::keyPressEvent(event);
    // The arrows were ours: a scroll area or list around the field must not act on them too.
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) event->accept();
}

void TMaskEditUpDown::keyReleaseEvent(QKeyEvent* event) {
    stepFactor_ = FactorFor(event->modifiers());
    QLineEdit::keyReleaseEvent(event);
}

void TMaskEditUpDown::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // Coming back from a popup or another window keeps the reference of the unfinished edit.
    if (!suspended_) lastText_ = text();
    suspended_ = false;
}

void TMaskEditUpDown::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (IsTransientFocusChange(event->reason())) {
        suspended_ = true;
        return;
    }
    Evaluate(StepNone);
    ApplyValue();
}
