#pragma once
// Where the score server is, and the addresses on it that the program uses.
//
// The address is "HOST[:PORT]": from the score_server setting (command line), else from the
// PLASHWERK_SCORE_SERVER environment variable, else "localhost" on port 80. A text that is
// not a valid address is replaced by the next source down, with a line in the trace log.

#include <cstdint>
#include <string>
#include <string_view>

namespace plashwerk {

inline constexpr const char* kScoreServerEnvironment = "PLASHWERK_SCORE_SERVER";
inline constexpr const char* kDefaultScoreHost = "localhost";
inline constexpr int kDefaultScorePort = 80;

/// Redirect ids of the dialog links, answered by the server's /redirect page.
inline constexpr int kRedirectHome = 11;
inline constexpr int kRedirectLatest = 302;
inline constexpr int kRedirectCompare = 305;
inline constexpr int kRedirectScores = 306;
inline constexpr int kRedirectNews = 307;

struct ScoreSite {
    std::string host = kDefaultScoreHost;  ///< name or address, IPv6 without brackets
    int port = kDefaultScorePort;          ///< 1..65535

    bool operator==(const ScoreSite&) const = default;
};

/// Reads "HOST[:PORT]" (an IPv6 address in brackets: "[::1]:8080"). False, with the reason
/// in `problem`, for an empty host, a host with characters no host name has, or a port that
/// is not a number from 1 to 65535; `site` is then unchanged.
bool parseScoreSite(std::string_view text, ScoreSite& site, std::string& problem);

/// The site the program uses: `setting` (the command line's score_server) when it is not
/// empty, else `environment` (the variable's value, may be null), else localhost:80. A bad
/// text falls through to the next source and is reported in the trace log.
ScoreSite resolveScoreSite(const char* setting, const char* environment);

/// resolveScoreSite with this process's PLASHWERK_SCORE_SERVER.
ScoreSite currentScoreSite(const char* setting);

/// "host" or "host:port" as the Host header and addresses name it (the port only when it is
/// not 80; IPv6 addresses in brackets).
std::string scoreSiteAuthority(const ScoreSite& site);

/// "http://" and the authority, without a closing "/".
std::string scoreSiteBaseUrl(const ScoreSite& site);

/// The page a dialog link opens: /redirect?id=N, with &entry=E when `entry` >= 0.
std::string scoreRedirectUrl(const ScoreSite& site, int redirect_id, int entry = -1);

/// The page of one submitted entry.
std::string scoreEntryUrl(const ScoreSite& site, int id);

/// The request path (no host) of a submission: the hex payload and its checksum.
std::string scoreSubmitPath(std::string_view hex, uint32_t checksum);

}  // namespace plashwerk
