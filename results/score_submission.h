#pragma once
// Sending a finished benchmark's score to the score server.
//
// Contents:
//   - ScoreSubmissionInputs: everything the record is made from, handed in by the dialog
//   - makeScoreRecord: the 36 fields from those inputs
//   - NetworkAdapter, chooseMacAddress, listNetworkAdapters: the hardware address field
//   - buildScoreRequest, readScoreReply, parseScoreReply: the HTTP exchange, piece by piece
//   - submitScore: the whole exchange over a TCP connection; the entry id or -1
//
// The account password typed in the dialog is never sent: our server keeps no accounts, and
// a password in a GET query over plain HTTP would be readable on the way and in every log.
// "NULL" goes in its place.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "results/score_codec.h"
#include "results/score_site.h"
#include "run/run_state.h"

namespace plashwerk {

/// One monitored GPU's run maxima, as the monitor keeps them.
struct ScoreGpuMaxima {
    int vendor_id = 0;
    int device_id = 0;
    float max_core_clock = 0.0f;    ///< MHz
    float max_memory_clock = 0.0f;  ///< MHz
    float max_vddc = 0.0f;          ///< V
    float max_celsius = 0.0f;
    float max_gpu_load = 0.0f;   ///< %
    float max_gpu_power = 0.0f;  ///< % of TDP
};

/// What a submission is made from.
struct ScoreSubmissionInputs {
    RunResult result;  ///< the finished benchmark
    // The run.
    uint32_t max_time_ms = 0;
    bool time_based = true;
    int width = 0;  ///< client size of the main window
    int height = 0;
    int msaa = 0;  ///< multisample count read back from the render window
    bool fullscreen = false;
    // The hardware report.
    int gpu_vendor_id = 0;  ///< main graphics adapter
    int gpu_device_id = 0;
    int cpu_mhz = 0;
    std::string cpu_name;
    std::string os_name;
    std::string renderer;  ///< OpenGL renderer name
    std::string driver;
    // The GPU monitor: the count found and the maxima of each, in monitoring order.
    int gpu_count = 0;
    std::vector<ScoreGpuMaxima> gpus;
    // The settings of the run.
    int physx_system_version = 0;
    int num_particles = 0;
    int num_fluid_emitters = 0;
    bool multithreaded_physx = false;
    bool threads_sync = true;
    bool add_post_fx = false;
    float particles_lifetime = 0.0f;  ///< s
    int emitter_rate = 0;             ///< particles per second of an emitter, as run
    bool use_sph = true;
    float physx_fluid_velocity = 0.0f;
    bool multicore_cpu_physx = false;
    // The results dialog. The password box is deliberately not among them.
    std::string nickname;  ///< at most 63 characters are kept
    std::string email;     ///< at most 30 characters are kept
};

/// The record to send. `mac_address` is the hardware address text (chooseMacAddress).
ScoreRecord makeScoreRecord(const ScoreSubmissionInputs& in, std::string_view mac_address);

/// One network interface as the system lists it.
struct NetworkAdapter {
    std::string name;
    bool loopback = false;
    std::vector<uint8_t> address;  ///< hardware address bytes; empty when it has none
};

/// The address of the first adapter that has one (loopback and all-zero addresses do not
/// count), as upper-case hex pairs joined by "-"; "00-00-00-00-00-00" when the list could
/// not be read (`listed` false) or no adapter has an address.
std::string chooseMacAddress(const std::vector<NetworkAdapter>& adapters, bool listed);

/// The system's interfaces with their hardware addresses (getifaddrs, packet family), in
/// the order the system gives them. False when the list cannot be read.
bool listNetworkAdapters(std::vector<NetworkAdapter>& adapters);

/// The request bytes: the GET line with the scrambled payload and checksum, then exactly the
/// Host, User-Agent and Referer lines.
std::string buildScoreRequest(const ScoreSite& site, const ScoreRecord& record);

/// Where a reply being read stands.
enum class ReplyProgress { Incomplete, Complete, Failed };

/// Looks at the bytes received so far. Complete when the headers and the body they announce
/// (Content-Length, or chunks up to the last) are in, or, without either, when the server
/// has closed (`closed`). `body` then holds the body (chunks joined). Failed for a reply
/// that is not a success (status other than 2xx) or whose framing is broken.
ReplyProgress readScoreReply(std::string_view received, bool closed, std::string& body);

/// The entry id in a reply body: the body, trimmed of white space, must be exactly "[", one
/// or more decimal digits and "]", with a value from 1 to INT_MAX. -1 for anything else (a
/// page or a JSON document that merely holds brackets, "[]", "[0]", "[12ab]", " [1] x").
int parseScoreReply(std::string_view body);

struct ScoreClientLimits {
    int timeout_ms = 5000;                    ///< connecting, and separately sending and reading
    std::size_t max_reply_bytes = 64 * 1024;  ///< a longer reply is refused
};

/// Connects to the site, sends the record and reads the reply. The entry id, or -1 on any
/// failure (name not found, no connection, send error, no complete reply in time, a reply
/// without a valid id). Blocks for at most about twice the timeout.
int submitScore(const ScoreSite& site, const ScoreRecord& record,
                const ScoreClientLimits& limits = {});

/// The whole submission as the results dialog calls it: the record from the inputs with this
/// machine's hardware address, sent to `site`.
int submitScoreFromInputs(const ScoreSite& site, const ScoreSubmissionInputs& in);

}  // namespace plashwerk
