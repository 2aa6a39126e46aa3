#pragma once
// The command line of plashwerk-scores.

#include <string>
#include <vector>

namespace plashwerk::server {

struct ServerOptions {
    int port = 8080;
    std::string db_path = "scores.sqlite";
    int threads = 32;
    std::string bind_address = "127.0.0.1";  ///< loopback unless told otherwise
    int request_timeout = 5;                 ///< seconds a whole request may take to arrive
    int max_per_address = 16;                ///< open connections from one client address
    int submit_rate = 10;  ///< submissions a minute from one client address; 0: no limit
    std::vector<std::string> trusted_proxies;  ///< peers whose X-Forwarded-For is believed
    bool help = false;
};

/// Reads "--port N --db PATH --threads N --bind ADDR --request-timeout S --max-per-address N
/// --submit-rate N --trusted-proxy ADDR --help" (also "--name=value"); false with the reason in
/// error for an unknown option, a missing or bad value.
bool parseServerOptions(const std::vector<std::string>& args, ServerOptions& options,
                        std::string& error);

std::string serverUsage();

}  // namespace plashwerk::server
