#include "platform/paths/file_places.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace plashwerk {

namespace {

bool isFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string normal(const std::string& path) {
    std::string text = std::filesystem::path(path).lexically_normal().string();
    if (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

// An XDG base folder: the variable when it holds an absolute path (the XDG rules ignore a
// relative one), else the given folder below the home.
std::string baseFolder(const Environment& env, const char* variable, const char* below_home) {
    const char* value = env(variable);
    if (value && value[0] == '/') return normal(value);
    return normal(homeFolder(env) + "/" + below_home);
}

std::string readSmallFile(const std::string& path) {
    if (!isFile(path)) return {};
    std::ifstream in(path, std::ios::binary);
    std::string text;
    text.resize(64 * 1024);  // a user-dirs.dirs holds a few lines; more is not read
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

// The system options file: the first of $XDG_CONFIG_DIRS (default /etc/xdg) that has one.
std::string systemOptionsFile(const Environment& env) {
    const char* dirs = env("XDG_CONFIG_DIRS");
    std::string list = dirs && *dirs ? dirs : "/etc/xdg";
    std::stringstream in(list);
    std::string folder;
    while (std::getline(in, folder, ':')) {
        if (folder.empty() || folder[0] != '/') continue;
        const std::string path = normal(folder + "/plashwerk/" + kOptionsFile);
        if (isFile(path)) return path;
    }
    return {};
}

}  // namespace

Environment processEnvironment() {
    return [](const char* name) -> const char* { return std::getenv(name); };
}

Layout layoutOf(const std::string& executable_dir) {
    const std::string folder = withSlash(executable_dir);
    if (isFolder(folder + "../share/plashwerk")) return Layout::Installed;
    return access(folder.c_str(), W_OK) == 0 ? Layout::Portable : Layout::Installed;
}

std::string homeFolder(const Environment& env) {
    const char* home = env("HOME");
    if (home && home[0] == '/') return normal(home);
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return normal(found->pw_dir);
    return "/";
}

std::string parseUserDirsPictures(const std::string& text, const std::string& home) {
    std::string found;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || line[at] == '#') continue;
        static constexpr std::string_view kKey = "XDG_PICTURES_DIR=";
        if (line.compare(at, kKey.size(), kKey) != 0) continue;
        std::string value = line.substr(at + kKey.size());
        while (!value.empty() &&
               (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            // Inside quotes a backslash takes the next character as it stands.
            std::string plain;
            for (size_t i = 1; i + 1 < value.size(); ++i) {
                if (value[i] == '\\' && i + 2 < value.size()) ++i;
                plain += value[i];
            }
            value = plain;
        }
        std::string path;
        if (value == "$HOME" || value.rfind("$HOME/", 0) == 0)
            path = home + value.substr(5);
        else if (!value.empty() && value[0] == '/')
            path = value;
        if (!path.empty()) found = normal(path);  // the last usable line wins, as in a shell
    }
    return found;
}

std::string picturesFolder(const Environment& env) {
    const char* value = env("XDG_PICTURES_DIR");
    if (value && value[0] == '/') return normal(value);
    const std::string home = homeFolder(env);
    const std::string config = baseFolder(env, "XDG_CONFIG_HOME", ".config");
    const std::string from_file =
        parseUserDirsPictures(readSmallFile(config + "/user-dirs.dirs"), home);
    return from_file.empty() ? normal(home + "/Pictures") : from_file;
}

FilePlaces findFilePlaces(const std::string& executable_dir, const Environment& env) {
    const std::string program = withSlash(executable_dir);
    FilePlaces p;
    p.layout = layoutOf(program);
    if (p.layout == Layout::Portable) {
        // The images are read from data/ in the working directory; a program started
        // elsewhere finds the ones beside it.
        if (!isFolder("data") && isFolder(program + "data")) p.data_root = normal(program);
        p.options_read = program + kOptionsFile;
        p.options_write = kOptionsFile;
        p.trace_log_prefix = kTraceLogPrefix;
        p.monitor_log_folder = program;
        p.scores_csv = std::string("./") + kScoresFile;
        p.screenshot_folder = "./";
        return p;
    }
    p.data_root = normal(program + "../share/plashwerk");
    p.config_folder = baseFolder(env, "XDG_CONFIG_HOME", ".config") + "/plashwerk";
    p.options_write = p.config_folder + "/" + kOptionsFile;
    p.options_read = p.options_write;
    if (!isFile(p.options_read)) {
        const std::string system = systemOptionsFile(env);
        if (!system.empty()) p.options_read = system;
    }
    p.state_folder = baseFolder(env, "XDG_STATE_HOME", ".local/state") + "/plashwerk";
    p.trace_log_prefix = p.state_folder + "/" + kTraceLogPrefix;
    p.monitor_log_folder = p.state_folder + "/";
    p.scores_csv = p.state_folder + "/" + kScoresFile;
    p.screenshot_folder = picturesFolder(env) + "/Plashwerk/";
    return p;
}

std::string executableFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "./";
    path[n] = '\0';
    char* slash = std::strrchr(path, '/');
    if (!slash) return "./";
    slash[1] = '\0';
    return path;
}

bool makeFolders(const std::string& path, mode_t mode, std::string& error) {
    if (path.empty()) {
        error = "no folder given";
        return false;
    }
    // Each level from the top: the ones that exist are kept as they are.
    size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        const std::string level = path.substr(0, at);
        if (level.empty() || isFolder(level)) continue;
        if (mkdir(level.c_str(), mode) != 0 && !(errno == EEXIST && isFolder(level))) {
            error = level + ": " + (errno == EEXIST ? "not a folder" : std::strerror(errno));
            return false;
        }
    }
    return true;
}

std::string formatFilePlaces(const FilePlaces& places, const char* const* monitor_files,
                             int monitor_file_count) {
    const auto inWorkingDirectory = [](const std::string& path) {
        return path.empty() || path[0] == '/' ? path : "(working directory) " + path;
    };
    std::string text = "layout: ";
    text += places.layout == Layout::Portable ? "portable\n" : "installed\n";
    const auto line = [&](const char* what, const std::string& path) {
        text += what;
        text += ": ";
        text += inWorkingDirectory(path);
        text += '\n';
    };
    line("images read from",
         (places.data_root.empty() ? std::string() : places.data_root + "/") + "data/");
    line("options read from", places.options_read);
    line("options written to", places.options_write);
    line("trace log", places.trace_log_prefix + "trace.log");
    for (int i = 0; i < monitor_file_count; ++i)
        line("monitoring log", places.monitor_log_folder + monitor_files[i]);
    line("scores", places.scores_csv);
    line("screenshots", places.screenshot_folder + "plashwerk_NNNNNN.jpg");
    return text;
}

}  // namespace plashwerk
