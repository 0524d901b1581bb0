#include "telemetry/statusRecord.h"

#include <algorithm>

#include "link/littleEndian.h"

StatusRecord StatusRecord::FromBytes(const uint8_t* data, size_t count) {
    uint8_t b[Size] = {};
    if (data != nullptr) std::copy(data, data + std::min(count, Size), b);
    StatusRecord r;
    r.Current = le::S16(b + 0);
    r.Voltage = le::U16(b + 2);
    r.Temperature = le::S16(b + 4);
    r.ThrottleLevel = le::U16(b + 6);
    r.TempMcu = le::S16(b + 8);
    r.AvgCurrent = le::S16(b + 10);
    r.AvgSpeed = le::U16(b + 12);
    r.TimingDelay = le::U16(b + 14);
    r.Mode = b[16];
    r.Address = b[17];
    r.Flags = b[18];
    r.InputPwm = le::U16(b + 19);
    r.InputI2c = le::U16(b + 21);
    r.InputCan = le::U16(b + 23);
    r.InputPc = le::U16(b + 25);
    r.Debug = le::S16(b + 27);
    return r;
}

float StatusRecord::Channel(int index) const {
    switch (index) {
        case 0:
            return ThrottleLevel;
        case 1:
            return Current;
        case 2:
            return AvgCurrent;
        case 3:
            return Voltage;
        case 4:
            return Temperature;
        case 5:
            return TempMcu;
        case 6:
            return AvgSpeed;
        case 7:
            return TimingDelay;
        case 8:
            return InputCan;
        case 9:
            return InputI2c;
        case 10:
            return InputPwm;
        case 11:
            return InputPc;
        case 12:
            return Debug;
        default:
            return 0.0f;
    }
}
