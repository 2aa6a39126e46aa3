// Screenshots of the presented frame, numbered in their folder.

#include "render/screenshots.h"

#include <unistd.h>

#include <cstdio>

#include "platform/engine/vn_camera.h"
#include "platform/file/regular_file.h"
#include "platform/paths/file_places.h"
#include "platform/program/program_info.h"

namespace plashwerk {

namespace {

// A name is taken when a file of that name can be opened for reading. A FIFO or a device
// under the name is not waited on: it counts as free, and writing to it is then refused.
bool fileExists(const char* name) {
    const int fd = openRegularFile(name, FileAccess::Read);
    if (fd < 0) return false;
    close(fd);
    return true;
}

}  // namespace

std::string nextScreenshotName(uint32_t& counter, const std::string& folder) {
    char file[64];
    std::snprintf(file, sizeof file, "plashwerk_%.6u.jpg", counter);
    std::string name = folder + file;
    // Names already taken are skipped; the counter goes on from the free one, and the
    // names after the first are spelt with the program's own capital.
    while (fileExists(name.c_str())) {
        ++counter;
        std::snprintf(file, sizeof file, "%s_%.6u.jpg", kAppName, counter);
        name = folder + file;
    }
    return name;
}

bool Screenshots::capture(Vantorr_nsp::vnCamera* camera) {
    m_captured = camera && camera->captureScreenShot();
    return m_captured;
}

bool Screenshots::write(Vantorr_nsp::vnCamera* camera) {
    if (!camera || !m_captured) return false;
    m_captured = false;
    const std::string folder = m_folder.empty() ? std::string("./") : m_folder;
    std::string ignored;
    // A folder that cannot be made leaves the write below to fail, and that is logged.
    if (folder != "./") makeFolders(folder, 0755, ignored);
    const std::string name = nextScreenshotName(m_counter, folder);
    // A file that cannot be written is logged by the camera; the run goes on.
    const bool written = camera->writeScreenShot(name.c_str());
    ++m_counter;
    m_last_name = name;
    return written;
}

}  // namespace plashwerk
