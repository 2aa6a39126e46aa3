#pragma once
// Reading the kernel's sysfs tree, with a replaceable root.
//
// Every sysfs read of the program goes through sysfsPath(): when the environment variable
// PLASHWERK_SYSFS_ROOT is set, it stands in for "/sys", so tests can build a fake tree of
// files in a temporary folder and the code under test reads it as the real one.

#include <cstdint>
#include <string>
#include <vector>

namespace plashwerk {

/// The sysfs root: PLASHWERK_SYSFS_ROOT when set and not empty, else "/sys". Read at each
/// call, so a test may change it between cases.
std::string sysfsRoot();

/// The root joined with a path relative to it ("bus/pci/devices").
std::string sysfsPath(const std::string& relative);

/// Reads a whole small text file (at most max_bytes) and strips trailing blanks and line
/// ends. Links are followed; false when the file cannot be read or is not a regular file
/// (a FIFO or a device node in its place is refused without blocking).
bool readTextFile(const std::string& path, std::string& out, size_t max_bytes = 4096);

/// The entries of a folder, sorted by name, without "." and ".." and hidden entries; empty
/// when the folder cannot be read.
std::vector<std::string> listDirectory(const std::string& path);

/// Reads a file holding one number in C notation ("0x10de", "42"). False when the file is
/// missing or does not start with a number that fits in 32 bits.
bool readUnsignedFile(const std::string& path, uint32_t& out);

}  // namespace plashwerk
