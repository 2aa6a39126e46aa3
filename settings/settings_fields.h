#pragma once
// The one table of settings fields.
//
// Every field of StartupOptions is one row: its place in the record, its default, the
// command-line spellings that set it, and how the options file stores it. The defaults,
// the command-line parser, the options-file reader and writer, and the field-wise
// comparison all walk this table, so a new setting is one new row.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/setting_value.h"
#include "settings/startup_options.h"

namespace plashwerk {

/// The record member a row stands for; exactly one of the pointers is set.
struct FieldRef {
    int StartupOptions::*int_field = nullptr;
    bool StartupOptions::*bool_field = nullptr;
    float StartupOptions::*float_field = nullptr;
    char (StartupOptions::*text_field)[128] = nullptr;
    std::string StartupOptions::*string_field = nullptr;  ///< command-line texts of any length
};

/// How a command-line spelling acts on its field.
enum class OptionForm : uint8_t {
    None,         ///< no spelling
    Flag,         ///< the literal anywhere in the text stores `flag_value`
    Number,       ///< "literal=" then a number ("%d" or "%f"); a bad number keeps the field
    Count,        ///< as Number, and a count of 0 becomes 1
    OnIfNonZero,  ///< "literal=%d": on for a non-zero number; no readable number means 0
    Text,         ///< "literal=" then a text up to the next blank, or between double quotes
};

/// One command-line spelling. Valued forms read the number after the literal and "=".
struct CommandLineSpelling {
    const char* literal = nullptr;  ///< searched anywhere in the text, case-sensitive
    OptionForm form = OptionForm::None;
    int flag_value = 0;                ///< what a Flag stores (0 or 1)
    const char* help = nullptr;        ///< one line for the usage text
    const char* value_name = nullptr;  ///< what a Text value is, for the usage text ("PATH")
};

/// How the options file stores a field.
enum class FileForm : uint8_t {
    None,          ///< not in the file
    Int,           ///< "%d"; read as irrXML's integer
    Bool,          ///< "0"/"1"; read true only for 1
    Real,          ///< `write_format`; read as irrXML's real
    WholeReal,     ///< `write_format`; read as a whole number
    RunMode,       ///< "BENCHMARK" or "STABILITY_TEST"
    ParticleType,  ///< "SMILEY", "LAVA" or "POINT"
    Text,          ///< the text, escaped; written only when not empty
};

struct SettingField {
    const char* name;  ///< the field's name, which is also its attribute in the file
    FieldRef ref;
    double default_value;            ///< numbers and flags; text fields default to empty
    CommandLineSpelling options[2];  ///< applied in this order: the second wins
    FileForm file = FileForm::None;
    const char* write_format = nullptr;  ///< for reals in the file
    uint8_t read_rank = 0;               ///< place in the reader's walk over the attributes, from 1
    uint8_t write_rank = 0;              ///< place in the written element, from 1
};

/// A run of table rows (the options-file reader is built as C++17, so no std::span).
template <typename T>
struct Rows {
    const T* first = nullptr;
    size_t count = 0;
    const T* begin() const { return first; }
    const T* end() const { return first + count; }
    size_t size() const { return count; }
    const T& front() const { return *first; }
};

/// Every field, in record order.
Rows<SettingField> settingFields();

/// The same rows, in the orders the options file is read and written.
Rows<const SettingField*> settingFieldsInReadOrder();
Rows<const SettingField*> settingFieldsInWriteOrder();

/// True when the field holds the same value in both records (texts compared as strings).
bool sameField(const SettingField& field, const StartupOptions& a, const StartupOptions& b);

/// True when every field of the table is the same in both records.
bool sameSettings(const StartupOptions& a, const StartupOptions& b);

/// Every field of the record as a value, in table order.
std::vector<SettingValue> settingValues(const StartupOptions& options);

}  // namespace plashwerk
