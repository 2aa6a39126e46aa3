#include "server/routes.h"

#include <charconv>
#include <ctime>

#include "server/pages.h"
#include "server/rate_limiter.h"
#include "server/submission.h"

namespace plashwerk::server {

namespace {

constexpr int kPageSize = 25;
constexpr size_t kMaxRendererFilter = 127;  // the client cuts every text to 127 characters
constexpr int kCompareBest = 50;

void sendHtml(httplib::Response& res, int status, std::string html) {
    res.status = status;
    res.set_content(std::move(html), "text/html; charset=utf-8");
}

// An error as a page, or under /api/ as JSON: a program reading the API gets what it reads.
void sendError(const httplib::Request& req, httplib::Response& res, int status,
               std::string_view message) {
    if (req.path.rfind("/api/", 0) == 0) {
        res.status = status;
        res.set_content(errorJson(message), "application/json");
    } else {
        sendHtml(res, status, errorPage(status, message));
    }
}

// What every handler shares: the names, the submission limit and its proxies.
struct Site {
    explicit Site(const SiteSetup& setup)
        : names(setup.names ? setup.names : std::make_shared<const GpuNames>()),
          limiter(setup.submit_per_minute, setup.submit_per_minute),
          trusted_proxies(setup.trusted_proxies) {}

    std::shared_ptr<const GpuNames> names;
    RateLimiter limiter;
    std::vector<std::string> trusted_proxies;

    PageContext context() const { return {*names, static_cast<int64_t>(std::time(nullptr))}; }
};

// A query value given at most once; absent gives an empty text, twice gives nullopt.
std::optional<std::string> single(const httplib::Request& req, const char* key) {
    const size_t count = req.get_param_value_count(key);
    if (count > 1) return std::nullopt;
    return count == 1 ? req.get_param_value(key) : std::string();
}

// The filters and page of a list request; false (with a 400 reply made) when one is bad.
// A list page with no settings asked for shows the first preset; the API shows them all.
bool readListQuery(const httplib::Request& req, httplib::Response& res, ListQuery& query,
                   bool api) {
    const std::optional<std::string> renderer = single(req, "renderer");
    const std::optional<std::string> gpu = single(req, "gpu");
    const std::optional<std::string> page = single(req, "page");
    if (!renderer || renderer->size() > kMaxRendererFilter) {
        sendError(req, res, 400, "The renderer filter is not valid.");
        return false;
    }
    query.renderer = *renderer;
    if (!gpu) {
        sendError(req, res, 400, "The GPU filter is not valid.");
        return false;
    }
    if (!gpu->empty()) {
        const std::optional<GpuId> id = parseGpu(*gpu);
        if (!id) {
            sendError(req, res, 400, "The GPU filter takes the form VVVV:DDDD in hex.");
            return false;
        }
        query.gpu = *id;
    }
    const std::optional<std::string> settings = single(req, "settings");
    if (!settings) {
        sendError(req, res, 400, "The settings filter is not valid.");
        return false;
    }
    if (!settings->empty() && *settings != "all") {
        if (!SettingsKey::parse(*settings)) {
            sendError(req, res, 400, "The settings filter is not valid.");
            return false;
        }
        query.settings = *settings;
    } else if (settings->empty() && !api) {
        // A person's first look: the scores of the program's main preset.
        query.settings = kSettingsPresets[0].key.text();
    }
    if (!page) {
        sendError(req, res, 400, "The page number is not valid.");
        return false;
    }
    if (!page->empty()) {
        const std::optional<int> number = parsePage(*page);
        if (!number) {
            sendError(req, res, 400, "The page number is not valid.");
            return false;
        }
        query.page = *number;
    }
    query.page_size = kPageSize;
    return true;
}

std::optional<int64_t> readId(const httplib::Request& req, httplib::Response& res) {
    const std::optional<std::string> text = single(req, "id");
    const std::optional<int64_t> id = text ? parseId(*text) : std::nullopt;
    if (!id) sendError(req, res, 400, "The score number is not valid.");
    return id;
}

void submit(ScoreStore& store, Site& site, const httplib::Request& req, httplib::Response& res) {
    // The reply text never holds a bracket: the program reads "[...]" as the new id.
    const auto refuse = [&](int status, std::string why) {
        for (char& c : why) {
            if (c == '[') c = '(';
            if (c == ']') c = ')';
        }
        res.status = status;
        res.set_content("refused: " + why + "\n", "text/plain");
    };
    const std::string client = clientAddress(
        req.remote_addr, req.get_header_value("X-Forwarded-For"), site.trusted_proxies);
    if (const int wait = site.limiter.take(client); wait > 0) {
        res.set_header("Retry-After", std::to_string(wait));
        refuse(429,
               "too many scores from your address; try again in " + std::to_string(wait) + " s");
        return;
    }
    const std::optional<std::string> hex = single(req, "d");
    const std::optional<std::string> checksum = single(req, "s");
    if (!hex || !checksum || hex->empty() || checksum->empty()) {
        refuse(400, "one d and one s are needed");
        return;
    }
    ScoreEntry entry;
    std::string error;
    if (!decodeSubmission(*hex, *checksum, entry, error)) {
        refuse(400, error);
        return;
    }
    const int64_t id = store.insert(entry);
    if (id < 0) {
        refuse(503, "the score could not be stored");
        return;
    }
    res.set_content("[" + std::to_string(id) + "]", "text/plain");
}

}  // namespace

std::optional<int64_t> parseId(std::string_view text) {
    int64_t value = 0;
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != text.npos)
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
    return value;
}

