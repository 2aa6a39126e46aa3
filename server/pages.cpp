#include "server/pages.h"

#include <time.h>

#include <algorithm>
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
    "form{margin:1em 0}nav.tabs{margin:1em 0}nav.tabs>*{margin-right:.6em;padding:.2em .5em;"
    "border:1px solid #ccc;border-radius:4px}nav.tabs b{background:#eee}p.big{font-size:1.3em}"
    "svg{max-width:100%;height:auto}";

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

const char kNbsp[] = "\u00a0";

std::string gpuCell(const PageContext& context, const ListQuery& query, int vendor, int device) {
    ListQuery filtered = query;
    filtered.gpu = {vendor, device};
    filtered.page = 1;
    return "<a href=\"" + escapeHtml(listAddress(filtered)) + "\" title=\"" +
           gpuText(vendor, device) + "\">" + escapeHtml(context.names.name(vendor, device)) +
           "</a>";
}

// One table of entries ranked from first_rank; the row of highlight_id is marked. Its links
// narrow `query` (filters kept, back to page 1).
std::string scoreTable(const PageContext& context, const ListQuery& query,
                       const std::vector<ScoreEntry>& entries, int64_t first_rank,
                       int64_t highlight_id = 0) {
    if (entries.empty()) return "<p>No scores yet.</p>\n";
    // A list of one settings key says them once, above the table.
    const bool show_settings = query.settings.empty();
    std::string html = std::string(
                           "<table><thead><tr><th>Rank</th><th>Score</th><th>Nickname</th>"
                           "<th>GPU</th><th>Renderer</th>") +
                       (show_settings ? "<th>Settings</th>" : "") +
                       "<th>FPS</th><th>SPS</th><th>Date</th></tr></thead><tbody>\n";
    int64_t rank = first_rank;
    for (const ScoreEntry& entry : entries) {
        const RunDetails details = parseRunDetails(entry.run_details);
        const SettingsKey key = SettingsKey::of(entry);
        ListQuery by_renderer = query, by_settings = query;
        by_renderer.renderer = entry.renderer;
        by_renderer.page = by_settings.page = 1;
        by_settings.settings = key.text();
        html += entry.id == highlight_id ? "<tr class=\"me\">" : "<tr>";
        html += "<td class=\"n\">" + groupDigits(rank++) + "</td>";
        html += "<td class=\"n\"><a href=\"" + entryLink(entry.id) + "\">" +
                std::to_string(entry.global_score) + "</a></td>";
        html += "<td>" + escapeHtml(entry.nickname) + "</td>";
        html +=
            "<td>" + gpuCell(context, query, entry.gpu_vendor_id, entry.gpu_device_id) + "</td>";
        html += "<td><a href=\"" + escapeHtml(listAddress(by_renderer)) + "\">" +
                escapeHtml(entry.renderer) + "</a></td>";
        if (show_settings) {
            html += "<td><a href=\"" + escapeHtml(listAddress(by_settings)) + "\">" +
                    escapeHtml(settingsText(key)) + "</a></td>";
        }
        html += "<td class=\"n\">" + groupDigits(details.fps_avg) + "</td>";
        html += "<td class=\"n\">" + groupDigits(details.sps_avg) + "</td>";
        html += "<td title=\"" + agoText(entry.submitted_at, context.now) + "\">" +
                dateText(entry.submitted_at) + "</td></tr>\n";
    }
    return html + "</tbody></table>\n";
}

std::string row(std::string_view name, const std::string& value_html) {
    return "<dt>" + std::string(name) + "</dt><dd>" + value_html + "</dd>";
}

std::string plural(int64_t count, const char* one, const char* many) {
    return groupDigits(count) + " " + (count == 1 ? one : many);
}

// A reading, or a dash for 0: the program sends 0 for what it could not measure.
std::string reading(int value, const char* unit) {
    if (value == 0) return "&ndash;";
    return *unit ? groupDigits(value) + kNbsp + unit : groupDigits(value);
}

std::string temperaturesText(const std::string& text) {
    const auto values = parseNumbers(text, 2);
    if (!values) return escapeHtml(text);
    if ((*values)[0] == 0 && (*values)[1] == 0) return "not measured";
    return "Start " + std::to_string((*values)[0]) + kNbsp + "&deg;C, end " +
           std::to_string((*values)[1]) + kNbsp + "&deg;C";
}

