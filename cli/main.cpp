// numera-cli: the benchmark for terminals, scripts and servers.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/cli_text.h"
#include "cli/series_command.h"
#include "engine/engine_path.h"
#include "sysinfo/system_info.h"

namespace {

int print_system_info(bool json) {
    SystemInfo info{};
    collect_system_info(&info);
    const PiEnginePath path = pi_engine_path();
    if (json) {
        std::printf("%s\n", json_dump({{"system", system_json(info)}, {"engine", engine_json(path)}}).c_str());
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
    app.add_flag("--system-info", system_info_only, "Print the machine facts and exit");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << app.version() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        std::cerr << "numera-cli: " << e.what() << "\nRun with --help for more information.\n";
        return 2;
    }

    if (system_info_only) return print_system_info(series.json);
    return run_series_command(series);
}
