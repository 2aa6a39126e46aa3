#include "server/request_head.h"

#include <strings.h>

#include <charconv>

namespace plashwerk::server {

namespace {

bool nameIs(std::string_view name, const char* wanted) {
    return name.size() == std::char_traits<char>::length(wanted) &&
           strncasecmp(name.data(), wanted, name.size()) == 0;
}

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == text.npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

HeadScan refuse(int status) {
    HeadScan scan;
    scan.verdict = HeadScan::Verdict::Refused;
    scan.status = status;
    return scan;
}

}  // namespace

HeadScan scanRequestHead(std::string_view input, const HeadLimits& limits) {
    size_t start = 0;
    while (start < input.size() && (input[start] == '\r' || input[start] == '\n')) ++start;

    HeadScan scan;
    bool have_length = false;
    size_t header_lines = 0;
    size_t at = start;
    for (bool request_line = true;; request_line = false) {
        const size_t end = input.find('\n', at);
        // The limit holds whatever the pace: a head that has not ended within it never will.
        if (end == input.npos) {
            return input.size() > limits.max_bytes ? refuse(431) : HeadScan{};
        }
        if (end + 1 > limits.max_bytes) return refuse(431);
        std::string_view line = input.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t line_start = at;
        at = end + 1;
        if (request_line) {
            if (line.empty()) return refuse(400);
            scan.head.append(input.substr(line_start, at - line_start));
            continue;
        }
        if (line.empty()) break;
        if (++header_lines > limits.max_lines) return refuse(431);
        // A folded line could carry a header past the checks below.
        if (line.front() == ' ' || line.front() == '\t') return refuse(400);
        const size_t colon = line.find(':');
        if (colon == line.npos || colon == 0) return refuse(400);
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (nameIs(name, "Content-Length")) {
            size_t length = 0;
            const auto [ptr, error] =
                std::from_chars(value.data(), value.data() + value.size(), length);
            if (value.empty() || value.size() > 18 || error != std::errc() ||
                ptr != value.data() + value.size() || (have_length && length != scan.body_length))
                return refuse(400);
            if (length > limits.max_body) return refuse(413);
            have_length = true;
            scan.body_length = length;
        } else if (nameIs(name, "Transfer-Encoding")) {
            return refuse(411);
        } else if (nameIs(name, "Expect")) {
            scan.expects_continue = nameIs(value, "100-continue");
            continue;
        } else if (nameIs(name, "Range") || nameIs(name, "If-Range")) {
            continue;
        }
        scan.head.append(input.substr(line_start, at - line_start));
    }
    scan.head.append("\r\n");
    scan.head_length = at;
    scan.expects_continue = scan.expects_continue && scan.body_length > 0;
    scan.verdict = HeadScan::Verdict::Complete;
    return scan;
}

}  // namespace plashwerk::server
