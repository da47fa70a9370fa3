// One suite for both storage backends: what the collector and the reports rely on must hold on
// SQLite and on PostgreSQL alike.
#include "TestDatabase.h"

#include "collector/Migrations.h"
#include "collector/Report.h"
#include "collector/Store.h"
#include "collector/Text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <set>
#include <thread>

using collector::openStore;
using collector::SqlSession;
using collector::Store;

namespace {

collector::UploadRecord record(const std::string& session, uint32_t crc, std::array<int, 5> selected) {
    collector::UploadRecord r;
    r.receivedAt = collector::utcNow();
    r.sessionId = session;
    r.pinCode = "4711";
    r.duid = "DUID-1";
    r.crc32 = crc;
    r.fileSize = 321;
    r.envelopeXml = "<survey/>";
    r.envelope.device = {"DUID-1", "EU", "DE", "UE55", "T-1001"};
    for (int q = 0; q < 5; ++q)
        if (selected[static_cast<size_t>(q)])
            r.envelope.items.push_back({q + 1, selected[static_cast<size_t>(q)], "q", "a"});
    return r;
}

class StoreTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { TAV_REQUIRE_DATABASE(db); }
    coltest::TestDatabase db{GetParam()};
};

} // namespace

TEST_P(StoreTest, UploadIsStoredWholeOnceAndReadBackUnchanged) {
    const auto store = openStore(db.dbText());
    // Two answers for question 2 break the answers' key after the upload row went in: the
    // transaction must take the upload row back out.
    collector::UploadRecord broken = record("S", 7, {1, 3, 0, 0, 0});
    broken.envelope.items.push_back({2, 4, "q", "a"});
    EXPECT_THROW(store->insert(broken), std::runtime_error);
    EXPECT_EQ(store->query("SELECT COUNT(*) FROM uploads").integer(0, 0), 0);

    // Escapes, non-ASCII text and the largest CRC (past a 32-bit signed column) come back as sent.
    collector::UploadRecord r = record("S\x1b[2J\xc3\xa9", 4294967295u, {1, 3, 0, 0, 0});
    const auto first = store->insert(r);
    EXPECT_FALSE(first.duplicate);
    r.receivedAt = "2030-01-01 00:00:00";  // a retry arrives later; it is the same upload
    const auto again = store->insert(r);
    EXPECT_TRUE(again.duplicate);
    EXPECT_EQ(again.id, first.id);
    const auto other = store->insert(record("S\x1b[2J\xc3\xa9", 5, {2, 7, 10, 7, 7}));
    EXPECT_NE(other.id, first.id);

    const auto surveys = store->surveys();
    ASSERT_EQ(surveys.size(), 2u);
    EXPECT_EQ(surveys[0].sessionId, "S\x1b[2J\xc3\xa9");
    EXPECT_EQ(surveys[0].selected, (std::array<int, 5>{1, 3, 0, 0, 0}));
    EXPECT_EQ(surveys[1].selected, (std::array<int, 5>{2, 7, 10, 7, 7}));
    EXPECT_EQ(store->query("SELECT crc32, country, model_name, firmware_version, local_set FROM uploads"
                           " WHERE id = ?",
                           {first.id})
                  .rows[0],
              (std::vector<std::optional<std::string>>{"4294967295", "DE", "UE55", "T-1001", "EU"}));
    const auto counts = store->answerCounts();
    EXPECT_EQ(counts[0][0], 1);
    EXPECT_EQ(counts[1][2], 1);
    EXPECT_EQ(counts[2][9], 1);

    // Bytes PostgreSQL could not keep are refused on both, as a client error (not retried).
    EXPECT_THROW(store->insert(record("S\xff", 9, {1, 0, 0, 0, 0})), collector::UploadError);
    EXPECT_THROW(store->insert(record(std::string("S\0x", 3), 9, {1, 0, 0, 0, 0})), collector::UploadError);
    EXPECT_EQ(store->surveys().size(), 2u);
}

