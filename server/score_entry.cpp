#include "server/score_entry.h"

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

}  // namespace plashwerk::server
