#include "server/score_entry.h"

#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace plashwerk::server {

RunDetails parseRunDetails(const std::string& text) {
    int values[15] = {};
    size_t at = 0;
    for (int i = 0; i < 15; ++i) {
        size_t end = text.find('_', at);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(at, end - at);
        size_t used = 0;
        try {
            values[i] = std::stoi(part, &used);
        } catch (const std::exception&) {
            return {};
        }
        if (used != part.size() || (i < 14) != (end < text.size())) return {};
        at = end + 1;
    }
    return {values[0],  values[1],  values[2],  values[3],  values[4],
            values[5],  values[6],  values[7],  values[8],  values[9],
            values[10], values[11], values[12], values[13], values[14]};
}

std::optional<std::vector<int>> parseNumbers(std::string_view text, size_t count) {
    std::vector<int> values;
    while (values.size() < count) {
        int value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc()) return std::nullopt;
        values.push_back(value);
        text.remove_prefix(static_cast<size_t>(end - text.data()));
        if (values.size() < count) {
            if (text.empty() || text.front() != '_') return std::nullopt;
            text.remove_prefix(1);
        }
    }
    if (!text.empty()) return std::nullopt;
    return values;
}

SettingsKey SettingsKey::of(const ScoreEntry& entry) {
    const RunDetails details = parseRunDetails(entry.run_details);
    return {entry.width,
            entry.height,
            entry.msaa,
            details.num_particles,
            details.num_fluid_emitters,
            entry.physx_device == 2};
}

std::string SettingsKey::text() const {
    char text[96];
    std::snprintf(text, sizeof text, "%dx%d_msaa%d_p%d_e%d_%s", width, height, msaa, particles,
                  emitters, gpu_physics ? "gpu" : "cpu");
    return text;
}

std::optional<SettingsKey> SettingsKey::parse(std::string_view text) {
    if (text.size() > 80) return std::nullopt;
    SettingsKey key;
    char device[4] = "";
    int used = 0;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%6dx%6d_msaa%3d_p%9d_e%6d_%3[a-z]%n", &key.width, &key.height,
                    &key.msaa, &key.particles, &key.emitters, device, &used) != 6 ||
        static_cast<size_t>(used) != copy.size())
        return std::nullopt;
    if (std::string_view(device) != "cpu" && std::string_view(device) != "gpu") return std::nullopt;
    key.gpu_physics = device[0] == 'g';
    if (key.width < 0 || key.height < 0 || key.msaa < 0 || key.particles < 0 || key.emitters < 0)
        return std::nullopt;
    // Only the form text() writes: no signs, no leading zeros, no spaces.
    if (key.text() != text) return std::nullopt;
    return key;
}

}  // namespace plashwerk::server
