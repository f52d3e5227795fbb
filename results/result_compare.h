// Two results side by side: score and time with their ratio, each run, the
// machine facts that differ, and whether the scores can be compared at all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "results/result_json.h"

// One result of a comparison and how it was named ("#12", "last", a file).
struct ResultSide {
    std::string label;
    ResultRecord record;
};

// The runs of A and B at one place: "run 2" of a series, "CPU 3 run 1" of a
// multi-core run. A side without that run has none.
struct ResultRunPair {
    std::string name;
    std::optional<ResultRun> a, b;
};

// The workers of A and B on one CPU (multi-core runs and stability tests).
struct ResultCpuPair {
    int32_t cpu = 0;
    std::optional<ResultWorker> a, b;
};

// A machine fact as the app's card words it, where A and B differ.
struct ResultFactDifference {
    std::string fact;  // "CPU", "Cores", "Frequency", "Memory", "OS", "Architecture"
    std::string a, b;
};

struct ResultComparison {
    ResultSide a, b;
    bool comparable = false;
    std::vector<std::string> not_comparable_because;  // empty when comparable
    std::optional<double> score_ratio;  // B / A; none when either score is 0
    std::optional<double> time_ratio;   // B / A; none when either time is 0
    std::vector<ResultRunPair> runs;    // single and multi
    std::vector<ResultCpuPair> cpus;    // multi and stress
    std::vector<ResultFactDifference> machine_differences;
};

ResultComparison result_compare(ResultSide a, ResultSide b);

// Aligned text lines for a terminal, a warning line last when the results
// are not comparable.
std::string result_comparison_text(const ResultComparison& comparison);

// The comparison as JSON ($defs/comparison of the result schema).
ResultJson result_comparison_json(const ResultComparison& comparison);
