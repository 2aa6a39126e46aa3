#include "results/score_submission.h"

#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>

#include "platform/engine/vn_trace_mgr.h"
#include "platform/program/program_info.h"

namespace plashwerk {

namespace {

// Truncation toward zero as a C cast does, but defined for every float: NaN reads as 0 and
// values beyond the int range stop at its ends.
int truncated(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483520.0f) return INT_MAX;
    if (value <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(value);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The chunks of a chunked body joined. Complete once the last (empty) chunk is in.
ReplyProgress readChunks(std::string_view data, std::string& body) {
    body.clear();
    while (true) {
        const std::size_t line_end = data.find("\r\n");
        if (line_end == std::string_view::npos) return ReplyProgress::Incomplete;
        std::string_view size_text = data.substr(0, line_end);
        size_text = trimmed(size_text.substr(0, size_text.find(';')));
        std::size_t size = 0;
        const char* end = size_text.data() + size_text.size();
        const auto parsed = std::from_chars(size_text.data(), end, size, 16);
        if (size_text.empty() || size_text.size() > 8 || parsed.ec != std::errc() ||
            parsed.ptr != end) {
            return ReplyProgress::Failed;
        }
        data.remove_prefix(line_end + 2);
        if (size == 0) return ReplyProgress::Complete;  // trailers are not needed
        if (data.size() < size + 2) return ReplyProgress::Incomplete;
        if (data.substr(size, 2) != "\r\n") return ReplyProgress::Failed;
        body.append(data.substr(0, size));
        data.remove_prefix(size + 2);
    }
}

using SteadyClock = std::chrono::steady_clock;

int millisecondsLeft(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
            .count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// Waits until the socket is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, SteadyClock::time_point deadline) {
    while (true) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, millisecondsLeft(deadline));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

// A non-blocking connection to one resolved address, within the deadline.
int connectTo(const addrinfo& address, SteadyClock::time_point deadline) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0) return -1;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return fd;
    if (errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline)) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) return fd;
    }
    ::close(fd);
    return -1;
}

// Tries the resolved addresses in order ("localhost" may give ::1 first to a server that
// listens on 127.0.0.1 only).
int connectToSite(const ScoreSite& site, SteadyClock::time_point deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(site.port);
    const int status = ::getaddrinfo(site.host.c_str(), port.c_str(), &hints, &found);
    if (status != 0) {
        Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_ERROR, "Score server %s not found: %s",
                              site.host.c_str(), ::gai_strerror(status));
        return -1;
    }
    int fd = -1;
    for (const addrinfo* a = found; a && fd < 0 && millisecondsLeft(deadline) > 0; a = a->ai_next)
        fd = connectTo(*a, deadline);
    ::freeaddrinfo(found);
    if (fd < 0)
        Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_ERROR, "No connection to the score server %s",
                              scoreSiteAuthority(site).c_str());
    return fd;
}

