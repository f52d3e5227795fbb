// Feeds arbitrary bytes to result_parse, as a result file from another
// machine would be: it either refuses them with a ResultFormatError or
// returns records that write out and read back to the same JSON (a field
// the reader and the writer see differently shows here), and that the
// report, the CSV and the comparison take without a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "results/result_compare.h"
#include "results/result_export.h"
#include "results/result_json.h"
#include "results/result_report.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<ResultRecord> records;
    try {
        records = result_parse(text, "fuzz.json");
    } catch (const ResultFormatError& e) {
        check(std::string(e.what()).rfind("fuzz.json: ", 0) == 0);
        return 0;
    }
    check(!records.empty());
    std::vector<StoredResult> stored;
    for (const ResultRecord& r : records) {
        const std::string once = result_json_dump(result_to_json(r));
        const std::vector<ResultRecord> again = result_parse(once, "again");
        check(again.size() == 1);
        check(result_json_dump(result_to_json(again[0])) == once);
        stored.push_back({0, r});
    }
    ResultReportOptions options;
    options.generated_at = "fuzz";
    check(!result_report_html(records, options).empty());
    check(!result_csv(stored).empty());
    const ResultComparison c = result_compare({"a", records.front()}, {"b", records.back()});
    check(!result_comparison_text(c).empty());
    return 0;
}
