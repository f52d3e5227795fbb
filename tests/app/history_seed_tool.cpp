// Fills the history at $XDG_DATA_HOME/numera/results.sqlite3 with six weeks
// of synthetic results ending now, to look at the History window.
// Usage: app_history_seed
#include <cstdio>
#include <exception>

#include "history_seed.h"

int main()
{
    try {
        const std::vector<ResultRecord> records = syntheticWeeks(QDateTime::currentDateTimeUtc());
        seedHistory(records);
        std::printf("%zu results in %s\n", records.size(), result_history_default_path().c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "app_history_seed: %s\n", e.what());
        return 1;
    }
}
