#pragma once
// The score site over HTTP: the routes (submission, pages, redirects, JSON) and the checks
// of their query values.

#include <httplib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/gpu_names.h"
#include "server/http_front.h"
#include "server/score_store.h"

namespace plashwerk::server {

/// What the site adds to the routes: the GPU names, and who may submit how often.
struct SiteSetup {
    std::shared_ptr<const GpuNames> names;     ///< null: the device tables' names only
    int submit_per_minute = 0;                 ///< per client address; 0: no limit
    std::vector<std::string> trusted_proxies;  ///< see clientAddress()
};

/// Sets every route and the limits on the target and body on the server (HttpFront::routes()
/// when served); the store must outlive it.
void configureServer(httplib::Server& server, ScoreStore& store, const ServerLimits& limits,
                     const SiteSetup& site = {});

/// Query values as the routes accept them; nullopt for anything else.
std::optional<int64_t> parseId(std::string_view text);  ///< 1 to 2^63-1, digits only
std::optional<int> parsePage(std::string_view text);    ///< 1 to 100000, digits only
std::optional<GpuId> parseGpu(std::string_view text);   ///< "VVVV:DDDD", hex

/// The address /redirect?id=N sends a browser to; nullopt for an unknown id.
std::optional<std::string> redirectTarget(int64_t id, std::optional<int64_t> entry);

}  // namespace plashwerk::server
