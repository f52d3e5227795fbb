#include "results/result_compare.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "sysinfo/result_formatter.h"

namespace {

std::optional<double> ratio(double a, double b) {
    if (a > 0 && b > 0) return b / a;
    return std::nullopt;
}

std::string whole(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

std::string seconds_text(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

std::string ratio_text(const std::optional<double>& r) {
    if (!r) return {};
    char text[64];
    std::snprintf(text, sizeof text, "B/A %.3f", *r);
    return text;
}

std::string score_text(const ResultRecord& r) {
    if (r.mode == ResultMode::stress) return "-";
    return r.success ? whole(r.score) : std::string("-");
}

std::string time_text(const ResultRecord& r) {
    if (r.mode == ResultMode::stress) return seconds_text(r.elapsed_time) + " (" + result_duration_text(r.elapsed_time) + ")";
    return seconds_text(r.elapsed_time);
}

std::string run_text(const std::optional<ResultRun>& run) {
    if (!run) return "";
    if (!run->success) return "failed: " + run->error_message;
    std::string text = seconds_text(run->elapsed_time) + "  " + whole(run->score);
    if (run->wall_time) text += "  (wall " + seconds_text(*run->wall_time) + ")";
    return text;
}

std::string worker_text(const std::optional<ResultWorker>& w) {
    if (!w) return "";
    std::string text = std::to_string(w->runs_passed) + " passed, " + std::to_string(w->errors) +
                       (w->errors == 1 ? " error" : " errors");
    if (w->first_error_run > 0) text += ", first: run " + std::to_string(w->first_error_run) + ", " + w->first_error;
    return text;
}

// The machine facts in the order of the app's card, as it words them.
std::vector<std::pair<std::string, std::string>> facts(const ResultMachine& m) {
    const SystemInfo info = result_machine_to_system_info(m);
    return {{"CPU", ResultFormatter::formatCPU(info)},
            {"Cores", ResultFormatter::formatCores(info)},
            {"Frequency", ResultFormatter::formatFrequency(info).value_or("-")},
            {"Memory", ResultFormatter::formatMemory(info)},
            {"OS", ResultFormatter::formatOS(info)},
            {"Architecture", ResultFormatter::formatArchitecture(info)}};
}

void pair_runs(ResultComparison& c) {
    const ResultRecord& a = c.a.record;
    const ResultRecord& b = c.b.record;
    if (a.mode == ResultMode::single || b.mode == ResultMode::single) {
        const size_t n = std::max(a.mode == ResultMode::single ? a.runs.size() : 0,
                                  b.mode == ResultMode::single ? b.runs.size() : 0);
        for (size_t i = 0; i < n; ++i) {
            ResultRunPair p;
            p.name = "run " + std::to_string(i + 1);
            if (a.mode == ResultMode::single && i < a.runs.size()) p.a = a.runs[i];
            if (b.mode == ResultMode::single && i < b.runs.size()) p.b = b.runs[i];
            c.runs.push_back(std::move(p));
        }
    }
    // Workers pair by CPU number, A's order first.
    std::vector<int32_t> cpus;
    for (const ResultRecord* r : {&a, &b}) {
        for (const ResultWorker& w : r->workers) {
            if (std::find(cpus.begin(), cpus.end(), w.cpu) == cpus.end()) cpus.push_back(w.cpu);
        }
    }
    auto worker_on = [](const ResultRecord& r, int32_t cpu) -> std::optional<ResultWorker> {
        for (const ResultWorker& w : r.workers) {
            if (w.cpu == cpu) return w;
        }
        return std::nullopt;
    };
    for (const int32_t cpu : cpus) {
        ResultCpuPair p{cpu, worker_on(a, cpu), worker_on(b, cpu)};
        if (a.mode == ResultMode::multi || b.mode == ResultMode::multi) {
            const size_t n = std::max(p.a && a.mode == ResultMode::multi ? p.a->runs.size() : 0,
                                      p.b && b.mode == ResultMode::multi ? p.b->runs.size() : 0);
            for (size_t i = 0; i < n; ++i) {
                ResultRunPair rp;
                rp.name = "CPU " + std::to_string(cpu) + " run " + std::to_string(i + 1);
                if (p.a && a.mode == ResultMode::multi && i < p.a->runs.size()) rp.a = p.a->runs[i];
                if (p.b && b.mode == ResultMode::multi && i < p.b->runs.size()) rp.b = p.b->runs[i];
                c.runs.push_back(std::move(rp));
            }
        }
        c.cpus.push_back(std::move(p));
    }
}

ResultJson optional_json(const std::optional<double>& v) { return v ? ResultJson(*v) : ResultJson(nullptr); }

}  // namespace

ResultComparison result_compare(ResultSide a, ResultSide b) {
    ResultComparison c;
    c.a = std::move(a);
    c.b = std::move(b);
    const ResultRecord& ra = c.a.record;
    const ResultRecord& rb = c.b.record;
    c.comparable = result_comparable(ra, rb, &c.not_comparable_because);
    if (ra.mode != ResultMode::stress && rb.mode != ResultMode::stress && ra.success && rb.success) {
        c.score_ratio = ratio(ra.score, rb.score);
    }
    c.time_ratio = ratio(ra.elapsed_time, rb.elapsed_time);
    pair_runs(c);
    const auto fa = facts(ra.system);
    const auto fb = facts(rb.system);
    for (size_t i = 0; i < fa.size(); ++i) {
        if (fa[i].second != fb[i].second) c.machine_differences.push_back({fa[i].first, fa[i].second, fb[i].second});
    }
    return c;
}

std::string result_comparison_text(const ResultComparison& c) {
    const ResultRecord& a = c.a.record;
    const ResultRecord& b = c.b.record;
    struct Row {
        std::string label, a, b, note;
    };
    std::vector<Row> rows = {
        {"", "A: " + c.a.label, "B: " + c.b.label, ""},
        {"Mode", result_mode_name(a.mode), result_mode_name(b.mode), ""},
        {"Started (UTC)", a.started_at, b.started_at, ""},
        {"Host", a.host_name, b.host_name, ""},
        {"Version", a.version, b.version, ""},
        {"Engine", result_engine_text(a.engine), result_engine_text(b.engine), ""},
        {"Verdict", result_verdict(a), result_verdict(b), ""},
        {"Score", score_text(a), score_text(b), ratio_text(c.score_ratio)},
        {"Time", time_text(a), time_text(b), ratio_text(c.time_ratio)},
    };
    for (const ResultRunPair& p : c.runs) {
        std::optional<double> r;
        if (p.a && p.b && p.a->success && p.b->success) r = ratio(p.a->elapsed_time, p.b->elapsed_time);
        std::string name = p.name;
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        rows.push_back({name, run_text(p.a), run_text(p.b), ratio_text(r)});
    }
    if (a.mode == ResultMode::stress || b.mode == ResultMode::stress) {
        for (const ResultCpuPair& p : c.cpus) {
            rows.push_back({"CPU " + std::to_string(p.cpu), worker_text(p.a), worker_text(p.b), ""});
        }
    }
    size_t wl = 0, wa = 0;
    for (const Row& r : rows) {
        wl = std::max(wl, r.label.size());
        wa = std::max(wa, r.a.size());
    }
    wa = std::min<size_t>(wa, 44);
    std::string out;
    auto line = [&](const std::string& l, const std::string& x, const std::string& y, const std::string& n) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%-*s  ", static_cast<int>(wl), l.c_str());
        std::string text = buffer + x;
        if (x.size() < wa) text.append(wa - x.size(), ' ');
        text += "  " + y;
        if (!n.empty()) {
            if (y.size() < wa) text.append(wa - y.size(), ' ');
            text += "  " + n;
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text + "\n";
    };
    for (const Row& r : rows) line(r.label, r.a, r.b, r.note);
    out += "\n";
    if (c.machine_differences.empty()) {
        out += "Machine facts: the same\n";
    } else {
        out += "Machine facts that differ:\n";
        for (const ResultFactDifference& d : c.machine_differences) line(d.fact, d.a, d.b, "");
    }
    if (!c.comparable) {
        out += "\nWarning: not comparable: ";
        for (size_t i = 0; i < c.not_comparable_because.size(); ++i) {
            out += (i ? "; " : "") + c.not_comparable_because[i];
        }
        out += "\n";
    }
    return out;
}

ResultJson result_comparison_json(const ResultComparison& c) {
    auto run_json = [](const std::optional<ResultRun>& run) { return run ? result_run_json(*run) : ResultJson(); };
    auto worker_json = [](const std::optional<ResultWorker>& w) { return w ? result_worker_json(*w) : ResultJson(); };
    ResultJson runs = ResultJson::array();
    for (const ResultRunPair& p : c.runs) {
        std::optional<double> r;
        if (p.a && p.b && p.a->success && p.b->success) r = ratio(p.a->elapsed_time, p.b->elapsed_time);
        runs.push_back({{"name", p.name}, {"a", run_json(p.a)}, {"b", run_json(p.b)}, {"time_ratio", optional_json(r)}});
    }
    ResultJson cpus = ResultJson::array();
    for (const ResultCpuPair& p : c.cpus) {
        cpus.push_back({{"cpu", p.cpu}, {"a", worker_json(p.a)}, {"b", worker_json(p.b)}});
    }
    ResultJson differences = ResultJson::array();
    for (const ResultFactDifference& d : c.machine_differences) {
        differences.push_back({{"fact", d.fact}, {"a", d.a}, {"b", d.b}});
    }
    return {{"schema_version", result_schema_version},
            {"a", {{"label", c.a.label}, {"result", result_to_json(c.a.record)}}},
            {"b", {{"label", c.b.label}, {"result", result_to_json(c.b.record)}}},
            {"comparable", c.comparable},
            {"not_comparable_because", c.not_comparable_because},
            {"score_ratio", optional_json(c.score_ratio)},
            {"time_ratio", optional_json(c.time_ratio)},
            {"runs", std::move(runs)},
            {"cpus", std::move(cpus)},
            {"machine_differences", std::move(differences)}};
}
