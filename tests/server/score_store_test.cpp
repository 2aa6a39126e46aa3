// The scores database: what goes in comes back, the lists' order, filters and pages, the
// comparison on one GPU, and entries that survive a killed process.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "server/sqlite_store.h"
#include "tests/server/server_test_support.h"

namespace plashwerk::server {
namespace {

using test::makeEntry;
using test::TempStore;

// The tests that hold for every store run on SQLite and on PostgreSQL; the PostgreSQL ones
// are skipped where the tests' cluster could not be started.
class ScoreStoreOnBoth : public ::testing::TestWithParam<test::Backend> {
  protected:
    void SetUp() override {
        if (GetParam() == test::Backend::Postgres && !test::PostgresCluster::get().available())
            GTEST_SKIP() << test::PostgresCluster::get().reason();
    }
};
INSTANTIATE_TEST_SUITE_P(Stores, ScoreStoreOnBoth,
                         ::testing::Values(test::Backend::Sqlite, test::Backend::Postgres),
                         [](const ::testing::TestParamInfo<test::Backend>& info) {
                             return info.param == test::Backend::Sqlite ? "Sqlite" : "Postgres";
                         });

std::vector<int64_t> ids(const ListPage& page) {
    std::vector<int64_t> out;
    for (const ScoreEntry& entry : page.entries) out.push_back(entry.id);
    return out;
}

TEST_P(ScoreStoreOnBoth, KeepsEveryFieldAndHostileTextVerbatim) {
    TempStore db(GetParam());
    ScoreEntry entry =
        makeEntry(4321, "GeForce RTX 4090/PCIe/SSE2", 0x10de, 0x2684, "'); DROP TABLE entries; --");
    entry.gpus[1] = {0x1002, 0x73bf, "2500_1000_1150_80_100_300"};
    entry.driver = "<script>alert(1)</script>";
    ASSERT_EQ(db.store->insert(entry), 1);
    EXPECT_GT(entry.submitted_at, 0);

    const std::optional<ScoreEntry> back = db.store->find(1);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->nickname, "'); DROP TABLE entries; --");
    EXPECT_EQ(back->driver, "<script>alert(1)</script>");
    EXPECT_EQ(back->renderer, "GeForce RTX 4090/PCIe/SSE2");
    EXPECT_EQ(back->global_score, 4321);
    EXPECT_EQ(back->width, 1920);
    EXPECT_EQ(back->msaa, 4);
    EXPECT_EQ(back->mac_address, "00-11-22-33-44-55");
    EXPECT_EQ(back->run_details, entry.run_details);
    EXPECT_EQ(back->submitted_at, entry.submitted_at);
    EXPECT_EQ(back->gpus[1].vendor_id, 0x1002);
    EXPECT_EQ(back->gpus[1].maxima, "2500_1000_1150_80_100_300");
    EXPECT_EQ(back->gpus[3].maxima, "0_0_0");
    EXPECT_FALSE(db.store->find(2));
    EXPECT_EQ(db.store->count(), 1);
}

TEST_P(ScoreStoreOnBoth, ListsBestFirstInPagesWithEarlierEntryFirstOnATie) {
    TempStore db(GetParam());
    for (int score : {500, 900, 700, 900, 100}) {
        ScoreEntry entry = makeEntry(score);
        db.store->insert(entry);
    }
    ListQuery query;
    query.page_size = 2;
    ListPage first = db.store->list(query);
    EXPECT_EQ(ids(first), (std::vector<int64_t>{2, 4}));
    EXPECT_EQ(first.first_rank, 1);
    EXPECT_TRUE(first.has_next);

    query.page = 2;
    ListPage second = db.store->list(query);
    EXPECT_EQ(ids(second), (std::vector<int64_t>{3, 1}));
    EXPECT_EQ(second.first_rank, 3);
    EXPECT_TRUE(second.has_next);

    query.page = 3;
    ListPage last = db.store->list(query);
    EXPECT_EQ(ids(last), (std::vector<int64_t>{5}));
    EXPECT_FALSE(last.has_next);

    query.page = 4;
    EXPECT_TRUE(db.store->list(query).entries.empty());
    query.page = 0;
    EXPECT_TRUE(db.store->list(query).entries.empty());
}

TEST_P(ScoreStoreOnBoth, FiltersByRendererByGpuAndByBoth) {
    TempStore db(GetParam());
    const ScoreEntry entries[] = {
        makeEntry(100, "RTX 4090", 0x10de, 0x2684), makeEntry(300, "RX 6900", 0x1002, 0x73bf),
        makeEntry(200, "RTX 4090", 0x10de, 0x2684), makeEntry(400, "RTX 4090 Ti", 0x10de, 0x2684),
        makeEntry(500, "RX 6900", 0x10de, 0x2684)};
    for (ScoreEntry entry : entries) db.store->insert(entry);

    ListQuery query;
    query.renderer = "RTX 4090";
    EXPECT_EQ(ids(db.store->list(query)), (std::vector<int64_t>{3, 1}));
    query.renderer = "RTX";  // whole names only
    EXPECT_TRUE(db.store->list(query).entries.empty());

    query.renderer.clear();
    query.gpu = {0x1002, 0x73bf};
    EXPECT_EQ(ids(db.store->list(query)), (std::vector<int64_t>{2}));
    query.gpu = {0x10de, 0x2684};
    EXPECT_EQ(ids(db.store->list(query)), (std::vector<int64_t>{5, 4, 3, 1}));
    query.renderer = "RX 6900";
    EXPECT_EQ(ids(db.store->list(query)), (std::vector<int64_t>{5}));
}

TEST_P(ScoreStoreOnBoth, ComparesAnEntryWithTheOthersOnItsGpu) {
    TempStore db(GetParam());
    for (auto [score, device] : {std::pair{800, 1}, {600, 1}, {900, 2}, {600, 1}, {700, 1}}) {
        ScoreEntry entry = makeEntry(score, "r", 0x10de, device);
        db.store->insert(entry);
    }
    const std::optional<Comparison> fourth = db.store->compare(4, 10);
    ASSERT_TRUE(fourth);
    EXPECT_EQ(fourth->entry.id, 4);
    EXPECT_EQ(fourth->rank, 4);  // behind 800, 700 and the earlier 600
    EXPECT_EQ(fourth->total, 4);
    EXPECT_EQ(ids(ListPage{fourth->best, 1, false}), (std::vector<int64_t>{1, 5, 2, 4}));

    const std::optional<Comparison> alone = db.store->compare(3, 10);
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->rank, 1);
    EXPECT_EQ(alone->total, 1);