std::string clocksText(const std::string& text) {
    const auto values = parseNumbers(text, 3);
    if (!values) return escapeHtml(text);
    if ((*values)[0] == 0 && (*values)[1] == 0) return "not measured";
    return "Core " + reading((*values)[0], "MHz") + ", memory " + reading((*values)[1], "MHz");
}

std::string physicsText(const ScoreEntry& entry, const RunDetails& details) {
    if (entry.physx_device == 2) return "GPU";
    std::string text = "CPU";
    text += details.multithreaded_physx ? ", simulation on a thread of its own"
                                        : ", simulation on the drawing thread";
    if (details.multicore_cpu_physx) text += ", physics library on several cores";
    return text;
}

// The maxima of one monitored GPU, cell by cell; one cell with the text when it is not six
// whole numbers.
std::string maximaCells(const std::string& text) {
    const auto values = parseNumbers(text, 6);
    if (!values) return "<td colspan=\"6\">" + escapeHtml(text) + "</td>";
    std::string html;
    for (const int value : *values) html += "<td class=\"n\">" + reading(value, "") + "</td>";
    return html;
}

}  // namespace

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

std::string groupDigits(int64_t value) {
    std::string digits =
        std::to_string(value < 0 ? -static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
    std::string out = value < 0 ? "-" : "";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += kNbsp;
        out += digits[i];
    }
    return out;
}

std::string agoText(int64_t then, int64_t now) {
    const int64_t seconds = now - then;
    if (seconds < 0) return "in the future";
    if (seconds < 60) return "just now";
    struct Unit {
        int64_t seconds;
        const char* one;
        const char* many;
    };
    // Months of 30 days and years of 365: "ago" texts are rounded down anyway.
    static const Unit kUnits[] = {{365 * 86400, "year", "years"}, {30 * 86400, "month", "months"},
                                  {7 * 86400, "week", "weeks"},   {86400, "day", "days"},
                                  {3600, "hour", "hours"},        {60, "minute", "minutes"}};
    for (const Unit& unit : kUnits) {
        if (seconds >= unit.seconds)
            return plural(seconds / unit.seconds, unit.one, unit.many) + " ago";
    }
    return "just now";
}

std::string settingsText(const SettingsKey& key) {
    std::string text = std::to_string(key.width) + " \u00d7 " + std::to_string(key.height);
    text += key.msaa > 0 ? ", " + std::to_string(key.msaa) + "\u00d7 MSAA" : ", no MSAA";
    text += ", " + plural(key.particles, "particle", "particles");
    text += ", " + plural(key.emitters, "emitter", "emitters");
    text += key.gpu_physics ? ", physics on the GPU" : ", physics on the CPU";
    return text;
}

std::string listAddress(const ListQuery& query) {
    std::string address = "/scores?settings=" + (query.settings.empty() ? "all" : query.settings);
    if (!query.renderer.empty()) address += "&renderer=" + encodeQueryValue(query.renderer);
    if (!query.gpu.any()) address += "&gpu=" + gpuText(query.gpu.vendor_id, query.gpu.device_id);
    if (query.page > 1) address += "&page=" + std::to_string(query.page);
    return address;
}

