#pragma once
// The checks a request's head passes before a worker sees it: where the head ends, whether it
// is within the size and line limits, how long its body is, and the head as it is passed on
// (without the lines our replies ignore).

#include <cstddef>
#include <string>
#include <string_view>

namespace plashwerk::server {

struct HeadLimits {
    size_t max_bytes = 16384;  ///< request line and header lines together, line ends included
    size_t max_lines = 100;    ///< header lines, the request line not counted
    size_t max_body = 4096;    ///< Content-Length at most this
};

struct HeadScan {
    enum class Verdict {
        Incomplete,  ///< within the limits so far; more bytes are needed
        Complete,    ///< the head is all there (the body may still be on its way)
        Refused,     ///< answer `status` and close the connection
    };
    Verdict verdict = Verdict::Incomplete;
    int status = 0;                 ///< when refused: 400, 411 (a body without a length), 413, 431
    size_t head_length = 0;         ///< bytes of the head in the input, its blank line included
    size_t body_length = 0;         ///< from Content-Length
    bool expects_continue = false;  ///< "Expect: 100-continue" was asked with a body
    /// The head as passed on: the request line and header lines without Range, If-Range and
    /// Expect (our pages and JSON are always sent whole, and the continue is answered here).
    std::string head;
};

/// Looks at the bytes a connection has sent so far; empty lines before the request line are
/// skipped, as clients may send one after a previous body.
HeadScan scanRequestHead(std::string_view input, const HeadLimits& limits);

}  // namespace plashwerk::server
