#pragma once
// The scores file: one comma-separated row per finished benchmark, under a header line
// written when the file is started.
//
// The header is 199 bytes with the degree sign as the single byte 0xB0 (Windows-1252), and
// lines end with LF. A text field (renderer, driver) holding a comma, a double quote or a
// line break is quoted the CSV way, inner quotes doubled, so every reader finds 18 columns;
// other rows are the plain printf-style row byte for byte.

#include <string>

#include "results/run_record.h"

namespace plashwerk {

/// The header line, line end included.
const std::string& scoresHeader();

/// The row of a run, line end included.
std::string formatScoresRow(const RunRecord& record);

/// The field as a CSV reader must see it: as it is, or quoted when it holds a comma, a
/// double quote or a line break.
std::string csvField(const std::string& text);

/// Appends the run's row to the file at path. A missing or empty file is started with the
/// header; a file with content never gets one (whatever its first line), and one whose last
/// line lacks its line end gets that first, so the row starts a line of its own. Never
/// blocks on a special file. A failure is logged to the trace log and standard error, the
/// file left as it was; returns false then.
bool appendScoresRow(const char* path, const RunRecord& record);

}  // namespace plashwerk
