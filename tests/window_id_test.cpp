// Window ids read from script text as "%d" reads them, with the low 32 bits
// of larger numbers kept.
#include <gtest/gtest.h>

#include <cstdint>

#include "hook/window_id.h"

namespace {

TEST(WindowId, ReadsLikeDecimalFormattedInput) {
    const struct {
        const char *text;
        bool number;
        int32_t id;
    } cases[] = {
        {"42", true, 42},
        {"  42xyz", true, 42},
        {"\t\n\v\f\r 7", true, 7},
        {"+15", true, 15},
        {"-15", true, -15},
        {"0", true, 0},
        {"-0", true, 0},
        {"000123", true, 123},
        {"12 34", true, 12},
        {"99999999999", true, 1215752191},
        {"2147483647", true, INT32_MAX},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", true, INT32_MIN},
        {"4294967295", true, -1},
        {"4294967296", true, 0},
        {"4294967338", true, 42},                        // 2^32 + 42
        {"-4294967254", true, 42},                       // -(2^32 - 42)
        {"18446744073709551658", true, 42},              // 2^64 + 42
        {"99999999999999999999999999999999", true, -1},  // 10^32 - 1, a multiple of 2^32 less one
        {"", false, 0},
        {"   ", false, 0},
        {"abc", false, 0},
        {"-", false, 0},
        {"+", false, 0},
        {"+-1", false, 0},
        {"- 1", false, 0},
        {"x42", false, 0},
        {"\xa0"
         "42",
         false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        int32_t id = 12345;
        EXPECT_EQ(parseWindowId(c.text, &id), c.number ? 1 : 0);
        if (c.number) {
            EXPECT_EQ(id, c.id);
        }
    }
}

}  // namespace