    const std::optional<Comparison> short_list = db.store->compare(4, 2);
    ASSERT_TRUE(short_list);
    EXPECT_EQ(short_list->best.size(), 2u);
    EXPECT_FALSE(db.store->compare(99, 10));
}

TEST_P(ScoreStoreOnBoth, ComparesOnlyAtTheSameSettingsAndFindsTheNearestGpus) {
    TempStore db(GetParam());
    const auto add = [&](int score, int device, int particles = 60000) {
        ScoreEntry entry = makeEntry(score, "r", 0x10de, device);
        entry.run_details = std::to_string(score) + "_1_2_" + std::to_string(particles) +
                            "_4_1_0_1_8_250_1_2_45_30_1";
        return db.store->insert(entry);
    };
    const int64_t mine = add(500, 1);
    for (int score : {900, 300, 100}) add(score, 1);
    add(5000, 1, 30000);  // other settings: neither counted nor charted
    // Other GPUs' medians: device 2 at 310, 3 at 1000, 4 at 450, 5 at 100; 6 only elsewhere.
    for (int score : {200, 310, 900}) add(score, 2);
    for (int score : {1000, 1000}) add(score, 3);
    add(450, 4);
    for (int score : {90, 100, 110}) add(score, 5);
    add(400, 6, 30000);

    const std::optional<Comparison> comparison = db.store->compare(mine, 10);
    ASSERT_TRUE(comparison);
    EXPECT_EQ(comparison->total, 4);
    EXPECT_EQ(comparison->rank, 2);
    EXPECT_EQ(comparison->lower, 2);
    EXPECT_EQ(comparison->scores, (std::vector<int>{900, 500, 300, 100}));
    EXPECT_EQ(comparison->median, 300);
    ASSERT_EQ(comparison->nearest.size(), 3u);
    std::vector<int> devices, medians, best;
    for (const GpuMedian& other : comparison->nearest) {
        devices.push_back(other.gpu.device_id);
        medians.push_back(other.median);
        best.push_back(other.best.global_score);
    }
    EXPECT_EQ(devices, (std::vector<int>{2, 4, 5}));
    EXPECT_EQ(medians, (std::vector<int>{310, 450, 100}));
    EXPECT_EQ(best, (std::vector<int>{900, 450, 110}));
    EXPECT_EQ(comparison->nearest[0].runs, 3);

    ListQuery query;
    query.settings = SettingsKey::of(comparison->entry).text();
    EXPECT_EQ(db.store->list(query).entries.size(), 13u);
    query.settings = "1920x1080_msaa4_p30000_e4_cpu";
    EXPECT_EQ(ids(db.store->list(query)).size(), 2u);
    query.gpu = {0x10de, 6};
    EXPECT_EQ(db.store->list(query).entries.at(0).global_score, 400);
}

