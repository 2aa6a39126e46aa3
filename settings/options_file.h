#pragma once
// startup_options.xml: one <startup_options> element whose attributes are settings.

#include <string>

#include "settings/startup_options.h"

namespace plashwerk {

/// The options file's name, read from the program's folder and written to the working
/// directory.
inline constexpr const char* kOptionsFileName = "startup_options.xml";

/// Reads the settings present in the file into the record; absent ones keep their values.
/// False only for a null or empty path. A missing, unreadable or damaged file reads as far
/// as it is sound and still returns true.
bool readOptionsFile(StartupOptions& options, const char* path);

/// Same, from text in memory (what readOptionsFile does after loading the file).
void readOptionsText(StartupOptions& options, const char* text, size_t size);

/// The document exactly as writeOptionsFile writes it.
std::string formatOptionsFile(const StartupOptions& options);

/// Replaces the file with the document. False for an empty path or when the file cannot be
/// created or fully written.
bool writeOptionsFile(const StartupOptions& options, const char* path);

}  // namespace plashwerk
