#include "results/score_site.h"

#include <charconv>
#include <cstdlib>

#include "platform/engine/vn_trace_mgr.h"

namespace plashwerk {

namespace {

// Letters, digits, "." "-" "_" for names and IPv4; ":" inside brackets for IPv6. Anything
// else (blanks, line ends, "/", "@") could change the request or the address it goes to.
bool isHostChar(char c, bool bracketed) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || (bracketed && (c == ':' || c == '%'));
}

}  // namespace

bool parseScoreSite(std::string_view text, ScoreSite& site, std::string& problem) {
    std::string_view host;
    std::string_view rest;
    const bool bracketed = !text.empty() && text.front() == '[';
    if (bracketed) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            problem = "the IPv6 address has no closing \"]\"";
            return false;
        }
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') {
            problem = "text follows the IPv6 address";
            return false;
        }
    } else {
        const std::size_t colon = text.find(':');
        host = text.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
    }
    if (host.empty()) {
        problem = "the host is empty";
        return false;
    }
    if (host.size() > 253) {
        problem = "the host name is too long";
        return false;
    }
    for (char c : host) {
        if (!isHostChar(c, bracketed)) {
            problem = "the host holds a character no host name has";
            return false;
        }
    }
    int port = kDefaultScorePort;
    if (!rest.empty()) {
        const std::string_view digits = rest.substr(1);
        const char* end = digits.data() + digits.size();
        const auto parsed = std::from_chars(digits.data(), end, port);
        if (digits.empty() || digits.size() > 5 || parsed.ec != std::errc() || parsed.ptr != end ||
            port < 1 || port > 65535) {
            problem = "the port is not a number from 1 to 65535";
            return false;
        }
    }
    site.host.assign(host);
    site.port = port;
    return true;
}

ScoreSite resolveScoreSite(const char* setting, const char* environment) {
    struct Source {
        const char* text;
        const char* name;
    };
    const Source sources[] = {{setting, "/score_server"}, {environment, kScoreServerEnvironment}};
    for (const Source& source : sources) {
        if (!source.text || !*source.text) continue;
        ScoreSite site;
        std::string problem;
        if (parseScoreSite(source.text, site, problem)) return site;
        Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_WARNING,
                              "Score server address \"%.100s\" from %s not used: %s", source.text,
                              source.name, problem.c_str());
    }
    return ScoreSite{};
}

ScoreSite currentScoreSite(const char* setting) {
    return resolveScoreSite(setting, std::getenv(kScoreServerEnvironment));
}

std::string scoreSiteAuthority(const ScoreSite& site) {
    std::string out = site.host.find(':') == std::string::npos ? site.host : "[" + site.host + "]";
    if (site.port != kDefaultScorePort) out += ":" + std::to_string(site.port);
    return out;
}

std::string scoreSiteBaseUrl(const ScoreSite& site) {
    return "http://" + scoreSiteAuthority(site);
}

std::string scoreRedirectUrl(const ScoreSite& site, int redirect_id, int entry) {
    std::string url = scoreSiteBaseUrl(site) + "/redirect?id=" + std::to_string(redirect_id);
    if (entry >= 0) url += "&entry=" + std::to_string(entry);
    return url;
}

std::string scoreEntryUrl(const ScoreSite& site, int id) {
    return scoreSiteBaseUrl(site) + "/benchmarks/plashwerk_140_score.php?id=" + std::to_string(id);
}

std::string scoreSubmitPath(std::string_view hex, uint32_t checksum) {
    std::string path = "/benchmarks/plashwerk_140_submit.php?d=";
    path += hex;
    path += "&s=" + std::to_string(checksum);
    return path;
}

}  // namespace plashwerk
