// Screenshots of the presented frame, numbered in the working directory.

#include <unistd.h>

#include <cstdio>

#include "platform/engine/vn_camera.h"
#include "platform/engine/vn_scene.h"
#include "platform/file/regular_file.h"
#include "platform/program/program_info.h"
#include "render/demo_scene_render.h"

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

bool DemoSceneRender::takeScreenshot() {
    Vantorr_nsp::vnCamera* camera = scene ? scene->getActiveCamera() : nullptr;
    if (!camera) return false;
    camera->allocMemoryForScreenShot();
    char name[256];
    std::snprintf(name, sizeof name, "./plashwerk_%.6u.jpg", screenshot_counter);
    // Names already taken are skipped; the counter goes on from the free one.
    while (fileExists(name)) {
        ++screenshot_counter;
        std::snprintf(name, sizeof name, "./%s_%.6u.jpg", kAppName, screenshot_counter);
    }
    const bool written = camera->makeScreenShot(name);
    ++screenshot_counter;
    m_last_screenshot = name;
    return written;
}

}  // namespace plashwerk
