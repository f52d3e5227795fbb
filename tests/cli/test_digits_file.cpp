#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "cli/digits_file.h"
#include "engine/hp_number.h"

namespace {

PiDigits digits_of(std::vector<int16_t> words, uint32_t R) {
    HpNumber* x = hp_alloc(static_cast<int32_t>(words.size()));
    x->sign = 1;
    for (size_t i = 0; i < words.size(); ++i) x->words[i] = words[i];
    PiDigits d;
    d.assign(x, static_cast<int32_t>(words.size()), R);
    hp_free(x);
    return d;
}

TEST(DigitsFile, WordsArePaddedToTheirRadix) {
    EXPECT_EQ(digits_of({3, 1415, 9265, 358, 9}, 10000).text(), "3.1415926503580009");
    EXPECT_EQ(digits_of({3, 14, 15, 9}, 100).text(), "3.141509");
    EXPECT_EQ(digits_of({3, 1, 4}, 10).text(), "3.14");
}

TEST(DigitsFile, ReplacesAtomicallyAndFailsCleanly) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "numera-digits-file";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::filesystem::path target = dir / "pi.txt";
    std::ofstream(target) << "old contents";

    std::string error;
    ASSERT_TRUE(write_digits_file(target.string(), digits_of({3, 1415}, 10000), &error)) << error;
    std::stringstream s;
    s << std::ifstream(target).rdbuf();
    EXPECT_EQ(s.str(), "3.1415\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    EXPECT_FALSE(write_digits_file((dir / "missing" / "pi.txt").string(), digits_of({3, 1415}, 10000), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(write_digits_file(target.string(), PiDigits{}, &error)) << "nothing verified, nothing written";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

}  // namespace
