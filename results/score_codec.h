#pragma once
// The score record sent to the score server, and its wire form both ways.
//
// Sender side: ScoreRecord -> buildScorePayload (36 fields joined by "|", texts cleaned, at
// most 1023 characters) -> scrambleScorePayload (checksum, XOR with our key, upper-case hex).
// Receiver side: decodeScoreSubmission takes the hex text and the checksum text of a request
// and gives the record back, or the reason it was refused. parseScorePayload checks the 36
// fields one by one (count, type, length, range).
//
// Standard library only: the score server links this without the rest of the program.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plashwerk {

/// Fields of a record in the payload, and the GPU slots among them.
inline constexpr int kScoreFieldCount = 36;
inline constexpr int kScoreGpuSlots = 4;
/// Longest payload sent; a longer one is cut here (and then refused by the server).
inline constexpr std::size_t kScorePayloadMax = 1023;
/// Longest cleaned text field: the sender copies at most this many characters.
inline constexpr std::size_t kScoreTextMax = 127;
/// The one-byte scrambling key shared by the program and the score server. Below 0x80, so
/// scrambled 7-bit text stays 7-bit.
inline constexpr uint8_t kScoreScrambleKey = 0x2B;
/// Numbers in the run details field.
inline constexpr int kScoreRunDetails = 15;

/// One GPU slot of the record. An empty slot is sent as 0, 0, "0_0_0"; a filled one carries
/// the run maxima of that GPU, each truncated to a whole number.
struct ScoreGpuSlot {
    bool present = false;
    int vendor_id = 0;  ///< PCI vendor id, 0..0xFFFF
    int device_id = 0;  ///< PCI device id, 0..0xFFFF
    int core_clock_mhz = 0;
    int memory_clock_mhz = 0;
    int vddc_mv = 0;  ///< core voltage in millivolts
    int celsius = 0;
    int load_percent = 0;
    int power = 0;

    bool operator==(const ScoreGpuSlot&) const = default;
};

/// The 36 fields of a submission, in payload order. Texts marked "cleaned" are cleaned by
/// buildScorePayload (cleanScoreText); the others are formatted from numbers.
struct ScoreRecord {
    int global_score = 0;
    int max_time_ms = 0;
    int time_based = 0;  ///< 0/1
    int width = 0;
    int height = 0;
    int msaa = 0;
    int fullscreen = 0;  ///< 0/1
    int gpu_vendor_id = 0;
    int gpu_device_id = 0;
    int cpu_mhz = 0;
    int gpu_count = 0;
    std::string nickname;                           ///< cleaned; empty is sent as "Anonymous"
    std::string cpu_name;                           ///< cleaned
    std::string os_name;                            ///< cleaned
    std::string renderer;                           ///< cleaned
    std::string driver;                             ///< cleaned
    std::string mac_address = "00-00-00-00-00-00";  ///< "XX-XX-..." upper-case hex, or empty
    int physx_system_version = 0;
    int physx_device = 1;       ///< 2 when the simulation ran on a GPU, else 1
    int start_temperature = 0;  ///< whole degrees Celsius
    int end_temperature = 0;
    int core_clock_max = 0;  ///< whole MHz, first GPU; sent as "core_memory_0"
    int memory_clock_max = 0;
    /// global score, PhysX score, GraphX score, particles, emitters, multithreaded,
    /// asynchronous, post effects, particle lifetime (s), emitter rate, SPH, fluid velocity,
    /// SPS average, FPS average, CPU multicore.
    std::array<int, kScoreRunDetails> run_details{};
    std::array<ScoreGpuSlot, kScoreGpuSlots> gpus{};
    std::string account_email;     ///< cleaned
    std::string account_password;  ///< cleaned

    bool operator==(const ScoreRecord&) const = default;
};

/// Keeps at most the first 127 characters of `source`, then drops every character but
/// a-z, A-Z, 0-9, "@", "#", "/", space, "." and "-". An empty result is "NULL", so no text
/// field of the payload is ever empty.
std::string cleanScoreText(std::string_view source);

/// The "|"-separated payload of the 36 fields, texts cleaned, cut to 1023 characters.
std::string buildScorePayload(const ScoreRecord& record);

/// The payload's checksum (sum of its bytes taken as signed 8-bit numbers) and its scrambled
/// upper-case hex text, twice as long as the payload.
struct ScrambledPayload {
    std::string hex;
    uint32_t checksum = 0;
};
ScrambledPayload scrambleScorePayload(std::string_view payload);

/// What the receiver made of a submission: the record, or why it was refused.
struct ScoreDecodeResult {
    bool ok = false;
    ScoreRecord record;
    std::string error;  ///< one short English sentence when !ok
};

/// Reverses the hex encoding and the scrambling. False, with the reason in `error`, for an
/// empty, odd-length or too long text, a character that is not a hex digit, or a decoded
/// byte that is not printable 7-bit text. Sets `checksum` to the payload's checksum.
bool unscrambleScoreHex(std::string_view hex, std::string& payload, uint32_t& checksum,
                        std::string& error);

/// Splits a payload into exactly 36 fields and checks each for its type, length and range.
ScoreDecodeResult parseScorePayload(std::string_view payload);

/// The whole receiving side: `hex` and `checksum_text` as they came in the request's query
/// (d and s). The checksum text must be an unsigned decimal number equal to the payload's.
ScoreDecodeResult decodeScoreSubmission(std::string_view hex, std::string_view checksum_text);

}  // namespace plashwerk
