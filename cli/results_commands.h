// The numera-cli subcommands that read results: history, export, compare
// and report. Each returns the exit status: 0 done, 1 a store or a file that
// cannot be read or written (one line on stderr per problem).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "results/result_store_url.h"

struct HistoryCommandOptions {
    int64_t limit = 20;  // 0: all
    bool json = false;
    bool csv = false;
    ResultStoreUrl store;
};
// Past results, newest first.
int run_history_command(const HistoryCommandOptions& options);

struct ExportCommandOptions {
    bool csv = false;    // JSON otherwise
    std::string output;  // empty: stdout
    ResultStoreUrl store;
};
// Every result in the history, oldest first.
int run_export_command(const ExportCommandOptions& options);

struct CompareCommandOptions {
    std::string a, b;    // result files or history references (last, best, #12)
    bool json = false;
    ResultStoreUrl store;  // where the references point
};
int run_compare_command(const CompareCommandOptions& options);

struct ReportCommandOptions {
    std::vector<std::string> files;  // none: the results of the store
    std::string output = "report.html";
    std::string title = "Numera results";
    ResultStoreUrl store;
    std::string since;               // a store's results from this date or time on
    std::string host;                // a store's results of matching host names
};
// One HTML page from result files, or from a store, of any number of machines.
int run_report_command(const ReportCommandOptions& options);
