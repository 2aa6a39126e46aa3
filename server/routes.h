#pragma once
// The score site over HTTP: the limits a server facing the internet needs, its bounded
// worker pool, and the routes (submission, pages, redirects, JSON).

#include <httplib.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "server/score_store.h"

namespace plashwerk::server {

struct ServerLimits {
    int threads = 32;                  ///< workers; each serves one connection at a time
    size_t max_queued = 1024;          ///< accepted connections waiting for a worker
    size_t max_target = 4096;          ///< request path and query, bytes; a submission is < 2100
    size_t max_body = 4096;            ///< request body, bytes (no route takes one)
    int timeout_seconds = 5;           ///< read and write time-out of a connection
    size_t keep_alive_requests = 100;  ///< requests on one connection before it is closed
};

/// Applies the limits, the worker pool and every route to the server; the store must
/// outlive it.
void configureServer(httplib::Server& server, ScoreStore& store, const ServerLimits& limits);

/// Query values as the routes accept them; nullopt for anything else.
std::optional<int64_t> parseId(std::string_view text);  ///< 1 to 2^63-1, digits only
std::optional<int> parsePage(std::string_view text);    ///< 1 to 100000, digits only
std::optional<GpuId> parseGpu(std::string_view text);   ///< "VVVV:DDDD", hex

/// The address /redirect?id=N sends a browser to; nullopt for an unknown id.
std::optional<std::string> redirectTarget(int64_t id, std::optional<int64_t> entry);

}  // namespace plashwerk::server
