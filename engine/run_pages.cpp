#include "engine/run_pages.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr size_t huge_page = size_t{2} << 20;
// The mapping's length sits in front of the block, one cache line before it,
// so that the block keeps the alignment the transform's loads want.
constexpr size_t header = 64;

}  // namespace

#if defined(__linux__)

void* pi_pages_allocate(size_t bytes) {
    if (bytes > SIZE_MAX - header - 2 * huge_page) return nullptr;
    const size_t page = 4096;
    const size_t length = (header + bytes + page - 1) & ~(page - 1);
    if (length < huge_page) {
        void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return nullptr;
        *static_cast<size_t*>(p) = length;
        return static_cast<char*>(p) + header;
    }
    // Over-map by one huge page and cut the ends off, so the block starts on
    // a huge-page boundary. Its tail is not rounded up: the part of it short
    // of a whole huge page stays on small pages instead of costing 2 MiB.
    const size_t span = length + huge_page;
    char* raw = static_cast<char*>(
        mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(raw) + huge_page - 1) & ~uintptr_t{huge_page - 1};
    char* aligned = reinterpret_cast<char*>(start);
    const size_t before = static_cast<size_t>(aligned - raw);
    if (before > 0) munmap(raw, before);
    const size_t after = span - before - length;
    if (after > 0) munmap(aligned + length, after);
#if defined(MADV_HUGEPAGE)
    // Advice only: without transparent huge pages the block works the same.
    madvise(aligned, length & ~(huge_page - 1), MADV_HUGEPAGE);
#endif
    *reinterpret_cast<size_t*>(aligned) = length;
    return aligned + header;
}

void pi_pages_release(void* block) {
    if (block == nullptr) return;
    char* start = static_cast<char*>(block) - header;
    munmap(start, *reinterpret_cast<size_t*>(start));
}

#else

void* pi_pages_allocate(size_t bytes) {
    if (bytes > SIZE_MAX - header) return nullptr;
    void* p = std::calloc(1, header + bytes);
    return p == nullptr ? nullptr : static_cast<char*>(p) + header;
}

void pi_pages_release(void* block) {
    if (block != nullptr) std::free(static_cast<char*>(block) - header);
}

#endif
