#include "render/embedded_files.h"

#include <cstring>

namespace plashwerk {

const EmbeddedFile* findEmbeddedFile(const char* path) {
    if (!path) return nullptr;
    for (size_t i = 0; i < kEmbeddedFileCount; ++i)
        if (std::strcmp(kEmbeddedFiles[i].path, path) == 0) return &kEmbeddedFiles[i];
    return nullptr;
}

}  // namespace plashwerk
