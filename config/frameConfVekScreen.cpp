// The configuration frame's screen: which control shows which field of the record on screen, and the
// "Mode :" field's choice of that record.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <cmath>
#include <optional>

#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"

namespace {

// Marks the list entry that stands for a stored value no regular entry shows; holds that value.
constexpr int StoredValueRole = Qt::UserRole + 1;

// Selects entry `index`, or, for a value outside the list, an extra entry naming the stored value.
void ShowListValue(QComboBox* box, bool inList, int index, int stored, const QString& storedText) {
    for (int i = box->count() - 1; i >= 0; --i)
        if (box->itemData(i, StoredValueRole).isValid()) box->removeItem(i);
    if (inList) {
        box->setCurrentIndex(index);
        return;
    }
    box->addItem(storedText);
    box->setItemData(box->count() - 1, stored, StoredValueRole);
    box->setCurrentIndex(box->count() - 1);
}

std::optional<int> StoredListValue(const QComboBox* box) {
    const QVariant v = box->currentData(StoredValueRole);
    if (!v.isValid()) return std::nullopt;
    return v.toInt();
}

// A field shown in tenths: value x 10, halves to even, cut to the field's width.
template <typename T>
T Tenths(TMaskEditUpDown* edit) {
    const long long v = std::llrint(edit->GetValue() * 10.0);
    return T(std::make_unsigned_t<T>(v));
}

}  // namespace

int TFrameConfigVek::SelectedRecord() {
    const int n = MaskEditUpDown2->GetIntValue();
    return n < 0 ? 0 : (n >= ConfigRecordCount ? ConfigRecordCount - 1 : n);
}

int TFrameConfigVek::SyncRecordOnScreen() {
    // "Mode :" may hold a number typed but not committed (a tool button takes no focus): the controls
    // still hold the earlier record, so they go into that one before the typed number takes effect.
    const int n = SelectedRecord();
    if (n != shownRecord_) {
        CaptureRecord(shownRecord_);
        MaskEditUpDown2->SetValue(n);
        ShowRecord();
    }
    return n;
}

void TFrameConfigVek::SelectRecord(int n) {
    MaskEditUpDown2->SetValue(n);
    if (SelectedRecord() == shownRecord_) return;
    CaptureRecord(shownRecord_);
    ShowRecord();
}

void TFrameConfigVek::CaptureRecord() {
    CaptureRecord(SelectedRecord());
}

void TFrameConfigVek::CaptureRecord(int n) {
    if (n < 0 || n >= ConfigRecordCount) return;
    for (int i = 0; i < ConfigRecordCount; ++i) Records[i].Number = uint8_t(i);
    ConfigRecord& r = Records[n];
    uint16_t flags = 0;
    for (const auto& [box, mask] : flagBoxes_)
        if (box->isChecked()) flags |= mask;
    r.Flags = flags;
    r.Scale_Current = float(MaskEditUpDown3->GetValue());
    r.Scale_Voltmeter = float(MaskEditUpDown4->GetValue());
    const auto timing = StoredListValue(ComboBox1);
    r.Timing = timing ? int8_t(*timing) : int8_t(ComboBox1->currentIndex() - 1);
    const auto carrier = StoredListValue(ComboBox2);
    r.Freq_PWM = carrier ? uint16_t(*carrier) : uint16_t(8000 + 4000 * ComboBox2->currentIndex());
    r.Max_Current = Tenths<uint16_t>(MaskEditUpDown5);
    r.Limit_Current = Tenths<uint16_t>(MaskEditUpDown6);
    r.Limit_Temp = Tenths<int16_t>(MaskEditUpDown7);
    r.min_PWM = Tenths<uint16_t>(MaskEditUpDown8);
    r.max_PWM = Tenths<uint16_t>(MaskEditUpDown9);
    r.start_PWM = Tenths<uint16_t>(MaskEditUpDown10);
    r.accel_PWM = Tenths<uint16_t>(MaskEditUpDown11);
    r.safe_PWM = Tenths<uint16_t>(MaskEditUpDown14);
    r.off_Bat = Tenths<uint16_t>(MaskEditUpDown15);
    r.SlowStart = Tenths<uint8_t>(MaskEditUpDown23);
    r.poles = uint8_t(MaskEditUpDown16->GetIntValue());
    r.baseAddr = uint8_t(MaskEditUpDown18->GetIntValue());
    const auto melody = StoredListValue(ComboBox3);
    r.musicIx = melody ? uint8_t(*melody) : uint8_t(ComboBox3->currentIndex());
    r.musicVolume = uint8_t(MaskEditUpDown19->GetIntValue());
    r.musicTempo = uint8_t(10 - MaskEditUpDown20->GetIntValue());
    r.PWMFilter = uint8_t(MaskEditUpDown22->GetIntValue());
    const int divide = ComboBox4->currentIndex();
    r.musicDivide = uint8_t(divide > 3 || divide < 0 ? 0 : divide);
    r.deAccel = int8_t(MaskEditUpDown31->GetIntValue());
    r.map = uint8_t(ComboBox5->currentIndex() < 0 ? 0 : ComboBox5->currentIndex());
    r.asyncLevel = uint8_t(MaskEditUpDown1->GetIntValue());
    r.asyncLevel2 = uint8_t(MaskEditUpDown12->GetIntValue());
    r.neutral3D = uint8_t(cxMaskEditUpDown1->GetIntValue());
}

