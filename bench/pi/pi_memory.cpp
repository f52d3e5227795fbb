// The memory of one run: the work areas the engine asks for (through the
// run's allocation hooks, which forward to the engine's own page allocator),
// the resident memory the process gains during the run (the kernel's
// high-water mark, reset before the run), and every heap allocation made
// while the run is under way. The heap is watched by replacing operator
// new in this program and by routing the engine's own malloc family
// through the linker (--wrap); a run that allocates only when it starts
// shows zero heap calls and as many area requests as it has areas.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "engine/benchmark.h"
#include "engine/run_pages.h"

extern "C" {
void* __real_malloc(size_t bytes);
void* __wrap_malloc(size_t bytes);
void* __real_calloc(size_t count, size_t bytes);
void* __wrap_calloc(size_t count, size_t bytes);
void* __real_realloc(void* block, size_t bytes);
void* __wrap_realloc(void* block, size_t bytes);
}

namespace {

bool watching = false;
int64_t heap_calls = 0;

int64_t area_calls = 0;
int64_t area_bytes_held = 0;
int64_t area_bytes_peak = 0;
int64_t area_calls_after_first_release = 0;
bool released_once = false;

// The areas held, by address: a run has a handful, and a header in front
// of each would change the page rounding the run gets.
struct Area {
    void* block;
    size_t bytes;
};
constexpr int max_areas = 64;
Area areas[max_areas];
int area_count = 0;
int64_t areas_untracked = 0;  // past the table: their bytes are not counted

void* counting_allocate(size_t bytes) {
    ++area_calls;
    if (released_once) ++area_calls_after_first_release;
    void* block = pi_pages_allocate(bytes);
    if (block == nullptr) return block;
    if (area_count == max_areas) {
        ++areas_untracked;
        return block;
    }
    areas[area_count++] = {block, bytes};
    area_bytes_held += static_cast<int64_t>(bytes);
    if (area_bytes_held > area_bytes_peak) area_bytes_peak = area_bytes_held;
    return block;
}

void counting_release(void* block) {
    if (block == nullptr) return;
    for (int i = 0; i < area_count; ++i) {
        if (areas[i].block == block) {
            area_bytes_held -= static_cast<int64_t>(areas[i].bytes);
            areas[i] = areas[--area_count];
            break;
        }
    }
    released_once = true;
    pi_pages_release(block);
}

// A field of /proc/self/status in KiB, -1 when missing.
int64_t status_kib(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(in, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return static_cast<int64_t>(std::strtoll(line.c_str() + length + 1, nullptr, 10));
        }
    }
    return -1;
}

// Writing 5 to clear_refs resets the high-water mark to the present
// resident size (Linux 4.0 and later).
bool reset_peak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

double mib(int64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

void* __wrap_malloc(size_t bytes) {
    if (watching) ++heap_calls;
    return __real_malloc(bytes);
}

void* __wrap_calloc(size_t count, size_t bytes) {
    if (watching) ++heap_calls;
    return __real_calloc(count, bytes);
}

void* __wrap_realloc(void* block, size_t bytes) {
    if (watching) ++heap_calls;
    return __real_realloc(block, bytes);
}

void* operator new(size_t bytes) {
    if (watching) ++heap_calls;
    void* block = __real_malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }

int main() {
    PiRunHooks hooks{};
    hooks.allocate = counting_allocate;
    hooks.release = counting_release;

    const bool peak_reset = reset_peak();
    const int64_t before_kib = status_kib("VmRSS");
    BenchmarkResult result;
    watching = true;
    pi_benchmark_run_with(&result, nullptr, &hooks);
    watching = false;
    const int64_t peak_kib = status_kib("VmHWM");
    if (result.success != 1) {
        std::fprintf(stderr, "numera run failed: %s\n", result.error_message);
        return 1;
    }

    std::printf("work areas          %lld requests, %.1f MiB held at most, %.1f MiB still held after the run\n",
                static_cast<long long>(area_calls), mib(area_bytes_peak), mib(area_bytes_held));
    if (areas_untracked > 0) {
        std::printf("  (%lld areas beyond the first %d held at once are not in the bytes above)\n",
                    static_cast<long long>(areas_untracked), max_areas);
    }
    std::printf("area requests after the first release  %lld\n",
                static_cast<long long>(area_calls_after_first_release));
    std::printf("heap calls during the run              %lld\n", static_cast<long long>(heap_calls));
    if (peak_reset && before_kib >= 0 && peak_kib >= 0) {
        std::printf("resident before the run %.1f MiB, peak during it %.1f MiB: the run's own peak %.1f MiB\n",
                    mib(before_kib * 1024), mib(peak_kib * 1024), mib((peak_kib - before_kib) * 1024));
    } else {
        std::printf("resident peak not measurable here (no /proc/self/clear_refs)\n");
    }
    return 0;
}