// Two stores on one PostgreSQL database, as two servers on two machines would have: each
// sees the other's entries, ids never collide, and opening both at once makes the schema
// once.
TEST(PostgresStore, TwoStoresShareOneDatabase) {
    if (!test::PostgresCluster::get().available())
        GTEST_SKIP() << test::PostgresCluster::get().reason();
    const std::string uri = test::PostgresCluster::get().freshDatabase();
    ASSERT_FALSE(uri.empty());
    std::unique_ptr<ScoreStore> first, second;
    std::string first_error, second_error;
    std::thread opener([&] { first = ScoreStore::open(uri, first_error); });
    second = ScoreStore::open(uri, second_error);
    opener.join();
    ASSERT_TRUE(first) << first_error;
    ASSERT_TRUE(second) << second_error;
    std::set<int64_t> seen;
    for (int i = 0; i < 20; ++i) {
        ScoreEntry entry = makeEntry(100 + i);
        seen.insert((i % 2 ? first : second)->insert(entry));
    }
    EXPECT_EQ(seen.size(), 20u);
    EXPECT_EQ(first->count(), 20);
    EXPECT_EQ(second->list(ListQuery{}).entries.front().global_score, 119);
    const std::optional<Comparison> comparison = first->compare(*seen.begin(), 5);
    ASSERT_TRUE(comparison);
    EXPECT_EQ(comparison->total, 20);

    std::string error;
    EXPECT_FALSE(ScoreStore::open("postgresql://plashwerk@/none?host=/nonexistent", error));
    EXPECT_NE(error.find("/nonexistent"), std::string::npos) << error;
}

