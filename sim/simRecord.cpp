#include "sim/simRecord.h"

#include <cstring>

namespace sim {

namespace {
void PutFloat(uint8_t* p, float v) {
    uint32_t bits = 0;
    static_assert(sizeof bits == sizeof v);
    std::memcpy(&bits, &v, sizeof bits);
    Put32(p, bits);
}
}  // namespace

TConfigBytes DefaultRecord(uint8_t number) {
    TConfigBytes r{};
    r[0] = 'Q';
    r[1] = 'E';
    r[2] = 'Z';
    r[3] = 'O';
    Put16(&r[Rec::Version], 3);
    r[Rec::Number] = number;
    Put16(&r[Rec::Flags], 0x0001);
    PutFloat(&r[Rec::ScaleCurrent], 1.0f);
    PutFloat(&r[Rec::ScaleVoltmeter], 1.0f);
    r[Rec::Timing] = 0xFF;  // automatic
    Put16(&r[Rec::FreqPwm], 8000);
    Put16(&r[Rec::MaxCurrent], 300);
    Put16(&r[Rec::LimitCurrent], 150);
    Put16(&r[Rec::LimitTemp], 900);
    Put16(&r[Rec::MinPwm], 40);
    Put16(&r[Rec::MaxPwm], 950);
    Put16(&r[Rec::StartPwm], 80);
    Put16(&r[Rec::AccelPwm], 100);
    Put16(&r[Rec::SafePwm], 150);
    Put16(&r[Rec::OffBat], 90);
    r[Rec::Poles] = 12;
    r[Rec::AsyncLevel] = 40;
    r[Rec::AsyncLevel2] = 40;
    return r;
}

bool RecordValid(const TConfigBytes& record) {
    return record[0] == 'Q' && record[1] == 'E' && record[2] == 'Z' && record[3] == 'O' &&
           record[Rec::Number] < RecordCount;
}

TStatusBytes TStatusRecord::Pack() const {
    TStatusBytes b{};
    Put16(&b[0], uint16_t(Current));
    Put16(&b[2], Voltage);
    Put16(&b[4], uint16_t(Temperature));
    Put16(&b[6], ThrottleLevel);
    Put16(&b[8], uint16_t(TempMcu));
    Put16(&b[10], uint16_t(AvgCurrent));
    Put16(&b[12], AvgSpeed);
    Put16(&b[14], TimingDelay);
    b[16] = Mode;
    b[17] = Address;
    b[18] = Flags;
    Put16(&b[19], InputPwm);
    Put16(&b[21], InputI2c);
    Put16(&b[23], InputCan);
    Put16(&b[25], InputPc);
    Put16(&b[27], uint16_t(Debug));
    return b;
}

}  // namespace sim