TEST_P(StoreTest, CommitsAreDurableAndTheSchemaIsMigratedOnce) {
    // Several processes starting at once: each migration is applied exactly once.
    std::vector<std::thread> openers;
    for (int i = 0; i < 4; ++i)
        openers.emplace_back([&] {
            try {
                openStore(db.dbText());
            } catch (const std::exception& e) {
                ADD_FAILURE() << "a concurrent start failed: " << e.what();
            }
        });
    for (auto& t : openers)
        t.join();
    const auto store = openStore(db.dbText());
    const auto& list = collector::migrations();
    EXPECT_EQ(store->schemaVersion(), static_cast<int>(list.size()));
    EXPECT_EQ(store->query("SELECT COUNT(*) FROM schema_migrations").integer(0, 0),
              static_cast<int64_t>(list.size()));
    for (size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(list[i].version, static_cast<int>(i + 1)) << "versions run 1, 2, 3, ... in order";

    if (store->dialect() == collector::eDialect::SQLite) {
        EXPECT_EQ(store->query("PRAGMA synchronous").integer(0, 0), 2) << "FULL";
        EXPECT_EQ(store->query("PRAGMA journal_mode").text(0, 0), "wal");
    } else {
        // The test server runs with synchronous_commit=off; the store must not inherit it.
        for (int i = 0; i < 3; ++i)
            store->transaction([](SqlSession& s) { EXPECT_EQ(s.query("SHOW synchronous_commit").text(0, 0), "on"); });
    }

    if (store->dialect() == collector::eDialect::PostgreSQL) {
        // Pooled connections that the server dropped (a restart, an administrator) are replaced
        // instead of failing the next upload or report.
        store->query("SELECT COUNT(*) FROM uploads");
        store->insert(record("S", 1, {1, 0, 0, 0, 0}));
        const auto admin = openStore(db.dbText());
        admin->query("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity"
                     " WHERE datname = current_database() AND pid <> pg_backend_pid()");
        EXPECT_EQ(store->surveys().size(), 1u);
        EXPECT_FALSE(store->insert(record("S", 2, {1, 0, 0, 0, 0})).duplicate);
    }

    // A database migrated by a newer collector is refused rather than written with an old schema.
    store->execute("INSERT INTO schema_migrations(version, name, applied_at) VALUES(?, 'future', '')",
                   {int64_t(list.size() + 1)});
    EXPECT_THROW(openStore(db.dbText()), std::runtime_error);
}

TEST_P(StoreTest, ConcurrentRepeatsOnTwoStoresAreStoredOnce) {
    // Two stores stand for two collector processes on one database; every upload is delivered
    // by both at the same time, as a television retrying on a second instance would.
    const auto a = openStore(db.dbText());
    const auto b = openStore(db.dbText());
    constexpr int kUploads = 40;
    std::vector<Store::InsertResult> fromA(kUploads), fromB(kUploads);
    auto deliver = [](Store& s, std::vector<Store::InsertResult>& out) {
        for (int i = 0; i < kUploads; ++i)
            out[static_cast<size_t>(i)] = s.insert(record("S" + std::to_string(i), 100, {1, 2, 3, 4, 5}));
    };
    std::thread ta(deliver, std::ref(*a), std::ref(fromA));
    std::thread tb(deliver, std::ref(*b), std::ref(fromB));
    ta.join();
    tb.join();
    for (int i = 0; i < kUploads; ++i) {
        const auto& x = fromA[static_cast<size_t>(i)];
        const auto& y = fromB[static_cast<size_t>(i)];
        EXPECT_EQ(x.id, y.id) << i;
        EXPECT_NE(x.duplicate, y.duplicate) << "exactly one of them stored upload " << i;
    }
    EXPECT_EQ(a->query("SELECT COUNT(*) FROM uploads").integer(0, 0), kUploads);
    EXPECT_EQ(a->query("SELECT COUNT(*) FROM answers").integer(0, 0), 5 * kUploads);
}

TEST_P(StoreTest, UploadsArrivingTogetherShareACommitAndABadOneFailsAlone) {
    const auto store = openStore(db.dbText());
    // The group is held open until all of them have arrived, so they are one batch.
    constexpr size_t kUploads = 6;
    store->setGroupCommit({kUploads, std::chrono::seconds(60)});
    std::vector<collector::UploadRecord> ups;
    for (int i = 0; i < 4; ++i)
        ups.push_back(record("G" + std::to_string(i), 10, {1, 2, 3, 4, 5}));
    ups.push_back(ups[1]);  // the same upload twice in one batch
    collector::UploadRecord broken = record("G-bad", 10, {1, 3, 0, 0, 0});
    broken.envelope.items.push_back({2, 4, "q", "a"});  // fails in the database, mid-batch
    ups.push_back(broken);
    std::vector<std::optional<Store::InsertResult>> results(kUploads);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < kUploads; ++i)
        threads.emplace_back([&, i] {
            try {
                results[i] = store->insert(ups[i]);
            } catch (const std::runtime_error&) {
            }
        });
    for (auto& t : threads)
        t.join();

    EXPECT_FALSE(results[5]) << "the broken upload is refused";
    ASSERT_TRUE(results[1] && results[4]);
    EXPECT_EQ(results[1]->id, results[4]->id);
    EXPECT_NE(results[1]->duplicate, results[4]->duplicate) << "the twin is stored once";
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(results[i]) << "a good upload went down with the bad one: " << i;
        // Each waiting thread is handed its own upload's row.
        EXPECT_EQ(store->query("SELECT session_id FROM uploads WHERE id = ?", {results[i]->id}).text(0, 0),
                  ups[i].sessionId);
    }
    EXPECT_EQ(store->query("SELECT COUNT(*) FROM uploads").integer(0, 0), 4);
    EXPECT_EQ(store->query("SELECT COUNT(*) FROM answers").integer(0, 0), 20);
    EXPECT_EQ(store->query("SELECT COUNT(*) FROM survey_facts").integer(0, 0), 4);
    if (store->dialect() == collector::eDialect::PostgreSQL) {
        EXPECT_EQ(store->query("SELECT COUNT(DISTINCT xmin::text) FROM uploads").integer(0, 0), 1)
            << "the good ones were committed in one transaction";
    }
}

