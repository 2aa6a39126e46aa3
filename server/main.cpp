// plashwerk-scores: the score server the program submits its results to.

#include <signal.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "server/http_front.h"
#include "server/options.h"
#include "server/routes.h"
#include "server/score_store.h"

namespace {

// The database as the log may show it: a PostgreSQL URI without its password.
std::string shownDatabase(const std::string& target) {
    if (!plashwerk::server::ScoreStore::isPostgresTarget(target)) return target;
    const size_t scheme = target.find("://") + 3;
    const size_t at = target.find('@', scheme);
    const size_t colon = target.find(':', scheme);
    if (at == std::string::npos || colon == std::string::npos || colon > at ||
        target.find('/', scheme) < at)
        return target;
    return target.substr(0, colon + 1) + "***" + target.substr(at);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace plashwerk::server;
    // SIGINT and SIGTERM are taken by one thread that stops the server, so that every worker
    // finishes its reply and the database closes cleanly. They are blocked before anything
    // else runs: every thread started later (the database's checkpoints, the workers)
    // inherits the mask, so none of them can be the one the signal kills.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    ServerOptions options;
    std::string error;
    if (!parseServerOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "plashwerk-scores: %s\n%s", error.c_str(), serverUsage().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(serverUsage().c_str(), stdout);
        return 0;
    }
    std::unique_ptr<ScoreStore> store = ScoreStore::open(options.db_path, error);
    if (!store) {
        std::fprintf(stderr, "plashwerk-scores: cannot open %s: %s\n",
                     shownDatabase(options.db_path).c_str(), error.c_str());
        return 1;
    }

    ServerLimits limits;
    limits.threads = options.threads;
    limits.request_timeout_ms = options.request_timeout * 1000;
    limits.max_per_address = options.max_per_address;
    HttpFront front(limits);
    SiteSetup site;
    site.names = std::make_shared<const GpuNames>(GpuNames::fromSystem());
    site.submit_per_minute = options.submit_rate;
    site.trusted_proxies = options.trusted_proxies;
    configureServer(front.routes(), *store, limits, site);
    if (!front.listen(options.bind_address, options.port, error)) {
        std::fprintf(stderr, "plashwerk-scores: cannot listen on %s port %d: %s\n",
                     options.bind_address.c_str(), options.port, error.c_str());
        return 1;
    }
    const bool ipv6 = options.bind_address.find(':') != std::string::npos;
    std::printf("plashwerk-scores: listening on http://%s%s%s:%d/ with %s\n", ipv6 ? "[" : "",
                options.bind_address.c_str(), ipv6 ? "]" : "", front.port(),
                shownDatabase(options.db_path).c_str());
    std::fflush(stdout);

    std::thread stopper([&] {
        int signal_number = 0;
        sigwait(&stop_signals, &signal_number);
        front.stop();
    });
    front.run();
    // run() ends only after a stop; the stopper has done its work and ends.
    stopper.join();
    store.reset();
    std::printf("plashwerk-scores: stopped\n");
    return 0;
}
