#include "config/configFile.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The keys of a record section in the order they are written.
enum class TKind { Unsigned, Signed, Fraction };

struct TKey {
    const char* Name;
    TKind Kind;
};

constexpr TKey Keys[] = {
    {"Version", TKind::Unsigned},       {"Flags", TKind::Unsigned},
    {"Scale_Current", TKind::Fraction}, {"Scale_Voltmeter", TKind::Fraction},
    {"Timing", TKind::Signed},          {"Freq_PWM", TKind::Unsigned},
    {"Max_Current", TKind::Unsigned},   {"Limit_Current", TKind::Unsigned},
    {"Limit_Temp", TKind::Signed},      {"min_PWM", TKind::Unsigned},
    {"max_PWM", TKind::Unsigned},       {"start_PWM", TKind::Unsigned},
    {"accel_PWM", TKind::Unsigned},     {"deAccel", TKind::Signed},
    {"safe_PWM", TKind::Unsigned},      {"off_Bat", TKind::Unsigned},
    {"poles", TKind::Unsigned},         {"musicIx", TKind::Unsigned},
    {"musicDivide", TKind::Unsigned},   {"musicVolume", TKind::Unsigned},
    {"musicTempo", TKind::Unsigned},    {"baseAddr", TKind::Unsigned},
    {"PWMFilter", TKind::Unsigned},     {"SlowStart", TKind::Unsigned},
    {"map", TKind::Unsigned},           {"asyncLevel", TKind::Unsigned},
    {"asyncLevel2", TKind::Unsigned},   {"neutral3D", TKind::Unsigned},
};
static_assert(std::size(Keys) == 28);

// Visits every keyed field of a record in file order with a reference to it.
template <typename TRecord, typename F>
void ForEachField(TRecord& r, F&& f) {
    f(Keys[0], r.Version);
    f(Keys[1], r.Flags);
    f(Keys[2], r.Scale_Current);
    f(Keys[3], r.Scale_Voltmeter);
    f(Keys[4], r.Timing);
    f(Keys[5], r.Freq_PWM);
    f(Keys[6], r.Max_Current);
    f(Keys[7], r.Limit_Current);
    f(Keys[8], r.Limit_Temp);
    f(Keys[9], r.min_PWM);
    f(Keys[10], r.max_PWM);
    f(Keys[11], r.start_PWM);
    f(Keys[12], r.accel_PWM);
    f(Keys[13], r.deAccel);
    f(Keys[14], r.safe_PWM);
    f(Keys[15], r.off_Bat);
    f(Keys[16], r.poles);
    f(Keys[17], r.musicIx);
    f(Keys[18], r.musicDivide);
    f(Keys[19], r.musicVolume);
    f(Keys[20], r.musicTempo);
    f(Keys[21], r.baseAddr);
    f(Keys[22], r.PWMFilter);
    f(Keys[23], r.SlowStart);
    f(Keys[24], r.map);
    f(Keys[25], r.asyncLevel);
    f(Keys[26], r.asyncLevel2);
    f(Keys[27], r.neutral3D);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(const char* text) {
    std::string_view s(text);
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

QString ConfigSectionName(int slot) {
    return slot < 0 ? QStringLiteral("Config") : QStringLiteral("Config%1").arg(slot);
}

QChar SystemDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar('.') : point.at(0);
}

std::optional<int64_t> ParseIniInteger(const char* text) {
    if (text == nullptr) return std::nullopt;
    std::string_view s = Trimmed(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    // Decimal text must fit a signed 32-bit number; hex text may use all 32 bits.
    const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    if (magnitude > limit) return std::nullopt;
    const int64_t value = int64_t(magnitude);
    return negative ? -value : value;
}

std::optional<double> ParseIniFraction(const char* text) {
    if (text == nullptr) return std::nullopt;
    std::string s(Trimmed(text));
    size_t start = 0;
    if (!s.empty() && s[0] == '+') start = 1;
    // Either separator: a file saved where the other one is in use keeps its factors.
    int separators = 0;
    for (size_t i = start; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ',' || c == '.') {
            s[i] = '.';
            ++separators;
        } else if (!(std::isdigit(static_cast<unsigned char>(c)) || c == 'e' || c == 'E' || c == '-' ||
                     c == '+')) {
            return std::nullopt;  // also rules out "inf", "nan" and hex floats
        }
    }
    if (separators > 1 || start >= s.size() || (start == 1 && s[1] == '-')) return std::nullopt;
    double value = 0;
    const char* first = s.data() + start;
    const char* last = s.data() + s.size();
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc() || end != last) return std::nullopt;
    if (!std::isfinite(value) || std::fabs(value) > double(FLT_MAX)) return std::nullopt;
    return value;
}

std::string FormatIniFraction(float value, QChar separator) {
    std::string text = QString::number(double(value), 'g', 15).toStdString();
    if (separator != QChar('.')) {
        const std::string sep = QString(separator).toStdString();
        const size_t dot = text.find('.');
        if (dot != std::string::npos) text.replace(dot, 1, sep);
    }
    return text;
}

