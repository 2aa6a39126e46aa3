// The pages and the JSON: stored text is escaped wherever it is shown, links carry encoded
// filters, and the API publishes neither the hardware address nor the e-mail.

#include "server/pages.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/server/server_test_support.h"

namespace plashwerk::server {
namespace {

using test::makeEntry;

const GpuNames kNames;
// Three days and an hour after the entries' time (0 in these tests).
const PageContext kContext{kNames, 3 * 86400 + 3600};
const std::string kNbsp = "\u00a0";

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
    Comparison comparison;
    comparison.entry = entry;
    comparison.best = {entry};
    comparison.scores = {1234};
    const std::string pages[] = {entryPage(kContext, entry), scoresPage(kContext, query, page),
                                 homePage(kContext, page), comparePage(kContext, comparison)};
    for (const std::string& html : pages) {
        EXPECT_EQ(html.find("<script"), std::string::npos) << html;
        EXPECT_NE(html.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"), std::string::npos);
        EXPECT_EQ(html.rfind("<!DOCTYPE html>\n<html lang=\"en\">", 0), 0u);
        EXPECT_NE(html.find("</body></html>"), std::string::npos);
    }
    // In a link the renderer is URL-encoded first, then escaped for the attribute.
    EXPECT_NE(pages[1].find("href=\"/scores?settings=all&amp;renderer="
                            "%3Cscript%3Ealert%28%27x%27%29%3C%2Fscript%3E\""),
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
    query.settings = SettingsKey::of(first).text();
    const std::string html = scoresPage(kContext, query, ListPage{{first, second}, 26, true});
    EXPECT_NE(html.find("<td class=\"n\">26</td><td class=\"n\"><a "
                        "href=\"/benchmarks/plashwerk_140_score.php?id=3\">900</a>"),
              std::string::npos);
    EXPECT_NE(html.find("<td class=\"n\">27</td>"), std::string::npos);
    // Page links keep the filters; filter links keep the others and go back to page 1.
    const std::string filters = "settings=1920x1080_msaa4_p60000_e4_cpu&amp;gpu=10de:2684";
    EXPECT_NE(html.find("href=\"/scores?" + filters + "\">Previous page"), std::string::npos);
    EXPECT_NE(html.find("href=\"/scores?" + filters + "&amp;page=3\">Next page"),
              std::string::npos);
    EXPECT_NE(html.find("href=\"/scores?settings=1920x1080_msaa4_p60000_e4_cpu&amp;renderer="
                        "Mesa%20llvmpipe&amp;gpu=10de:2684\">Mesa llvmpipe</a>"),
              std::string::npos);
    EXPECT_NE(html.find("value=\"10de:2684\""), std::string::npos);
    EXPECT_NE(html.find(">NVIDIA GeForce RTX 4090</a>"), std::string::npos);
    EXPECT_EQ(html.find(">10de:2684</a>"), std::string::npos) << "GPUs go by name";
    // The tabs: the presets lead, the list's own settings get one, and "All settings".
    EXPECT_NE(html.find("href=\"/scores?settings=1920x1080_msaa0_p60000_e7_cpu&amp;gpu=10de:2684"
                        "\">Preset:1080, CPU physics</a>"),
              std::string::npos);
    EXPECT_NE(html.find("<b>1920 \u00d7 1080, 4\u00d7 MSAA, 60" + kNbsp +
                        "000 particles, 4 emitters, physics on the CPU</b>"),
              std::string::npos);
    EXPECT_NE(html.find("settings=all&amp;gpu=10de:2684\">All settings</a>"), std::string::npos);
    EXPECT_EQ(html.find("<th>Settings</th>"), std::string::npos) << "one settings key: said once";
    query.settings.clear();
    EXPECT_NE(scoresPage(kContext, query, ListPage{{first}, 1, false}).find("<th>Settings</th>"),
              std::string::npos);

    query.page = 1;
    const std::string last = scoresPage(kContext, query, ListPage{{first}, 1, false});
    EXPECT_EQ(last.find("Previous page"), std::string::npos);
    EXPECT_EQ(last.find("Next page"), std::string::npos);
    EXPECT_NE(scoresPage(kContext, ListQuery{}, ListPage{}).find("No scores yet."),
              std::string::npos);
}

TEST(Pages, EntryPageSaysEveryFieldInWordsAndUnits) {
    ScoreEntry entry = makeEntry(4321);
    entry.id = 12;
    entry.temperatures = "41_78";
    entry.clocks = "1980_10501_0";
    entry.gpu_count = 2;
    entry.gpus[1] = {0x1002, 0x73bf, "2500_1000_1150_80_100_0"};
    const std::string html = entryPage(kContext, entry);
    for (const std::string& expected : std::vector<std::string>{
             "<title>Score #12 - Plashwerk scores</title>",
             "<dt>PhysX score</dt><dd>1" + kNbsp + "200</dd>",
             "<dt>GPU temperature</dt><dd>Start 41" + kNbsp + "&deg;C, end 78" + kNbsp +
                 "&deg;C</dd>",
             "<dt>Highest clocks</dt><dd>Core 1" + kNbsp + "980" + kNbsp + "MHz, memory 10" +
                 kNbsp + "501" + kNbsp + "MHz</dd>",
             "<dt>Submitted</dt><dd>1970-01-01 00:00 UTC (3 days ago)</dd>",
             ">NVIDIA GeForce RTX 4090</a>, 2 GPUs monitored</dd>",
             "<dt>Physics</dt><dd>CPU, simulation on a thread of its own, physics library on "
             "several cores</dd>",
             "<dt>Average frame rate</dt><dd>30" + kNbsp + "frames/s</dd>",
             "<dt>Particles</dt><dd>60" + kNbsp + "000 particles from 4 emitters</dd>",
             // One row per monitored GPU, its maxima in columns with units in the head; the
             // power it did not report is a dash.
             "<th>Core clock (MHz)</th>",
             "<tr><td>2</td><td>AMD Radeon RX 6800/6800 XT/6900 XT</td><td class=\"n\">2" + kNbsp +
                 "500</td><td class=\"n\">1" + kNbsp + "000</td><td class=\"n\">1" + kNbsp +
                 "150</td><td class=\"n\">80</td><td class=\"n\">100</td><td "
                 "class=\"n\">&ndash;</td></tr>",
             "href=\"/compare?id=12\""}) {
        EXPECT_NE(html.find(expected), std::string::npos) << expected;
    }
    EXPECT_EQ(html.find("<td>3</td>"), std::string::npos) << "empty GPU slots are left out";
    EXPECT_EQ(html.find(entry.mac_address), std::string::npos);
    EXPECT_EQ(html.find('_'), html.find("settings=1920x1080_") + 18) << "no wire format shown";

    entry.physx_device = 2;
    entry.temperatures = "0_0";
    entry.clocks = "0_0_0";
    for (GpuSlot& gpu : entry.gpus) gpu = {};
    const std::string bare = entryPage(kContext, entry);
    EXPECT_NE(bare.find("<dt>Physics</dt><dd>GPU</dd>"), std::string::npos);
    EXPECT_NE(bare.find("<dt>GPU temperature</dt><dd>not measured</dd>"), std::string::npos);
    EXPECT_NE(bare.find("No GPU was monitored during this run."), std::string::npos);
}

TEST(Pages, NumbersDatesAndSettingsInWords) {
    EXPECT_EQ(groupDigits(0), "0");
    EXPECT_EQ(groupDigits(999), "999");
    EXPECT_EQ(groupDigits(1980), "1" + kNbsp + "980");
    EXPECT_EQ(groupDigits(-1234567), "-1" + kNbsp + "234" + kNbsp + "567");
    EXPECT_EQ(agoText(100, 100), "just now");
    EXPECT_EQ(agoText(0, 60), "1 minute ago");
    EXPECT_EQ(agoText(0, 3 * 86400 + 86399), "3 days ago");
    EXPECT_EQ(agoText(0, 800 * 86400), "2 years ago");
    EXPECT_EQ(agoText(10, 0), "in the future");
    const SettingsKey key{1280, 720, 0, 30000, 3, true};
    EXPECT_EQ(key.text(), "1280x720_msaa0_p30000_e3_gpu");
    EXPECT_EQ(SettingsKey::parse(key.text()), key);
    for (const char* bad : {"", "1280x720_msaa0_p30000_e3_tpu", "1280x720_msaa0_p30000_e3_gpu ",
                            "01280x720_msaa0_p30000_e3_gpu", "-1x720_msaa0_p30000_e3_gpu",
                            "1280x720_msaa0_p30000_gpu"})
        EXPECT_FALSE(SettingsKey::parse(bad)) << bad;
    EXPECT_EQ(settingsText(key), "1280 \u00d7 720, no MSAA, 30" + kNbsp +
                                     "000 particles, 3 emitters, physics on the GPU");
    EXPECT_EQ(parseNumbers("41_78", 2), (std::vector<int>{41, 78}));
    for (const char* bad : {"41", "41_78_0", "41__78", "_41_78", "41_x"})
        EXPECT_FALSE(parseNumbers(bad, 2)) << bad;
}

TEST(Pages, ComparePageChartsTheScoresAndMarksTheEntry) {
    ScoreEntry entry = makeEntry(500);
    entry.id = 7;
    Comparison comparison;
    comparison.entry = entry;
    comparison.rank = 2;
    comparison.total = 4;
    comparison.best = {entry};
    comparison.scores = {900, 500, 300, 100};
    comparison.lower = 2;
    comparison.median = 300;
    ScoreEntry other = makeEntry(640, "r", 0x1002, 0x73bf, "Neighbour");
    other.id = 8;
    comparison.nearest = {{{0x1002, 0x73bf}, 310, 3, other}};
    const std::string html = comparePage(kContext, comparison);
    EXPECT_NE(html.find("Better than <b>50&nbsp;%</b> of 4 runs with this GPU and these settings"),
              std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    const size_t svg = html.find("<svg xmlns=\"http://www.w3.org/2000/svg\"");
    ASSERT_NE(svg, std::string::npos);
    // Twenty bars over 100..900; the entry's bar (500: the tenth) is the marked one, alone.
    const std::string chart = html.substr(svg, html.find("</svg>") - svg);
    size_t bars = 0, marked = 0;
    for (size_t at = chart.find("<rect"); at != std::string::npos; at = chart.find("<rect", at + 1))
        ++bars;
    for (size_t at = chart.find("#d9480f"); at != std::string::npos;
         at = chart.find("#d9480f", at + 1))
        ++marked;
    EXPECT_EQ(bars, 20u);
    EXPECT_EQ(marked, 1u);
    EXPECT_NE(chart.find("this run: 500"), std::string::npos);
    EXPECT_NE(html.find(">AMD Radeon RX 6800/6800 XT/6900 XT</a></td><td class=\"n\">310</td>"),
              std::string::npos);
    EXPECT_NE(html.find("plashwerk_140_score.php?id=8\">640</a></td><td>Neighbour</td>"),
              std::string::npos);
    EXPECT_EQ(scoreHistogram({}, 5), "");
    EXPECT_NE(scoreHistogram({5, 5, 5}, 5).find("<title>5 to 5: 3</title>"), std::string::npos);
}

TEST(GpuNames, DeviceTablesThenThePciListThenTheIds) {
    GpuNames names;
    EXPECT_EQ(names.name(0x10de, 0x2684), "NVIDIA GeForce RTX 4090");
    EXPECT_EQ(names.name(0x10de, 0x0001), "10de:0001");
    EXPECT_EQ(names.name(0, 0), "none");
    // The table of other vendors holds no vendor id: its device ids name nothing alone.
    EXPECT_EQ(names.name(0x1234, 0x1111), "1234:1111");
    names.addPciIds(
        "# comment\n10de  NVIDIA Corporation\n\t0001  Test GPU\n\t\t1043 8888  A board\n"
        "\t2684  AD102 [GeForce RTX 4090]\n1234  Technical Corp.\n\tzzzz  broken\n"
        "C 03  Display controller\n\t00  VGA compatible controller\n");
    EXPECT_EQ(names.name(0x10de, 0x0001), "NVIDIA Corporation Test GPU");
    EXPECT_EQ(names.name(0x10de, 0x2684), "NVIDIA GeForce RTX 4090") << "the tables come first";
    EXPECT_EQ(names.name(0x1234, 0x1111), "Technical Corp. device 1234:1111");
    EXPECT_EQ(GpuNames::withPciIds({"/nonexistent/pci.ids"}).name(0x10de, 0x0001), "10de:0001");
}

TEST(Pages, JsonCarriesTheEntriesAndKeepsPrivateFieldsOut) {
    ScoreEntry entry = makeEntry(555, "r\xff\"", 0x10de, 0x2684, "nick");
    entry.id = 4;
    entry.account_email = "me@example.org";
    ListQuery query;
    query.page = 3;
    const nlohmann::json list =
        nlohmann::json::parse(scoresJson(kNames, query, ListPage{{entry}, 51, false}));
    EXPECT_EQ(list["page"], 3);
    EXPECT_EQ(list["has_next"], false);
    EXPECT_EQ(list["entries"][0]["rank"], 51);
    EXPECT_EQ(list["entries"][0]["renderer"], "r\xEF\xBF\xBD\"");  // a stray byte is replaced
    const std::string text = entryJson(kNames, entry);
    const nlohmann::json one = nlohmann::json::parse(text);
    EXPECT_EQ(one["id"], 4);
    EXPECT_EQ(one["physx_score"], 1200);
    EXPECT_EQ(one["gpu"], "10de:2684");
    EXPECT_EQ(one["gpu_name"], "NVIDIA GeForce RTX 4090");
    EXPECT_EQ(one["gpus"][0]["name"], "NVIDIA GeForce RTX 4090");
    EXPECT_EQ(one["gpus"][1]["name"], "none");
    EXPECT_EQ(one["settings"], "1920x1080_msaa4_p60000_e4_cpu");
    EXPECT_EQ(nlohmann::json::parse(errorJson("no \"such\" page")),
              nlohmann::json({{"error", "no \"such\" page"}}));
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