std::string scoreHistogram(const std::vector<int>& scores, int marked) {
    if (scores.empty()) return "";
    const auto [low_it, high_it] = std::minmax_element(scores.begin(), scores.end());
    const int64_t low = std::min(*low_it, marked), high = std::max(*high_it, marked);
    // Up to 20 bars of equal width in score; one bar when every score is the same.
    const int64_t span = high - low + 1;
    const int bars = static_cast<int>(std::min<int64_t>(20, span));
    const auto barOf = [&](int64_t score) {
        return static_cast<int>(std::min<int64_t>(bars - 1, (score - low) * bars / span));
    };
    std::vector<int64_t> counts(static_cast<size_t>(bars), 0);
    for (const int score : scores) ++counts[static_cast<size_t>(barOf(score))];
    const int64_t tallest = *std::max_element(counts.begin(), counts.end());
    constexpr int kWidth = 600, kPlot = 160, kTop = 10, kBottom = 30;
    const double bar_width = static_cast<double>(kWidth) / bars;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      std::to_string(kWidth) + "\" height=\"" +
                      std::to_string(kTop + kPlot + kBottom) +
                      "\" role=\"img\" aria-label=\"Histogram of the scores\" "
                      "font-family=\"sans-serif\" font-size=\"12\">"
                      "<title>Scores with this GPU and these settings</title>";
    char text[256];
    for (int bar = 0; bar < bars; ++bar) {
        const int64_t count = counts[static_cast<size_t>(bar)];
        const double height = tallest > 0 ? static_cast<double>(count) * kPlot / tallest : 0;
        const bool mine = bar == barOf(marked);
        const int64_t from = low + span * bar / bars, to = low + span * (bar + 1) / bars - 1;
        std::snprintf(text, sizeof text,
                      "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\">"
                      "<title>%lld to %lld: %lld</title></rect>",
                      bar * bar_width + 1, kTop + kPlot - height, bar_width - 2, height,
                      mine ? "#d9480f" : "#4c6ef5", static_cast<long long>(from),
                      static_cast<long long>(to), static_cast<long long>(count));
        svg += text;
    }
    // The entry's own score as a line across its bar, labelled.
    const double x = (static_cast<double>(marked - low) + 0.5) * kWidth / span;
    std::snprintf(text, sizeof text,
                  "<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"#000\" "
                  "stroke-width=\"2\" stroke-dasharray=\"4 3\"/>"
                  "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">this run: %d</text>"
                  "<text x=\"0\" y=\"%d\">%lld</text>"
                  "<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%lld</text>",
                  x, kTop, x, kTop + kPlot, std::clamp(x, 50.0, kWidth - 50.0), kTop + kPlot + 26,
                  marked, kTop + kPlot + 13, static_cast<long long>(low), kWidth, kTop + kPlot + 13,
                  static_cast<long long>(high));
    svg += text;
    return svg + "</svg>\n";
}

std::string homePage(const PageContext& context, const ListPage& best) {
    ListQuery all;
    return layout("Plashwerk online scores",
                  "<p>Plashwerk is a graphics and physics benchmark: SPH particle fluids drawn as "
                  "point sprites. After a benchmark, the results window sends the score here.</p>"
                  "<h2>Best scores</h2>\n" +
                      scoreTable(context, all, best.entries, 1) +
                      "<p><a href=\"/scores\">All scores</a></p>\n");
}

std::string latestPage() {
    return layout("Latest version", std::string("<p>The latest version of Plashwerk is <b>") +
                                        kLatestVersion + "</b>.</p>\n<h2>News</h2>\n" + newsList());
}

std::string newsPage() {
    return layout("News", newsList());
}

std::string scoresPage(const PageContext& context, const ListQuery& query, const ListPage& page) {
    // The tabs: the presets, then every settings; a list of other settings gets a tab too.
    std::string body = "<nav class=\"tabs\">";
    const auto tab = [&](const std::string& label, const std::string& settings) {
        ListQuery other = query;
        other.settings = settings;
        other.page = 1;
        body += settings == query.settings ? "<b>" + escapeHtml(label) + "</b>"
                                           : "<a href=\"" + escapeHtml(listAddress(other)) + "\">" +
                                                 escapeHtml(label) + "</a>";
    };
    bool known = query.settings.empty();
    for (const SettingsPreset& preset : kSettingsPresets) {
        tab(preset.label, preset.key.text());
        known = known || preset.key.text() == query.settings;
    }
    if (!known) {
        const std::optional<SettingsKey> key = SettingsKey::parse(query.settings);
        tab(key ? settingsText(*key) : query.settings, query.settings);
    }
    tab("All settings", "");
    body += "</nav>\n";
    const std::optional<SettingsKey> key = SettingsKey::parse(query.settings);
    body += key ? "<p>Runs at " + escapeHtml(settingsText(*key)) +
                      ": only scores at the same settings compare.</p>\n"
                : "<p>Runs at every setting: scores at different settings do not compare.</p>\n";

    const std::string renderer = escapeHtml(query.renderer);
    const std::string gpu =
        query.gpu.any() ? "" : gpuText(query.gpu.vendor_id, query.gpu.device_id);
    body +=
        "<form action=\"/scores\" method=\"get\"><input type=\"hidden\" name=\"settings\" "
        "value=\"" +
        escapeHtml(query.settings.empty() ? "all" : query.settings) +
        "\"><label>Renderer <input name=\"renderer\" value=\"" + renderer +
        "\" maxlength=\"127\"></label> <label>GPU <input name=\"gpu\" "
        "placeholder=\"10de:2684\" value=\"" +
        gpu + "\" maxlength=\"9\" size=\"9\"></label> <button>Filter</button></form>\n";
    if (!query.renderer.empty() || !gpu.empty()) {
        ListQuery unfiltered;
        unfiltered.settings = query.settings;
        body += "<p>Showing ";
        if (!query.renderer.empty()) body += "renderer <b>" + renderer + "</b> ";
        if (!gpu.empty())
            body += "GPU <b>" +
                    escapeHtml(context.names.name(query.gpu.vendor_id, query.gpu.device_id)) +
                    "</b> ";
        body += "- <a href=\"" + escapeHtml(listAddress(unfiltered)) + "\">show all</a></p>\n";
    }
    body += scoreTable(context, query, page.entries, page.first_rank);
    body += "<p>";
    ListQuery other = query;
    if (query.page > 1) {
        other.page = query.page - 1;
        body += "<a href=\"" + escapeHtml(listAddress(other)) + "\">Previous page</a> ";
    }
    body += "Page " + std::to_string(query.page);
    if (page.has_next) {
        other.page = query.page + 1;
        body += " <a href=\"" + escapeHtml(listAddress(other)) + "\">Next page</a>";
    }
    body += "</p>\n";
    return layout("Online scores", body);
}

