// numera-cli: the benchmark for terminals, scripts and servers.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/cli_text.h"
#include "cli/multi_command.h"
#include "cli/results_commands.h"
#include "cli/series_command.h"
#include "cli/store_cli.h"
#include "cli/stress_command.h"
#include "engine/engine_path.h"
#include "results/result_json.h"
#include "sysinfo/system_info.h"

namespace {

int print_system_info(bool json) {
    SystemInfo info{};
    collect_system_info(&info);
    const PiEnginePath path = pi_engine_path();
    if (json) {
        const ResultJson j = {{"system", result_machine_json(result_machine_from(info))},
                              {"engine", result_engine_json(result_engine_from(path))}};
        std::printf("%s\n", result_json_dump(j).c_str());
    } else {
        print_machine(info, path);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    SeriesCommandOptions series;
    bool system_info_only = false;
    CLI::App app{"Numera: computes pi to 8,388,608 digits on one core and scores this CPU.",
                 "numera-cli"};
    app.set_version_flag("--version", std::string("numera-cli ") + NUMERA_VERSION);
    app.add_option("--runs", series.runs, "Number of runs in the series (default 5)")
        ->check(CLI::Range(1, 100));
    app.add_flag("--json", series.json, "Print one JSON object on stdout");
    app.add_flag("--verbose", series.verbose,
                 "Print every AGM iteration as it ends: run, iteration, precision in digits, seconds");
    app.add_option("--digits-out", series.digits_out,
                   "Write the verified digits of the last successful run to FILE")
        ->type_name("FILE");
    app.add_flag("--no-history", series.no_history, "Do not store the result in the history");
    // One store for whichever command runs: postgresql://USER@HOST/DB, a
    // libpq key=value string or sqlite:PATH; passwords from ~/.pgpass or
    // PGPASSWORD, not from here.
    std::string store_text;
    const char* store_help = "Where results are kept and read: postgresql://USER@HOST/DB, key=value, sqlite:PATH "
                             "(default: NUMERA_STORE, else the local history)";
    app.add_option("--store", store_text, store_help)->type_name("URL");
    app.add_flag("--system-info", system_info_only, "Print the machine facts and exit");
    app.require_subcommand(0, 1);

    HistoryCommandOptions history;
    CLI::App* history_cmd = app.add_subcommand("history", "List past results, newest first");
    history_cmd->add_option("--limit", history.limit, "At most N results (default 20; 0 lists all)")
        ->check(CLI::NonNegativeNumber);
    CLI::Option* history_json = history_cmd->add_flag("--json", history.json, "As JSON");
    history_cmd->add_flag("--csv", history.csv, "As CSV")->excludes(history_json);
    history_cmd->add_option("--store", store_text, store_help)->type_name("URL");

    ExportCommandOptions export_options;
    bool export_as_json = false;  // the default; named for symmetry with --csv
    CLI::App* export_cmd = app.add_subcommand("export", "Write every stored result, oldest first (JSON by default)");
    CLI::Option* export_json = export_cmd->add_flag("--json", export_as_json, "As JSON (the default)");
    export_cmd->add_flag("--csv", export_options.csv, "As CSV (RFC 4180, with a header row)")->excludes(export_json);
    export_cmd->add_option("-o,--output", export_options.output, "Write to FILE (whole or not at all)")
        ->type_name("FILE");
    export_cmd->add_option("--store", store_text, store_help)->type_name("URL");

    CompareCommandOptions compare;
    CLI::App* compare_cmd = app.add_subcommand(
        "compare", "Two results side by side; each a result file or a history reference: last, best, #12 "
                   "(last and best take :single, :multi or :stress)");
    compare_cmd->add_option("A", compare.a, "The first result")->required();
    compare_cmd->add_option("B", compare.b, "The second result")->required();
    compare_cmd->add_flag("--json", compare.json, "As JSON");
    compare_cmd->add_option("--store", store_text, store_help)->type_name("URL");

    ReportCommandOptions report;
    CLI::App* report_cmd =
        app.add_subcommand("report", "One self-contained HTML page from result files, or a store, of any number of machines");
    CLI::Option* report_files =
        report_cmd->add_option("FILE", report.files, "Result files (numera-cli --json, export --json); none: the store");
    report_cmd->add_option("-o,--output", report.output, "Write the page to FILE (default report.html)")
        ->type_name("FILE");
    report_cmd->add_option("--title", report.title, "Title of the page");
    report_cmd->add_option("--store", store_text, store_help)->type_name("URL")->excludes(report_files);
    report_cmd->add_option("--since", report.since, "Only results from this UTC date or time on (2025-06-01, 2025-06-01T08:00Z)")
        ->type_name("DATE")
        ->excludes(report_files);
    report_cmd->add_option("--host", report.host, "Only hosts matching this pattern (* and ?, any case)")
        ->type_name("PATTERN")
        ->excludes(report_files);

    SyncCommandOptions sync;
    CLI::App* sync_cmd = app.add_subcommand(
        "sync", "Deliver the results waiting for a shared store (without --store: to every store they wait for)");
    sync_cmd->add_option("--store", sync.store, store_help)->type_name("URL");
    sync_cmd->add_flag("--all", sync.all, "Also every result of the local history not yet delivered to the store");

    MultiCommandOptions multi;
    CLI::App* multi_app = app.add_subcommand(
        "multi", "Runs the benchmark on every CPU at once, each worker pinned to its CPU, and scores them together");
    // An empty list given on purpose is a mistake, not "every CPU".
    const auto not_empty = [](const std::string& list) { return list.empty() ? std::string("empty CPU list") : std::string(); };
    multi_app->add_option("--cpus", multi.cpus, "CPUs to use, such as 0-3,8 (default: every online CPU)")
        ->type_name("LIST")
        ->check(not_empty);
    multi_app->add_option("--runs", multi.runs, "Runs on each CPU (default 5)")->check(CLI::Range(1, 100));
    multi_app->add_flag("--json", multi.json, "Print one JSON object on stdout");
    multi_app->add_flag("--no-history", multi.no_history, "Do not store the result in the history");
    multi_app->add_option("--store", store_text, store_help)->type_name("URL");

    StressCommandOptions stress;
    CLI::App* stress_app = app.add_subcommand(
        "stress", "Stability test: verified runs back to back on every CPU; names the CPU of the first error");
    stress_app->add_option("--duration", stress.duration, "How long: 90s, 10m, 1h, 1h30m (default 10m); 0 until stopped")
        ->type_name("TIME");
    stress_app->add_option("--cpus", stress.cpus, "CPUs to use, such as 0-3,8 (default: every online CPU)")
        ->type_name("LIST")
        ->check(not_empty);
    stress_app->add_flag("--keep-going", stress.keep_going, "Count errors per CPU instead of stopping at the first");
    stress_app->add_flag("--json", stress.json, "Print one JSON object on stdout");
    stress_app->add_flag("--no-history", stress.no_history, "Do not store the result in the history");
    stress_app->add_option("--store", store_text, store_help)->type_name("URL");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << (argc > 1 && app.get_subcommands().size() == 1 ? app.get_subcommands()[0]->help() : app.help());
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << app.version() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        std::cerr << "numera-cli: " << e.what() << "\nRun with --help for more information.\n";
        return 2;
    }

    if (*sync_cmd) return run_sync_command(sync);
    ResultStoreUrl store;
    std::string store_error;
    if (!cli_store_choose(store_text, &store, &store_error)) {
        std::cerr << "numera-cli: " << store_error << "\nRun with --help for more information.\n";
        return 2;
    }
    if (!report.since.empty() && !result_since_parse(report.since, &report.since)) {
        std::cerr << "numera-cli: --since: write a UTC date or time such as 2025-06-01 or 2025-06-01T08:00Z\n"
                  << "Run with --help for more information.\n";
        return 2;
    }
    series.store = history.store = export_options.store = compare.store = report.store = store;
    multi.store = stress.store = store;
    if (*history_cmd) return run_history_command(history);
    if (*export_cmd) return run_export_command(export_options);
    if (*compare_cmd) return run_compare_command(compare);
    if (*report_cmd) return run_report_command(report);
    if (multi_app->parsed() || stress_app->parsed()) {
        // The series' own options mean nothing to the other commands.
        for (const char* name : {"--runs", "--json", "--verbose", "--digits-out", "--no-history", "--system-info"}) {
            if (app.get_option(name)->count() > 0) {
                std::cerr << "numera-cli: " << name << " before '" << (multi_app->parsed() ? "multi" : "stress")
                          << "' belongs to the single-core series; put the command's options after its name\n"
                          << "Run with --help for more information.\n";
                return 2;
            }
        }
        return multi_app->parsed() ? run_multi_command(multi) : run_stress_command(stress);
    }
    if (system_info_only) return print_system_info(series.json);
    return run_series_command(series);
}
