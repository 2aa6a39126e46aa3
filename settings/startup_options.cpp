#include "settings/startup_options.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/thread/thread_util.h"
#include "settings/settings_fields.h"

namespace plashwerk {

namespace {

// "%d" as a scan reads it: optional blanks, an optional sign, then decimal digits (leading
// zeros stay decimal, "0x" reads as 0). Values beyond the int range saturate instead of
// wrapping.
bool scanInt(const char* text, int& out) {
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 10);
    if (end == text) return false;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    out = static_cast<int>(value);
    return true;
}

// "%f" as a scan reads it; values that are not finite numbers are refused, since no
// setting has a meaning for NaN or infinity.
bool scanFloat(const char* text, float& out) {
    char* end = nullptr;
    float value = std::strtof(text, &end);
    if (end == text || !std::isfinite(value)) return false;
    out = value;
    return true;
}

// The number after "literal=" when the match continues with "=", else null.
const char* valueAfter(const char* match, const char* literal) {
    const size_t n = std::strlen(literal);
    const char* after = match + n;
    if (n > 0 && literal[n - 1] == '=') return after;
    return *after == '=' ? after + 1 : nullptr;
}

void applySpelling(StartupOptions& o, const FieldRef& r, const CommandLineSpelling& spelling,
                   const char* match) {
    const char* value =
        spelling.form == OptionForm::Flag ? nullptr : valueAfter(match, spelling.literal);
    int number = 0;
    switch (spelling.form) {
        case OptionForm::None:
            break;
        case OptionForm::Flag:
            if (r.int_field) o.*r.int_field = spelling.flag_value;
            if (r.bool_field) o.*r.bool_field = spelling.flag_value != 0;
            break;
        case OptionForm::Number:
        case OptionForm::Count:
            if (r.float_field) {
                float real = 0.0f;
                if (value && scanFloat(value, real)) o.*r.float_field = real;
            } else if (value && scanInt(value, number)) {
                if (spelling.form == OptionForm::Count && number == 0) number = 1;
                o.*r.int_field = number;
            }
            break;
        case OptionForm::OnIfNonZero:
            if (!value || !scanInt(value, number)) number = 0;
            o.*r.bool_field = number != 0;
            break;
        case OptionForm::Text:
            break;  // read by takeTextValues before the other options
    }
}

// The text after "literal=": up to the next blank, or between double quotes when it opens
// with one (a value with blanks, such as a path, arrives quoted); an unclosed quote takes
// the rest of the line. `span` gets how many characters of the line the value takes,
// quotes included.
std::string textValue(const char* value, size_t& span) {
    if (*value == '"') {
        const char* close = std::strchr(value + 1, '"');
        const size_t n = close ? static_cast<size_t>(close - value - 1) : std::strlen(value + 1);
        span = n + (close ? 2 : 1);
        return std::string(value + 1, n);
    }
    span = std::strcspn(value, " ");
    return std::string(value, span);
}

// The text-valued option whose literal starts at `at`, or null.
const SettingField* textOptionAt(const std::string& line, size_t at, size_t& literal_length) {
    for (const SettingField& field : settingFields()) {
        for (const CommandLineSpelling& spelling : field.options) {
            if (spelling.form != OptionForm::Text || !field.ref.string_field) continue;
            literal_length = std::strlen(spelling.literal);
            if (line.compare(at, literal_length, spelling.literal) == 0) return &field;
        }
    }
    return nullptr;
}

// Reads the text-valued options first, walking the line from left to right and stepping over
// each value as it is taken, then blanks them in the working copy of the line. So no value is
// ever searched for options: a path such as "/tmp/log_score/out.json" does not switch
// /log_score on, and "/results_json=/tmp/score_server=x.json" is one path, not a path and a
// server. Of an option given twice, the first one counts.
void takeTextValues(StartupOptions& o, std::string& line) {
    std::vector<const SettingField*> taken;
    size_t at = 0;
    while (at < line.size()) {
        size_t literal_length = 0;
        const SettingField* field = textOptionAt(line, at, literal_length);
        if (!field) {
            ++at;
            continue;
        }
        size_t span = 0;
        std::string value = textValue(line.c_str() + at + literal_length, span);
        if (std::find(taken.begin(), taken.end(), field) == taken.end()) {
            o.*field->ref.string_field = std::move(value);
            taken.push_back(field);
        }
        line.replace(at, literal_length + span, literal_length + span, ' ');
        at += literal_length + span;
    }
}

}  // namespace

