#pragma once
// Entries and stores for the score server's tests.

#include <memory>
#include <string>

#include "server/score_store.h"
#include "tests/support/files.h"

namespace plashwerk::test {

/// A plausible entry: a 60 s benchmark on one GPU; the caller changes what a test is about.
inline server::ScoreEntry makeEntry(int score, std::string renderer = "Mesa llvmpipe",
                                    int vendor_id = 0x10de, int device_id = 0x2684,
                                    std::string nickname = "Anonymous") {
    server::ScoreEntry entry;
    entry.global_score = score;
    entry.max_time_ms = 60000;
    entry.time_based = 1;
    entry.width = 1920;
    entry.height = 1080;
    entry.msaa = 4;
    entry.gpu_vendor_id = vendor_id;
    entry.gpu_device_id = device_id;
    entry.cpu_mhz = 3600;
    entry.gpu_count = 1;
    entry.nickname = std::move(nickname);
    entry.cpu_name = "AMD Ryzen 7 5800X";
    entry.os_name = "Debian GNU/Linux 12";
    entry.renderer = std::move(renderer);
    entry.driver = "Mesa 22.3.6";
    entry.mac_address = "00-11-22-33-44-55";
    entry.physx_device = 1;
    entry.temperatures = "41_67";
    entry.clocks = "1800_7000_0";
    entry.run_details = std::to_string(score) + "_1200_3400_60000_4_1_0_1_8_250_1_2_45_30_1";
    entry.gpus[0] = {vendor_id, device_id, "1800_7000_1050_67_99_220"};
    entry.account_email = "NULL";
    return entry;
}

/// A fresh database in a temporary folder.
struct TempStore {
    TempFolder folder{"plashwerk_scores"};
    std::string path = folder.path() + "/scores.sqlite";
    std::unique_ptr<server::ScoreStore> store = open();

    std::unique_ptr<server::ScoreStore> open() {
        std::string error;
        auto opened = server::ScoreStore::open(path, error);
        if (!opened) ADD_FAILURE() << "cannot open " << path << ": " << error;
        return opened;
    }
};

}  // namespace plashwerk::test
