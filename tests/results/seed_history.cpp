// Test tool: stores the results of result files in the history at the
// default place ($XDG_DATA_HOME/numera/results.sqlite3), as a finished run
// would, so the history commands can be tested without benchmark runs.
#include <cstdio>
#include <exception>

#include "results/result_json.h"
#include "results/result_store.h"

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        try {
            for (const ResultRecord& r : result_read_file(argv[i])) {
                const std::string problem = result_history_store(r, result_history_default_path());
                if (!problem.empty()) {
                    std::fprintf(stderr, "seed_history: %s\n", problem.c_str());
                    status = 1;
                }
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "seed_history: %s\n", e.what());
            status = 1;
        }
    }
    return status;
}
