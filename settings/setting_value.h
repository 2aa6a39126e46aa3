#pragma once
// One setting as a value, under its options-file name: how the settings of a run travel to
// what describes the run afterwards (the results document) without the settings record.

#include <string>

namespace plashwerk {

struct SettingValue {
    enum class Kind : unsigned char { Int, Bool, Real, Text };

    const char* name = "";  ///< the options-file attribute; points into the settings table
    Kind kind = Kind::Int;
    int int_value = 0;
    bool bool_value = false;
    float real_value = 0.0f;
    std::string text;  ///< bytes as stored; not necessarily UTF-8
};

}  // namespace plashwerk
