// Arbitrary file text through the record file reader: nothing may crash or read outside a buffer, and
// whatever a file gives a record must survive being written and read back unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "config/configFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CSimpleIniA ini;
    if (ini.LoadData(reinterpret_cast<const char*>(data), size) < 0) return 0;
    ConfigRecord records[ConfigRecordCount + 1];
    for (int n = 0; n < ConfigRecordCount; ++n) {
        records[n] = ConfigRecord::Defaults(uint8_t(n));
        LoadRecord(ini, ConfigSectionName(n).toLatin1().constData(), records[n]);
    }
    records[ConfigRecordCount] = ConfigRecord::Defaults(0);
    LoadRecord(ini, "Config", records[ConfigRecordCount]);

    for (const QChar separator : {QChar('.'), QChar(',')}) {
        for (const ConfigRecord& r : records) {
            if (r.musicDivide > 3) std::abort();
            CSimpleIniA out;
            SaveRecord(out, "Config", r, separator);
            const std::string text = ConfigFileText(out);
            CSimpleIniA back;
            if (back.LoadData(text.data(), text.size()) < 0) std::abort();
            ConfigRecord again = ConfigRecord::Defaults(r.Number);
            again.Signature[0] = 'x';  // every keyed field must come from the text
            LoadRecord(back, "Config", again);
            std::memcpy(again.Signature, r.Signature, sizeof again.Signature);
            if (!(again == r)) std::abort();
        }
    }
    // Writing the file that was read keeps it readable.
    SaveRecord(ini, "Config", records[0], '.');
    const std::string text = ConfigFileText(ini);
    CSimpleIniA back;
    if (back.LoadData(text.data(), text.size()) < 0) std::abort();
    return 0;
}
