// plashwerk-scores: the score server the program submits its results to.

#include <signal.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "server/options.h"
#include "server/routes.h"
#include "server/score_store.h"

int main(int argc, char** argv) {
    using namespace plashwerk::server;
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
        std::fprintf(stderr, "plashwerk-scores: cannot open %s: %s\n", options.db_path.c_str(),
                     error.c_str());
        return 1;
    }

    // SIGINT and SIGTERM are taken by one thread that stops the server, so that every worker
    // finishes its reply and the database closes cleanly; the signals are blocked before any
    // other thread starts so that they all inherit the mask.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    ServerLimits limits;
    limits.threads = options.threads;
    configureServer(server, *store, limits);
    int port = options.port;
    if (port == 0) {
        port = server.bind_to_any_port(options.bind_address);
    } else if (!server.bind_to_port(options.bind_address, port)) {
        port = -1;
    }
    if (port < 0) {
        std::fprintf(stderr, "plashwerk-scores: cannot listen on %s port %d\n",
                     options.bind_address.c_str(), options.port);
        return 1;
    }
    std::printf("plashwerk-scores: listening on http://%s:%d/ with %s\n",
                options.bind_address.c_str(), port, options.db_path.c_str());
    std::fflush(stdout);

    std::thread stopper([&] {
        int signal_number = 0;
        sigwait(&stop_signals, &signal_number);
        server.stop();
    });
    const bool listened = server.listen_after_bind();
    if (!listened) {
        // The listening loop ended on its own: wake the stopper so that it can be joined.
        pthread_kill(stopper.native_handle(), SIGTERM);
    }
    stopper.join();
    std::printf("plashwerk-scores: stopped\n");
    return 0;
}
