// The pages and the JSON: stored text is escaped wherever it is shown, links carry encoded
// filters, and the API publishes neither the hardware address nor the e-mail.

#include "server/pages.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/server/server_test_support.h"

namespace plashwerk::server {
namespace {

using test::makeEntry;

const char* const kScript = "<script>alert('x')</script>";

TEST(Pages, EscapeMarkupQuotesAmpersandsAndControlBytes) {
    EXPECT_EQ(escapeHtml("<a href=\"x\">Tom & Jerry's</a>"),
              "&lt;a href=&quot;x&quot;&gt;Tom &amp; Jerry&#39;s&lt;/a&gt;");
    EXPECT_EQ(escapeHtml(std::string("a\0b\x1b", 4)), "a&#xFFFD;b&#xFFFD;");
    EXPECT_EQ(escapeHtml("GeForce RTX 4090/PCIe/SSE2"), "GeForce RTX 4090/PCIe/SSE2");
    EXPECT_EQ(encodeQueryValue("RX 6900/XT&x=1\"<"), "RX%206900%2FXT%26x%3D1%22%3C");
    EXPECT_EQ(encodeQueryValue("a-b.c_d~"), "a-b.c_d~");
    EXPECT_EQ(gpuText(0x10de, 0x2684), "10de:2684");
    EXPECT_EQ(gpuText(0, 0), "0000:0000");
}

TEST(Pages, StoredScriptShowsEscapedOnEveryPage) {
    ScoreEntry entry = makeEntry(1234, kScript, 0x10de, 0x2684, kScript);
    entry.id = 7;
    entry.driver = kScript;
    entry.cpu_name = kScript;
    entry.os_name = kScript;
    entry.temperatures = kScript;
    entry.gpus[0].maxima = kScript;
    ListQuery query;
    query.renderer = kScript;
    const ListPage page{{entry}, 1, true};
    Comparison comparison{entry, 1, 1, {entry}};
    const std::string pages[] = {entryPage(entry), scoresPage(query, page), homePage(page),
                                 comparePage(comparison)};
    for (const std::string& html : pages) {
        EXPECT_EQ(html.find("<script"), std::string::npos) << html;
        EXPECT_NE(html.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"), std::string::npos);
        EXPECT_EQ(html.rfind("<!DOCTYPE html>\n<html lang=\"en\">", 0), 0u);
        EXPECT_NE(html.find("</body></html>"), std::string::npos);
    }
    // In a link the renderer is URL-encoded first, then escaped for the attribute.
    EXPECT_NE(
        pages[1].find("href=\"/scores?renderer=%3Cscript%3Ealert%28%27x%27%29%3C%2Fscript%3E\""),
        std::string::npos);
    EXPECT_EQ(errorPage(400, kScript).find("<script"), std::string::npos);
}

TEST(Pages, ListShowsRanksFiltersAndPageLinks) {
    ScoreEntry first = makeEntry(900), second = makeEntry(800);
    first.id = 3;
    second.id = 9;
    ListQuery query;
    query.page = 2;
    query.gpu = {0x10de, 0x2684};
    const std::string html = scoresPage(query, ListPage{{first, second}, 26, true});
    EXPECT_NE(html.find("<td class=\"n\">26</td><td class=\"n\"><a "
                        "href=\"/benchmarks/plashwerk_140_score.php?id=3\">900</a>"),
              std::string::npos);
    EXPECT_NE(html.find("<td class=\"n\">27</td>"), std::string::npos);
    EXPECT_NE(html.find("href=\"/scores?page=1&amp;gpu=10de:2684\">Previous page"),
              std::string::npos);
    EXPECT_NE(html.find("href=\"/scores?page=3&amp;gpu=10de:2684\">Next page"), std::string::npos);
    EXPECT_NE(html.find("value=\"10de:2684\""), std::string::npos);

    query.page = 1;
    const std::string last = scoresPage(query, ListPage{{first}, 1, false});
    EXPECT_EQ(last.find("Previous page"), std::string::npos);
    EXPECT_EQ(last.find("Next page"), std::string::npos);
    EXPECT_NE(scoresPage(ListQuery{}, ListPage{}).find("No scores yet."), std::string::npos);
}

TEST(Pages, EntryPageNamesTheRunFromItsDetails) {
    ScoreEntry entry = makeEntry(4321);
    entry.id = 12;
    entry.gpus[1] = {0x1002, 0x73bf, "2500_1000_1150_80_100_300"};
    const std::string html = entryPage(entry);
    EXPECT_NE(html.find("<title>Score #12 - Plashwerk scores</title>"), std::string::npos);
    EXPECT_NE(html.find("<dt>PhysX score</dt><dd>1200</dd>"), std::string::npos);
    EXPECT_NE(html.find("<dt>GraphX score</dt><dd>3400</dd>"), std::string::npos);
    EXPECT_NE(html.find("<dt>Average FPS</dt><dd>30</dd>"), std::string::npos);
    EXPECT_NE(html.find("<td>2</td><td>1002:73bf</td><td>2500_1000_1150_80_100_300</td>"),
              std::string::npos);
    EXPECT_EQ(html.find("<td>3</td>"), std::string::npos) << "empty GPU slots are left out";
    EXPECT_EQ(html.find(entry.mac_address), std::string::npos);
    EXPECT_NE(html.find("href=\"/compare?id=12\""), std::string::npos);
}

TEST(Pages, JsonCarriesTheEntriesAndKeepsPrivateFieldsOut) {
    ScoreEntry entry = makeEntry(555, "r\xff\"", 0x10de, 0x2684, "nick");
    entry.id = 4;
    entry.account_email = "me@example.org";
    ListQuery query;
    query.page = 3;
    const nlohmann::json list =
        nlohmann::json::parse(scoresJson(query, ListPage{{entry}, 51, false}));
    EXPECT_EQ(list["page"], 3);
    EXPECT_EQ(list["has_next"], false);
    EXPECT_EQ(list["entries"][0]["rank"], 51);
    EXPECT_EQ(list["entries"][0]["renderer"], "r\xEF\xBF\xBD\"");  // a stray byte is replaced
    const std::string text = entryJson(entry);
    const nlohmann::json one = nlohmann::json::parse(text);
    EXPECT_EQ(one["id"], 4);
    EXPECT_EQ(one["physx_score"], 1200);
    EXPECT_EQ(one["gpu"], "10de:2684");
    EXPECT_EQ(text.find("me@example.org"), std::string::npos);
    EXPECT_EQ(text.find(entry.mac_address), std::string::npos);
}

TEST(RunDetails, ReadsFifteenNumbersAndNothingElse) {
    const RunDetails details = parseRunDetails("1_2_3_4_5_6_7_8_9_10_11_12_13_14_-15");
    EXPECT_EQ(details.physx_score, 2);
    EXPECT_EQ(details.fps_avg, 14);
    EXPECT_EQ(details.multicore_cpu_physx, -15);
    for (const char* bad :
         {"", "1_2_3", "1_2_3_4_5_6_7_8_9_10_11_12_13_14_15_16",
          "1_2_3_4_5_6_7_8_9_10_11_12_13_14_x", "1_2_3_4_5_6_7_8_9_10_11_12_13_14_",
          "99999999999_2_3_4_5_6_7_8_9_10_11_12_13_14_15"}) {
        EXPECT_EQ(parseRunDetails(bad).physx_score, 0) << bad;
        EXPECT_EQ(parseRunDetails(bad).global_score, 0) << bad;
    }
}

}  // namespace
}  // namespace plashwerk::server