void TFrameConfigVek::ShowRecord() {
    const int n = SelectedRecord();
    for (int i = 0; i < ConfigRecordCount; ++i) Records[i].Number = uint8_t(i);
    ConfigRecord& r = Records[n];
    GroupBoxConfig->setTitle(QString::asprintf(" Config v %d.%d ", r.Version >> 8, r.Version & 0xFF));
    for (const auto& [box, mask] : flagBoxes_) box->setChecked((r.Flags & mask) != 0);

    MaskEditUpDown3->SetValue(double(r.Scale_Current));
    MaskEditUpDown4->SetValue(double(r.Scale_Voltmeter));
    ShowListValue(ComboBox1, r.Timing >= -1 && r.Timing <= 30, r.Timing + 1, r.Timing,
                  QStringLiteral("%1 (stored)").arg(r.Timing));
    const int k = (int(r.Freq_PWM) - 8000) / 4000;
    const bool carrierInList = r.Freq_PWM >= 8000 && (r.Freq_PWM - 8000) % 4000 == 0 && k <= 8;
    ShowListValue(ComboBox2, carrierInList, k, r.Freq_PWM, QStringLiteral("%1 Hz (stored)").arg(r.Freq_PWM));
    MaskEditUpDown5->SetValue(r.Max_Current / 10.0);
    MaskEditUpDown6->SetValue(r.Limit_Current / 10.0);
    MaskEditUpDown7->SetValue(r.Limit_Temp / 10.0);
    MaskEditUpDown8->SetValue(r.min_PWM / 10.0);
    MaskEditUpDown9->SetValue(r.max_PWM / 10.0);
    MaskEditUpDown10->SetValue(r.start_PWM / 10.0);
    MaskEditUpDown11->SetValue(r.accel_PWM / 10.0);
    MaskEditUpDown14->SetValue(r.safe_PWM / 10.0);
    MaskEditUpDown15->SetValue(r.off_Bat / 10.0);
    MaskEditUpDown23->SetValue(r.SlowStart / 10.0);
    MaskEditUpDown16->SetValue(r.poles);
    MaskEditUpDown18->SetValue(r.baseAddr);
    ShowListValue(ComboBox3, r.musicIx <= 6, r.musicIx, r.musicIx,
                  QStringLiteral("%1 (stored)").arg(r.musicIx));
    MaskEditUpDown19->SetValue(r.musicVolume);
    MaskEditUpDown20->SetValue(10.0 - r.musicTempo);
    MaskEditUpDown22->SetValue(r.PWMFilter);
    if (r.musicDivide > 3) r.musicDivide = 0;
    ComboBox4->setCurrentIndex(r.musicDivide);
    MaskEditUpDown31->SetValue(r.deAccel);
    ComboBox5->setCurrentIndex(ComboBox5->count() > r.map ? r.map : 0);
    MaskEditUpDown1->SetValue(r.asyncLevel);
    MaskEditUpDown12->SetValue(r.asyncLevel2);
    cxMaskEditUpDown1->SetValue(r.neutral3D);
    shownRecord_ = n;
}

void TFrameConfigVek::CheckBox14Click() {
    if (CheckBox14->isChecked()) CheckBox7->setChecked(false);
}

void TFrameConfigVek::CheckBox7Click() {
    if (CheckBox7->isChecked()) CheckBox14->setChecked(false);
}
