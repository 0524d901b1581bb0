// Record files (*.cfg): one record per section, 28 keys of stored (raw) values, read and written
// through SimpleIni so that unknown sections and keys stay where they are.
#pragma once

#include <SimpleIni.h>

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "config/configRecord.h"

// The section of a single-record file ("Config") and of slot n in a file of all records ("Config<n>").
QString ConfigSectionName(int slot = -1);

// The decimal separator of the system's regional settings, "." when it has none.
QChar SystemDecimalSeparator();

// Writes the 28 keys of `record` into `section`, in file order; existing keys keep their place.
// `separator` is the decimal separator of the two scale factors.
void SaveRecord(CSimpleIniA& ini, const char* section, const ConfigRecord& record,
                QChar separator = SystemDecimalSeparator());
// Reads the 28 keys into `record`. A missing key (older files lack "neutral3D") or a value that is not
// a number leaves its field as it was; numbers are cut to the field's width; musicDivide above 3
// becomes 0. Scale factors are read with either "." or "," as the decimal separator.
void LoadRecord(const CSimpleIniA& ini, const char* section, ConfigRecord& record);
// The keys of a record that `section` lacks or whose value is not a number: LoadRecord leaves those
// fields as they were. Every key for a section the document does not have.
QStringList MissingRecordKeys(const CSimpleIniA& ini, const char* section);

// A whole-string integer: optional sign, decimal digits or "0x" and hex digits, within 32 bits.
std::optional<int64_t> ParseIniInteger(const char* text);
// A whole-string decimal fraction with "." or "," (optional exponent), finite and within float range.
std::optional<double> ParseIniFraction(const char* text);
// A scale factor widened to double, 15 significant digits, trailing zeros dropped.
std::string FormatIniFraction(float value, QChar separator);

// The text of a document: sections and keys in their order, "key=value", CR LF line ends, a blank line
// between sections, comment lines kept.
std::string ConfigFileText(CSimpleIniA& ini);

// The text of a document in SimpleIni's own form (the program's settings file).
std::string PlainIniText(CSimpleIniA& ini);

// Reads a file into `ini` (which is reset first). On failure returns false and says why in `error`.
bool ReadConfigFile(const QString& path, CSimpleIniA& ini, QString* error);
// Writes `ini` to `path` through QSaveFile: either the whole new text is there, or the old file is
// untouched. On failure returns false and says why in `error`.
bool WriteConfigFile(const QString& path, CSimpleIniA& ini, QString* error);

// Changes part of an INI file: reads it (when it exists), lets `change` write its sections, and writes
// the whole document back in `text`'s form through QSaveFile, so other sections, keys and comments
// stay. A file that exists but cannot be read is not replaced. `error` says why on failure.
enum class TIniUpdate { Written, NotRead, NotWritten };
TIniUpdate UpdateIniFile(const QString& path, const std::function<void(CSimpleIniA&)>& change, QString* error,
                         std::string (*text)(CSimpleIniA&) = ConfigFileText);

// Record files as the program opens and saves them. `slot` -1 means all records, sections "Config0" to
// "Config16"; otherwise the section "Config" goes into or comes from record `slot`, whatever number the
// record had when it was saved. A section or key that the file lacks leaves its record or field as it
// is. Saving keeps the other sections and keys of an existing file, and refuses to replace a file that
// exists but cannot be read. On failure both return false and say why in `error`.
using TConfigRecords = std::array<ConfigRecord, ConfigRecordCount>;
bool OpenRecordFile(const QString& path, TConfigRecords& records, int slot, QString* error);
bool SaveRecordFile(const QString& path, const TConfigRecords& records, int slot, QString* error,
                    QChar separator = SystemDecimalSeparator());
