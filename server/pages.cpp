#include "server/pages.h"

#include <time.h>

#include <cstdio>
#include <nlohmann/json.hpp>

namespace plashwerk::server {

namespace {

struct NewsItem {
    const char* date;
    const char* title;
    const char* text;
};

const NewsItem kNews[] = {
    {"2020-03-23", "Plashwerk 1.5.4",
     "Scores can be sent to the online list from the results window; the list ranks them, "
     "and the compare page sets a score against the others on the same GPU."},
    {"2020-01-14", "Plashwerk 1.5.0",
     "New post-processing chain, GPU temperature graph and a stability test mode that runs "
     "until stopped."},
};

const char* const kStyle =
    "body{font-family:sans-serif;margin:0 auto;max-width:70em;padding:0 1em;color:#222}"
    "nav a{margin-right:1em}table{border-collapse:collapse;width:100%}"
    "th,td{border-bottom:1px solid #ccc;padding:.3em .5em;text-align:left}"
    "th{background:#eee}td.n{text-align:right}tr.me{background:#ffd}"
    "dl{display:grid;grid-template-columns:max-content auto;gap:.2em 1em}dt{font-weight:bold}"
    "form{margin:1em 0}";

std::string layout(std::string_view title, const std::string& body) {
    std::string html;
    html.reserve(body.size() + 1024);
    html += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>";
    html += escapeHtml(title);
    html += " - Plashwerk scores</title><style>";
    html += kStyle;
    html +=
        "</style></head><body><nav><a href=\"/\">Home</a><a href=\"/scores\">Online scores</a>"
        "<a href=\"/compare\">Compare</a><a href=\"/latest\">Latest version</a>"
        "<a href=\"/news\">News</a></nav><h1>";
    html += escapeHtml(title);
    html += "</h1>\n";
    html += body;
    html += "</body></html>\n";
    return html;
}

std::string dateText(int64_t seconds) {
    const time_t when = static_cast<time_t>(seconds);
    struct tm utc {};
    char text[32] = "";
    if (gmtime_r(&when, &utc)) strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
    return text;
}

std::string entryLink(int64_t id) {
    return "/benchmarks/plashwerk_140_score.php?id=" + std::to_string(id);
}

std::string newsList() {
    std::string html;
    for (const NewsItem& item : kNews) {
        html += "<article><h3>";
        html += item.title;
        html += "</h3><p><small>";
        html += item.date;
        html += "</small></p><p>";
        html += item.text;
        html += "</p></article>\n";
    }
    return html;
}

// One table of entries ranked from first_rank; the row of highlight_id is marked.
std::string scoreTable(const std::vector<ScoreEntry>& entries, int64_t first_rank,
                       int64_t highlight_id = 0) {
    if (entries.empty()) return "<p>No scores yet.</p>\n";
    std::string html =
        "<table><thead><tr><th>Rank</th><th>Score</th><th>Nickname</th><th>Renderer</th>"
        "<th>GPU</th><th>Resolution</th><th>Particles</th><th>FPS</th><th>SPS</th>"
        "<th>Date</th></tr></thead><tbody>\n";
    int64_t rank = first_rank;
    for (const ScoreEntry& entry : entries) {
        const RunDetails details = parseRunDetails(entry.run_details);
        const std::string gpu = gpuText(entry.gpu_vendor_id, entry.gpu_device_id);
        html += entry.id == highlight_id ? "<tr class=\"me\">" : "<tr>";
        html += "<td class=\"n\">" + std::to_string(rank++) + "</td>";
        html += "<td class=\"n\"><a href=\"" + entryLink(entry.id) + "\">" +
                std::to_string(entry.global_score) + "</a></td>";
        html += "<td>" + escapeHtml(entry.nickname) + "</td>";
        html += "<td><a href=\"/scores?renderer=" + escapeHtml(encodeQueryValue(entry.renderer)) +
                "\">" + escapeHtml(entry.renderer) + "</a></td>";
        html += "<td><a href=\"/scores?gpu=" + gpu + "\">" + gpu + "</a></td>";
        html += "<td>" + std::to_string(entry.width) + "x" + std::to_string(entry.height) +
                (entry.msaa > 0 ? " MSAA " + std::to_string(entry.msaa) : std::string()) +
                (entry.fullscreen ? " full screen" : "") + "</td>";
        html += "<td class=\"n\">" + std::to_string(details.num_particles) + "</td>";
        html += "<td class=\"n\">" + std::to_string(details.fps_avg) + "</td>";
        html += "<td class=\"n\">" + std::to_string(details.sps_avg) + "</td>";
        html += "<td>" + dateText(entry.submitted_at) + "</td></tr>\n";
    }
    return html + "</tbody></table>\n";
}

std::string row(std::string_view name, const std::string& value_html) {
    return "<dt>" + std::string(name) + "</dt><dd>" + value_html + "</dd>";
}

std::string number(int value) {
    return std::to_string(value);
}

}  // namespace

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                // Control characters have no business on a page; show them as a mark.
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "&#xFFFD;";
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string encodeQueryValue(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
            byte == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

std::string gpuText(int vendor_id, int device_id) {
    char text[24];
    std::snprintf(text, sizeof text, "%04x:%04x", static_cast<unsigned>(vendor_id) & 0xFFFFu,
                  static_cast<unsigned>(device_id) & 0xFFFFu);
    return text;
}

std::string homePage(const ListPage& best) {
    return layout("Plashwerk online scores",
                  "<p>Plashwerk is a graphics and physics benchmark: SPH particle fluids drawn as "
                  "point sprites. After a benchmark, the results window sends the score here.</p>"
                  "<h2>Best scores</h2>\n" +
                      scoreTable(best.entries, 1) + "<p><a href=\"/scores\">All scores</a></p>\n");
}

std::string latestPage() {
    return layout("Latest version", std::string("<p>The latest version of Plashwerk is <b>") +
                                        kLatestVersion + "</b>.</p>\n<h2>News</h2>\n" + newsList());
}

std::string newsPage() {
    return layout("News", newsList());
}

std::string scoresPage(const ListQuery& query, const ListPage& page) {
    const std::string renderer = escapeHtml(query.renderer);
    const std::string gpu =
        query.gpu.any() ? "" : gpuText(query.gpu.vendor_id, query.gpu.device_id);
    std::string body =
        "<form action=\"/scores\" method=\"get\"><label>Renderer <input name=\"renderer\" "
        "value=\"" +
        renderer +
        "\" maxlength=\"127\"></label> <label>GPU <input name=\"gpu\" placeholder=\"10de:2684\" "
        "value=\"" +
        gpu + "\" maxlength=\"9\" size=\"9\"></label> <button>Filter</button></form>\n";
    if (!query.renderer.empty() || !gpu.empty()) {
        body += "<p>Showing ";
        if (!query.renderer.empty()) body += "renderer <b>" + renderer + "</b> ";
        if (!gpu.empty()) body += "GPU <b>" + gpu + "</b> ";
        body += "- <a href=\"/scores\">show all</a></p>\n";
    }
    body += scoreTable(page.entries, page.first_rank);
    std::string filters;
    if (!query.renderer.empty())
        filters += "&amp;renderer=" + escapeHtml(encodeQueryValue(query.renderer));
    if (!gpu.empty()) filters += "&amp;gpu=" + gpu;
    body += "<p>";
    if (query.page > 1) {
        body += "<a href=\"/scores?page=" + std::to_string(query.page - 1) + filters +
                "\">Previous page</a> ";
    }
    body += "Page " + std::to_string(query.page);
    if (page.has_next) {
        body += " <a href=\"/scores?page=" + std::to_string(query.page + 1) + filters +
                "\">Next page</a>";
    }
    body += "</p>\n";
    return layout("Online scores", body);
}

std::string entryPage(const ScoreEntry& entry) {
    const RunDetails details = parseRunDetails(entry.run_details);
    std::string body = "<dl>";
    body += row("Score", "<b>" + number(entry.global_score) + "</b>");
    body += row("PhysX score", number(details.physx_score));
    body += row("GraphX score", number(details.graphx_score));
    body += row("Nickname", escapeHtml(entry.nickname));
    body += row("Submitted", dateText(entry.submitted_at));
    body += row("Renderer", escapeHtml(entry.renderer));
    body += row("GPU", gpuText(entry.gpu_vendor_id, entry.gpu_device_id) + ", " +
                           number(entry.gpu_count) + " monitored");
    body += row("Driver", escapeHtml(entry.driver));
    body += row("CPU", escapeHtml(entry.cpu_name) + ", " + number(entry.cpu_mhz) + " MHz");
    body += row("Operating system", escapeHtml(entry.os_name));
    body += row("Resolution", number(entry.width) + " x " + number(entry.height) +
                                  (entry.fullscreen ? ", full screen" : ", windowed"));
    body += row("MSAA", number(entry.msaa));
    body += row("Duration", number(entry.max_time_ms) + " ms");
    body += row("Particles", number(details.num_particles) + " from " +
                                 number(details.num_fluid_emitters) + " emitters");
    body += row("Physics", std::string(entry.physx_device == 2 ? "GPU" : "CPU") +
                               (details.multithreaded_physx ? ", multithreaded" : "") +
                               (details.use_sph ? ", SPH" : ""));
    body += row("Average FPS", number(details.fps_avg));
    body += row("Average SPS", number(details.sps_avg));
    body += row("Temperatures (start_end)", escapeHtml(entry.temperatures));
    body += row("Clocks", escapeHtml(entry.clocks));
    body +=
        "</dl>\n<h2>GPUs</h2><table><thead><tr><th>Slot</th><th>GPU</th><th>Maxima (core MHz_"
        "memory MHz_mV_&deg;C_load_power)</th></tr></thead><tbody>\n";
    for (size_t slot = 0; slot < entry.gpus.size(); ++slot) {
        const GpuSlot& gpu = entry.gpus[slot];
        if (gpu.vendor_id == 0 && gpu.device_id == 0) continue;
        body += "<tr><td>" + std::to_string(slot + 1) + "</td><td>" +
                gpuText(gpu.vendor_id, gpu.device_id) + "</td><td>" + escapeHtml(gpu.maxima) +
                "</td></tr>\n";
    }
    body += "</tbody></table>\n<p><a href=\"/compare?id=" + std::to_string(entry.id) +
            "\">Compare with the others on this GPU</a></p>\n";
    return layout("Score #" + std::to_string(entry.id), body);
}

std::string comparePage(const Comparison& comparison) {
    const ScoreEntry& entry = comparison.entry;
    const std::string gpu = gpuText(entry.gpu_vendor_id, entry.gpu_device_id);
    std::string body = "<p><a href=\"" + entryLink(entry.id) + "\">Score #" +
                       std::to_string(entry.id) + "</a> (" + number(entry.global_score) + ", " +
                       escapeHtml(entry.nickname) + ") ranks <b>" +
                       std::to_string(comparison.rank) + "</b> of " +
                       std::to_string(comparison.total) + " on GPU <a href=\"/scores?gpu=" + gpu +
                       "\">" + gpu + "</a>.</p>\n<h2>Best on this GPU</h2>\n";
    body += scoreTable(comparison.best, 1, entry.id);
    return layout("Compare your score", body);
}

std::string compareFormPage() {
    return layout("Compare your score",
                  "<form action=\"/compare\" method=\"get\"><label>Score number <input "
                  "name=\"id\" inputmode=\"numeric\" maxlength=\"19\"></label> "
                  "<button>Compare</button></form>\n");
}

std::string errorPage(int status, std::string_view message) {
    return layout("Error " + std::to_string(status), "<p>" + escapeHtml(message) + "</p>\n");
}

namespace {

nlohmann::json entryObject(const ScoreEntry& entry) {
    const RunDetails details = parseRunDetails(entry.run_details);
    nlohmann::json gpus = nlohmann::json::array();
    for (const GpuSlot& gpu : entry.gpus) {
        gpus.push_back(
            {{"vendor_id", gpu.vendor_id}, {"device_id", gpu.device_id}, {"maxima", gpu.maxima}});
    }
    // The hardware address and the e-mail are kept, never published.
    return {{"id", entry.id},
            {"submitted_at", entry.submitted_at},
            {"global_score", entry.global_score},
            {"physx_score", details.physx_score},
            {"graphx_score", details.graphx_score},
            {"nickname", entry.nickname},
            {"renderer", entry.renderer},
            {"gpu", gpuText(entry.gpu_vendor_id, entry.gpu_device_id)},
            {"gpu_count", entry.gpu_count},
            {"driver", entry.driver},
            {"cpu_name", entry.cpu_name},
            {"cpu_mhz", entry.cpu_mhz},
            {"os_name", entry.os_name},
            {"width", entry.width},
            {"height", entry.height},
            {"msaa", entry.msaa},
            {"fullscreen", entry.fullscreen != 0},
            {"max_time_ms", entry.max_time_ms},
            {"time_based", entry.time_based != 0},
            {"physx_device", entry.physx_device},
            {"physx_system_version", entry.physx_system_version},
            {"num_particles", details.num_particles},
            {"fps_avg", details.fps_avg},
            {"sps_avg", details.sps_avg},
            {"temperatures", entry.temperatures},
            {"clocks", entry.clocks},
            {"run_details", entry.run_details},
            {"gpus", gpus}};
}

std::string dump(const nlohmann::json& json) {
    // Stored texts are checked ASCII, but a byte that is not UTF-8 must never stop a reply.
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string scoresJson(const ListQuery& query, const ListPage& page) {
    nlohmann::json entries = nlohmann::json::array();
    int64_t rank = page.first_rank;
    for (const ScoreEntry& entry : page.entries) {
        nlohmann::json object = entryObject(entry);
        object["rank"] = rank++;
        entries.push_back(std::move(object));
    }
    return dump({{"page", query.page},
                 {"page_size", query.page_size},
                 {"renderer", query.renderer},
                 {"gpu", query.gpu.any() ? "" : gpuText(query.gpu.vendor_id, query.gpu.device_id)},
                 {"has_next", page.has_next},
                 {"entries", entries}});
}

std::string entryJson(const ScoreEntry& entry) {
    return dump(entryObject(entry));
}

}  // namespace plashwerk::server
