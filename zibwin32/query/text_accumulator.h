// A growable NUL-terminated text buffer on the library's heap, in which the
// queries build their result before trimming it into a result string.
#ifndef ZIBWIN32_QUERY_TEXT_ACCUMULATOR_H
#define ZIBWIN32_QUERY_TEXT_ACCUMULATOR_H

#include <stdint.h>

struct TextAccumulator {
    char *data;         // null until the first append
    uint32_t length;    // bytes of text, not counting the terminator
    uint32_t capacity;  // bytes allocated for data
};

// A zeroed accumulator, or null when the heap is exhausted.
TextAccumulator *newTextAccumulator();

// Appends the first n bytes of text (which holds at least n bytes).
// Returns 1, or 0 when the buffer cannot grow; the accumulator is then
// exactly as it was.
int appendText(TextAccumulator *acc, const char *text, uint32_t n);

// Hands the text over as a result string of exactly length + 1 bytes and
// leaves the accumulator empty; or returns null and keeps the text.
char *finishText(TextAccumulator *acc);

// Releases the buffer (if any) and the record.
void releaseTextAccumulator(TextAccumulator *acc);

// A fresh one-byte empty string, or null when the heap is exhausted.
char *emptyResult();

#endif
