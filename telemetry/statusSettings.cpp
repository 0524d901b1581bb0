#include "telemetry/statusSettings.h"

#include <QString>
#include <QStringList>

#include "config/configFile.h"

namespace {

bool ReadInt(const CSimpleIniA& ini, const char* key, int min, int max, int* value) {
    const std::optional<int64_t> v = ParseIniInteger(ini.GetValue(TStatusSettings::Section, key, nullptr));
    if (!v || *v < min || *v > max) return false;
    *value = static_cast<int>(*v);
    return true;
}

void ReadBool(const CSimpleIniA& ini, const char* key, bool* value) {
    int v = 0;
    if (ReadInt(ini, key, 0, 1, &v)) *value = v == 1;
}

}  // namespace

TStatusSettings::TStatusSettings() {
    for (int i = 0; i < StatusChannelCount; ++i) {
        const TStatusChannel& c = StatusChannels[i];
        Colors[i] = (uint32_t(c.Red) << 16) | (uint32_t(c.Green) << 8) | c.Blue;
    }
}

void TStatusSettings::Load(const CSimpleIniA& ini) {
    if (const char* text = ini.GetValue(Section, "Channels", nullptr)) {
        uint32_t checked = 0;
        bool ok = true;
        for (const QString& item : QString::fromLatin1(text).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool number = false;
            const int i = item.trimmed().toInt(&number);
            ok = ok && number && i >= 0 && i < StatusChannelCount;
            if (ok) checked |= 1u << i;
        }
        if (ok) Checked = checked;
    }
    for (int i = 0; i < StatusChannelCount; ++i) {
        const QString key = QStringLiteral("Color%1").arg(i);
        const char* text = ini.GetValue(Section, key.toLatin1().constData(), nullptr);
        const QString value = text ? QString::fromLatin1(text).trimmed() : QString();
        bool ok = false;
        const uint32_t rgb = value.mid(1).toUInt(&ok, 16);
        if (value.size() == 7 && value.startsWith(QLatin1Char('#')) && ok) Colors[i] = rgb;
    }
    ReadBool(ini, "FitEach", &FitEach);
    ReadBool(ini, "Seconds", &Seconds);
    if (const char* plot = ini.GetValue(Section, "Plot", nullptr)) {
        if (QString::fromLatin1(plot).trimmed() == QStringLiteral("2D")) XY = true;
        if (QString::fromLatin1(plot).trimmed() == QStringLiteral("1D")) XY = false;
    }
    ReadInt(ini, "Window", 20, 4096, &Window);
    ReadInt(ini, "RefreshRate", 1, 250, &Rate);
}

void TStatusSettings::Save(CSimpleIniA& ini) const {
    QStringList checked;
    for (int i = 0; i < StatusChannelCount; ++i)
        if ((Checked >> i) & 1) checked << QString::number(i);
    ini.SetValue(Section, "Channels", checked.join(QLatin1Char(',')).toLatin1().constData());
    for (int i = 0; i < StatusChannelCount; ++i) {
        const QString value = QStringLiteral("#%1").arg(Colors[i], 6, 16, QLatin1Char('0'));
        ini.SetValue(Section, QStringLiteral("Color%1").arg(i).toLatin1().constData(),
                     value.toLatin1().constData());
    }
    ini.SetValue(Section, "FitEach", FitEach ? "1" : "0");
    ini.SetValue(Section, "Seconds", Seconds ? "1" : "0");
    ini.SetValue(Section, "Plot", XY ? "2D" : "1D");
    ini.SetLongValue(Section, "Window", Window);
    ini.SetLongValue(Section, "RefreshRate", Rate);
}
