#pragma once
// The results of a finished benchmark as one JSON document, for scripts: the scores, the
// FPS and SPS statistics, the duration, every setting of the run, the system lines and
// each GPU's maxima.
//
// The document is written whole or not at all: into a temporary file in the destination's
// folder, flushed to disk, then renamed over the destination, so a reader never sees half
// a document and a failed write leaves whatever was there before.

#include <string>
#include <string_view>

#include "results/run_record.h"

namespace plashwerk {

/// The document, indented by two blanks, ending with a line end. Keys keep the order
/// shown in the README. Bytes that are not UTF-8 in a text become U+FFFD.
std::string formatResultsJson(const RunRecord& record);

/// Writes bytes to path whole or not at all (temporary file, fsync, rename). A symbolic
/// link at path is followed and its target replaced. Refuses a path that holds anything
/// but a regular file (a folder, a named pipe, a device) and never blocks on one. On failure
/// `error` says why, in words, the destination is unchanged and no temporary is left.
bool writeFileWhole(const std::string& path, std::string_view bytes, std::string& error);

/// Formats and writes the document; a failure is reported on standard error and in the
/// trace log. Returns false then.
bool writeResultsJson(const char* path, const RunRecord& record);

}  // namespace plashwerk
