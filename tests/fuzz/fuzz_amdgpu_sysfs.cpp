// Any bytes as the text of an amdgpu sysfs file: the clock-level tables (pp_dpm_sclk,
// pp_dpm_mclk), the overdrive table (pp_od_clk_voltage) and the one-number hwmon and
// device files. The parsers must neither crash nor read out of bounds, and what they
// accept must stay within the limits the readers promise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/adl/amdgpu_sysfs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace plashwerk::amdgpu;
    const std::string text(reinterpret_cast<const char*>(data), size);

    DpmTable dpm;
    if (parseDpmTable(text, dpm)) {
        if (dpm.levels.empty() || dpm.levels.size() > kMaxDpmLevels) std::abort();
        if (dpm.current_level >= static_cast<int>(dpm.levels.size())) std::abort();
        for (const DpmLevel& level : dpm.levels)
            if (level.mhz < 0 || level.mhz > 100000) std::abort();
    }
    OdTable od;
    if (parseOdTable(text, od)) {
        if (od.sclk_mv.size() > kMaxDpmLevels || od.mclk_mv.size() > kMaxDpmLevels) std::abort();
    }
    long long value = 0;
    parseInteger(text, value);
    return 0;
}
