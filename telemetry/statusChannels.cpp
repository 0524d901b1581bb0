#include "telemetry/statusChannels.h"

#include <QStringList>

// "Timig delay" is orange rather than the grid's grey and "Debug" brown rather than a second black,
// so that every channel can be told apart on the plot.
const TStatusChannel StatusChannels[StatusChannelCount] = {
    {"Throttle (%)", 0.1, 255, 0, 0},
    {"Current (A)", 0.1, 0, 0, 255},
    {"Averrage Current (A)", 0.1, 128, 128, 0},
    {"Voltage (V)", 0.1, 0, 128, 0},
    {"Temperature (C)", 0.1, 128, 0, 128},
    {"Temp.MCU (C)", 0.1, 0, 0, 128},
    {"Averrage Speed (rpm)", 1.0, 0, 128, 128},
    {"Timig delay (mks)", 1.0, 255, 128, 0},
    {"Input CAN", 1.0, 96, 96, 96},
    {"Input I2C", 1.0, 0, 0, 0},
    {"Input PWM", 1.0, 0, 255, 0},
    {"Input PC", 1.0, 255, 0, 255},
    {"Debug", 1.0, 160, 82, 45},
};

const char* const StatusFlagNames[8] = {"Stopped",  "Starting", "Overheat",      "Overload",
                                        "Blocking", "Test",     "Short-circuit", "Sound"};

QString ScaledText(double raw, double scale, QChar point) {
    int decimals = 0;
    for (double s = scale; s > 0 && s < 0.999 && decimals < 6; s *= 10) ++decimals;
    QString text = QString::number(raw * scale, 'f', decimals);
    if (text.startsWith(QLatin1Char('-')) && text.count(QLatin1Char('0')) == text.size() - (decimals ? 2 : 1))
        text.remove(0, 1);
    if (decimals && point != QLatin1Char('.')) text.replace(QLatin1Char('.'), point);
    return text;
}

QString FlagText(uint8_t flags) {
    QStringList names;
    for (int bit = 0; bit < 8; ++bit)
        if ((flags >> bit) & 1) names << QString::fromLatin1(StatusFlagNames[bit]);
    return names.join(QLatin1Char(' '));
}