void setDefaultStartupOptions(StartupOptions& o) {
    o = StartupOptions{};
    for (const SettingField& field : settingFields()) {
        const FieldRef& r = field.ref;
        if (r.int_field) o.*r.int_field = static_cast<int>(field.default_value);
        if (r.bool_field) o.*r.bool_field = field.default_value != 0.0;
        if (r.float_field) o.*r.float_field = static_cast<float>(field.default_value);
        if (r.text_field) (o.*r.text_field)[0] = '\0';
        if (r.string_field) (o.*r.string_field).clear();
    }
    o.num_cpu_cores = logicalProcessorCount();
}

// Each option is searched over the whole text, whatever the words around it; of a field's
// two spellings the second is applied last and wins (/nofullscreen beats /fullscreen).
void parseCommandLine(StartupOptions& options, const char* command_line) {
    if (!command_line) return;
    std::string line = command_line;
    takeTextValues(options, line);
    for (const SettingField& field : settingFields()) {
        for (const CommandLineSpelling& spelling : field.options) {
            if (spelling.form == OptionForm::None || spelling.form == OptionForm::Text) continue;
            if (const char* match = std::strstr(line.c_str(), spelling.literal))
                applySpelling(options, field.ref, spelling, match);
        }
    }
}

namespace {

std::string optionSpelling(const SettingField& field, const CommandLineSpelling& spelling) {
    std::string text = spelling.literal;
    const bool has_equals = !text.empty() && text.back() == '=';
    const char* value = field.ref.float_field ? "X" : "N";
    switch (spelling.form) {
        case OptionForm::None:
        case OptionForm::Flag:
            break;
        case OptionForm::Number:
        case OptionForm::Count:
            text += std::string(has_equals ? "" : "=") + value;
            break;
        case OptionForm::OnIfNonZero:
            text += "[=N]";
            break;
        case OptionForm::Text:
            text += spelling.value_name ? spelling.value_name : "TEXT";
            break;
    }
    return text;
}

std::string defaultText(const SettingField& field) {
    char text[64];
    if (field.ref.string_field) return "none";
    if (field.ref.float_field)
        std::snprintf(text, sizeof text, "%g", field.default_value);
    else
        std::snprintf(text, sizeof text, "%d", static_cast<int>(field.default_value));
    return text;
}

}  // namespace

std::string formatUsage() {
    std::string usage =
        "Usage: plashwerk [options]\n"
        "Options may stand anywhere on the command line, in any order; of two options for\n"
        "one setting the later one in this list wins. Settings not given come from\n"
        "startup_options.xml (--paths shows where it is read), else from the defaults shown.\n\n";
    for (const SettingField& field : settingFields()) {
        for (const CommandLineSpelling& spelling : field.options) {
            if (spelling.form == OptionForm::None) continue;
            char line[512];
            std::snprintf(line, sizeof line, "  %-40s %s [%s, default %s]\n",
                          optionSpelling(field, spelling).c_str(), spelling.help, field.name,
                          defaultText(field).c_str());
            usage += line;
        }
    }
    usage += "  --help, -h, /?                           show this text and exit\n";
    usage +=
        "  --paths                                  show where each file is read and written, "
        "and exit\n";
    return usage;
}

bool isHelpRequest(const char* argument) {
    return argument && (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0 ||
                        std::strcmp(argument, "/?") == 0);
}

std::string joinCommandLine(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc && argv[i]; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

void applyPreset(StartupOptions& o, Preset preset, const PresetDialogState* dialog) {
    const bool p1080 = preset == Preset::P1080;
    o.fullscreen = 1;
    o.width = p1080 ? 1920 : 1280;
    o.height = p1080 ? 1080 : 720;
    o.num_fluid_emitters = p1080 ? 7 : 3;
    o.num_particles = p1080 ? 60000 : 30000;
    o.msaa = 0;
    o.increase_graphx_workload = true;
    o.xtreme_burning = 0;
    o.log_temperature = false;
    o.add_post_fx = false;
    o.multithreaded_physx = true;
    o.multicore_cpu_physx = true;
    o.threads_sync = true;
    o.unlock_cpu_cores_number = false;
    o.max_time = 60000;
    o.time_based_benchmark = true;
    o.run_mode = int(RunMode::Benchmark);
    o.particle_type = 2;
    o.preset_run = true;
    o.alt_physx_threading = false;
    if (dialog) {
        o.physx_cpu = !dialog->physx_gpu_checked;
        o.z2o_physx_gpu_mem = dialog->z2o_checked;
    }
}

}  // namespace plashwerk