std::string entryPage(const PageContext& context, const ScoreEntry& entry) {
    const RunDetails details = parseRunDetails(entry.run_details);
    const SettingsKey key = SettingsKey::of(entry);
    ListQuery same_settings;
    same_settings.settings = key.text();
    std::string body = "<dl>";
    body += row("Score", "<b>" + std::to_string(entry.global_score) + "</b>");
    body += row("PhysX score", groupDigits(details.physx_score));
    body += row("GraphX score", groupDigits(details.graphx_score));
    body += row("Nickname", escapeHtml(entry.nickname));
    body += row("Submitted", dateText(entry.submitted_at) + " (" +
                                 agoText(entry.submitted_at, context.now) + ")");
    body += row("GPU", gpuCell(context, same_settings, entry.gpu_vendor_id, entry.gpu_device_id) +
                           ", " + plural(entry.gpu_count, "GPU", "GPUs") + " monitored");
    body += row("Renderer", escapeHtml(entry.renderer));
    body += row("Driver", escapeHtml(entry.driver));
    body += row("CPU", escapeHtml(entry.cpu_name) + ", " + reading(entry.cpu_mhz, "MHz"));
    body += row("Operating system", escapeHtml(entry.os_name));
    body += row("Settings", "<a href=\"" + escapeHtml(listAddress(same_settings)) + "\">" +
                                escapeHtml(settingsText(key)) + "</a>");
    body += row("Display", std::to_string(entry.width) + " \u00d7 " + std::to_string(entry.height) +
                               (entry.fullscreen ? ", full screen" : ", in a window") +
                               (entry.msaa > 0 ? ", " + std::to_string(entry.msaa) + "\u00d7 MSAA"
                                               : ", no MSAA"));
    body += row("Duration", groupDigits(entry.max_time_ms / 1000) + kNbsp + "s" +
                                (entry.time_based ? ", timed run" : ", fixed frame count"));
    body += row("Particles", plural(details.num_particles, "particle", "particles") + " from " +
                                 plural(details.num_fluid_emitters, "emitter", "emitters"));
    body += row("Physics", physicsText(entry, details));
    body += row("Average frame rate", groupDigits(details.fps_avg) + kNbsp + "frames/s");
    body += row("Average simulation rate", groupDigits(details.sps_avg) + kNbsp + "steps/s");
    body += row("GPU temperature", temperaturesText(entry.temperatures));
    body += row("Highest clocks", clocksText(entry.clocks));
    body +=
        "</dl>\n<h2>Monitored GPUs</h2><table><thead><tr><th>Slot</th><th>GPU</th>"
        "<th>Core clock (MHz)</th><th>Memory clock (MHz)</th><th>Voltage (mV)</th>"
        "<th>Temperature (&deg;C)</th><th>Load (%)</th><th>Power (W)</th></tr></thead><tbody>\n";
    bool any = false;
    for (size_t slot = 0; slot < entry.gpus.size(); ++slot) {
        const GpuSlot& gpu = entry.gpus[slot];
        if (gpu.vendor_id == 0 && gpu.device_id == 0) continue;
        any = true;
        body += "<tr><td>" + std::to_string(slot + 1) + "</td><td>" +
                escapeHtml(context.names.name(gpu.vendor_id, gpu.device_id)) + "</td>" +
                maximaCells(gpu.maxima) + "</tr>\n";
    }
    if (!any) body += "<tr><td colspan=\"8\">No GPU was monitored during this run.</td></tr>\n";
    body +=
        "</tbody></table>\n<p>Highest readings during the run; &ndash; where the GPU gave "
        "none.</p>\n<p><a href=\"/compare?id=" +
        std::to_string(entry.id) +
        "\">Compare with the other runs on this GPU at these settings</a></p>\n";
    return layout("Score #" + std::to_string(entry.id), body);
}

