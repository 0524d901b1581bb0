// The thirteen telemetry channels of a status record: their names, scales and colours, the names of the
// state flags, and how a value reads in its unit. Shared by the status frame, the recording and the
// command line.
#pragma once

#include <QChar>
#include <QString>
#include <cstdint>

struct TStatusChannel {
    const char* Name;  // as the channel list shows it; the unit, where there is one, in parentheses
    double Scale;      // raw count to unit
    uint8_t Red, Green, Blue;
};

inline constexpr int StatusChannelCount = 13;
// In the graph's channel order (StatusRecord::Channel).
extern const TStatusChannel StatusChannels[StatusChannelCount];
// The captions of the Flags bits 0..7.
extern const char* const StatusFlagNames[8];

// raw x scale in the unit: one decimal for a scale of 0.1, two for 0.01, none for 1; never "-0".
QString ScaledText(double raw, double scale, QChar point = QLatin1Char('.'));
// The names of the set bits, lowest bit first, separated by spaces; empty for none.
QString FlagText(uint8_t flags);
