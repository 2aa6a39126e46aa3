#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/application.h"
#include "gpumon/monitoring_logs.h"
#include "platform/paths/file_places.h"
#include "settings/startup_options.h"

int main(int argc, char** argv) {
    // A reader that goes away (plashwerk ... | head) must not kill the run before its
    // shut-down: writes to the closed pipe fail with EPIPE instead, and are reported.
    signal(SIGPIPE, SIG_IGN);
    for (int i = 1; i < argc; ++i) {
        std::string text;
        if (plashwerk::isHelpRequest(argv[i])) {
            text = plashwerk::formatUsage();
        } else if (std::strcmp(argv[i], "--paths") == 0) {
            const char* const monitor_files[] = {plashwerk::kMonitoringXmlFile,
                                                 plashwerk::kMonitoringCsvFile};
            text = plashwerk::formatFilePlaces(
                plashwerk::findFilePlaces(plashwerk::executableFolder(),
                                          plashwerk::processEnvironment()),
                monitor_files, 2);
        } else {
            continue;
        }
        const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
        return written && std::fflush(stdout) == 0 ? 0 : 1;
    }
    const std::string command_line = plashwerk::joinCommandLine(argc, argv);
    plashwerk::Application application;
    return application.run(command_line.c_str());
}