std::string comparePage(const PageContext& context, const Comparison& comparison) {
    const ScoreEntry& entry = comparison.entry;
    const SettingsKey key = SettingsKey::of(entry);
    ListQuery same;
    same.settings = key.text();
    const std::string gpu_name =
        escapeHtml(context.names.name(entry.gpu_vendor_id, entry.gpu_device_id));
    std::string body = "<p><a href=\"" + entryLink(entry.id) + "\">Score #" +
                       std::to_string(entry.id) + "</a> (" + std::to_string(entry.global_score) +
                       ", " + escapeHtml(entry.nickname) + ") on " +
                       gpuCell(context, same, entry.gpu_vendor_id, entry.gpu_device_id) + " at " +
                       escapeHtml(settingsText(key)) + ".</p>\n";
    if (comparison.total <= 1) {
        body += "<p class=\"big\">This is the only run with this GPU and these settings.</p>\n";
    } else {
        body += "<p class=\"big\">Better than <b>" +
                std::to_string(comparison.lower * 100 / comparison.total) + "&nbsp;%</b> of " +
                plural(comparison.total, "run", "runs") +
                " with this GPU and these settings (rank " + groupDigits(comparison.rank) +
                ", median " + groupDigits(comparison.median) + ").</p>\n";
    }
    body += scoreHistogram(comparison.scores, entry.global_score);
    body += "<h2>Nearest GPUs at these settings</h2>\n";
    if (comparison.nearest.empty()) {
        body += "<p>No other GPU has runs at these settings yet.</p>\n";
    } else {
        body +=
            "<table><thead><tr><th>GPU</th><th>Median score</th><th>Runs</th>"
            "<th>Best run</th><th>By</th></tr></thead><tbody>\n";
        for (const GpuMedian& other : comparison.nearest) {
            body += "<tr><td>" + gpuCell(context, same, other.gpu.vendor_id, other.gpu.device_id) +
                    "</td><td class=\"n\">" + groupDigits(other.median) + "</td><td class=\"n\">" +
                    groupDigits(other.runs) + "</td><td class=\"n\"><a href=\"" +
                    entryLink(other.best.id) + "\">" + std::to_string(other.best.global_score) +
                    "</a></td><td>" + escapeHtml(other.best.nickname) + "</td></tr>\n";
        }
        body += "</tbody></table>\n";
    }
    body += "<h2>Best on this GPU at these settings</h2>\n";
    body += scoreTable(context, same, comparison.best, 1, entry.id);
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

nlohmann::json entryObject(const GpuNames& names, const ScoreEntry& entry) {
    const RunDetails details = parseRunDetails(entry.run_details);
    nlohmann::json gpus = nlohmann::json::array();
    for (const GpuSlot& gpu : entry.gpus) {
        gpus.push_back({{"vendor_id", gpu.vendor_id},
                        {"device_id", gpu.device_id},
                        {"name", names.name(gpu.vendor_id, gpu.device_id)},
                        {"maxima", gpu.maxima}});
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
            {"gpu_name", names.name(entry.gpu_vendor_id, entry.gpu_device_id)},
            {"settings", SettingsKey::of(entry).text()},
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

std::string errorJson(std::string_view message) {
    return dump({{"error", message}});
}

std::string scoresJson(const GpuNames& names, const ListQuery& query, const ListPage& page) {
    nlohmann::json entries = nlohmann::json::array();
    int64_t rank = page.first_rank;
    for (const ScoreEntry& entry : page.entries) {
        nlohmann::json object = entryObject(names, entry);
        object["rank"] = rank++;
        entries.push_back(std::move(object));
    }
    return dump({{"page", query.page},
                 {"page_size", query.page_size},
                 {"renderer", query.renderer},
                 {"gpu", query.gpu.any() ? "" : gpuText(query.gpu.vendor_id, query.gpu.device_id)},
                 {"settings", query.settings},
                 {"has_next", page.has_next},
                 {"entries", entries}});
}

std::string entryJson(const GpuNames& names, const ScoreEntry& entry) {
    return dump(entryObject(names, entry));
}

}  // namespace plashwerk::server
