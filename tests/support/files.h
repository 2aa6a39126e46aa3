#pragma once
// Files for tests: a temporary folder removed with everything in it, whole-file reads and
// writes.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace plashwerk::test {

/// A fresh folder under /tmp, removed with its contents when the object goes.
class TempFolder {
  public:
    explicit TempFolder(const char* prefix = "plashwerk_test") {
        std::string pattern = std::string("/tmp/") + prefix + "_XXXXXX";
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    /// The path with a trailing '/', as the program's folder is given.
    std::string folder() const { return m_path + "/"; }

  private:
    std::string m_path;
};

/// The whole file, byte for byte; empty when it cannot be read.
inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// Writes the text to the file, creating its folders.
inline void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

}  // namespace plashwerk::test
