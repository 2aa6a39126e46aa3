#include "platform/shell/open_link.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/engine/vn_trace_mgr.h"

extern char** environ;

namespace plashwerk {

using Vantorr_nsp::logTrace;

pid_t startLinkOpener(const std::string& url, const char* program) {
    if (!program || !*program) return -1;
    std::string program_name = program;
    std::string argument = url;
    char* argv[] = {program_name.data(), argument.data(), nullptr};

    // The browser must not inherit our standard input: a terminal keeps reading the
    // program's own keys.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        logTrace(Vantorr_nsp::VN_TRACE_WARNING, "Could not open %s: %s could not be started (%s).",
                 url.c_str(), program, std::strerror(error));
        return -1;
    }
    return pid;
}

bool openLink(const std::string& url, const char* program) {
    if (url.empty()) return false;
    const pid_t pid = startLinkOpener(url, program);
    if (pid < 0) return false;
    std::string name = program;
    std::thread([pid, url, name] {
        int status = 0;
        pid_t ended;
        do {
            ended = waitpid(pid, &status, 0);
        } while (ended < 0 && errno == EINTR);
        if (ended == pid && (!WIFEXITED(status) || WEXITSTATUS(status) != 0))
            logTrace(Vantorr_nsp::VN_TRACE_WARNING, "Could not open %s: %s ended with status %d.",
                     url.c_str(), name.c_str(), WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }).detach();
    return true;
}

}  // namespace plashwerk
