// What the operator chose for the telemetry view, kept in the settings file in a section of its own:
// the checked channels, their colours, the plot options and the refresh rate.
#pragma once

#include <SimpleIni.h>

#include <cstdint>

#include "telemetry/statusChannels.h"

struct TStatusSettings {
    static constexpr const char* Section = "Telemetry";

    // Bit i for channel i; throttle, current and speed on a first start.
    uint32_t Checked = (1u << 0) | (1u << 1) | (1u << 6);
    uint32_t Colors[StatusChannelCount];  // 0xRRGGBB, the channel table's to start with
    bool FitEach = false;
    bool Seconds = false;
    bool XY = false;  // the plot's "2D"
    int Window = 200;
    int Rate = 20;

    TStatusSettings();
    // Takes what the section holds; a missing or unreadable key keeps its value.
    void Load(const CSimpleIniA& ini);
    void Save(CSimpleIniA& ini) const;
};
