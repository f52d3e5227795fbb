// The verified digits of a run, kept after the run's storage is gone, and
// written out as "3." followed by the fraction digits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HpNumber;

class PiDigits {
public:
    // Copies the first `words` words of pi (exponent 0) in radix R.
    void assign(const HpNumber* pi, int32_t words, uint32_t R);

    bool empty() const { return words_.empty(); }
    // "3." and the fraction digits, without a newline.
    std::string text() const;

private:
    std::vector<int16_t> words_;
    uint32_t radix_ = 0;
};

// Checks before any run that path can be written: its folder exists and
// takes new files, and path is not a folder. On failure returns false and
// sets *error to one line.
bool check_digits_destination(const std::string& path, std::string* error);

// Writes digits.text() and a newline to path through a temporary file in the
// same folder that is renamed into place, so a failure never leaves a
// half-written file. On failure returns false and sets *error.
bool write_digits_file(const std::string& path, const PiDigits& digits, std::string* error);
