// Feeds arbitrary bytes to hp_parse. The first two bytes pick the word count
// (1 .. 64) and the digits per word (1 .. 4); the rest, NUL-terminated, is
// the text. The number is allocated at exactly its size, so a write past the
// last word is an AddressSanitizer report; the checks catch results that are
// not valid numbers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/hp_number.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const int32_t n = 1 + data[0] % 64;
    const int32_t L = 1 + data[1] % 4;
    int32_t R = 1;
    for (int32_t i = 0; i < L; ++i) {
        R *= 10;
    }
    std::vector<char> text(data + 2, data + size);
    text.push_back('\0');

    HpNumber* z = static_cast<HpNumber*>(std::malloc(hp_bytes(n)));
    check(z != nullptr);
    // Garbage in the record: the parser must set every field and word.
    std::memset(z, 0xA5, hp_bytes(n));
    hp_parse(n, L, text.data(), z);

    check(z->sign >= -1 && z->sign <= 1);
    for (int32_t i = 0; i < n; ++i) {
        check(z->words[i] >= 0 && z->words[i] < R);
    }
    if (z->sign == 0) {
        check(z->exponent == 0);
        for (int32_t i = 0; i < n; ++i) {
            check(z->words[i] == 0);
        }
    } else {
        check(z->words[0] != 0);
        // Decimal exponents are clamped to +-1e9, so word exponents stay
        // within +-(1e9 + digits) / L.
        check(z->exponent >= -1000000000 - static_cast<int64_t>(size) &&
              z->exponent <= 1000000000 + static_cast<int64_t>(size));
    }
    std::free(z);
    return 0;
}
