#include <signal.h>

#include <cstdio>
#include <string>

#include "app/application.h"
#include "settings/startup_options.h"

int main(int argc, char** argv) {
    // A reader that goes away (plashwerk ... | head) must not kill the run before its
    // shut-down: writes to the closed pipe fail with EPIPE instead, and are reported.
    signal(SIGPIPE, SIG_IGN);
    for (int i = 1; i < argc; ++i) {
        if (plashwerk::isHelpRequest(argv[i])) {
            const std::string usage = plashwerk::formatUsage();
            const bool written = std::fwrite(usage.data(), 1, usage.size(), stdout) == usage.size();
            return written && std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    const std::string command_line = plashwerk::joinCommandLine(argc, argv);
    plashwerk::Application application;
    return application.run(command_line.c_str());
}
