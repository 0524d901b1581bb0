#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "config/configFile.h"
#include "readOnlyFolder.h"

namespace {

// The section that "Save" writes for the records' defaults after a screen capture (volume minimum 1).
const char* const DefaultSaveText =
    "[Config]\r\nVersion=3\r\nFlags=1\r\nScale_Current=1\r\nScale_Voltmeter=1\r\nTiming=-1\r\n"
    "Freq_PWM=8000\r\nMax_Current=300\r\nLimit_Current=150\r\nLimit_Temp=900\r\nmin_PWM=40\r\n"
    "max_PWM=950\r\nstart_PWM=80\r\naccel_PWM=100\r\ndeAccel=0\r\nsafe_PWM=150\r\noff_Bat=90\r\npoles=12\r\n"
    "musicIx=0\r\nmusicDivide=0\r\nmusicVolume=1\r\nmusicTempo=0\r\nbaseAddr=0\r\nPWMFilter=0\r\n"
    "SlowStart=0\r\nmap=0\r\nasyncLevel=40\r\nasyncLevel2=40\r\n";

std::string TextOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    return f.readAll().toStdString();
}

void WriteText(const QString& path, const std::string& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), qint64(text.size()));
}

void LoadText(CSimpleIniA& ini, const std::string& text) {
    ini.Reset();
    ASSERT_GE(ini.LoadData(text.data(), text.size()), 0);
}

TEST(ConfigFile, DefaultSectionByteForByte) {
    ConfigRecord r = ConfigRecord::Defaults(0);
    r.musicVolume = 1;
    CSimpleIniA ini;
    SaveRecord(ini, "Config", r, '.');
    EXPECT_EQ(ConfigFileText(ini), DefaultSaveText);
    // The decimal separator does not show in whole factors.
    CSimpleIniA comma;
    SaveRecord(comma, "Config", r, ',');
    EXPECT_EQ(ConfigFileText(comma), DefaultSaveText);
}

