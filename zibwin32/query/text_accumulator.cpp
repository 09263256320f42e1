#include "query/text_accumulator.h"

#include <stdlib.h>
#include <string.h>

namespace {

const uint32_t growthBlock = 256;

// Growth is additive, in whole blocks: enough for the next piece and its
// terminator, rounded up to the block size. Results are usually small, and
// trimming at the end returns the slack. Worked out in 64 bits so that a size
// past 32 bits shows as such instead of wrapping round to a small buffer.
uint64_t grownCapacity(uint32_t capacity, uint32_t n) {
    return (uint64_t{capacity} + n + growthBlock) & ~uint64_t{growthBlock - 1};
}

}  // namespace

TextAccumulator *newTextAccumulator() {
    return static_cast<TextAccumulator *>(calloc(1, sizeof(TextAccumulator)));
}

int appendText(TextAccumulator *acc, const char *text, uint32_t n) {
    if (uint64_t{acc->length} + n + 1 > acc->capacity) {
        uint64_t capacity = grownCapacity(acc->capacity, n);
        if (capacity > UINT32_MAX) return 0;
        char *data = static_cast<char *>(realloc(acc->data, static_cast<size_t>(capacity)));
        if (data == nullptr) return 0;
        acc->data = data;
        acc->capacity = static_cast<uint32_t>(capacity);
        acc->data[acc->length] = '\0';
    }
    // The end of the text is known, so the piece goes straight there instead
    // of being found by a scan. The buffer grows by blocks, not by doubling,
    // so each growth may copy all the text before it: building a long text
    // costs time that grows with the square of its length, the price of
    // results that are mostly a few lines long.
    memcpy(acc->data + acc->length, text, n);
    acc->length += n;
    acc->data[acc->length] = '\0';
    return 1;
}

char *finishText(TextAccumulator *acc) {
    char *text = static_cast<char *>(realloc(acc->data, acc->length + 1));
    if (text == nullptr) return nullptr;
    text[acc->length] = '\0';
    acc->data = nullptr;
    acc->length = 0;
    acc->capacity = 0;
    return text;
}

void releaseTextAccumulator(TextAccumulator *acc) {
    free(acc->data);
    free(acc);
}

char *emptyResult() { return static_cast<char *>(calloc(1, 1)); }
