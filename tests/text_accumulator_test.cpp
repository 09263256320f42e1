// The text accumulator, compiled into this program: its heap is this
// program's, watched through the program's own imports.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform_fakes.h"
#include "query/text_accumulator.h"

namespace {

class TextAccumulatorTest : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        platform::install(GetModuleHandleA(nullptr), platform::Watch::heap);
    }
    static void TearDownTestSuite() { platform::uninstall(GetModuleHandleA(nullptr)); }
    void SetUp() override {
        platform::forgetCalls();
        platform::forgetBlocks();
        acc = newTextAccumulator();
        ASSERT_NE(acc, nullptr);
    }
    void TearDown() override {
        platform::forgetCalls();
        if (acc) releaseTextAccumulator(acc);
    }
    // Runs one operation with the next allocation failing.
    template <typename Op> auto withNextAllocationFailing(Op op) {
        platform::fail("allocation");
        auto outcome = op();
        platform::forgetCalls();
        return outcome;
    }
    TextAccumulator *acc = nullptr;
};

TEST_F(TextAccumulatorTest, StartsEmpty) {
    EXPECT_EQ(acc->data, nullptr);
    EXPECT_EQ(acc->length, 0u);
    EXPECT_EQ(acc->capacity, 0u);
}

struct Growth {
    std::vector<uint32_t> appends;     // sizes of successive appends
    std::vector<uint32_t> capacities;  // capacity after each
};

TEST_F(TextAccumulatorTest, GrowsOnlyWhenThePieceDoesNotFitByWhole256ByteBlocks) {
    const Growth cases[] = {
        {{2}, {256}},
        {{300}, {512}},
        {{0}, {256}},
        {{255}, {256}},
        {{256}, {512}},
        {{100, 100, 100}, {256, 256, 512}},
        {{255, 0, 1}, {256, 256, 512}},
        {{1000, 24}, {1024, 1280}},
        {{200, 56, 1}, {256, 512, 512}},
    };
    for (const Growth &growth : cases) {
        TextAccumulator *text = newTextAccumulator();
        std::string expected;
        for (size_t i = 0; i < growth.appends.size(); ++i) {
            std::string piece(growth.appends[i], static_cast<char>('a' + i));
            ASSERT_EQ(appendText(text, piece.data(), growth.appends[i]), 1);
            expected += piece;
            EXPECT_EQ(text->capacity, growth.capacities[i]) << "append " << i;
            EXPECT_EQ(text->length, expected.size());
            EXPECT_EQ(std::string(text->data), expected);
        }
        releaseTextAccumulator(text);
    }
}

TEST_F(TextAccumulatorTest, AppendsOnlyTheFirstNBytes) {
    ASSERT_EQ(appendText(acc, "abcdef", 3), 1);
    ASSERT_EQ(appendText(acc, "xyz", 1), 1);
    EXPECT_STREQ(acc->data, "abcx");
    EXPECT_EQ(acc->length, 4u);
}

TEST_F(TextAccumulatorTest, FailedGrowthLeavesEverythingAsItWas) {
    ASSERT_EQ(appendText(acc, "hello", 5), 1);
    char *data = acc->data;
    std::string big(300, 'b');
    EXPECT_EQ(withNextAllocationFailing([&] { return appendText(acc, big.data(), 300); }), 0);
    EXPECT_EQ(acc->data, data);
    EXPECT_EQ(acc->length, 5u);
    EXPECT_EQ(acc->capacity, 256u);
    EXPECT_STREQ(acc->data, "hello");
    // It goes on working once memory is back.
    ASSERT_EQ(appendText(acc, big.data(), 300), 1);
    EXPECT_EQ(std::string(acc->data), "hello" + big);
}

TEST_F(TextAccumulatorTest, FailedFirstGrowthLeavesNoBuffer) {
    EXPECT_EQ(withNextAllocationFailing([&] { return appendText(acc, "x", 1); }), 0);
    EXPECT_EQ(acc->data, nullptr);
    EXPECT_EQ(acc->capacity, 0u);
    EXPECT_EQ(acc->length, 0u);
}

TEST_F(TextAccumulatorTest, APieceThatCannotBeCountedIn32BitsIsRefusedWithoutTouchingTheHeap) {
    ASSERT_EQ(appendText(acc, "abc", 3), 1);
    unsigned before = platform::callCount("allocation");
    EXPECT_EQ(appendText(acc, "never read", UINT32_MAX - 100), 0);
    EXPECT_EQ(platform::callCount("allocation"), before);
    EXPECT_EQ(acc->length, 3u);
    EXPECT_EQ(acc->capacity, 256u);
}

TEST_F(TextAccumulatorTest, FinishTrimsToExactlyTheTextAndItsTerminator) {
    ASSERT_EQ(appendText(acc, "one\n", 4), 1);
    ASSERT_EQ(appendText(acc, "two\n", 4), 1);
    char *text = finishText(acc);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(platform::requestedSizes().back(), 9u);
    EXPECT_STREQ(text, "one\ntwo\n");
    EXPECT_EQ(acc->data, nullptr);
    EXPECT_EQ(acc->length, 0u);
    EXPECT_EQ(acc->capacity, 0u);
    releaseTextAccumulator(acc);
    acc = nullptr;
    EXPECT_STREQ(text, "one\ntwo\n") << "the result outlives its accumulator";
    std::free(text);
}

TEST_F(TextAccumulatorTest, FinishWithoutTextIsTheEmptyStringInOneByte) {
    char *text = finishText(acc);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(platform::requestedSizes().back(), 1u);
    EXPECT_STREQ(text, "");
    std::free(text);
}

TEST_F(TextAccumulatorTest, FailedFinishKeepsTheTextForRelease) {
    ASSERT_EQ(appendText(acc, "kept", 4), 1);
    char *data = acc->data;
    EXPECT_EQ(withNextAllocationFailing([&] { return finishText(acc); }), nullptr);
    EXPECT_EQ(acc->data, data);
    EXPECT_EQ(acc->length, 4u);
    EXPECT_STREQ(acc->data, "kept");
    size_t live = platform::liveBlocks();
    releaseTextAccumulator(acc);
    acc = nullptr;
    EXPECT_EQ(platform::liveBlocks(), live - 2) << "buffer and record both released";
}

TEST_F(TextAccumulatorTest, EmptyResultIsAFreshZeroByte) {
    char *empty = emptyResult();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(platform::requestedSizes().back(), 1u);
    EXPECT_EQ(empty[0], '\0');
    std::free(empty);
    EXPECT_EQ(withNextAllocationFailing([] { return emptyResult(); }), nullptr);
}

TEST_F(TextAccumulatorTest, NewAccumulatorIsNullWhenTheHeapIsExhausted) {
    EXPECT_EQ(withNextAllocationFailing([] { return newTextAccumulator(); }), nullptr);
}

}  // namespace
