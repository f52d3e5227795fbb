// The results layer against independent references: a real SQLite file in a
// temporary folder (and other processes writing to it), Python's csv module
// for the CSV. The JSON shapes meet the schema in test_cli_results.py.
#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <thread>

#include "results/result_compare.h"
#include "results/result_export.h"
#include "results/result_json.h"
#include "results/result_report.h"
#include "results/result_runner.h"
#include "results/result_store.h"
#include "test_support.h"
#include "../runner/fake_runs.h"

namespace {
std::string dump(const ResultJson& j) { return result_json_dump(j); }
}  // namespace

// Every record written reads back the same, in every mode (a field written
// but not read, or read under another name, shows here).
TEST(ResultJson, EveryModeReadsBackAsWritten) {
    for (const ResultMode mode : {ResultMode::single, ResultMode::multi, ResultMode::stress}) {
        SCOPED_TRACE(result_mode_name(mode));
        ResultRecord r = sample(mode);
        r.machine_id = "5b1e0c4a";
        r.test_fake_runs = mode == ResultMode::multi;
        const std::vector<ResultRecord> back = result_parse(dump(result_to_json(r)), "memory");
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(dump(result_to_json(back[0])), dump(result_to_json(r)));
    }
    // Runs stored before they carried their number and radix-test figures
    // read with zeros.
    ResultJson older = result_to_json(sample(ResultMode::single));
    for (const char* field : {"run", "transform_error", "iterations"}) older["runs"][1].erase(field);
    const ResultRun run = result_parse(dump(older), "older").at(0).runs.at(1);
    EXPECT_EQ(run.run, 0);
    EXPECT_EQ(run.iterations, 0);
    EXPECT_EQ(run.score, 699);
}

// A file that is not a result says which file and which field, and never
// passes for a result.
TEST(ResultJson, ReadingErrorsNameTheFileAndTheField) {
    const std::string good = dump(result_to_json(sample(ResultMode::stress)));
    struct Case {
        const char* name;
        std::string text;
        const char* field;
        const char* says;
    };
    auto edited = [&](void (*edit)(ResultJson&)) {
        ResultJson j = ResultJson::parse(good);
        edit(j);
        return dump(j);
    };
    const std::vector<Case> cases = {
        {"empty", "  \n", "", "empty, not JSON"},
        {"not JSON", "Score: 708\n", "", "not JSON"},
        {"an array", "[1, 2]", "", "expected a result object or a list of results, found an array"},
        {"old output", edited([](ResultJson& j) { j.erase("schema_version"); }), "schema_version", "missing"},
        {"newer", edited([](ResultJson& j) { j["schema_version"] = 2; }), "schema_version", "newer than this program"},
        {"mode", edited([](ResultJson& j) { j["mode"] = "quad"; }), "mode", "not single, multi or stress"},
        {"missing field", edited([](ResultJson& j) { j["workers"][1].erase("errors"); }), "workers[1].errors", "missing"},
        {"wrong type", edited([](ResultJson& j) { j["system"]["cpu_cores_logical"] = "2"; }),
         "system.cpu_cores_logical", "expected a whole number, found a string"},
        {"fraction", edited([](ResultJson& j) { j["digits_calculated"] = 8388608.5; }), "digits_calculated",
         "expected a whole number, found a fractional number"},
        {"negative", edited([](ResultJson& j) { j["elapsed_time"] = -1.5; }), "elapsed_time", "negative"},
        {"huge", "{" + good.substr(1, good.find("\"score\"") - 1) + "\"score\": 1e400," +
                     good.substr(good.find("\"score\"") + good.substr(good.find("\"score\"")).find(',') + 1),
         "", "a number out of range"},
        {"local time", edited([](ResultJson& j) { j["started_at"] = "2025-06-01 12:34"; }), "started_at",
         "is not a UTC time"},
        {"kind", edited([](ResultJson& j) { j["workers"][0]["kind"] = "big"; }), "workers[0].kind",
         "is not unknown, performance or efficiency"},
        {"errors without the first", edited([](ResultJson& j) { j["workers"][1]["first_error"] = nullptr; }),
         "workers[1].first_error", "null although errors is 2"},
        {"list item", "{\"schema_version\": 1, \"results\": [" + good + ", {\"schema_version\": 1}]}",
         "results[1].result_id", "missing"},
    };
    const TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir.path() / "machine 7.json";
        spit(file, c.text);
        try {
            result_read_file(file);
            ADD_FAILURE() << "read without a complaint";
        } catch (const ResultFormatError& e) {
            EXPECT_EQ(e.source(), file.string());
            EXPECT_EQ(e.field(), c.field);
            const std::string what = e.what();
            EXPECT_EQ(what.rfind(file.string() + ": ", 0), 0u) << what;
            EXPECT_NE(what.find(c.says), std::string::npos) << what;
            EXPECT_EQ(what.find('\n'), std::string::npos) << "one line: " << what;
        }
    }
    EXPECT_THROW(result_read_file(dir.path() / "absent.json"), ResultFormatError);
    EXPECT_THROW(result_read_file(dir.path()), ResultFormatError);
}

