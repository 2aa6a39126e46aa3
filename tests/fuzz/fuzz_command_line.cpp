// Any bytes as a command line: the parser must neither crash nor read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/startup_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static plashwerk::StartupOptions defaults = [] {
        plashwerk::StartupOptions o;
        plashwerk::setDefaultStartupOptions(o);
        return o;
    }();
    plashwerk::StartupOptions o = defaults;
    const std::string text(reinterpret_cast<const char*>(data), size);
    plashwerk::parseCommandLine(o, text.c_str());
    return 0;
}