TEST(ConfigFile, ScaleFactorsWithEitherSeparator) {
    struct Case {
        float value;
        const char* dot;
        const char* comma;
    };
    const Case cases[] = {
        {1.0f, "1", "1"},     {0.1f, "0.100000001490116", "0,100000001490116"},
        {2.5f, "2.5", "2,5"}, {0.0001f, "9.99999974737875e-05", "9,99999974737875e-05"},
        {-3.0f, "-3", "-3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatIniFraction(c.value, '.'), c.dot);
        EXPECT_EQ(FormatIniFraction(c.value, ','), c.comma);
        // Whatever separator wrote it, reading gives the same float back.
        for (const char* text : {c.dot, c.comma}) {
            const auto v = ParseIniFraction(text);
            ASSERT_TRUE(v.has_value()) << text;
            EXPECT_EQ(float(*v), c.value) << text;
        }
    }
}

TEST(ConfigFile, NumberTexts) {
    struct IntCase {
        const char* text;
        std::optional<int64_t> value;
    };
    const IntCase ints[] = {
        {"8000", 8000},
        {"-1", -1},
        {"+5", 5},
        {" 12 ", 12},
        {"0x1F40", 8000},
        {"0X0102", 258},
        {"0xFFFFFFFF", 0xFFFFFFFFll},
        {"-2147483648", -2147483648ll},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
        {"0x100000000", std::nullopt},
        {"12a", std::nullopt},
        {"1.5", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"0x", std::nullopt},
        {"--1", std::nullopt},
        {"abc", std::nullopt},
    };
    for (const IntCase& c : ints) EXPECT_EQ(ParseIniInteger(c.text), c.value) << '"' << c.text << '"';

    struct FracCase {
        const char* text;
        std::optional<double> value;
    };
    const FracCase fracs[] = {
        {"1", 1.0},
        {"0.5", 0.5},
        {"0,5", 0.5},
        {"-2.5", -2.5},
        {"+2,5", 2.5},
        {"1e-5", 1e-5},
        {"1,5E3", 1500.0},
        {".5", 0.5},
        {"1.2.3", std::nullopt},
        {"1,2.3", std::nullopt},
        {"nan", std::nullopt},
        {"inf", std::nullopt},
        {"1e39", std::nullopt},
        {"0x10", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {"1 2", std::nullopt},
    };
    for (const FracCase& c : fracs) EXPECT_EQ(ParseIniFraction(c.text), c.value) << '"' << c.text << '"';
}

TEST(ConfigFile, LoadCutsToWidthAndKeepsWhatIsMissing) {
    struct Case {
        const char* name;
        const char* section;  // keys of a [Config] section
        std::function<void(const ConfigRecord&)> check;
    };
    const Case cases[] = {
        {"musicDivide 4 reads as 0", "musicDivide=4\n",
         [](const ConfigRecord& r) { EXPECT_EQ(r.musicDivide, 0); }},
        {"musicDivide 3 stays", "musicDivide=3\n",
         [](const ConfigRecord& r) { EXPECT_EQ(r.musicDivide, 3); }},
        {"musicDivide 258 cut to 2", "musicDivide=258\n",
         [](const ConfigRecord& r) { EXPECT_EQ(r.musicDivide, 2); }},
        {"Timing -1 is 0xFF", "Timing=-1\n",
         [](const ConfigRecord& r) { EXPECT_EQ(uint8_t(r.Timing), 0xFF); }},
        {"Timing 255 is 0xFF too", "Timing=255\n", [](const ConfigRecord& r) { EXPECT_EQ(r.Timing, -1); }},
        {"Freq_PWM cut to 16 bits", "Freq_PWM=70000\n",
         [](const ConfigRecord& r) { EXPECT_EQ(r.Freq_PWM, 70000 - 65536); }},
        {"Limit_Temp negative", "Limit_Temp=-100\n",
         [](const ConfigRecord& r) { EXPECT_EQ(r.Limit_Temp, -100); }},
        {"hex Version", "Version=0x0102\n", [](const ConfigRecord& r) { EXPECT_EQ(r.Version, 0x0102); }},
        {"section without Version keeps it", "Flags=6\n",
         [](const ConfigRecord& r) {
             EXPECT_EQ(r.Version, 0x0207);
             EXPECT_EQ(r.Flags, 6);
         }},
        {"not a number keeps the field", "poles=many\nScale_Current=big\nmax_PWM=\n",
         [](const ConfigRecord& r) {
             EXPECT_EQ(r.poles, 14);
             EXPECT_EQ(r.Scale_Current, 0.75f);
             EXPECT_EQ(r.max_PWM, 950);
         }},
        {"case-insensitive keys", "SCALE_current=0,25\nPOLES=0x10\n",
         [](const ConfigRecord& r) {
             EXPECT_EQ(r.Scale_Current, 0.25f);
             EXPECT_EQ(r.poles, 16);
         }},
        {"out of float range keeps the field", "Scale_Voltmeter=1e300\n",
         [](const ConfigRecord& r) { EXPECT_EQ(r.Scale_Voltmeter, 1.0f); }},
        {"Signature, Number and neutral3D are not read", "Number=9\nSignature=XXXX\nneutral3D=50\n",
         [](const ConfigRecord& r) {
             EXPECT_EQ(r.Number, 2);
             EXPECT_TRUE(r.IsValid());
             EXPECT_EQ(r.neutral3D, 7);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigRecord r = ConfigRecord::Defaults(2);
        r.Version = 0x0207;
        r.poles = 14;
        r.Scale_Current = 0.75f;
        r.neutral3D = 7;
        CSimpleIniA ini;
        LoadText(ini, std::string("[config]\n") + c.section);
        LoadRecord(ini, "Config", r);
        c.check(r);
    }
    // A file without the section changes nothing.
    CSimpleIniA other;
    LoadText(other, "[Config3]\nFlags=0\n");
    ConfigRecord r = ConfigRecord::Defaults(1);
    LoadRecord(other, "Config", r);
    EXPECT_EQ(r, ConfigRecord::Defaults(1));
}

TEST(ConfigFile, RoundTripOfEveryKey) {
    ConfigRecord r = ConfigRecord::Defaults(3);
    r.Version = 0x0104;
    r.Flags = 0x0A5A;
    r.Scale_Current = 0.1f;
    r.Scale_Voltmeter = 12.345f;
    r.Timing = 17;
    r.Freq_PWM = 40000;
    r.Max_Current = 123;
    r.Limit_Current = 65535;
    r.Limit_Temp = -32768;
    r.min_PWM = 1;
    r.max_PWM = 2;
    r.start_PWM = 3;
    r.accel_PWM = 4;
    r.deAccel = -128;
    r.safe_PWM = 5;
    r.off_Bat = 6;
    r.poles = 255;
    r.musicIx = 6;
    r.musicDivide = 2;
    r.musicVolume = 100;
    r.musicTempo = 20;
    r.baseAddr = 32;
    r.PWMFilter = 10;
    r.SlowStart = 100;
    r.map = 3;
    r.asyncLevel = 2;
    r.asyncLevel2 = 60;
    for (QChar sep : {QChar('.'), QChar(',')}) {
        CSimpleIniA ini;
        SaveRecord(ini, "Config", r, sep);
        CSimpleIniA back;
        LoadText(back, ConfigFileText(ini));
        CSimpleIniA::TNamesDepend keys;
        back.GetAllKeys("Config", keys);
        EXPECT_EQ(keys.size(), 27u);
        ConfigRecord into = ConfigRecord::Defaults(7);
        LoadRecord(back, "Config", into);
        ConfigRecord expected = r;
        expected.Number = 7;  // the slot decides the number
        EXPECT_EQ(into, expected) << "separator " << sep.toLatin1();
    }
}

TEST(ConfigFile, UnknownSectionsAndKeysStayInPlace) {
    CSimpleIniA ini;
    LoadText(ini,
             "; written by hand\r\n[Notes]\r\nowner=bench 2\r\n\r\n[CONFIG]\r\nversion=9\r\nCustom=7\r\n"
             "Flags=0\r\n\r\n[Tail]\r\nx=1\r\n");
    SaveRecord(ini, "Config", ConfigRecord::Defaults(0), '.');
    const std::string text = ConfigFileText(ini);
    // Known keys keep their place and spelling, the unknown one stays between them, new keys follow.
    EXPECT_EQ(text.substr(0, text.find("Scale_Current")),
              "; written by hand\r\n\r\n[Notes]\r\nowner=bench 2\r\n\r\n[CONFIG]\r\nversion=3\r\nCustom=7\r\n"
              "Flags=1\r\n");
    EXPECT_NE(text.find("asyncLevel2=40\r\n\r\n[Tail]\r\nx=1\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\n\r\n\r\n"), std::string::npos) << "one blank line between sections";
    EXPECT_EQ(text.find("\n\n"), std::string::npos) << "CR LF only";
}

TEST(ConfigFile, SaveIntoSaveAllFile) {
    CSimpleIniA all;
    for (int n = 0; n < ConfigRecordCount; ++n) {
        ConfigRecord r = ConfigRecord::Defaults(uint8_t(n));
        r.poles = uint8_t(2 + n);
        SaveRecord(all, ConfigSectionName(n).toLatin1().constData(), r, '.');
    }
    CSimpleIniA::TNamesDepend sections;
    all.GetAllSections(sections);
    ASSERT_EQ(sections.size(), 17u);
    for (const auto& s : sections) {
        CSimpleIniA::TNamesDepend keys;
        all.GetAllKeys(s.pItem, keys);
        EXPECT_EQ(keys.size(), 27u) << s.pItem;
    }
    const std::string before = ConfigFileText(all);
    ConfigRecord single = ConfigRecord::Defaults(0);
    single.poles = 99;
    SaveRecord(all, "Config", single, '.');
    const std::string after = ConfigFileText(all);
    // The 17 sections are unchanged and the single-record section follows them.
    ASSERT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(after.substr(before.size(), 10), "\r\n[Config]");
    ConfigRecord r = ConfigRecord::Defaults(4);
    LoadRecord(all, "Config4", r);
    EXPECT_EQ(r.poles, 6);
}

TEST(ConfigFile, WriteAndReadFiles) {
    QTemporaryDir dir;
    const QString path = dir.filePath("motor.cfg");
    CSimpleIniA ini;
    ConfigRecord r = ConfigRecord::Defaults(0);
    r.musicVolume = 1;
    SaveRecord(ini, "Config", r, '.');
    QString error;
    ASSERT_TRUE(WriteConfigFile(path, ini, &error)) << error.toStdString();
    EXPECT_EQ(TextOf(path), DefaultSaveText);

    CSimpleIniA back;
    ASSERT_TRUE(ReadConfigFile(path, back, &error));
    ConfigRecord into = ConfigRecord::Defaults(0);
    LoadRecord(back, "Config", into);
    EXPECT_EQ(into, r);

    EXPECT_FALSE(ReadConfigFile(dir.filePath("missing.cfg"), back, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ConfigFile, FailedWriteLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + "/motor.cfg";
    WriteText(path, "[Config]\r\nFlags=5\r\n");
    CSimpleIniA ini;
    SaveRecord(ini, "Config", ConfigRecord::Defaults(0), '.');
    {
        TReadOnlyFolder locked(folder);
        if (!locked.Effective()) GTEST_SKIP() << "cannot make a folder read-only here";
        QString error;
        EXPECT_FALSE(WriteConfigFile(path, ini, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(TextOf(path), "[Config]\r\nFlags=5\r\n");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary file left";

    // A folder that is a plain file fails for anyone.
    QString error;
    EXPECT_FALSE(WriteConfigFile(path + "/x.cfg", ini, &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
