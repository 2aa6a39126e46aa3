#pragma once
// NVML loaded at run time: one typed pointer per function of nvml_api.h.
//
// The library file is "libnvidia-ml.so.1", or the file the environment variable
// PLASHWERK_NVML_LIBRARY names (tests point it at their scripted double). A missing
// library, or a missing required function, makes load() fail; a missing optional function
// leaves its pointer null, and the call that needs it reports failure.

#include <string>

#include "platform/nvapi/nvml_api.h"

namespace plashwerk {

struct NvmlLibrary {
#define PLASHWERK_NVML_MEMBER(name) decltype(&::name) name = nullptr;
    PLASHWERK_NVML_REQUIRED_FUNCTIONS(PLASHWERK_NVML_MEMBER)
    PLASHWERK_NVML_OPTIONAL_FUNCTIONS(PLASHWERK_NVML_MEMBER)
#undef PLASHWERK_NVML_MEMBER

    /// Opens the library and resolves every function. On failure nothing stays loaded and
    /// error says why.
    bool load(std::string& error);
    /// Closes the library and clears every pointer; safe when not loaded.
    void unload();
    bool loaded() const {
        return m_handle != nullptr;
    }

  private:
    void* m_handle = nullptr;
};

/// The library file load() opens.
std::string nvmlLibraryPath();

}  // namespace plashwerk
