// The shared store against a real PostgreSQL server that this program starts
// for itself (initdb into a temporary folder, a Unix socket there, as the
// postgres user when run as root), the local SQLite history as the reference
// for its queries, libpq's own parser for connection strings and sha256sum
// for the machine id's hash.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>

#include <cstdlib>
#include <map>
#include <pqxx/pqxx>
#include <set>

#include "results/result_delivery.h"
#include "results/result_json.h"
#include "results/result_machine_id.h"
#include "results/result_postgres.h"
#include "results/result_store_url.h"
#include "test_support.h"

namespace {

// Runs a shell command; its exit status and what it printed (both streams).
std::pair<int, std::string> shell(const std::string& command) {
    char out_name[] = "/tmp/numera-pg-out-XXXXXX";
    const int fd = ::mkstemp(out_name);
    ::close(fd);
    const int status = std::system((command + " >" + out_name + " 2>&1 </dev/null").c_str());
    std::string out = slurp(out_name);
    ::unlink(out_name);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// One server for the whole program, on a socket in its own folder; each
// test makes databases of its own. initdb refuses root, so as root the
// server runs as the postgres user the package made.
class PgServer : public ::testing::Environment {
public:
    void SetUp() override {
        std::string pattern = "/tmp/numera-pg-XXXXXX";
        dir_ = ::mkdtemp(pattern.data());
        if (::geteuid() == 0) {
            const passwd* pw = ::getpwnam("postgres");
            ASSERT_NE(pw, nullptr) << "no postgres user: scripts/install-deps installs the server";
            ASSERT_EQ(::chown(dir_.c_str(), pw->pw_uid, pw->pw_gid), 0);
            as_server_ = "runuser -u postgres -- ";
        }
        watch();
        const auto [status, out] = shell(as_server_ + NUMERA_PG_BINDIR "/initdb -D " + data() +
                                         " -U postgres -E UTF8 --locale=C.UTF-8 --auth-local=trust");
        ASSERT_EQ(status, 0) << out;
        spit(data() + "/postgresql.conf", slurp(data() + "/postgresql.conf") +
                                              "listen_addresses = ''\nunix_socket_directories = '" + dir_.string() +
                                              "'\nfsync = off\nmax_connections = 40\n");
        // The superuser without a password (for the tests' own set-up);
        // every other role with one.
        spit(data() + "/pg_hba.conf", "local all postgres trust\nlocal all all scram-sha-256\n");
        start();
    }

    void TearDown() override {
        if (running_) stop();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    void start() {
        const auto [status, out] =
            shell(as_server_ + NUMERA_PG_BINDIR "/pg_ctl -D " + data() + " -l " + data() + "/log -w -t 60 start");
        ASSERT_EQ(status, 0) << out << slurp(data() + "/log");
        running_ = true;
    }

    void stop() {
        const auto [status, out] = shell(as_server_ + NUMERA_PG_BINDIR "/pg_ctl -D " + data() + " -m fast -w stop");
        ASSERT_EQ(status, 0) << out;
        running_ = false;
    }

    // A new empty database, owned by the superuser unless owner is given.
    std::string create_database(const std::string& owner = "postgres") {
        std::string name = "t";  // appended, not "t" + ...: GCC 12 warns falsely (-Wrestrict)
        name += std::to_string(++databases_);
        admin("postgres", "CREATE DATABASE " + name + " OWNER " + owner);
        return name;
    }

    // Runs statements as the superuser.
    void admin(const std::string& database, const std::string& sql) {
        pqxx::connection c("host=" + dir_.string() + " user=postgres dbname=" + database);
        pqxx::nontransaction tx(c);
        tx.exec(sql);
    }

    std::string value(const std::string& database, const std::string& sql) {
        pqxx::connection c("host=" + dir_.string() + " user=postgres dbname=" + database);
        pqxx::nontransaction tx(c);
        const pqxx::result r = tx.exec(sql);
        return r.empty() || r[0][0].is_null() ? "" : r[0][0].as<std::string>();
    }

    std::string url(const std::string& user, const std::string& database) const {
        return "postgresql://" + user + "@/" + database + "?host=" + dir_.string();
    }

    const fs::path& socket_dir() const { return dir_; }

private:
    std::string data() const { return dir_.string() + "/data"; }

    // A program killed halfway (a signal, a closed pipe, a sanitizer) must
    // not leave its server running: a child waits for the end of a pipe
    // that only this process holds open, then stops the server and removes
    // its folder.
    void watch() {
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(fds[1]);
            for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::signal(sig, SIG_IGN);
            char c;
            for (;;) {
                const ssize_t n = ::read(fds[0], &c, 1);
                if (n > 0 || (n < 0 && errno == EINTR)) continue;
                break;
            }
            const std::string stop = as_server_ + NUMERA_PG_BINDIR "/pg_ctl -D " + data() +
                                     " -m immediate -w stop >/dev/null 2>&1";
            if (fs::exists(data() + "/postmaster.pid")) (void)std::system(stop.c_str());
            std::error_code ec;
            fs::remove_all(dir_, ec);
            _exit(0);
        }
        ::close(fds[0]);  // fds[1] stays open until this process ends
    }

    fs::path dir_;
    std::string as_server_;
    bool running_ = false;
    int databases_ = 0;
};

PgServer* server = nullptr;

ResultStoreUrl store_url(const std::string& text) {
    ResultStoreUrl url;
    std::string error;
    EXPECT_TRUE(result_store_url_parse(text, &url, &error)) << error;
    return url;
}

// The shared sample on a named host; a single-core result of score 0 failed.
ResultRecord sample(ResultMode mode, double score, const std::string& started_at, const std::string& host) {
    ResultRecord r = sample(mode, score, started_at);
    r.host_name = host;
    r.machine_id = result_sha256_hex(host).substr(0, 32);
    if (mode == ResultMode::single && score == 0) {
        r.success = false;
        r.error_message = "Computed digits do not match pi (run 2 of 5)";
    }
    return r;
}

std::vector<std::string> ids_of(const std::vector<StoredResult>& results) {
    std::vector<std::string> ids;
    for (const StoredResult& s : results) ids.push_back(s.record.result_id);
    return ids;
}

// Sets an environment variable (unset before) for one scope.
struct ScopedEnv {
    ScopedEnv(const char* n, const std::string& value) : name(n) { ::setenv(n, value.c_str(), 1); }
    ~ScopedEnv() { ::unsetenv(name); }
    const char* name;
};

}  // namespace

// Store names as people write them; the password never comes back out of
// the name, and the rest means to libpq what it meant before.
TEST(StoreUrl, NamesKeepEverythingButThePassword) {
    struct Case {
        const char* text;
        ResultStoreUrl::Kind kind;
        const char* display;
        std::vector<std::string> secrets;
    };
    using K = ResultStoreUrl::Kind;
    const std::vector<Case> cases = {
        {"postgresql://fleet@db.lab/numera", K::postgresql, "postgresql://fleet@db.lab/numera", {}},
        {"postgres://fleet:pa%40ss@db:5433/numera?sslmode=require", K::postgresql,
         "postgres://fleet@db:5433/numera?sslmode=require", {"pa%40ss", "pa@ss"}},
        {"postgresql://db/numera?password=s3cret&connect_timeout=5", K::postgresql,
         "postgresql://db/numera?connect_timeout=5", {"s3cret"}},
        {"postgresql://:only@/numera?host=/run/pg", K::postgresql, "postgresql://@/numera?host=/run/pg", {"only"}},
        {"host=db.lab  password = 'a \\'b' dbname=numera", K::postgresql, "host=db.lab dbname=numera", {"a 'b"}},
        {"application_name='my app' dbname=numera", K::postgresql, "application_name='my app' dbname=numera", {}},
        {"sqlite:/var/tmp/r.sqlite3", K::sqlite, "sqlite:/var/tmp/r.sqlite3", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ResultStoreUrl url;
        std::string error;
        ASSERT_TRUE(result_store_url_parse(c.text, &url, &error)) << error;
        EXPECT_EQ(url.kind, c.kind);
        EXPECT_EQ(url.display, c.display);
        EXPECT_EQ(url.secrets, c.secrets);
        if (c.kind != K::postgresql) continue;
        // libpq reads the shown name as the original, less the password.
        char* problem = nullptr;
        PQconninfoOption* before = PQconninfoParse(c.text, &problem);
        PQconninfoOption* after = PQconninfoParse(url.display.c_str(), &problem);
        ASSERT_TRUE(before != nullptr && after != nullptr) << (problem ? problem : "");
        for (int i = 0; before[i].keyword != nullptr; ++i) {
            const std::string keyword = before[i].keyword;
            const std::string was = before[i].val ? before[i].val : "";
            const std::string now = after[i].val ? after[i].val : "";
            EXPECT_EQ(now, keyword == "password" ? "" : was) << keyword;
            if (keyword == "password" && !was.empty()) {
                EXPECT_NE(std::find(url.secrets.begin(), url.secrets.end(), was), url.secrets.end());
            }
        }
        PQconninfoFree(before);
        PQconninfoFree(after);
    }
    for (const char* bad : {"mysql://u:Zq9pw@h/db", "password=Zq9pw host", "host=db password='Zq9pw", "sqlite:", "Zq9pw"}) {
        ResultStoreUrl url;
        std::string error;
        EXPECT_FALSE(result_store_url_parse(bad, &url, &error)) << bad;
        EXPECT_EQ(error.find("Zq9pw"), std::string::npos) << error;
    }
    ResultStoreUrl url = store_url("postgresql://u:Zq9pw@h/db");
    EXPECT_EQ(result_store_scrub("failed for \"Zq9pw\"\n\tagain Zq9pw", url), "failed for \"***\" again ***");
}

TEST(StoreUrl, SinceAndHostPatterns) {
    struct Case {
        const char* text;
        const char* since;  // nullptr: refused
    };
    for (const Case& c : std::vector<Case>{{"2025-06-01", "2025-06-01T00:00:00Z"},
                                           {"2025-06-01T08:30Z", "2025-06-01T08:30:00Z"},
                                           {"2025-13-01", nullptr},
                                           {"2025-06-01T08:30", nullptr},
                                           {"2025-06-01T24:00Z", nullptr}}) {
        std::string since;
        EXPECT_EQ(result_since_parse(c.text, &since), c.since != nullptr) << c.text;
        if (c.since) {
            EXPECT_EQ(since, c.since);
        }
    }
    // Both stores share this translation, so it is checked here by hand.
    EXPECT_EQ(result_host_pattern_like("rack?-*"), "rack_-%");
    EXPECT_EQ(result_host_pattern_like("100%_\\"), "100\\%\\_\\\\");
}

// The hash is SHA-256 as sha256sum computes it, of a fixed prefix and the
// id; the raw id never shows.
TEST(MachineId, HashedStableAndNotTheRawId) {
    const TempDir dir;
    for (const std::string& message : {std::string(), std::string("abc"), std::string(1000, 'q'),
                                       std::string("exactly fifty-five bytes of text for the padding edge!!")}) {
        spit(dir.path() / "m", message);
        const auto [status, out] = shell("sha256sum " + (dir.path() / "m").string());
        ASSERT_EQ(status, 0);
        EXPECT_EQ(result_sha256_hex(message), out.substr(0, 64)) << message.size() << " bytes";
    }
    const std::string raw = "4f1c0e9a7b2d4c3e8f6a5b4c3d2e1f00";
    spit(dir.path() / "machine-id", raw + "\n");
    spit(dir.path() / "m", "numera-machine-id\n" + raw);
    const std::string expected = shell("sha256sum " + (dir.path() / "m").string()).second.substr(0, 32);
    EXPECT_EQ(result_machine_id_from(dir.path() / "machine-id"), expected);
    EXPECT_EQ(result_machine_id_from(dir.path() / "missing"), "");
    spit(dir.path() / "blank", " \n");
    EXPECT_EQ(result_machine_id_from(dir.path() / "blank"), "");
    const ScopedEnv seam("NUMERA_TEST_MACHINE_ID_FILE", (dir.path() / "machine-id").string());
    EXPECT_EQ(result_machine_id(), expected);
}

// From an empty database to the current tables; from the previous version
// with its rows kept and its new columns filled from the records; a newer
// version read but not written.
TEST(Postgres, MigratesFromEmptyFromThePreviousVersionAndLeavesNewerAlone) {
    const std::string empty = server->create_database();
    {
        const auto store = result_postgres_open(store_url(server->url("postgres", empty)));
        EXPECT_TRUE(store->list({}).empty());
    }
    EXPECT_EQ(server->value(empty, "SELECT version FROM numera_schema"), "2");
    EXPECT_EQ(server->value(empty, "SELECT string_agg(column_name, ',' ORDER BY ordinal_position) FROM"
                                   " information_schema.columns WHERE table_name = 'numera_results'"),
              "id,result_id,started_at,mode,success,score,elapsed_time,record,host_name,machine_id,cpu_model,"
              "version,engine_transform,engine_word_loops");

    const std::string old = server->create_database();
    const ResultStoreUrl url = store_url(server->url("postgres", old));
    result_postgres_migrate_to(url, 1);
    EXPECT_EQ(server->value(old, "SELECT version FROM numera_schema"), "1");
    ResultRecord r = sample(ResultMode::single, 760, "2025-05-01T10:00:00Z", "old-host");
    r.system.cpu_model = "Old CPU";
    {
        pqxx::connection c("host=" + server->socket_dir().string() + " user=postgres dbname=" + old);
        pqxx::work tx(c);
        tx.exec_params("INSERT INTO numera_results (result_id, started_at, mode, success, score, elapsed_time, record)"
                       " VALUES ($1, $2, 'single', true, 760, 3.3, $3)",
                       r.result_id, r.started_at, result_to_json(r).dump());
        tx.commit();
    }
    const auto store = result_postgres_open(url);
    EXPECT_EQ(server->value(old, "SELECT version FROM numera_schema"), "2");
    EXPECT_EQ(server->value(old, "SELECT host_name || '|' || cpu_model || '|' || machine_id FROM numera_results"),
              "old-host|Old CPU|" + r.machine_id);
    const std::vector<StoredResult> listed = store->list({});
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(result_json_dump(result_to_json(listed[0].record)), result_json_dump(result_to_json(r)));
    EXPECT_EQ(store->add(sample(ResultMode::multi, 1500, "2025-05-02T10:00:00Z", "old-host")), 2);

    server->admin(old, "UPDATE numera_schema SET version = 3");
    const auto newer = result_postgres_open(url);
    EXPECT_EQ(newer->list({}).size(), 2u);
    try {
        newer->add(sample(ResultMode::single, 700, "2025-05-03T10:00:00Z", "old-host"));
        ADD_FAILURE() << "a newer store was written";
    } catch (const ResultStoreError& e) {
        EXPECT_NE(std::string(e.what()).find("newer Numera"), std::string::npos) << e.what();
    }
    EXPECT_EQ(server->value(old, "SELECT count(*) FROM numera_results"), "2");
}

// The same results in the local history and the shared store answer every
// query alike: the history is the reference.
TEST(Postgres, AnswersTheHistorysQueriesAlike) {
    const TempDir dir;
    const auto history = result_history_open(dir.path() / "h.sqlite3");
    const auto shared = result_postgres_open(store_url(server->url("postgres", server->create_database())));
    const std::vector<ResultRecord> records = {
        sample(ResultMode::single, 700, "2025-03-01T10:00:00Z", "rack1-node01"),
        sample(ResultMode::single, 760, "2025-03-02T10:00:00Z", "RACK1-node02"),
        sample(ResultMode::multi, 1390, "2025-03-03T10:00:00Z", "rack1-node01"),
        sample(ResultMode::single, 0, "2025-03-04T10:00:00Z", "rack2-node01"),  // failed
        sample(ResultMode::stress, 0, "2025-03-05T10:00:00Z", "rack2-node01"),
        sample(ResultMode::single, 760, "2025-03-05T10:00:00Z", "rack2_node1"),
        sample(ResultMode::single, 500, "2025-02-01T10:00:00Z", "lab%pc"),  // stored late, started early
    };
    for (const ResultRecord& r : records) {
        const int64_t id = history->add(r);
        EXPECT_EQ(shared->add(r), id);
        EXPECT_EQ(shared->add(r), id) << "one result_id is one result";
    }
    const std::vector<ResultQuery> queries = {
        {},
        {3, std::nullopt, "", ""},
        {0, ResultMode::single, "", ""},
        {0, std::nullopt, "2025-03-02T10:00:00Z", ""},
        {0, std::nullopt, "", "rack1-*"},
        {0, std::nullopt, "", "rack?-node01"},
        {0, std::nullopt, "", "rack2_*"},   // the underscore is literal
        {0, std::nullopt, "", "lab%pc"},
        {0, std::nullopt, "", "lab_pc"},
        {2, ResultMode::single, "2025-03-01T00:00:00Z", "*node0*"},
    };
    for (size_t i = 0; i < queries.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ids_of(shared->list(queries[i])), ids_of(history->list(queries[i])));
    }
    EXPECT_EQ(ids_of(history->list(queries[6])).size(), 1u);
    EXPECT_EQ(ids_of(history->list(queries[8])).size(), 0u);
    for (const char* text : {"last", "last:single", "last:stress", "best", "best:multi", "best:stress", "#3", "#99"}) {
        SCOPED_TRACE(text);
        ResultReference ref;
        std::string error;
        ASSERT_TRUE(result_reference_parse(text, &ref, &error));
        const auto a = result_store_find(*history, ref);
        const auto b = result_store_find(*shared, ref);
        ASSERT_EQ(a.has_value(), b.has_value());
        if (a) {
            EXPECT_EQ(a->record.result_id, b->record.result_id);
        }
    }
}

// Host and CPU names are data, never SQL: stored and read back byte for
// byte, the tables still there.
TEST(Postgres, HostileNamesStoredAndReadBackVerbatim) {
    const std::string db = server->create_database();
    const auto store = result_postgres_open(store_url(server->url("postgres", db)));
    const std::vector<std::string> names = {
        "'; DROP TABLE numera_results; --",
        "\\'; SELECT pg_sleep(5); --",
        "$1 $$ $tag$ ::text",
        "100%_sure*?",
        "\"quoted\" ; \\\\ backslash",
        "Ünïcødé ☃ 计算机",
        "two\nlines\tand a tab",
    };
    std::map<std::string, std::string> cpu_of;
    for (size_t i = 0; i < names.size(); ++i) {
        ResultRecord r = sample(ResultMode::single, 700 + static_cast<double>(i), "2025-04-01T10:00:00Z", names[i]);
        r.system.cpu_model = names[names.size() - 1 - i];
        cpu_of[names[i]] = r.system.cpu_model;
        store->add(r);
    }
    EXPECT_EQ(server->value(db, "SELECT count(*) FROM numera_results"), std::to_string(names.size()));
    EXPECT_EQ(server->value(db, "SELECT version FROM numera_schema"), "2");
    // A pattern made of one name finds that name alone (its % and _ are
    // literal; its * and ? are wildcards that also match themselves).
    std::string columns;
    for (const std::string& name : names) {
        ResultQuery q;
        q.host = name;
        const std::vector<StoredResult> found = store->list(q);
        ASSERT_EQ(found.size(), 1u) << name;
        EXPECT_EQ(found[0].record.host_name, name);
        EXPECT_EQ(found[0].record.system.cpu_model, cpu_of[name]);
        columns += name + '\x01' + cpu_of[name] + '\x02';
    }
    // The columns too, as another client reads them.
    EXPECT_EQ(server->value(db, "SELECT string_agg(host_name || chr(1) || cpu_model || chr(2), '' ORDER BY id)"
                                " FROM numera_results"),
              columns);
}

// Two machines at once on a new database: one migrates, both write, every
// row is there once.
TEST(Postgres, TwoProcessesMigrateAndWriteAtOnce) {
    const std::string db = server->create_database();
    const std::string url = server->url("postgres", db);
    constexpr int per_writer = 40;
    EXPECT_TRUE(in_children(2, [&](int w) {
        try {
            const auto store = result_postgres_open(store_url(url));
            for (int i = 0; i < per_writer; ++i) {
                store->add(sample(ResultMode::single, 700 + i, "2025-04-02T10:00:00Z", "writer-" + std::to_string(w)));
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "writer %d: %s\n", w, e.what());
            return 1;
        }
        return 0;
    })) << "a writer failed";
    EXPECT_EQ(server->value(db, "SELECT count(DISTINCT result_id) FROM numera_results"), std::to_string(2 * per_writer));
    EXPECT_EQ(server->value(db, "SELECT count(*) || ' ' || min(version) FROM numera_schema"), "1 2");
    EXPECT_EQ(server->value(db, "SELECT string_agg(host_name || ':' || n, ' ' ORDER BY host_name) FROM"
                                " (SELECT host_name, count(*) AS n FROM numera_results GROUP BY host_name) g"),
              "writer-0:40 writer-1:40");
}

// The server down, then back: the results wait in the local history and
// arrive once, by sync and by the next run alike.
TEST(Delivery, ServerDownThenBackDeliversEachResultOnce) {
    const std::string db = server->create_database();
    const ResultStoreUrl url = store_url(server->url("postgres", db));
    const TempDir dir;
    const fs::path history = dir.path() / "numera" / "results.sqlite3";
    result_postgres_open(url);  // the tables, made by their owner

    server->stop();
    const ResultRecord a = sample(ResultMode::stress, 0, "2025-04-03T10:00:00Z", "node-a");
    const ResultRecord b = sample(ResultMode::single, 760, "2025-04-03T11:00:00Z", "node-a");
    ResultDelivery d = result_deliver(a, history, url, true);
    EXPECT_FALSE(d.delivered_this);
    EXPECT_TRUE(d.kept_locally);
    EXPECT_NE(d.problem.find("cannot connect"), std::string::npos) << d.problem;
    EXPECT_EQ(d.problem.find('\n'), std::string::npos);
    EXPECT_EQ(d.waiting, 1);
    d = result_deliver(b, history, url, false);  // --no-history: kept all the same
    EXPECT_TRUE(d.kept_locally);
    EXPECT_EQ(d.waiting, 2);
    d = result_deliver_waiting(history, url);
    EXPECT_EQ(d.delivered_earlier, 0);
    EXPECT_EQ(d.waiting, 2);
    ASSERT_EQ(result_waiting(history).size(), 1u);
    EXPECT_EQ(result_waiting(history)[0].store, url.display);
    EXPECT_EQ(ids_of(result_history_open_existing(history)->list({})), (std::vector<std::string>{b.result_id, a.result_id}));

    server->start();
    d = result_deliver_waiting(history, url);
    EXPECT_EQ(d.problem, "");
    EXPECT_EQ(d.delivered_earlier, 2);
    EXPECT_EQ(d.waiting, 0);
    EXPECT_EQ(result_deliver_waiting(history, url).delivered_earlier, 0) << "delivered once";
    EXPECT_TRUE(result_waiting(history).empty());

    // The next run takes what waited since.
    server->stop();
    const ResultRecord c = sample(ResultMode::single, 770, "2025-04-04T10:00:00Z", "node-a");
    EXPECT_EQ(result_deliver(c, history, url, true).waiting, 1);
    server->start();
    const ResultRecord e = sample(ResultMode::single, 780, "2025-04-04T11:00:00Z", "node-a");
    d = result_deliver(e, history, url, true);
    EXPECT_TRUE(d.delivered_this);
    EXPECT_EQ(d.delivered_earlier, 1);
    EXPECT_EQ(d.waiting, 0);

    // A delivery whose answer was lost is sent again: the store keeps one.
    EXPECT_EQ(result_mark_all_waiting(history, store_url(server->url("postgres", db) + "&application_name=again")), 4);
    EXPECT_EQ(result_deliver_waiting(history, store_url(server->url("postgres", db) + "&application_name=again"))
                  .delivered_earlier,
              4);
    EXPECT_EQ(server->value(db, "SELECT count(*) || ' ' || count(DISTINCT result_id) FROM numera_results"), "4 4");
    std::set<std::string> stored;
    for (const StoredResult& s : result_postgres_open(url)->list({})) stored.insert(s.record.result_id);
    EXPECT_EQ(stored, (std::set<std::string>{a.result_id, b.result_id, c.result_id, e.result_id}));
}

// The least rights the README gives a fleet's role are enough to write;
// less is a clear error with the result kept; creating the tables needs
// their owner.
TEST(Delivery, RolesWithoutRightsKeepTheResultLocally) {
    const std::string db = server->create_database();
    server->admin("postgres", "DROP ROLE IF EXISTS fleet_writer; CREATE ROLE fleet_writer LOGIN PASSWORD 'w-pass-1'");
    const ScopedEnv password("PGPASSWORD", "w-pass-1");
    const ResultStoreUrl url = store_url(server->url("fleet_writer", db));
    const TempDir dir;
    const fs::path history = dir.path() / "h.sqlite3";

    ResultDelivery d = result_deliver(sample(ResultMode::single, 700, "2025-04-05T10:00:00Z", "n1"), history, url, true);
    EXPECT_NE(d.problem.find("not created yet"), std::string::npos) << d.problem;
    EXPECT_NE(d.problem.find("owner"), std::string::npos) << d.problem;
    EXPECT_EQ(d.waiting, 1);

    result_postgres_open(store_url(server->url("postgres", db)));
    server->admin(db, "GRANT SELECT ON numera_results, numera_schema TO fleet_writer");
    d = result_deliver(sample(ResultMode::single, 710, "2025-04-05T11:00:00Z", "n1"), history, url, true);
    EXPECT_NE(d.problem.find("lacks the rights"), std::string::npos) << d.problem;
    EXPECT_NE(d.problem.find("numera_results"), std::string::npos) << d.problem;
    EXPECT_TRUE(d.kept_locally);
    EXPECT_EQ(d.waiting, 2);
    EXPECT_EQ(server->value(db, "SELECT count(*) FROM numera_results"), "0");

    server->admin(db, "GRANT INSERT ON numera_results TO fleet_writer");
    d = result_deliver_waiting(history, url);
    EXPECT_EQ(d.problem, "");
    EXPECT_EQ(d.delivered_earlier, 2);
    EXPECT_EQ(server->value(db, "SELECT count(*) FROM numera_results"), "2");
}

// A password in the store's name, wrong or right, shows nowhere: not in
// errors (even those where libpq repeats a value it could not use), not in
// the local bookkeeping, not in the store.
TEST(Delivery, PasswordsShowNowhere) {
    const std::string db = server->create_database();
    result_postgres_open(store_url(server->url("postgres", db)));
    server->admin("postgres", "DROP ROLE IF EXISTS fleet_pw; CREATE ROLE fleet_pw LOGIN PASSWORD 'Right-Pw-77'");
    server->admin(db, "GRANT SELECT, INSERT ON numera_results TO fleet_pw; GRANT SELECT ON numera_schema TO fleet_pw");
    const std::string sock = server->socket_dir().string();
    const TempDir dir;
    const fs::path history = dir.path() / "h.sqlite3";
    const std::vector<std::pair<std::string, std::string>> wrong = {
        {"postgresql://fleet_pw:Wr0ng-Pw-91@/" + db + "?host=" + sock, "Wr0ng-Pw-91"},
        {"postgresql://fleet_pw@/" + db + "?host=" + sock + "&password=Wr0ng%2DPw%2D92", "Wr0ng-Pw-92"},
        {"host=" + sock + " dbname=" + db + " user=fleet_pw password=Wr0ngPw93 port=Wr0ngPw93", "Wr0ngPw93"},
        {"postgresql://fleet_pw:Wr0ngPw94@/" + db + "?host=" + sock + "&port=Wr0ngPw94", "Wr0ngPw94"},
    };
    for (const auto& [text, secret] : wrong) {
        SCOPED_TRACE(text);
        const ResultStoreUrl url = store_url(text);
        const ResultDelivery d = result_deliver(sample(ResultMode::single, 700, "2025-04-06T10:00:00Z", "n1"), history,
                                                url, true);
        EXPECT_FALSE(d.problem.empty());
        EXPECT_EQ(d.problem.find(secret), std::string::npos) << d.problem;
        EXPECT_EQ(url.display.find(secret), std::string::npos);
    }
    // The right password from a password file works, and from the name too.
    const fs::path pgpass = dir.path() / "pgpass";
    spit(pgpass, "*:*:" + db + ":fleet_pw:Right-Pw-77\n");
    fs::permissions(pgpass, fs::perms::owner_read | fs::perms::owner_write);
    {
        const ScopedEnv file("PGPASSFILE", pgpass.string());
        const ResultDelivery d = result_deliver(sample(ResultMode::single, 720, "2025-04-06T11:00:00Z", "n1"), history,
                                                store_url(server->url("fleet_pw", db)), true);
        EXPECT_EQ(d.problem, "");
        EXPECT_TRUE(d.delivered_this);
    }
    const ResultStoreUrl in_name = store_url("postgresql://fleet_pw:Right-Pw-77@/" + db + "?host=" + sock);
    EXPECT_TRUE(result_deliver(sample(ResultMode::single, 730, "2025-04-06T12:00:00Z", "n1"), history, in_name, true)
                    .delivered_this);
    const std::string bytes = slurp(history) + slurp(history.string() + "-wal");
    for (const char* secret : {"Right-Pw-77", "Wr0ng-Pw-91", "Wr0ng-Pw-92", "Wr0ngPw93", "Wr0ngPw94"}) {
        EXPECT_EQ(bytes.find(secret), std::string::npos) << secret;
    }
    EXPECT_EQ(server->value(db, "SELECT count(*) FROM numera_results WHERE record::text LIKE '%Pw%'"), "0");
}

// numera-cli from the outside: the store chosen by --store or NUMERA_STORE,
// the report of the store, a password kept out.
TEST(FleetCli, HistoryAndReportFromTheStore) {
    const std::string db = server->create_database();
    const std::string url = server->url("postgres", db);
    const TempDir dir;
    const std::string env = "XDG_DATA_HOME=" + dir.path().string() + " ";
    const std::string cli = env + NUMERA_CLI_PATH;
    {
        const auto store = result_postgres_open(store_url(url));
        store->add(sample(ResultMode::single, 760, "2025-05-01T10:00:00Z", "alpha"));
        store->add(sample(ResultMode::stress, 0, "2025-05-02T10:00:00Z", "beta"));
        store->add(sample(ResultMode::single, 700, "2025-06-02T10:00:00Z", "beta"));
    }
    auto [status, out] = shell(cli + " history --store " + quoted(url));
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Synthetic CPU"), std::string::npos) << out;
    std::tie(status, out) = shell(env + "NUMERA_STORE=" + quoted(url) + " " + NUMERA_CLI_PATH + " history --json");
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(nlohmann::json::parse(out)["results"].size(), 3u);

    const std::string page = (dir.path() / "r.html").string();
    std::tie(status, out) = shell(cli + " report --store " + quoted(url) + " -o " + page);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("2 machines, 3 results"), std::string::npos) << out;
    std::tie(status, out) = shell(cli + " report --store " + quoted(url) + " --since 2025-05-02 --host 'B*' -o " + page);
    EXPECT_NE(out.find("1 machine, 2 results"), std::string::npos) << out;