TEST_P(StoreTest, PortableStatementsAndTransactions) {
    const auto store = openStore(db.dbText());
    store->execute("CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT, n INTEGER)");
    // '?' inside a literal is text, not a parameter; NULL and numbers go both ways.
    EXPECT_EQ(store->execute("INSERT INTO notes(id, body, n) VALUES(?, 'why?', ?), (?, ?, NULL)",
                             {int64_t{1}, int64_t{-5}, int64_t{2}, nullptr}),
              2);
    const auto rows = store->query("SELECT body, n FROM notes ORDER BY id");
    EXPECT_EQ(rows.columns, (std::vector<std::string>{"body", "n"}));
    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(rows.text(0, 0), "why?");
    EXPECT_EQ(rows.integer(0, 1), -5);
    EXPECT_FALSE(rows.rows[1][0].has_value());
    EXPECT_THROW(rows.integer(1, 1), std::runtime_error);

    // All or nothing, also when the work fails after a statement succeeded.
    EXPECT_THROW(store->transaction([](SqlSession& s) {
        s.execute("UPDATE notes SET body = ? WHERE id = ?", {std::string("changed"), int64_t{1}});
        s.execute("INSERT INTO notes(id) VALUES(?)", {int64_t{1}});  // the key exists
    }),
                 std::runtime_error);
    // The same text again: prepared inside the transaction rolled back, it must still run.
    EXPECT_EQ(store->execute("UPDATE notes SET body = ? WHERE id = ?", {std::string("why?"), int64_t{1}}), 1);
    store->transaction([](SqlSession& s) { s.execute("UPDATE notes SET n = 7 WHERE id = 1"); });
    EXPECT_EQ(store->query("SELECT body, n FROM notes WHERE id = 1").rows[0],
              (std::vector<std::optional<std::string>>{"why?", "7"}));
    if (store->dialect() == collector::eDialect::PostgreSQL) {
        // PostgreSQL aborts the whole transaction on an error; one swallowed inside the work
        // must not pass for a commit.
        EXPECT_THROW(store->transaction([](SqlSession& s) {
            s.execute("UPDATE notes SET n = 8 WHERE id = 1");
            try {
                s.execute("INSERT INTO notes(id) VALUES(1)");
            } catch (const std::runtime_error&) {
            }
        }),
                     std::runtime_error);
        EXPECT_EQ(store->query("SELECT n FROM notes WHERE id = 1").integer(0, 0), 7);
    }
    EXPECT_THROW(store->query("SELECT nonsense FROM notes"), std::runtime_error);
    EXPECT_EQ(store->query("SELECT COUNT(*) FROM notes").integer(0, 0), 2) << "the store works after an error";

    // Statements are kept prepared between uses: one used again inside its own scan, a table
    // changed under one, more texts than are kept (the first is then prepared again).
    const std::string ids = "SELECT id FROM notes ORDER BY id";
    std::vector<std::string> pairs;
    store->transaction([&](SqlSession& s) {
        s.scan(ids, {}, [&](const collector::SqlRow& row) {
            pairs.push_back(std::string(row[0]) + ":" + std::to_string(s.query(ids).rows.size()));
        });
    });
    EXPECT_EQ(pairs, (std::vector<std::string>{"1:2", "2:2"}));
    store->execute("ALTER TABLE notes ADD COLUMN extra TEXT");
    store->execute("UPDATE notes SET extra = body");
    EXPECT_EQ(store->query("SELECT body, n FROM notes WHERE id = 1").text(0, 0), "why?");
    for (int64_t i = 0; i < 100; ++i)
        ASSERT_EQ(store->query("SELECT ? + " + std::to_string(i), {int64_t{1}}).integer(0, 0), i + 1);
    EXPECT_EQ(store->query(ids).rows.size(), 2u);
}