bool sendAll(int fd, std::string_view data, SteadyClock::time_point deadline) {
    while (!data.empty()) {
        const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd, POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

// Reads until the reply is complete, the server closes, the reply grows too long or the
// deadline passes.
ReplyProgress receiveReply(int fd, const ScoreClientLimits& limits,
                           SteadyClock::time_point deadline, std::string& body) {
    std::string received;
    char buffer[4096];
    while (true) {
        if (!waitFor(fd, POLLIN, deadline)) return ReplyProgress::Failed;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (got < 0) return ReplyProgress::Failed;
        received.append(buffer, static_cast<std::size_t>(got));
        if (received.size() > limits.max_reply_bytes) return ReplyProgress::Failed;
        const ReplyProgress progress = readScoreReply(received, got == 0, body);
        if (progress != ReplyProgress::Incomplete) return progress;
        if (got == 0) return ReplyProgress::Failed;
    }
}

}  // namespace

ScoreRecord makeScoreRecord(const ScoreSubmissionInputs& in, std::string_view mac_address) {
    const RunResult& res = in.result;
    ScoreRecord r;
    r.global_score = res.global_score;
    r.max_time_ms = static_cast<int>(std::min<uint32_t>(in.max_time_ms, INT_MAX));
    r.time_based = in.time_based ? 1 : 0;
    r.width = in.width;
    r.height = in.height;
    r.msaa = in.msaa;
    r.fullscreen = in.fullscreen ? 1 : 0;
    r.gpu_vendor_id = in.gpu_vendor_id;
    r.gpu_device_id = in.gpu_device_id;
    r.cpu_mhz = in.cpu_mhz;
    r.gpu_count = in.gpu_count;
    r.nickname = in.nickname.substr(0, 63);
    r.cpu_name = in.cpu_name;
    r.os_name = in.os_name;
    r.renderer = in.renderer;
    r.driver = in.driver;
    r.mac_address.assign(mac_address);
    r.physx_system_version = in.physx_system_version;
    r.physx_device = res.physx_on_gpu ? 2 : 1;
    r.start_temperature = truncated(res.start_temperature);
    r.end_temperature = truncated(res.end_temperature);
    const bool has_gpu = !in.gpus.empty();
    r.core_clock_max = truncated(has_gpu ? in.gpus[0].max_core_clock : res.gpu_core_clock_max);
    r.memory_clock_max =
        truncated(has_gpu ? in.gpus[0].max_memory_clock : res.gpu_memory_clock_max);
    r.run_details = {res.global_score,
                     truncated(res.physx_score),
                     truncated(res.graphx_score),
                     in.num_particles,
                     in.num_fluid_emitters,
                     in.multithreaded_physx ? 1 : 0,
                     in.threads_sync ? 0 : 1,
                     in.add_post_fx ? 1 : 0,
                     truncated(in.particles_lifetime),
                     in.emitter_rate,
                     in.use_sph ? 1 : 0,
                     truncated(in.physx_fluid_velocity),
                     res.sps_avg,
                     res.fps_avg,
                     in.multicore_cpu_physx ? 1 : 0};
    for (std::size_t i = 0; i < r.gpus.size() && i < in.gpus.size(); ++i) {
        const ScoreGpuMaxima& g = in.gpus[i];
        r.gpus[i] = {true,
                     g.vendor_id,
                     g.device_id,
                     truncated(g.max_core_clock),
                     truncated(g.max_memory_clock),
                     truncated(g.max_vddc * 1000.0f),
                     truncated(g.max_celsius),
                     truncated(g.max_gpu_load),
                     truncated(g.max_gpu_power)};
    }
    r.account_email = in.email.substr(0, 30);
    r.account_password = "NULL";
    return r;
}

std::string chooseMacAddress(const std::vector<NetworkAdapter>& adapters, bool listed) {
    static constexpr char kNone[] = "00-00-00-00-00-00";
    if (!listed) return kNone;
    for (const NetworkAdapter& adapter : adapters) {
        if (adapter.loopback || adapter.address.empty()) continue;
        bool all_zero = true;
        for (uint8_t byte : adapter.address) all_zero = all_zero && byte == 0;
        if (all_zero) continue;
        std::string text;
        for (std::size_t i = 0; i < adapter.address.size(); ++i) {
            char pair[4];
            std::snprintf(pair, sizeof pair, "%02X", adapter.address[i]);
            if (i > 0) text.push_back('-');
            text += pair;
        }
        return text;
    }
    return kNone;
}

bool listNetworkAdapters(std::vector<NetworkAdapter>& adapters) {
    adapters.clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET) continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
        NetworkAdapter adapter;
        adapter.name = a->ifa_name ? a->ifa_name : "";
        adapter.loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
        const std::size_t length = std::min<std::size_t>(link->sll_halen, sizeof link->sll_addr);
        adapter.address.assign(link->sll_addr, link->sll_addr + length);
        adapters.push_back(std::move(adapter));
    }
    ::freeifaddrs(list);
    return true;
}

std::string buildScoreRequest(const ScoreSite& site, const ScoreRecord& record) {
    const ScrambledPayload wire = scrambleScorePayload(buildScorePayload(record));
    char agent[128];
    std::snprintf(agent, sizeof agent, "Quorvex_%s_v%d.%d.%d_Build_%s_at_%s", kAppName,
                  kVersionMajor, kVersionMinor, kVersionBugfix, kBuildDate, kBuildTime);
    std::string request = "GET " + scoreSubmitPath(wire.hex, wire.checksum) + " HTTP/1.1\r\n";
    request += "Host: " + scoreSiteAuthority(site) + "\r\n";
    request += std::string("User-Agent: ") + agent + "\r\n";
    request += std::string("Referer: ") + agent + "\r\n\r\n";
    return request;
}

