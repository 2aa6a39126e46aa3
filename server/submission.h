#pragma once
// A submission as it arrives in the query (the hex text d and the checksum s) turned into
// an entry to store, through the record codec the program itself uses to send it.

#include <string>
#include <string_view>

#include "server/score_entry.h"

namespace plashwerk::server {

/// Decodes and checks the submission (hex, unscrambling, checksum, the 36 fields with their
/// types, lengths and ranges) into entry; false with the reason in error when anything is
/// wrong, and then entry is left as it was.
bool decodeSubmission(std::string_view hex, std::string_view checksum, ScoreEntry& entry,
                      std::string& error);

}  // namespace plashwerk::server