void SaveRecord(CSimpleIniA& ini, const char* section, const ConfigRecord& record, QChar separator) {
    ForEachField(record, [&](const TKey& key, const auto& field) {
        using T = std::decay_t<decltype(field)>;
        std::string text;
        if constexpr (std::is_same_v<T, float>)
            text = FormatIniFraction(field, separator);
        else
            text = std::to_string(int64_t(field));
        ini.SetValue(section, key.Name, text.c_str());
    });
}

void LoadRecord(const CSimpleIniA& ini, const char* section, ConfigRecord& record) {
    ForEachField(record, [&](const TKey& key, auto& field) {
        using T = std::decay_t<decltype(field)>;
        const char* text = ini.GetValue(section, key.Name, nullptr);
        if (text == nullptr) return;
        if constexpr (std::is_same_v<T, float>) {
            if (const auto value = ParseIniFraction(text)) field = float(*value);
        } else {
            // The low-order bytes of the number, as the field's width holds them.
            if (const auto value = ParseIniInteger(text))
                field = T(std::make_unsigned_t<T>(uint64_t(*value)));
        }
    });
    if (record.musicDivide > 3) record.musicDivide = 0;
}

QStringList MissingRecordKeys(const CSimpleIniA& ini, const char* section) {
    QStringList missing;
    ConfigRecord probe;
    ForEachField(probe, [&](const TKey& key, auto& field) {
        using T = std::decay_t<decltype(field)>;
        const char* text = ini.GetValue(section, key.Name, nullptr);
        const bool number = text != nullptr && (std::is_same_v<T, float> ? ParseIniFraction(text).has_value()
                                                                         : ParseIniInteger(text).has_value());
        if (!number) missing << QString::fromLatin1(key.Name);
    });
    return missing;
}

std::string ConfigFileText(CSimpleIniA& ini) {
    std::string raw;
    ini.SetSpaces(false);  // "key=value"
    ini.Save(raw, false);
    // SimpleIni separates sections by two blank lines and uses the platform's line end; the files have
    // CR LF and one blank line between sections.
    std::string out;
    out.reserve(raw.size() + raw.size() / 8);
    bool pendingBlank = false;
    size_t pos = 0;
    while (pos < raw.size()) {
        size_t end = raw.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = raw.size();
        const std::string_view line(raw.data() + pos, end - pos);
        if (line.empty()) {
            pendingBlank = !out.empty();
        } else {
            if (pendingBlank) out.append("\r\n");
            pendingBlank = false;
            out.append(line);
            out.append("\r\n");
        }
        pos = end;
        if (pos < raw.size() && raw[pos] == '\r') ++pos;
        if (pos < raw.size() && raw[pos] == '\n') ++pos;
    }
    return out;
}

bool ReadConfigFile(const QString& path, CSimpleIniA& ini, QString* error) {
    ini.Reset();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error) *error = file.errorString();
        return false;
    }
    if (ini.LoadData(bytes.constData(), size_t(bytes.size())) < 0) {
        if (error) *error = QStringLiteral("the file is not in INI form");
        return false;
    }
    return true;
}

namespace {
bool WriteIniText(const QString& path, const std::string& text, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        if (error) *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}
}  // namespace

std::string PlainIniText(CSimpleIniA& ini) {
    std::string text;
    ini.Save(text);
    return text;
}

bool WriteConfigFile(const QString& path, CSimpleIniA& ini, QString* error) {
    return WriteIniText(path, ConfigFileText(ini), error);
}

TIniUpdate UpdateIniFile(const QString& path, const std::function<void(CSimpleIniA&)>& change, QString* error,
                         std::string (*text)(CSimpleIniA&)) {
    CSimpleIniA ini;
    if (QFileInfo::exists(path) && !ReadConfigFile(path, ini, error)) return TIniUpdate::NotRead;
    if (change) change(ini);
    return WriteIniText(path, text(ini), error) ? TIniUpdate::Written : TIniUpdate::NotWritten;
}

bool OpenRecordFile(const QString& path, TConfigRecords& records, int slot, QString* error) {
    CSimpleIniA ini;
    if (!ReadConfigFile(path, ini, error)) return false;
    if (slot >= 0 && slot < ConfigRecordCount) LoadRecord(ini, "Config", records[slot]);
    for (int n = 0; slot < 0 && n < ConfigRecordCount; ++n)
        LoadRecord(ini, ConfigSectionName(n).toLatin1().constData(), records[n]);
    return true;
}

bool SaveRecordFile(const QString& path, const TConfigRecords& records, int slot, QString* error,
                    QChar separator) {
    const auto write = [&](CSimpleIniA& ini) {
        if (slot >= 0 && slot < ConfigRecordCount) SaveRecord(ini, "Config", records[slot], separator);
        for (int n = 0; slot < 0 && n < ConfigRecordCount; ++n)
            SaveRecord(ini, ConfigSectionName(n).toLatin1().constData(), records[n], separator);
    };
    return UpdateIniFile(path, write, error) == TIniUpdate::Written;
}
