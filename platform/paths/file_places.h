#pragma once
// Where the program's files are read and written.
//
// Run from a build tree or an unpacked folder ("portable"), the files stay beside the
// program and in the working directory. Installed (the program's folder cannot be written,
// or ../share/plashwerk exists beside it), they go where a Linux desktop expects them: the
// options file under $XDG_CONFIG_HOME, the logs and the scores file under $XDG_STATE_HOME,
// the screenshots under the user's pictures folder.
//
// Contents:
//   Environment: the variables the places are worked out from (passed in, for tests)
//   FilePlaces, findFilePlaces: every file's place
//   picturesFolder, parseUserDirsPictures: the pictures folder from user-dirs.dirs
//   makeFolders: mkdir -p with a mode and a reason on failure
//   formatFilePlaces: the lines `plashwerk --paths` prints

#include <sys/types.h>

#include <functional>
#include <string>

namespace plashwerk {

/// Reads one environment variable; null when it is not set.
using Environment = std::function<const char*(const char*)>;

/// The process's own environment.
Environment processEnvironment();

enum class Layout { Portable, Installed };

inline constexpr const char* kOptionsFile = "startup_options.xml";
inline constexpr const char* kTraceLogPrefix = "Plashwerk_";
inline constexpr const char* kScoresFile = "Plashwerk_Scores.csv";

/// Defaults: the working directory's files, as a portable program started there has them.
struct FilePlaces {
    Layout layout = Layout::Portable;
    /// The folder holding data/; empty for the working directory.
    std::string data_root;
    /// The options file read at start-up (it may not exist: the defaults are kept).
    std::string options_read = kOptionsFile;
    /// Where the startup dialog's settings are saved at shut-down.
    std::string options_write = kOptionsFile;
    /// The trace log's name prefix ("trace.log" is appended).
    std::string trace_log_prefix = kTraceLogPrefix;
    /// The folder of the GPU monitoring logs, ending with '/'.
    std::string monitor_log_folder = "./";
    std::string scores_csv = std::string("./") + kScoresFile;
    /// The folder the screenshots are written to, ending with '/'.
    std::string screenshot_folder = "./";
    /// Folders made (mode 0700) before the logs are opened; empty when portable.
    std::string state_folder;
    /// The folder options_write lies in, made (mode 0700) before it is written; empty when
    /// portable.
    std::string config_folder;
};

/// Installed when the folder cannot be written or `executable_dir`/../share/plashwerk
/// exists.
Layout layoutOf(const std::string& executable_dir);

/// Every file's place for a program in `executable_dir` (ending with '/'), from the
/// variables of `env`.
FilePlaces findFilePlaces(const std::string& executable_dir, const Environment& env);

/// The folder of the running program, ending with '/'; "./" when it cannot be found.
std::string executableFolder();

/// The user's home: $HOME when it is an absolute path, else the password database's entry;
/// "/" when neither gives one.
std::string homeFolder(const Environment& env);

/// The value of XDG_PICTURES_DIR in the text of a user-dirs.dirs file ("$HOME/..." or an
/// absolute path, quoted or not); empty when the file does not set it usably.
std::string parseUserDirsPictures(const std::string& text, const std::string& home);

/// The pictures folder: $XDG_PICTURES_DIR, else from $XDG_CONFIG_HOME/user-dirs.dirs,
/// else ~/Pictures. No trailing '/'.
std::string picturesFolder(const Environment& env);

/// Makes `path` and the folders above it that are missing, each with `mode`. False with
/// the reason in `error` when one cannot be made or is not a folder.
bool makeFolders(const std::string& path, mode_t mode, std::string& error);

/// One line per file, "what: path", for `plashwerk --paths`. `monitor_files` are the names
/// the monitoring logs take in their folder.
std::string formatFilePlaces(const FilePlaces& places, const char* const* monitor_files,
                             int monitor_file_count);

}  // namespace plashwerk
