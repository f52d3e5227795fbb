#include "cli/store_cli.h"

#include <cstdio>
#include <cstdlib>

#include "results/result_delivery.h"

namespace {

std::string results_text(int64_t n) { return std::to_string(n) + (n == 1 ? " result" : " results"); }

void say(const std::string& line) {
    if (!line.empty()) std::fprintf(stderr, "numera-cli: %s\n", line.c_str());
}

// What happened to one delivery, as sync and the benchmarks tell it.
void report(const ResultDelivery& d, const ResultStoreUrl& store) {
    say(d.local_problem);
    if (d.delivered_earlier > 0) {
        say("delivered " + results_text(d.delivered_earlier) + " that waited for " + store.display);
    }
    if (d.problem.empty()) return;
    std::string line = d.problem;
    if (d.kept_locally) {
        line += "; the result is kept in the local history (" + result_history_default_path().string() + ")";
    } else if (!d.delivered_this) {
        line += "; the result is printed above but not stored";
    }
    if (d.waiting > 0) {
        line += ", " + results_text(d.waiting) + " waiting: numera-cli sync delivers " + (d.waiting == 1 ? "it" : "them");
    }
    say(line);
}

}  // namespace

bool cli_store_choose(const std::string& option, ResultStoreUrl* store, std::string* error) {
    std::string text = option;
    std::string source = "--store";
    if (text.empty()) {
        const char* env = std::getenv("NUMERA_STORE");
        if (env != nullptr) text = env;
        source = "NUMERA_STORE";
    }
    std::string problem;
    if (result_store_url_parse(text, store, &problem)) return true;
    *error = source + ": " + problem;
    return false;
}

void cli_store_result(const ResultRecord& record, const ResultStoreUrl& store, bool no_history) {
    switch (store.kind) {
        case ResultStoreUrl::Kind::history:
            if (!no_history) say(result_history_store(record, result_history_default_path()));
            return;
        case ResultStoreUrl::Kind::sqlite: say(result_history_store(record, store.path)); return;
        case ResultStoreUrl::Kind::postgresql: break;
    }
    report(result_deliver(record, result_history_default_path(), store, !no_history), store);
}

int run_sync_command(const SyncCommandOptions& options) {
    ResultStoreUrl chosen;
    std::string error;
    if (!cli_store_choose(options.store, &chosen, &error)) {
        say(error);
        return 2;
    }
    const bool named = !options.store.empty() || std::getenv("NUMERA_STORE") != nullptr;
    if (named && chosen.kind != ResultStoreUrl::Kind::postgresql) {
        say("sync delivers to a shared PostgreSQL store; " + chosen.display + " is a local file");
        return 2;
    }
    const std::filesystem::path history = result_history_default_path();
    std::vector<ResultStoreUrl> stores;
    try {
        if (named) {
            if (options.all) {
                const int64_t marked = result_mark_all_waiting(history, chosen);
                if (marked > 0) std::printf("%s of the local history marked for %s\n", results_text(marked).c_str(),
                                            chosen.display.c_str());
            }
            stores.push_back(chosen);
        } else {
            if (options.all) {
                say("sync --all needs the store: --store URL or NUMERA_STORE");
                return 2;
            }
            for (const ResultWaiting& w : result_waiting(history)) {
                ResultStoreUrl url;
                if (result_store_url_parse(w.store, &url, &error)) stores.push_back(url);
            }
            if (stores.empty()) {
                std::printf("Nothing waits for a shared store.\n");
                return 0;
            }
        }
    } catch (const std::exception& e) {
        say(result_store_scrub(e.what(), chosen));
        return 1;
    }
    int status = 0;
    for (const ResultStoreUrl& store : stores) {
        const ResultDelivery d = result_deliver_waiting(history, store);
        say(d.local_problem);
        const int64_t delivered = d.delivered_earlier;
        if (!d.problem.empty()) {
            say(d.problem + "; " + results_text(d.waiting) + " still waiting");
            status = 1;
            continue;
        }
        if (delivered == 0) {
            // Nothing to send: still say whether the store is there (and
            // create its tables, run by their owner).
            try {
                result_store_open(store);
            } catch (const std::exception& e) {
                say(result_store_scrub(e.what(), store));
                status = 1;
                continue;
            }
            std::printf("%s: nothing was waiting; the store is reachable.\n", store.display.c_str());
        } else {
            std::printf("Delivered %s to %s; %s.\n", results_text(delivered).c_str(), store.display.c_str(),
                        d.waiting == 0 ? "none left waiting" : (results_text(d.waiting) + " still waiting").c_str());
        }
        if (d.waiting > 0 || !d.local_problem.empty()) status = 1;
    }
    return status;
}
