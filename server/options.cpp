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
        if (name != "--port" && name != "--db" && name != "--threads" && name != "--bind") {
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
        if ((name == "--db" || name == "--bind") && value.empty()) {
            error = name + " needs a value";
            return false;
        }
        if (name == "--db") options.db_path = value;
        if (name == "--bind") options.bind_address = value;
    }
    return true;
}

std::string serverUsage() {
    return "Usage: plashwerk-scores [--port N] [--db PATH] [--threads N] [--bind ADDR]\n"
           "The Plashwerk score server: takes submitted scores, stores them in one SQLite\n"
           "file and serves the score pages and their JSON.\n"
           "  --port N       TCP port to listen on (default 8080; 0 picks a free one)\n"
           "  --db PATH      database file, created on first start (default scores.sqlite)\n"
           "  --threads N    worker threads, each serving one connection (default 32)\n"
           "  --bind ADDR    address to listen on (default 127.0.0.1, this machine only;\n"
           "                 0.0.0.0 serves every network)\n"
           "  --help         show this text\n";
}

}  // namespace plashwerk::server
