#pragma once
// The score site's pages as HTML5 text and its API as JSON. Every text that came from a
// submission is escaped where it is shown; numbers are formatted by us.

#include <string>
#include <string_view>

#include "server/score_store.h"

namespace plashwerk::server {

/// The program version the latest-version page announces.
inline constexpr const char* kLatestVersion = "1.5.4";

/// Text made safe for HTML element content and quoted attribute values.
std::string escapeHtml(std::string_view text);
/// Text made safe inside a URL query value (RFC 3986 unreserved characters kept).
std::string encodeQueryValue(std::string_view text);
/// "VVVV:DDDD" in lower-case hex, the form the gpu filter takes.
std::string gpuText(int vendor_id, int device_id);

std::string homePage(const ListPage& best);
std::string latestPage();
std::string newsPage();
std::string scoresPage(const ListQuery& query, const ListPage& page);
std::string entryPage(const ScoreEntry& entry);
std::string comparePage(const Comparison& comparison);
/// The compare page without an entry: a form asking for one.
std::string compareFormPage();
std::string errorPage(int status, std::string_view message);

std::string scoresJson(const ListQuery& query, const ListPage& page);
std::string entryJson(const ScoreEntry& entry);

}  // namespace plashwerk::server
