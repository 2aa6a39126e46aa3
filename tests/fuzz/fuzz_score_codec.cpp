// Any bytes as a submission's query values: the decoder must neither crash nor read out of
// bounds, and whatever it accepts must encode back to the same payload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "results/score_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // "HEX&CHECKSUM", the way the request's query carries them.
    const std::size_t amp = input.find('&');
    const std::string_view hex = input.substr(0, amp);
    const std::string_view sum = amp == std::string_view::npos ? "" : input.substr(amp + 1);
    plashwerk::decodeScoreSubmission(hex, sum);

    // The input as a payload itself: an accepted one is the payload its record builds.
    const plashwerk::ScoreDecodeResult parsed = plashwerk::parseScorePayload(input);
    if (parsed.ok) {
        const std::string again = plashwerk::buildScorePayload(parsed.record);
        if (plashwerk::parseScorePayload(again).record != parsed.record) std::abort();
    }
    return 0;
}
