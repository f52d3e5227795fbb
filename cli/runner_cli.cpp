#include "cli/runner_cli.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "sysinfo/linux_text_parsers.h"

bool cli_select_cpus(const std::string& list, std::vector<SysinfoCpu>* cpus, std::string* error) {
    const std::vector<SysinfoCpu> usable = runner_default_cpus();
    if (list.empty()) {
        *cpus = usable;
        if (cpus->empty()) *error = "no online CPU found";
        return !cpus->empty();
    }
    const std::optional<std::vector<int32_t>> numbers = sysinfo_parse_cpu_list(list);
    if (!numbers || numbers->empty()) {
        *error = "--cpus: '" + list + "' is not a CPU list such as 0-3,8";
        return false;
    }
    cpus->clear();
    for (const int32_t number : *numbers) {
        const auto found = std::find_if(usable.begin(), usable.end(),
                                        [number](const SysinfoCpu& cpu) { return cpu.number == number; });
        if (found == usable.end()) {
            std::vector<int32_t> online;
            for (const SysinfoCpu& cpu : usable) online.push_back(cpu.number);
            *error = "--cpus: CPU " + std::to_string(number) + " is not available (available: " +
                     cli_format_cpu_list(online) + ")";
            return false;
        }
        cpus->push_back(*found);
    }
    return true;
}

std::string cli_format_cpu_list(std::vector<int32_t> cpus) {
    std::sort(cpus.begin(), cpus.end());
    cpus.erase(std::unique(cpus.begin(), cpus.end()), cpus.end());
    std::string text;
    for (size_t i = 0; i < cpus.size();) {
        size_t j = i;
        while (j + 1 < cpus.size() && cpus[j + 1] == cpus[j] + 1) ++j;
        if (!text.empty()) text += ',';
        text += std::to_string(cpus[i]);
        if (j > i) {
            text += '-';
            text += std::to_string(cpus[j]);
        }
        i = j + 1;
    }
    return text;
}

std::optional<double> cli_parse_duration(std::string_view text) {
    if (text == "0") return 0.0;
    if (text.empty()) return std::nullopt;
    constexpr int64_t limit = int64_t{10000} * 3600;
    int64_t total = 0;
    std::string seen;
    while (!text.empty()) {
        int64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc{} || end == text.data() + text.size() || value < 0 || value > limit) {
            return std::nullopt;
        }
        const char unit = *end;
        const int64_t scale = unit == 'h' ? 3600 : unit == 'm' ? 60 : unit == 's' ? 1 : 0;
        if (scale == 0 || seen.find(unit) != std::string::npos) return std::nullopt;
        seen += unit;
        total += value * scale;
        if (total > limit) return std::nullopt;
        text.remove_prefix(static_cast<size_t>(end - text.data()) + 1);
    }
    return static_cast<double>(total);
}

namespace {

bool reject_digits(const HpNumber*, uint32_t, void*) { return false; }

void fail_listed_runs(const RunnerRunCall* call, PiRunHooks* hooks, void* context) {
    const auto* seams = static_cast<const CliRunnerSeams*>(context);
    if (seams->fail.count({call->cpu, call->run}) != 0) hooks->verify = reject_digits;
}

// Stands in for a run: no arithmetic, the engine's outcomes and messages.
void fake_run(const RunnerRunCall* call, BenchmarkResult* result, void* context) {
    const auto* seams = static_cast<const CliRunnerSeams*>(context);
    std::memset(result, 0, sizeof *result);
    PiRunDetails* details = call->hooks->details;
    details->radix = 10000;
    details->digits_per_word = 4;
    details->transform_error = 1.52587890625e-08;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(seams->fake_ms);
    while (std::chrono::steady_clock::now() < end) {
        if (call->hooks->stop->load()) {
            details->outcome = PiRunOutcome::cancelled;
            std::snprintf(result->error_message, sizeof result->error_message, "%s", pi_message_cancelled);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (call->hooks->verify != nullptr && !call->hooks->verify(nullptr, 10000, call->hooks->context)) {
        details->outcome = PiRunOutcome::digits_wrong;
        std::snprintf(result->error_message, sizeof result->error_message, "%s", pi_message_digits_wrong);
        return;
    }
    details->outcome = PiRunOutcome::verified;
    details->iterations = pi_benchmark_iterations_per_run;
    result->success = 1;
    result->digits_calculated = 4 << 21;
    result->elapsed_time = seams->fake_ms / 1000.0;
    result->score = runner_multi_score(1, 1, result->digits_calculated, result->elapsed_time);
}

}  // namespace

bool cli_apply_test_seams(RunnerConfig* config, CliRunnerSeams* seams, std::string* error) {
    if (const char* fail = std::getenv("NUMERA_TEST_FAIL_RUN"); fail != nullptr && *fail != '\0') {
        std::string_view rest(fail);
        while (!rest.empty()) {
            const std::string_view item = rest.substr(0, rest.find(','));
            rest.remove_prefix(std::min(rest.size(), item.size() + 1));
            const size_t colon = item.find(':');
            const auto cpu = sysinfo_parse_integer(item.substr(0, colon));
            const auto run = colon == std::string_view::npos ? std::nullopt : sysinfo_parse_integer(item.substr(colon + 1));
            if (!cpu || !run || *cpu < 0 || *run < 1 || *cpu > sysinfo_max_cpu_number || *run > INT32_MAX) {
                *error = "NUMERA_TEST_FAIL_RUN: expected CPU:RUN[,CPU:RUN...]";
                return false;
            }
            seams->fail.insert({static_cast<int32_t>(*cpu), static_cast<int32_t>(*run)});
        }
        config->prepare_hooks = fail_listed_runs;
        config->hooks_context = seams;
    }
    if (const char* fake = std::getenv("NUMERA_TEST_FAKE_RUN_MS"); fake != nullptr && *fake != '\0') {
        const auto ms = sysinfo_parse_integer(fake);
        if (!ms || *ms < 1 || *ms > 3600000) {
            *error = "NUMERA_TEST_FAKE_RUN_MS: expected milliseconds from 1 to 3600000";
            return false;
        }
        seams->fake_ms = static_cast<int32_t>(*ms);
        config->run = fake_run;
        config->run_context = seams;
        std::fprintf(stderr, "numera-cli: NUMERA_TEST_FAKE_RUN_MS is set: runs are test fakes, not pi\n");
    }
    return true;
}

void cli_print_memory_note(const RunnerReport& report, FILE* out) {
    if (!report.memory_limited) return;
    std::vector<int32_t> used;
    for (const RunnerWorkerReport& w : report.workers) used.push_back(w.cpu);
    std::fprintf(out, "Memory: %lld MiB available, room for %zu runs at once: using CPUs %s of %s\n",
                 static_cast<long long>(report.available_bytes >> 20), used.size(), cli_format_cpu_list(used).c_str(),
                 cli_format_cpu_list(report.cpus_requested).c_str());
}

void cli_print_pin_notes(const RunnerReport& report, FILE* out) {
    for (const RunnerWorkerReport& w : report.workers) {
        if (!w.pinned) std::fprintf(out, "CPU %d: not pinned (%s); it ran where the system put it\n", w.cpu, w.pin_error.c_str());
    }
}