ReplyProgress readScoreReply(std::string_view received, bool closed, std::string& body) {
    const std::size_t header_end = received.find("\r\n\r\n");
    if (!startsWithNoCase(received, "HTTP/")) {
        // Not HTTP (or not yet five bytes): the text sent until the server closed is the answer.
        if (!closed) return ReplyProgress::Incomplete;
        body.assign(received);
        return ReplyProgress::Complete;
    }
    if (header_end == std::string_view::npos)
        return closed ? ReplyProgress::Failed : ReplyProgress::Incomplete;
    std::string_view headers = received.substr(0, header_end);
    const std::string_view content = received.substr(header_end + 4);

    const std::size_t status_end = headers.find("\r\n");
    const std::string_view status_line = headers.substr(0, status_end);
    const std::size_t space = status_line.find(' ');
    if (space == std::string_view::npos || status_line.size() < space + 4 ||
        status_line[space + 1] != '2') {
        return ReplyProgress::Failed;
    }

    bool chunked = false;
    bool has_length = false;
    std::size_t length = 0;
    headers.remove_prefix(status_end == std::string_view::npos ? headers.size() : status_end + 2);
    while (!headers.empty()) {
        const std::size_t line_end = headers.find("\r\n");
        const std::string_view line = headers.substr(0, line_end);
        headers.remove_prefix(line_end == std::string_view::npos ? headers.size() : line_end + 2);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view name = trimmed(line.substr(0, colon));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (name.size() == 17 && startsWithNoCase(name, "transfer-encoding")) {
            chunked = startsWithNoCase(value, "chunked");
        } else if (name.size() == 14 && startsWithNoCase(name, "content-length")) {
            const char* end = value.data() + value.size();
            const auto parsed = std::from_chars(value.data(), end, length);
            if (value.empty() || parsed.ec != std::errc() || parsed.ptr != end)
                return ReplyProgress::Failed;
            has_length = true;
        }
    }
    if (chunked) {
        const ReplyProgress progress = readChunks(content, body);
        if (progress == ReplyProgress::Incomplete && closed) return ReplyProgress::Failed;
        return progress;
    }
    if (has_length) {
        if (content.size() < length)
            return closed ? ReplyProgress::Failed : ReplyProgress::Incomplete;
        body.assign(content.substr(0, length));
        return ReplyProgress::Complete;
    }
    if (!closed) return ReplyProgress::Incomplete;
    body.assign(content);
    return ReplyProgress::Complete;
}

int parseScoreReply(std::string_view body) {
    // Our server answers "[id]" and nothing else. Any other web server on the address (the
    // default is port 80 of this machine) answers pages and JSON that may hold brackets too,
    // so only the whole body, blanks around it aside, counts.
    constexpr std::string_view kBlanks = " \t\r\n\v\f";
    const std::size_t first = body.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return -1;
    body = body.substr(first, body.find_last_not_of(kBlanks) - first + 1);
    if (body.size() < 3 || body.front() != '[' || body.back() != ']') return -1;
    const std::string_view digits = body.substr(1, body.size() - 2);
    if (digits.find_first_not_of("0123456789") != std::string_view::npos) return -1;
    int value = 0;
    const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (parsed.ec != std::errc() || value < 1) return -1;  // beyond an int, or no entry 0
    return value;
}

int submitScore(const ScoreSite& site, const ScoreRecord& record, const ScoreClientLimits& limits) {
    const auto timeout = std::chrono::milliseconds(limits.timeout_ms);
    const int fd = connectToSite(site, SteadyClock::now() + timeout);
    if (fd < 0) return -1;
    const auto deadline = SteadyClock::now() + timeout;
    std::string body;
    int id = -1;
    if (!sendAll(fd, buildScoreRequest(site, record), deadline)) {
        Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_ERROR, "Sending the score failed");
    } else if (receiveReply(fd, limits, deadline, body) != ReplyProgress::Complete) {
        Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_ERROR,
                              "The score server gave no complete reply in %d ms",
                              limits.timeout_ms);
    } else {
        id = parseScoreReply(body);
        if (id < 0)
            Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_ERROR,
                                  "The score server's reply holds no entry id: \"%.80s\"",
                                  body.c_str());
    }
    ::close(fd);
    if (id >= 0) Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_INFO, "Score submitted: entry %d", id);
    return id;
}

int submitScoreFromInputs(const ScoreSite& site, const ScoreSubmissionInputs& in) {
    std::vector<NetworkAdapter> adapters;
    const bool listed = listNetworkAdapters(adapters);
    return submitScore(site, makeScoreRecord(in, chooseMacAddress(adapters, listed)));
}

}  // namespace plashwerk
