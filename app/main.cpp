#include <signal.h>

#include <string>

#include "app/application.h"
#include "settings/startup_options.h"

int main(int argc, char** argv) {
    // A reader that goes away (plashwerk ... | head) must not kill the run before its
    // shut-down: writes to the closed pipe fail with EPIPE instead, and are reported.
    signal(SIGPIPE, SIG_IGN);
    const std::string command_line = plashwerk::joinCommandLine(argc, argv);
    return plashwerk::applicationEntry(command_line.c_str());
}
