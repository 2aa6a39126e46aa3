#pragma once
// The score site's pages as HTML5 text and its API as JSON. Every text that came from a
// submission is escaped where it is shown; numbers are formatted by us.

#include <string>
#include <string_view>

#include "results/html_text.h"
#include "server/gpu_names.h"
#include "server/score_store.h"

namespace plashwerk::server {

/// The program version the latest-version page announces.
inline constexpr const char* kLatestVersion = "1.5.4";

/// Text made safe inside a URL query value (RFC 3986 unreserved characters kept).
std::string encodeQueryValue(std::string_view text);
/// "VVVV:DDDD" in lower-case hex, the form the gpu filter takes.
std::string gpuText(int vendor_id, int device_id);

/// What the pages need beyond the entries: GPU names, and the time they are made at (for
/// "3 days ago").
struct PageContext {
    const GpuNames& names;
    int64_t now = 0;  ///< seconds since 1970 (UTC)
};

/// A whole number with its thousands apart: "10 501" (a no-break space between groups).
std::string groupDigits(int64_t value);
/// "just now", "5 minutes ago", "3 days ago", "2 years ago"; "in the future" for a time
/// after now.
std::string agoText(int64_t then, int64_t now);
/// "1920 × 1080, no MSAA, 60 000 particles, 7 emitters, physics on the CPU".
std::string settingsText(const SettingsKey& key);
/// The address of a list: only the parts that differ from the list's defaults.
std::string listAddress(const ListQuery& query);
/// The chart of a comparison: a histogram of its scores with the entry's bar marked, as an
/// inline SVG element.
std::string scoreHistogram(const std::vector<int>& scores, int marked);

std::string homePage(const PageContext& context, const ListPage& best);
std::string latestPage();
std::string newsPage();
/// The list; its settings tabs are the presets, and "all" for query.settings empty.
std::string scoresPage(const PageContext& context, const ListQuery& query, const ListPage& page);
std::string entryPage(const PageContext& context, const ScoreEntry& entry);
std::string comparePage(const PageContext& context, const Comparison& comparison);
/// The compare page without an entry: a form asking for one.
std::string compareFormPage();
std::string errorPage(int status, std::string_view message);

std::string scoresJson(const GpuNames& names, const ListQuery& query, const ListPage& page);
std::string entryJson(const GpuNames& names, const ScoreEntry& entry);
/// {"error": message}
std::string errorJson(std::string_view message);

}  // namespace plashwerk::server
