#include "cli/results_commands.h"

#include <cstdio>
#include <memory>
#include <optional>

#include "results/result_compare.h"
#include "results/result_export.h"
#include "results/result_json.h"
#include "results/result_report.h"
#include "results/result_store.h"
#include "sysinfo/result_formatter.h"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "numera-cli: %s\n", message.c_str());
    return 1;
}

// The store's results as asked; an empty history when there is no file yet.
std::vector<StoredResult> history_results(const ResultStoreUrl& url, const ResultQuery& query) {
    const std::unique_ptr<ResultStore> store = result_store_open_existing(url);
    if (!store) return {};
    return store->list(query);
}

ResultJson list_json(const std::vector<StoredResult>& results) {
    std::vector<ResultRecord> records;
    std::vector<int64_t> ids;
    for (const StoredResult& s : results) {
        records.push_back(s.record);
        ids.push_back(s.id);
    }
    return result_list_json(records, ids);
}

std::string history_table(const std::vector<StoredResult>& results) {
    std::string out;
    char line[512];
    std::snprintf(line, sizeof line, "%5s  %-16s  %-6s  %6s  %10s  %-10s  %-34s  %s\n", "#", "Date (UTC)", "Mode",
                  "Score", "Time", "Engine", "CPU", "Verdict");
    out += line;
    for (const StoredResult& s : results) {
        const ResultRecord& r = s.record;
        std::string date = r.started_at;
        if (date.size() >= 16) date = date.substr(0, 10) + " " + date.substr(11, 5);
        char score[32] = "-";
        if (r.mode != ResultMode::stress && r.success) std::snprintf(score, sizeof score, "%.0f", r.score);
        char time[32];
        if (r.mode == ResultMode::stress) {
            std::snprintf(time, sizeof time, "%s", result_duration_text(r.elapsed_time).c_str());
        } else {
            std::snprintf(time, sizeof time, "%.3f s", r.elapsed_time);
        }
        const std::string cpu = ResultFormatter::formatCPU(result_machine_to_system_info(r.system));
        std::snprintf(line, sizeof line, "%5lld  %-16s  %-6s  %6s  %10s  %-10s  %-34s  %s\n",
                      static_cast<long long>(s.id), date.c_str(), result_mode_name(r.mode), score, time,
                      result_engine_text(r.engine).c_str(), cpu.c_str(), result_verdict(r).c_str());
        out += line;
    }
    return out;
}

// A result named on the command line: the one result of a file, or one in
// the history.
std::optional<ResultSide> resolve(const std::string& text, const ResultStoreUrl& url, std::string* error) {
    ResultReference ref;
    if (!result_reference_parse(text, &ref, error)) return std::nullopt;
    if (ref.kind == ResultReference::Kind::file) {
        std::vector<ResultRecord> records = result_read_file(ref.file);
        if (records.size() != 1) {
            *error = text + " holds " + std::to_string(records.size()) + " results; compare takes a file of one";
            return std::nullopt;
        }
        return ResultSide{text, std::move(records.front())};
    }
    const std::unique_ptr<ResultStore> store = result_store_open_existing(url);
    std::optional<StoredResult> found;
    if (store) found = result_store_find(*store, ref);
    if (!found) {
        *error = "no result \"" + text + "\" in " + (url.kind == ResultStoreUrl::Kind::history ? "the history (" + url.display + ")" : url.display);
        return std::nullopt;
    }
    std::string label = text;
    if (ref.kind != ResultReference::Kind::id) label += " (#" + std::to_string(found->id) + ")";
    return ResultSide{label, std::move(found->record)};
}

}  // namespace

int run_history_command(const HistoryCommandOptions& options) {
    try {
        ResultQuery query;
        query.limit = options.limit;
        const std::vector<StoredResult> results = history_results(options.store, query);
        if (options.json) {
            std::printf("%s\n", result_json_dump(list_json(results)).c_str());
        } else if (options.csv) {
            std::fputs(result_csv(results).c_str(), stdout);
        } else if (results.empty()) {
            const std::string where = options.store.kind == ResultStoreUrl::Kind::history
                                          ? "the history yet (" + options.store.display + ")"
                                          : options.store.display + " yet";
            std::printf("No results in %s.\n", where.c_str());
        } else {
            std::fputs(history_table(results).c_str(), stdout);
        }
        return 0;
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

int run_export_command(const ExportCommandOptions& options) {
    try {
        std::vector<StoredResult> results = history_results(options.store, ResultQuery{});
        std::reverse(results.begin(), results.end());
        const std::string text = options.csv ? result_csv(results) : result_json_dump(list_json(results)) + "\n";
        if (options.output.empty() || options.output == "-") {
            std::fputs(text.c_str(), stdout);
        } else {
            result_write_file(options.output, text);
        }
        return 0;
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

int run_compare_command(const CompareCommandOptions& options) {
    try {
        std::string error;
        std::optional<ResultSide> a = resolve(options.a, options.store, &error);
        if (!a) return fail(error);
        std::optional<ResultSide> b = resolve(options.b, options.store, &error);
        if (!b) return fail(error);
        const ResultComparison comparison = result_compare(std::move(*a), std::move(*b));
        if (options.json) {
            std::printf("%s\n", result_json_dump(result_comparison_json(comparison)).c_str());
        } else {
            std::fputs(result_comparison_text(comparison).c_str(), stdout);
        }
        return 0;
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

int run_report_command(const ReportCommandOptions& options) {
    std::vector<ResultRecord> results;
    if (options.files.empty()) {
        try {
            ResultQuery query;
            query.since = options.since;
            query.host = options.host;
            for (StoredResult& s : history_results(options.store, query)) results.push_back(std::move(s.record));
        } catch (const std::exception& e) {
            return fail(std::string(e.what()) + "; no report written");
        }
    }
    int bad = 0;
    for (const std::string& file : options.files) {
        try {
            std::vector<ResultRecord> records = result_read_file(file);
            for (ResultRecord& r : records) results.push_back(std::move(r));
        } catch (const std::exception& e) {
            fail(e.what());
            ++bad;
        }
    }
    // A report that quietly leaves a machine out would mislead.
    if (bad > 0) return fail("no report written: " + std::to_string(bad) + (bad == 1 ? " file" : " files") + " could not be read");
    try {
        ResultReportOptions report;
        report.title = options.title;
        result_write_file(options.output, result_report_html(results, report));
        const ResultReportPlan plan = result_report_plan(results);
        const size_t machines = plan.machines.size();
        std::printf("Wrote %s: %zu %s, %d %s\n", options.output.c_str(), machines,
                    machines == 1 ? "machine" : "machines", plan.results, plan.results == 1 ? "result" : "results");
        return 0;
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}