TEST_P(StoreTest, ReportPrintsWhatTelevisionsSentOnlyEscaped) {
    const auto store = openStore(db.dbText());
    collector::UploadRecord r = record("A\x1b]0;owned\x07" "B", 1, {1, 0, 0, 0, 0});
    r.pinCode = "\xc2\x9b" "31m";                // an 8-bit CSI
    r.envelope.device.modelName = "\xe2\x80\xae" "55EU";  // right-to-left override
    r.duid = "D\\x41\r";
    r.envelope.device.country = "\xc3\xa9t\xc3\xa9";
    store->insert(r);
    const std::string out = collector::formatReport(store->surveys(), store->answerCounts());
    for (size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        ASSERT_TRUE((c >= 0x20 && c != 0x7f) || c == '\n') << "raw byte " << int(c) << " at " << i;
    }
    EXPECT_EQ(out.find("\xc2\x9b"), std::string::npos);
    EXPECT_EQ(out.find("\xe2\x80\xae"), std::string::npos);
    EXPECT_NE(out.find("A\\x1b]0;owned\\x07B"), std::string::npos) << out;
    EXPECT_NE(out.find("\\u009b31m"), std::string::npos);
    EXPECT_NE(out.find("\\u202e55EU"), std::string::npos);
    // A backslash sent as such cannot pass for an escape.
    EXPECT_NE(out.find("D\\\\x41\\x0d"), std::string::npos);
    EXPECT_NE(out.find("\xc3\xa9t\xc3\xa9  "), std::string::npos) << "UTF-8 text stays, columns stay aligned";
    EXPECT_EQ(collector::escapeControls("\xff\xc0\x80\xed\xa0\x80"), "\\xff\\xc0\\x80\\xed\\xa0\\x80");
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });
