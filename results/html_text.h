#pragma once
// Text put into an HTML page, shared by the run report and the score server's pages: the
// characters HTML gives a meaning (& < > " ') become references, and control characters,
// which no page shows, become the replacement mark. Safe inside elements and attribute
// values.

#include <string>
#include <string_view>

namespace plashwerk {

std::string escapeHtml(std::string_view text);

}  // namespace plashwerk
