#include "platform/nvapi/nvml_loader.h"

#include <dlfcn.h>

#include <cstdlib>

namespace plashwerk {

std::string nvmlLibraryPath() {
    const char* path = std::getenv("PLASHWERK_NVML_LIBRARY");
    return path && *path ? path : "libnvidia-ml.so.1";
}

bool NvmlLibrary::load(std::string& error) {
    unload();
    const std::string path = nvmlLibraryPath();
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = dlerror();
        error = why ? why : "cannot open " + path;
        return false;
    }
    bool complete = true;
#define PLASHWERK_NVML_REQUIRED(name)                                   \
    name = reinterpret_cast<decltype(&::name)>(dlsym(m_handle, #name)); \
    if (!name) {                                                        \
        error = "missing function " #name " in " + path;                \
        complete = false;                                               \
    }
#define PLASHWERK_NVML_OPTIONAL(name) \
    name = reinterpret_cast<decltype(&::name)>(dlsym(m_handle, #name));
    PLASHWERK_NVML_REQUIRED_FUNCTIONS(PLASHWERK_NVML_REQUIRED)
    PLASHWERK_NVML_OPTIONAL_FUNCTIONS(PLASHWERK_NVML_OPTIONAL)
#undef PLASHWERK_NVML_REQUIRED
#undef PLASHWERK_NVML_OPTIONAL
    if (!complete) {
        unload();
        return false;
    }
    return true;
}

void NvmlLibrary::unload() {
#define PLASHWERK_NVML_CLEAR(name) name = nullptr;
    PLASHWERK_NVML_REQUIRED_FUNCTIONS(PLASHWERK_NVML_CLEAR)
    PLASHWERK_NVML_OPTIONAL_FUNCTIONS(PLASHWERK_NVML_CLEAR)
#undef PLASHWERK_NVML_CLEAR
    if (m_handle) dlclose(m_handle);
    m_handle = nullptr;
}

}  // namespace plashwerk