TEST(ResultCompare, ComparableOnlyAtOneModeVersionAndEnginePath) {
    struct Case {
        const char* name;
        void (*edit)(ResultRecord&);
        std::vector<std::string> reasons;
    };
    const std::vector<Case> cases = {
        {"same", [](ResultRecord&) {}, {}},
        {"failed", [](ResultRecord& r) { r.success = false; }, {}},
        {"narrowed the same path", [](ResultRecord& r) { r.engine.narrowed = true; }, {}},
        {"transform", [](ResultRecord& r) { r.engine.transform = "x86-64-v3"; },
         {"different engine path: x86-64-v4 vs x86-64-v3 transform, x86-64-v4 word loops"}},
        {"all three",
         [](ResultRecord& r) {
             r.mode = ResultMode::stress;
             r.version = "2.0.0";
             r.engine = {"arm64", "arm64", false};
         },
         {"different mode: single vs stress", "different program version: 1.0.0 vs 2.0.0",
          "different engine path: x86-64-v4 vs arm64"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ResultRecord a = sample(ResultMode::single);
        ResultRecord b = a;
        c.edit(b);
        std::vector<std::string> reasons;
        EXPECT_EQ(result_comparable(a, b, &reasons), c.reasons.empty());
        EXPECT_EQ(reasons, c.reasons);
        const ResultComparison comparison = result_compare({"A", a}, {"B", b});
        EXPECT_EQ(comparison.comparable, c.reasons.empty());
        const std::string text = result_comparison_text(comparison);
        EXPECT_EQ(text.find("Warning: not comparable") != std::string::npos, !c.reasons.empty()) << text;
    }
}

TEST(ResultCompare, RatiosRunsAndDifferingFacts) {
    ResultRecord a = sample(ResultMode::single, 700);
    ResultRecord b = sample(ResultMode::single, 770);
    b.elapsed_time = 6.39;
    b.runs.push_back(sample_run(3.2));
    b.system.total_memory_mb = 16384;
    const ResultComparison c = result_compare({"#1", a}, {"b.json", b});
    ASSERT_TRUE(c.score_ratio.has_value());
    EXPECT_DOUBLE_EQ(*c.score_ratio, 1.1);
    EXPECT_DOUBLE_EQ(*c.time_ratio, 6.39 / 7.1);
    ASSERT_EQ(c.runs.size(), 3u);
    EXPECT_FALSE(c.runs[2].a.has_value()) << "A had two runs";
    ASSERT_EQ(c.machine_differences.size(), 1u);
    EXPECT_EQ(c.machine_differences[0].fact, "Memory");
    EXPECT_EQ(c.machine_differences[0].b, "16384 MB");

    // A failed side has no score ratio; multi-core runs pair by CPU and run.
    b.success = false;
    EXPECT_FALSE(result_compare({"A", a}, {"B", b}).score_ratio.has_value());
    const ResultComparison m = result_compare({"A", sample(ResultMode::multi)}, {"B", sample(ResultMode::multi)});
    ASSERT_EQ(m.runs.size(), 4u);
    EXPECT_EQ(m.runs[3].name, "CPU 1 run 2");
    EXPECT_EQ(m.cpus.size(), 2u);
}

TEST(ResultRecord, StressVerdicts) {
    ResultRecord r = sample(ResultMode::stress);
    EXPECT_EQ(result_verdict(r), "Error on CPU 1 after 3:12: Computed digits do not match pi (2 errors on 1 CPU)");
    r.workers[1].errors = 1;
    EXPECT_EQ(result_verdict(r), "Error on CPU 1 after 3:12: Computed digits do not match pi");
    r.workers[1].errors = 0;
    r.workers[1].runs_passed = 1000;
    r.success = true;
    EXPECT_EQ(result_verdict(r), "No errors: 2 CPUs, 10:00, 1,160 runs");
    r.elapsed_time = 3725;
    r.stress.ended_by = "stopped";
    r.stress.duration_requested = 7200;
    EXPECT_EQ(result_verdict(r), "No errors: 2 CPUs, 1:02:05, 1,160 runs (stopped before 2:00:00)");
}

// The history is a real SQLite file: made on first use, migrated, shared.
class History : public ::testing::Test {
protected:
    fs::path db() const { return dir_.path() / "data" / "numera" / "results.sqlite3"; }
    TempDir dir_;
};

TEST_F(History, MadeOnFirstUseAtTheCurrentVersion) {
    EXPECT_EQ(result_history_open_existing(db()), nullptr) << "reading makes no file";
    EXPECT_FALSE(fs::exists(db()));
    EXPECT_EQ(result_history_store(sample(ResultMode::single), db()), "");
    ASSERT_TRUE(fs::exists(db()));
    EXPECT_EQ(fs::status(db().parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
    SQLite::Database check(db().string());
    EXPECT_EQ(check.execAndGet("PRAGMA user_version").getInt(), 3);
    EXPECT_EQ(check.execAndGet("PRAGMA journal_mode").getString(), "wal");
    EXPECT_EQ(check.execAndGet("SELECT count(*) FROM results").getInt(), 1);
}

// A history of the first layout (as version 1 wrote it) gains the new
// columns, filled from the stored records, and keeps every result.
TEST_F(History, MigratesTheFirstLayout) {
    ResultRecord old = sample(ResultMode::single, 650, "2025-01-01T08:00:00Z");
    old.host_name = "older-host";
    old.system.cpu_model = "Older CPU";
    fs::create_directories(db().parent_path());
    {
        SQLite::Database v1(db().string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        v1.exec("CREATE TABLE results (id INTEGER PRIMARY KEY, result_id TEXT NOT NULL UNIQUE,"
                " started_at TEXT NOT NULL, mode TEXT NOT NULL, success INTEGER NOT NULL, score REAL NOT NULL,"
                " elapsed_time REAL NOT NULL, record TEXT NOT NULL); PRAGMA user_version = 1;");
        SQLite::Statement insert(v1, "INSERT INTO results VALUES (7, ?, ?, 'single', 1, 650, 7.1, ?)");
        insert.bind(1, old.result_id);
        insert.bind(2, old.started_at);
        insert.bind(3, result_to_json(old).dump());
        insert.exec();
    }
    EXPECT_EQ(result_history_store(sample(ResultMode::multi, 1400), db()), "");
    SQLite::Database check(db().string());
    EXPECT_EQ(check.execAndGet("PRAGMA user_version").getInt(), 3);
    EXPECT_EQ(check.execAndGet("SELECT host_name || '|' || cpu_model || '|' || engine_transform FROM results"
                               " WHERE id = 7").getString(),
              "older-host|Older CPU|x86-64-v4");
    const auto store = result_history_open_existing(db());
    const std::vector<StoredResult> all = store->list({});
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].id, 7);
    EXPECT_EQ(all[1].record.result_id, old.result_id);
}

// A history from a newer program is left alone: not written, not moved.
TEST_F(History, NewerHistoryIsNotTouched) {
    fs::create_directories(db().parent_path());
    {
        SQLite::Database future(db().string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        future.exec("CREATE TABLE results (id INTEGER PRIMARY KEY); PRAGMA user_version = 99;");
    }
    const std::string before = slurp(db());
    const std::string notice = result_history_store(sample(ResultMode::single), db());
    EXPECT_NE(notice.find("newer Numera"), std::string::npos) << notice;
    EXPECT_NE(notice.find("result not stored"), std::string::npos) << notice;
    EXPECT_EQ(slurp(db()), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(db().parent_path()), {}), 1);
}

TEST_F(History, ListsNewestFirstAndFindsReferences) {
    const auto store = result_history_open(db());
    store->add(sample(ResultMode::single, 700, "2025-03-01T10:00:00Z"));                // #1
    store->add(sample(ResultMode::single, 760, "2025-03-02T10:00:00Z"));                // #2 best single
    store->add(sample(ResultMode::multi, 1390, "2025-03-03T10:00:00Z"));                // #3
    ResultRecord failed = sample(ResultMode::single, 990, "2025-03-04T10:00:00Z");      // #4
    failed.success = false;
    store->add(failed);
    const ResultRecord again = sample(ResultMode::stress, 0, "2025-03-05T10:00:00Z");   // #5
    EXPECT_EQ(store->add(again), 5);
    EXPECT_EQ(store->add(again), 5) << "the same result_id is one result";
    // Stored late but started earlier: listed by its start.
    store->add(sample(ResultMode::single, 500, "2025-02-01T10:00:00Z"));                // #6
    // Started in the same second as #2: the later stored first.
    store->add(sample(ResultMode::single, 600, "2025-03-02T10:00:00Z"));                // #7

    std::vector<int64_t> ids;
    for (const StoredResult& s : store->list({})) ids.push_back(s.id);
    EXPECT_EQ(ids, (std::vector<int64_t>{5, 4, 3, 7, 2, 1, 6}));
    EXPECT_EQ(store->list({2, std::nullopt}).size(), 2u);
    EXPECT_EQ(store->list({0, ResultMode::multi}).at(0).id, 3);

    struct Case {
        const char* text;
        int64_t id;  // 0: none
    };
    for (const Case& c : std::vector<Case>{
             {"last", 5}, {"last:single", 4}, {"best", 2}, {"best:multi", 3}, {"best:stress", 0}, {"#3", 3}, {"#42", 0}}) {
        SCOPED_TRACE(c.text);
        ResultReference ref;
        std::string error;
        ASSERT_TRUE(result_reference_parse(c.text, &ref, &error)) << error;
        const std::optional<StoredResult> found = result_store_find(*store, ref);
        EXPECT_EQ(found ? found->id : 0, c.id);
    }
    for (const char* bad : {"#", "#x", "#0", "best:quad"}) {
        ResultReference ref;
        std::string error;
        EXPECT_FALSE(result_reference_parse(bad, &ref, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    ResultReference file;
    std::string error;
    ASSERT_TRUE(result_reference_parse("runs/best.json", &file, &error));
    EXPECT_EQ(file.kind, ResultReference::Kind::file);
}

// Two processes storing at the same moment, into a file that does not exist
// yet (so they race through the first migration too): every row is there.
TEST_F(History, TwoWritersInParallelKeepEveryRow) {
    constexpr int per_writer = 60;
    std::vector<std::string> ids[2];
    for (auto& list : ids) {
        for (int i = 0; i < per_writer; ++i) list.push_back(result_new_id());
    }
    EXPECT_TRUE(in_children(2, [&](int w) {
        int failures = 0;
        for (const std::string& id : ids[w]) {
            ResultRecord r = sample(ResultMode::single);
            r.result_id = id;
            const std::string notice = result_history_store(r, db());
            if (!notice.empty()) {
                std::fprintf(stderr, "writer %d: %s\n", w, notice.c_str());
                ++failures;
            }
        }
        return failures == 0 ? 0 : 1;
    })) << "a writer lost a result";
    std::set<std::string> stored;
    for (const StoredResult& s : result_history_open_existing(db())->list({})) stored.insert(s.record.result_id);
    EXPECT_EQ(stored.size(), 2u * per_writer);
    for (const auto& list : ids) {
        for (const std::string& id : list) EXPECT_EQ(stored.count(id), 1u) << id;
    }
}

// A damaged history never costs the result: it is renamed aside (bytes kept,
// journal files with it) and the result goes into a new one, said in one line.
TEST_F(History, DamagedFileMovedAsideAndResultStored) {
    struct Case {
        const char* name;
        void (*damage)(const fs::path& db);
    };
    const std::vector<Case> cases = {
        {"not a database",
         [](const fs::path& db) { spit(db, std::string(8192, 'x')); spit(db.string() + "-wal", "stale journal"); }},
        {"a damaged page",
         [](const fs::path& db) {
             {
                 const auto store = result_history_open(db);
                 for (int i = 0; i < 40; ++i) store->add(sample(ResultMode::single));
             }
             // Scribble over the middle of the file: b-tree pages, not the header.
             std::fstream f(db, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(static_cast<std::streamoff>(fs::file_size(db) / 2));
             const std::string junk(4096, '\x5a');
             f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(db().parent_path());
        fs::create_directories(db().parent_path());
        c.damage(db());
        const std::string damaged = slurp(db());
        const ResultRecord r = sample(ResultMode::single);
        const std::string notice = result_history_store(r, db());
        EXPECT_NE(notice.find("moved it aside"), std::string::npos) << notice;
        EXPECT_EQ(notice.find('\n'), std::string::npos) << notice;
        fs::path aside;
        for (const auto& entry : fs::directory_iterator(db().parent_path())) {
            const std::string name = entry.path().filename().string();
            if (name.find(".damaged-") != std::string::npos && name.find("-wal") == std::string::npos) aside = entry.path();
        }
        ASSERT_FALSE(aside.empty()) << notice;
        EXPECT_EQ(slurp(aside), damaged) << "moved, not changed";
        EXPECT_NE(notice.find(aside.string()), std::string::npos) << notice;
        const auto store = result_history_open_existing(db());
        const std::vector<StoredResult> all = store->list({});
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].record.result_id, r.result_id);
        const fs::path wal = db().string() + "-wal";
        EXPECT_FALSE(fs::exists(wal) && slurp(wal) == "stale journal") << "the old journal went with its file";
    }
}

// The permission cases, as an ordinary user would meet them (root passes
// every permission check, so a child drops to nobody first).
TEST_F(History, UnreadableFolderCostsOneLine) {
    const fs::path locked = dir_.path() / "locked";
    fs::create_directories(locked / "numera");
    {
        const auto store = result_history_open(locked / "numera" / "results.sqlite3");
        store->add(sample(ResultMode::single));
    }
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    fs::permissions(locked, fs::perms::none);
    const fs::path out = dir_.path() / "notice";
    spit(out, "");
    fs::permissions(out, fs::perms::all);
    ASSERT_TRUE(in_children(1, [&](int) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 3;
        std::ofstream(out) << result_history_store(sample(ResultMode::single), locked / "numera" / "results.sqlite3");
        return 0;
    })) << "the child could not drop to nobody";
    const std::string notice = slurp(out);
    EXPECT_NE(notice.find("result not stored"), std::string::npos) << notice;
    EXPECT_EQ(notice.find('\n'), std::string::npos) << notice;
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(result_history_open_existing(locked / "numera" / "results.sqlite3")->list({}).size(), 1u)
        << "the history is untouched";
}

// RFC 4180 as Python's csv module reads it: commas, quotes and line breaks
// in a CPU name come back whole, one record per result.
TEST(ResultExport, CsvReadsBackThroughPythonCsv) {
    const std::vector<std::string> names = {"Plain CPU", "Vendor, Model 9", "The \"Quoted\" One",
                                            "Two\nlines", "Carriage\r\nreturn", "\"", ",", ""};
    std::vector<StoredResult> results;
    for (size_t i = 0; i < names.size(); ++i) {
        StoredResult s{static_cast<int64_t>(i + 1), sample(ResultMode::single)};
        s.record.system.cpu_model = names[i];
        results.push_back(s);
    }
    const TempDir dir;
    const fs::path csv = dir.path() / "export.csv";
    result_write_file(csv, result_csv(results));
    const fs::path parsed = dir.path() / "parsed.json";
    const std::string command = std::string(NUMERA_PYTHON3) +
                                " -c 'import csv, json, sys; json.dump(list(csv.reader(open(sys.argv[1], newline=\"\"),"
                                " strict=True)), open(sys.argv[2], \"w\"))' " +
                                csv.string() + " " + parsed.string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    const nlohmann::json rows = nlohmann::json::parse(slurp(parsed));
    ASSERT_EQ(rows.size(), names.size() + 1);
    const std::vector<std::string> header = rows[0];
    EXPECT_EQ(header, result_csv_columns());
    const size_t cpu = static_cast<size_t>(std::find(header.begin(), header.end(), "cpu_model") - header.begin());
    const size_t id = static_cast<size_t>(std::find(header.begin(), header.end(), "id") - header.begin());
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(rows[i + 1].size(), header.size());
        EXPECT_EQ(rows[i + 1][cpu], names[i]);
        EXPECT_EQ(rows[i + 1][id], std::to_string(i + 1));
    }
    const std::string text = slurp(csv);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(ResultExport, WritesWholeOrNotAtAll) {
    const TempDir dir;
    const fs::path file = dir.path() / "out.json";
    result_write_file(file, "first");
    result_write_file(file, "second");
    EXPECT_EQ(slurp(file), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "no temporary file left";
    EXPECT_THROW(result_write_file(dir.path() / "missing" / "out.json", "x"), std::runtime_error);
    EXPECT_THROW(result_write_file(dir.path(), "x"), std::runtime_error);
}

// The report's grouping and order; its page in a browser is tested from
// the command line.
TEST(ResultReport, OneRowPerMachineSortedByScoreWithOddOnesMarked) {
    std::vector<ResultRecord> in;
    auto add = [&](const char* host, ResultMode mode, double score, const char* when, const char* engine) {
        ResultRecord r = sample(mode, score, when);
        r.host_name = host;
        r.engine = {engine, engine, false};
        in.push_back(r);
    };
    add("a", ResultMode::single, 600, "2025-01-01T00:00:00Z", "x86-64-v4");
    add("a", ResultMode::single, 640, "2025-01-02T00:00:00Z", "x86-64-v4");  // newer: shown
    add("a", ResultMode::multi, 1250, "2025-01-02T00:10:00Z", "x86-64-v4");
    add("b", ResultMode::single, 700, "2025-01-01T00:00:00Z", "x86-64-v4");
    add("c", ResultMode::single, 900, "2025-01-01T00:00:00Z", "x86-64-v3");  // top score, other path
    add("d", ResultMode::stress, 0, "2025-01-01T00:00:00Z", "x86-64-v4");    // no score: last
    in.push_back(in[1]);  // its file and an export that holds it
    const ResultReportPlan plan = result_report_plan(in);
    EXPECT_EQ(plan.results, 6);
    std::vector<std::string> hosts;
    for (const ResultReportMachine& m : plan.machines) {
        hosts.push_back((m.single ? m.single : m.stress)->host_name);
    }
    EXPECT_EQ(hosts, (std::vector<std::string>{"c", "b", "a", "d"}));
    EXPECT_EQ(plan.engine.transform, "x86-64-v4") << "what most scores share, not the top one's";
    EXPECT_FALSE(plan.machines[0].comparable);
    EXPECT_TRUE(plan.machines[2].comparable);
    EXPECT_EQ(plan.machines[2].single->score, 640);
    EXPECT_EQ(plan.machines[2].results, 3);

    // Texts from other machines cannot write markup into the page.
    in[0].host_name = "<script>alert(1)</script>";
    const std::string page = result_report_html(in, {});
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;"), std::string::npos);
    for (const char* remote : {"http:", "https:", "url(", "@import", "<link", "<img"}) {
        EXPECT_EQ(page.find(remote), std::string::npos) << remote;
    }
}

namespace {

// The runner with runs of a few milliseconds, the listed ones failing their
// proof, and a stop after `stop_after` seconds when that is positive.
RunnerReport run_quick(RunnerConfig config, const FakeRuns::Runs& faults, double stop_after = 0) {
    FakeRuns fake;
    fake.run_ms = 4;
    fake.wrong_digits = faults;
    config.run = FakeRuns::run;
    config.run_context = &fake;
    config.available_bytes = -2;  // no memory guard
    std::atomic<bool> stop{false};
    config.stop = &stop;
    std::thread stopper;
    if (stop_after > 0) {
        stopper = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::duration<double>(stop_after));
            stop = true;
        });
    }
    RunnerReport report;
    runner_run(&config, &report);
    if (stopper.joinable()) stopper.join();
    return report;
}

const std::vector<SysinfoCpu> two_cpus = {{0, SysinfoCpuKind::performance}, {1, SysinfoCpuKind::efficiency}};

}  // namespace

// The runner's reports become records that print, store and read back like
// the series, and say what the live test said.
TEST(ResultRunner, MultiCoreRecordCarriesEveryWorkerAndRun) {
    const RunnerReport report = run_quick(runner_multi_config(two_cpus, 3), {});
    const ResultRecord r = result_from_multi(report, SystemInfo{}, pi_engine_path(), result_utc_now());
    EXPECT_TRUE(r.success);
    EXPECT_EQ(r.score, runner_multi_result(report).score);
    ASSERT_EQ(r.workers.size(), 2u);
    EXPECT_EQ(r.workers[1].kind, "efficiency");
    ASSERT_EQ(r.workers[1].runs.size(), 3u);
    EXPECT_EQ(result_verdict(r), "Verified");

    const ResultRecord failed = result_from_multi(run_quick(runner_multi_config(two_cpus, 3), {{1, 2}}), SystemInfo{},
                                                  pi_engine_path(), result_utc_now());
    EXPECT_FALSE(failed.success);
    EXPECT_EQ(failed.score, 0);
    EXPECT_EQ(result_verdict(failed), "Computed digits do not match pi (CPU 1, run 2 of 3)");
    EXPECT_FALSE(failed.workers[1].runs[1].success);
    EXPECT_EQ(failed.workers[1].first_error_run, 2);

    const std::vector<ResultRecord> back = result_parse(dump(result_list_json({r, failed})), "multi");
    EXPECT_EQ(dump(result_to_json(back.at(1))), dump(result_to_json(failed)));
}

TEST(ResultRunner, StressVerdictIsTheRunnersWord) {
    struct Case {
        const char* name;
        double duration;
        bool keep_going;
        FakeRuns::Runs faults;
        double stop_after;
        const char* ended_by;
        bool success;
    };
    const std::vector<Case> cases = {
        {"stopped early", 30, false, {}, 0.1, "stopped", true},
        {"first error", 30, false, {{1, 3}}, 0, "first_error", false},
        {"keep going", 0.15, true, {{0, 1}, {1, 2}, {1, 4}}, 0, "duration", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunnerReport report = run_quick(runner_stress_config(two_cpus, c.duration, c.keep_going), c.faults,
                                              c.stop_after);
        const ResultRecord r = result_from_stress(report, SystemInfo{}, pi_engine_path(), result_utc_now(), c.keep_going);
        EXPECT_EQ(result_verdict(r), runner_stress_verdict(report));
        EXPECT_EQ(r.stress.ended_by, c.ended_by);
        EXPECT_EQ(r.success, c.success);
        EXPECT_EQ(r.digits_calculated, 8388608);
        // Read back from its JSON, it still says the same.
        const ResultRecord back = result_parse(dump(result_to_json(r)), c.name).at(0);
        EXPECT_EQ(result_verdict(back), runner_stress_verdict(report));
    }
}
