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
    bool help = false;
};

/// Reads "--port N --db PATH --threads N --bind ADDR --help" (also "--name=value"); false
/// with the reason in error for an unknown option, a missing or bad value.
bool parseServerOptions(const std::vector<std::string>& args, ServerOptions& options,
                        std::string& error);

std::string serverUsage();

}  // namespace plashwerk::server