std::optional<int> parsePage(std::string_view text) {
    int value = 0;
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != text.npos)
        return std::nullopt;
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value < 1 || value > 100000) return std::nullopt;
    return value;
}

std::optional<GpuId> parseGpu(std::string_view text) {
    if (text.size() != 9 || text[4] != ':') return std::nullopt;
    GpuId id;
    const auto hex = [&](std::string_view part, int& value) {
        if (part.find_first_not_of("0123456789abcdefABCDEF") != part.npos) return false;
        return std::from_chars(part.data(), part.data() + 4, value, 16).ec == std::errc();
    };
    if (!hex(text.substr(0, 4), id.vendor_id) || !hex(text.substr(5, 4), id.device_id))
        return std::nullopt;
    return id;
}

std::optional<std::string> redirectTarget(int64_t id, std::optional<int64_t> entry) {
    switch (id) {
        case 11:
            return "/";
        case 302:
            return "/latest";
        case 305:
            return entry ? "/compare?id=" + std::to_string(*entry) : "/compare";
        case 306:
            return "/scores";
        case 307:
            return "/news";
        default:
            return std::nullopt;
    }
}

void configureServer(httplib::Server& server, ScoreStore& store, const ServerLimits& limits,
                     const SiteSetup& setup) {
    // Shared by the handlers, which httplib keeps as long as the server.
    auto site = std::make_shared<Site>(setup);
    server.set_payload_max_length(limits.max_body);
    server.set_pre_routing_handler([limits](const httplib::Request& req, httplib::Response& res) {
        if (req.target.size() > limits.max_target) {
            sendError(req, res, 414, "The address is too long.");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Replies that httplib makes itself (404, 400, 414 ...) get a page too.
    server.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
        if (res.body.empty()) {
            sendError(req, res, res.status,
                      res.status == 404 ? "There is no such page." : "The request was refused.");
        }
    });
    server.set_exception_handler(
        [](const httplib::Request& req, httplib::Response& res, std::exception_ptr) {
            sendError(req, res, 500, "The server could not answer this request.");
        });

    server.Get("/benchmarks/plashwerk_140_submit.php",
               [&store, site](const httplib::Request& req, httplib::Response& res) {
                   submit(store, *site, req, res);
               });
    server.Get("/benchmarks/plashwerk_140_score.php",
               [&store, site](const httplib::Request& req, httplib::Response& res) {
                   const std::optional<int64_t> id = readId(req, res);
                   if (!id) return;
                   const std::optional<ScoreEntry> entry = store.find(*id);
                   if (!entry)
                       return sendError(req, res, 404, "There is no score with this number.");
                   sendHtml(res, 200, entryPage(site->context(), *entry));
               });
    server.Get("/scores", [&store, site](const httplib::Request& req, httplib::Response& res) {
        ListQuery query;
        if (readListQuery(req, res, query, false))
            sendHtml(res, 200, scoresPage(site->context(), query, store.list(query)));
    });
    server.Get("/compare", [&store, site](const httplib::Request& req, httplib::Response& res) {
        if (!req.has_param("id")) return sendHtml(res, 200, compareFormPage());
        const std::optional<int64_t> id = readId(req, res);
        if (!id) return;
        const std::optional<Comparison> comparison = store.compare(*id, kCompareBest);
        if (!comparison) return sendError(req, res, 404, "There is no score with this number.");
        sendHtml(res, 200, comparePage(site->context(), *comparison));
    });
    server.Get("/", [&store, site](const httplib::Request&, httplib::Response& res) {
        ListQuery best;
        best.page_size = 10;
        sendHtml(res, 200, homePage(site->context(), store.list(best)));
    });
    server.Get("/latest", [](const httplib::Request&, httplib::Response& res) {
        sendHtml(res, 200, latestPage());
    });
    server.Get("/news", [](const httplib::Request&, httplib::Response& res) {
        sendHtml(res, 200, newsPage());
    });
    server.Get("/redirect", [](const httplib::Request& req, httplib::Response& res) {
        const std::optional<int64_t> id = readId(req, res);
        if (!id) return;
        std::optional<int64_t> entry;
        if (req.has_param("entry")) {
            const std::optional<std::string> text = single(req, "entry");
            entry = text ? parseId(*text) : std::nullopt;
            if (!entry) return sendError(req, res, 400, "The score number is not valid.");
        }
        const std::optional<std::string> target = redirectTarget(*id, entry);
        if (!target) return sendError(req, res, 404, "There is no such link.");
        res.set_redirect(*target, 302);
    });
    server.Get("/api/scores", [&store, site](const httplib::Request& req, httplib::Response& res) {
        ListQuery query;
        if (readListQuery(req, res, query, true)) {
            res.set_content(scoresJson(*site->names, query, store.list(query)), "application/json");
        }
    });
    server.Get("/api/entry", [&store, site](const httplib::Request& req, httplib::Response& res) {
        const std::optional<int64_t> id = readId(req, res);
        if (!id) return;
        const std::optional<ScoreEntry> entry = store.find(*id);
        if (!entry) return sendError(req, res, 404, "There is no score with this number.");
        res.set_content(entryJson(*site->names, *entry), "application/json");
    });
}

}  // namespace plashwerk::server
