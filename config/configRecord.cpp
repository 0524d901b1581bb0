#include "config/configRecord.h"

#include <bit>
#include <cstring>

namespace {

class TWriter {
public:
    explicit TWriter(TConfigBytes& out) : out_(out) {}
    void U8(uint8_t v) { out_[pos_++] = v; }
    void U16(uint16_t v) {
        U8(uint8_t(v & 0xFF));
        U8(uint8_t(v >> 8));
    }
    void U32(uint32_t v) {
        U16(uint16_t(v & 0xFFFF));
        U16(uint16_t(v >> 16));
    }
    void F32(float v) { U32(std::bit_cast<uint32_t>(v)); }
    size_t Pos() const { return pos_; }

private:
    TConfigBytes& out_;
    size_t pos_ = 0;
};

class TReader {
public:
    explicit TReader(const TConfigBytes& in) : in_(in) {}
    uint8_t U8() { return in_[pos_++]; }
    int8_t S8() { return int8_t(U8()); }
    uint16_t U16() {
        const uint16_t lo = U8();
        return uint16_t(lo | (uint16_t(U8()) << 8));
    }
    int16_t S16() { return int16_t(U16()); }
    uint32_t U32() {
        const uint32_t lo = U16();
        return lo | (uint32_t(U16()) << 16);
    }
    float F32() { return std::bit_cast<float>(U32()); }
    size_t Pos() const { return pos_; }

private:
    const TConfigBytes& in_;
    size_t pos_ = 0;
};

}  // namespace

ConfigRecord ConfigRecord::Defaults(uint8_t slot) {
    ConfigRecord r;
    r.Number = slot;
    return r;
}

TConfigBytes ConfigRecord::ToBytes() const {
    TConfigBytes out{};
    TWriter w(out);
    for (uint8_t c : Signature) w.U8(c);
    w.U16(Version);
    w.U8(Number);
    w.U16(Flags);
    w.F32(Scale_Current);
    w.F32(Scale_Voltmeter);
    w.U8(uint8_t(Timing));
    w.U16(Freq_PWM);
    w.U16(Max_Current);
    w.U16(Limit_Current);
    w.U16(uint16_t(Limit_Temp));
    w.U16(min_PWM);
    w.U16(max_PWM);
    w.U16(start_PWM);
    w.U16(accel_PWM);
    w.U16(safe_PWM);
    w.U16(off_Bat);
    w.U8(poles);
    w.U8(baseAddr);
    w.U8(musicIx);
    w.U8(musicVolume);
    w.U8(musicTempo);
    w.U8(PWMFilter);
    w.U8(SlowStart);
    w.U8(musicDivide);
    w.U8(uint8_t(deAccel));
    w.U8(map);
    w.U8(asyncLevel);
    w.U8(asyncLevel2);
    w.U8(neutral3D);
    return out;
}

ConfigRecord ConfigRecord::FromBytes(const uint8_t* data, size_t length) {
    TConfigBytes in{};
    if (data != nullptr) std::memcpy(in.data(), data, length < in.size() ? length : in.size());
    TReader r(in);
    ConfigRecord c;
    for (uint8_t& s : c.Signature) s = r.U8();
    c.Version = r.U16();
    c.Number = r.U8();
    c.Flags = r.U16();
    c.Scale_Current = r.F32();
    c.Scale_Voltmeter = r.F32();
    c.Timing = r.S8();
    c.Freq_PWM = r.U16();
    c.Max_Current = r.U16();
    c.Limit_Current = r.U16();
    c.Limit_Temp = r.S16();
    c.min_PWM = r.U16();
    c.max_PWM = r.U16();
    c.start_PWM = r.U16();
    c.accel_PWM = r.U16();
    c.safe_PWM = r.U16();
    c.off_Bat = r.U16();
    c.poles = r.U8();
    c.baseAddr = r.U8();
    c.musicIx = r.U8();
    c.musicVolume = r.U8();
    c.musicTempo = r.U8();
    c.PWMFilter = r.U8();
    c.SlowStart = r.U8();
    c.musicDivide = r.U8();
    c.deAccel = r.S8();
    c.map = r.U8();
    c.asyncLevel = r.U8();
    c.asyncLevel2 = r.U8();
    c.neutral3D = r.U8();
    return c;
}

bool ConfigRecord::IsValid() const {
    return std::memcmp(Signature, ConfigSignature, sizeof Signature) == 0 && Number < ConfigRecordCount;
}