TEST(ScoreStore, GivesEntriesOfAnOlderDatabaseTheirSettingsKeys) {
    TempStore db;
    ScoreEntry entry = makeEntry(700);
    db.store->insert(entry);
    db.store.reset();
    {
        // The database as it was before the key was kept: no column, no index on it.
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(db.path.c_str(), &raw), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(raw,
                               "DROP INDEX entries_by_settings; DROP INDEX entries_by_settings_gpu;"
                               "ALTER TABLE entries DROP COLUMN settings_key;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK)
            << sqlite3_errmsg(raw);
        sqlite3_close(raw);
    }
    db.store = db.open();
    ASSERT_TRUE(db.store);
    ListQuery query;
    query.settings = "1920x1080_msaa4_p60000_e4_cpu";
    EXPECT_EQ(ids(db.store->list(query)), (std::vector<int64_t>{1}));
}

TEST(ScoreStore, CreatesAWalDatabaseOnceAndRefusesAFileThatIsNoDatabase) {
    TempStore db;
    ScoreEntry entry = makeEntry(1);
    db.store->insert(entry);
    db.store.reset();
    db.store = db.open();  // the schema is there already: opening again keeps the entry
    ASSERT_TRUE(db.store);
    EXPECT_EQ(db.store->count(), 1);

    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(db.path.c_str(), &raw), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(raw, "PRAGMA journal_mode", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
    sqlite3_finalize(stmt);
    sqlite3_close(raw);

    const std::string junk = db.folder.path() + "/junk.sqlite";
    test::writeFile(junk, std::string(4096, 'x'));
    std::string error;
    EXPECT_FALSE(ScoreStore::open(junk, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ScoreStore::open(db.folder.path() + "/no/such/folder/x.sqlite", error));
}

TEST(ScoreStore, AnEntryStoredBeforeTheProcessIsKilledIsStillThere) {
    TempStore db;
    db.store.reset();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string error;
        std::unique_ptr<ScoreStore> store = ScoreStore::open(db.path, error);
        ScoreEntry entry = makeEntry(777);
        if (!store || store->insert(entry) != 1) _exit(3);
        kill(getpid(), SIGKILL);  // no close, no checkpoint: only the log has the entry
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child exit " << WEXITSTATUS(status);
    db.store = db.open();
    const std::optional<ScoreEntry> kept = db.store->find(1);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->global_score, 777);
}

TEST_P(ScoreStoreOnBoth, InsertsFromManyThreadsAllLandWithDistinctIds) {
    TempStore db(GetParam());
    constexpr int kThreads = 8, kEach = 40;
    std::vector<std::vector<int64_t>> got(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                ScoreEntry entry = makeEntry(t * 1000 + i);
                got[t].push_back(db.store->insert(entry));
                if (!db.store->find(got[t].back())) got[t].back() = -2;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    std::set<int64_t> distinct;
    for (const auto& list : got) distinct.insert(list.begin(), list.end());
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(*distinct.begin(), 1);
    EXPECT_EQ(db.store->count(), kThreads * kEach);
}

// Entries stored without pause while readers list them: the write-ahead log stays within
// its bound (a reader is always on it, so a log that is only copied, never emptied, would
// grow by every entry) and is emptied once the entries stop.
TEST(ScoreStore, KeepsTheWriteAheadLogShortUnderSteadyWritesAndEmptiesItWhenTheyStop) {
    TempStore db;
    const std::string wal = db.path + "-wal";
    const auto wal_bytes = [&] {
        struct stat info {};
        return stat(wal.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
    };
    std::atomic<bool> reading{true};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&] {
            while (reading) db.store->list(ListQuery{});
        });
    }
    // Each entry adds about five pages (the row and three indexes) to the log: 3000
    // entries would make a log of about 60 MB.
    int64_t largest = 0;
    for (int i = 0; i < 3000; ++i) {
        ScoreEntry entry = makeEntry(i % 997);
        ASSERT_GT(db.store->insert(entry), 0);
        if (i % 50 == 0) largest = std::max(largest, wal_bytes());
    }
    reading = false;
    for (std::thread& reader : readers) reader.join();
    const int64_t bound = (SqliteStore::kCheckpointFrames + 512) * int64_t{4096 + 24};
    EXPECT_LT(largest, bound);
    for (int waited = 0; waited < 300 && wal_bytes() > 0; ++waited) usleep(10000);
    EXPECT_EQ(wal_bytes(), 0) << "the log is not emptied once the writes stop";
    EXPECT_EQ(db.store->count(), 3000);
}

}  // namespace
}  // namespace plashwerk::server
