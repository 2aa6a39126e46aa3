#pragma once
// Files built into the program: the shader texts of render/shaders and the pictures of
// render/images, looked up by their path below render/ ("shaders/particle.vert").

#include <cstddef>

namespace plashwerk {

struct EmbeddedFile {
    const char* path;
    const unsigned char* data;  ///< followed by a zero byte, so texts are C strings
    size_t size;                ///< bytes, without that zero
};

extern const EmbeddedFile kEmbeddedFiles[];
extern const size_t kEmbeddedFileCount;

/// The file at that path, or null.
const EmbeddedFile* findEmbeddedFile(const char* path);

/// The text of an embedded file, or null.
inline const char* embeddedText(const char* path) {
    const EmbeddedFile* f = findEmbeddedFile(path);
    return f ? reinterpret_cast<const char*>(f->data) : nullptr;
}

}  // namespace plashwerk
