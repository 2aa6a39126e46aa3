#include "server/options.h"

#include <charconv>

namespace plashwerk::server {

namespace {

bool readInt(const std::string& text, int low, int high, int& value) {
    int read = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
    if (error != std::errc() || end != text.data() + text.size() || read < low || read > high)
        return false;
    value = read;
    return true;
}

}  // namespace

bool parseServerOptions(const std::vector<std::string>& args, ServerOptions& options,
                        std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool has_value = false;
        if (const size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            has_value = true;
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name != "--port" && name != "--db" && name != "--threads" && name != "--bind" &&
            name != "--request-timeout" && name != "--max-per-address" && name != "--submit-rate" &&
            name != "--trusted-proxy") {
            error = "unknown option " + name;
            return false;
        }
        if (!has_value) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (name == "--port" && !readInt(value, 0, 65535, options.port)) {
            error = "--port takes 0 to 65535";
            return false;
        }
        if (name == "--threads" && !readInt(value, 1, 1024, options.threads)) {
            error = "--threads takes 1 to 1024";
            return false;
        }
        if (name == "--request-timeout" && !readInt(value, 1, 600, options.request_timeout)) {
            error = "--request-timeout takes 1 to 600 seconds";
            return false;
        }
        if (name == "--max-per-address" && !readInt(value, 1, 100000, options.max_per_address)) {
            error = "--max-per-address takes 1 to 100000";
            return false;
        }
        if (name == "--submit-rate" && !readInt(value, 0, 1000000, options.submit_rate)) {
            error = "--submit-rate takes 0 to 1000000 a minute";
            return false;
        }
        if ((name == "--db" || name == "--bind" || name == "--trusted-proxy") && value.empty()) {
            error = name + " needs a value";
            return false;
        }
        if (name == "--db") options.db_path = value;
        if (name == "--bind") options.bind_address = value;
        if (name == "--trusted-proxy") options.trusted_proxies.push_back(value);
    }
    return true;
}

std::string serverUsage() {
    return "Usage: plashwerk-scores [--port N] [--db PATH] [--threads N] [--bind ADDR]\n"
           "                        [--request-timeout S] [--max-per-address N]\n"
           "                        [--submit-rate N] [--trusted-proxy ADDR]...\n"
           "The Plashwerk score server: takes submitted scores, stores them in one SQLite\n"
           "file or a PostgreSQL database, and serves the score pages and their JSON.\n"
           "  --port N       TCP port to listen on (default 8080; 0 picks a free one)\n"
           "  --db PATH      database file, created on first start (default scores.sqlite),\n"
           "                 or postgresql://user@host/dbname: a PostgreSQL database that\n"
           "                 several servers may share (its tables are made on first start)\n"
           "  --threads N    worker threads, each serving one request at a time (default 32)\n"
           "  --bind ADDR    address to listen on (default 127.0.0.1, this machine only;\n"
           "                 0.0.0.0 serves every network, :: too over IPv6)\n"
           "  --request-timeout S\n"
           "                 seconds a whole request may take to arrive, counted from the\n"
           "                 connection or the previous reply (default 5)\n"
           "  --max-per-address N\n"
           "                 open connections one client address may hold (default 16;\n"
           "                 behind a reverse proxy every client has the proxy's address)\n"
           "  --submit-rate N\n"
           "                 submissions one client address may send a minute, as a token\n"
           "                 bucket holding a minute's worth (default 10; 0: no limit); more\n"
           "                 are answered 429 with Retry-After\n"
           "  --trusted-proxy ADDR\n"
           "                 a reverse proxy's address (as the server sees it, such as\n"
           "                 127.0.0.1): requests from it count against the last address of\n"
           "                 their X-Forwarded-For header; may be given more than once\n"
           "  --help         show this text\n";
}

}  // namespace plashwerk::server