    server->stop();
    std::tie(status, out) = shell(cli + " history --store 'postgresql://postgres:Cli-Pw-55@/" + db +
                                  "?host=" + server->socket_dir().string() + "'");
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("cannot connect"), std::string::npos) << out;
    EXPECT_EQ(out.find("Cli-Pw-55"), std::string::npos) << out;
    std::tie(status, out) = shell(cli + " --store 'mysql://u:Cli-Pw-56@h/d' history");
    EXPECT_EQ(status, 2) << out;
    EXPECT_EQ(out.find("Cli-Pw-56"), std::string::npos) << out;
    server->start();
}

// The outage from the outside, with a real benchmark run: printed, kept,
// then delivered once by sync.
TEST(FleetCliRun, ServerDownThenSync) {
    const std::string db = server->create_database();
    const std::string url = server->url("postgres", db);
    result_postgres_open(store_url(url));
    const TempDir dir;
    const std::string cli = "XDG_DATA_HOME=" + dir.path().string() + " NUMERA_TEST_HOST_NAME=outage-host " + NUMERA_CLI_PATH;
    server->stop();
    auto [status, out] = shell(cli + " --runs 1 --json --store " + quoted(url));
    server->start();
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("\"score\""), std::string::npos) << out;
    EXPECT_NE(out.find("kept in the local history"), std::string::npos) << out;
    EXPECT_NE(out.find("1 result waiting"), std::string::npos) << out;
    std::tie(status, out) = shell(cli + " history --json");
    EXPECT_NE(out.find("outage-host"), std::string::npos) << out;

    std::tie(status, out) = shell(cli + " sync");
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Delivered 1 result to " + url + "; none left waiting."), std::string::npos) << out;
    std::tie(status, out) = shell(cli + " sync");
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Nothing waits"), std::string::npos) << out;
    EXPECT_EQ(server->value(db, "SELECT count(*) || ' ' || min(host_name) FROM numera_results"), "1 outage-host");
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    server = new PgServer;
    ::testing::AddGlobalTestEnvironment(server);  // owns it
    return RUN_ALL_TESTS();
}
