// One self-contained HTML page for results from any number of machines: a
// table of the machines sorted by score with their facts, a bar chart of
// single- and multi-core scores, each machine's stability verdict, and the
// results that cannot be compared with the rest marked. Inline CSS and SVG
// only: no script, no font, no image, nothing fetched. Light and dark
// schemes follow the reader's setting; it prints on white.
#pragma once

#include <string>
#include <vector>

#include "results/result_record.h"

struct ResultReportOptions {
    std::string title = "Numera results";
    std::string generated_at;  // shown as is; result_utc_now() when empty
};

// The machines a report shows, in its order. A machine is one machine_id,
// or one host name and CPU model when the results carry no machine id; it
// shows the newest result of each mode it has.
struct ResultReportMachine {
    const ResultRecord* single = nullptr;
    const ResultRecord* multi = nullptr;
    const ResultRecord* stress = nullptr;
    int32_t results = 0;      // results of this machine in the input
    bool comparable = true;   // every score it shows is at the report's version and engine path
};

struct ResultReportPlan {
    std::vector<ResultReportMachine> machines;  // by single-core score, then multi-core, then host
    int32_t results = 0;                        // distinct results (one result_id counts once)
    std::string version;                        // the version and engine path the scores are compared at:
    ResultEngine engine;                        // those of most scores (ties: the top machine's)
};

// Groups and orders the results (which must outlive the plan). A result
// given twice (its file and an export holding it) counts once.
ResultReportPlan result_report_plan(const std::vector<ResultRecord>& results);

std::string result_report_html(const std::vector<ResultRecord>& results, const ResultReportOptions& options);
