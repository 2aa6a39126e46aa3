#include "server/submission.h"

#include "results/score_codec.h"

namespace plashwerk::server {

namespace {

std::string joined(std::initializer_list<int> values) {
    std::string text;
    for (const int value : values) {
        if (!text.empty()) text += '_';
        text += std::to_string(value);
    }
    return text;
}

}  // namespace

bool decodeSubmission(std::string_view hex, std::string_view checksum, ScoreEntry& entry,
                      std::string& error) {
    const ScoreDecodeResult decoded = decodeScoreSubmission(hex, checksum);
    if (!decoded.ok) {
        error = decoded.error;
        return false;
    }
    const ScoreRecord& r = decoded.record;
    ScoreEntry out;
    out.global_score = r.global_score;
    out.max_time_ms = r.max_time_ms;
    out.time_based = r.time_based;
    out.width = r.width;
    out.height = r.height;
    out.msaa = r.msaa;
    out.fullscreen = r.fullscreen;
    out.gpu_vendor_id = r.gpu_vendor_id;
    out.gpu_device_id = r.gpu_device_id;
    out.cpu_mhz = r.cpu_mhz;
    out.gpu_count = r.gpu_count;
    out.nickname = r.nickname;
    out.cpu_name = r.cpu_name;
    out.os_name = r.os_name;
    out.renderer = r.renderer;
    out.driver = r.driver;
    out.mac_address = r.mac_address;
    out.physx_system_version = r.physx_system_version;
    out.physx_device = r.physx_device;
    out.temperatures = joined({r.start_temperature, r.end_temperature});
    out.clocks = joined({r.core_clock_max, r.memory_clock_max, 0});
    std::string details;
    for (const int value : r.run_details) {
        if (!details.empty()) details += '_';
        details += std::to_string(value);
    }
    out.run_details = details;
    for (size_t slot = 0; slot < out.gpus.size(); ++slot) {
        const ScoreGpuSlot& gpu = r.gpus[slot];
        out.gpus[slot].vendor_id = gpu.vendor_id;
        out.gpus[slot].device_id = gpu.device_id;
        out.gpus[slot].maxima = gpu.present
                                    ? joined({gpu.core_clock_mhz, gpu.memory_clock_mhz, gpu.vddc_mv,
                                              gpu.celsius, gpu.load_percent, gpu.power})
                                    : "0_0_0";
    }
    // The password box is not sent by our program, and an account password has no place on
    // a server without accounts: it is dropped here. The e-mail is kept, never shown.
    out.account_email = r.account_email;
    entry = std::move(out);
    return true;
}

}  // namespace plashwerk::server
