#include "hook/autoplay_mode.h"

#include "hook/message_filter.h"
#include "hook/window_hook.h"
#include "hook/window_id.h"

namespace {

char foldAsciiCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whole strings, folding only A to Z: "allow" matches "ALLOW" but not " allow".
int sameWordIgnoringCase(const char *text, const char *word) {
    for (; *word != '\0'; ++text, ++word)
        if (foldAsciiCase(*text) != *word) return 0;
    return *text == '\0';
}

// Sets *answer from a mode word; returns 0 for any other word.
int answerForMode(const char *mode, int32_t *answer) {
    if (sameWordIgnoringCase(mode, "allow")) {
        *answer = 0;
        return 1;
    }
    if (sameWordIgnoringCase(mode, "deny")) {
        *answer = 1;
        return 1;
    }
    return 0;
}

}  // namespace

void ZIBWIN32_CALL setAutoplayModeCommand(char **args, int32_t argCount, char **result,
                                          int32_t *firstFlag, int32_t *secondFlag) {
    *firstFlag = 0;
    *secondFlag = 0;
    *result = nullptr;
    HWND window;
    int32_t answer;
    if (argCount != 2 || !windowOfCallingThread(args[0], &window)) return;
    if (!answerForMode(args[1], &answer)) return;
    WindowHookRecord *record = hookRecordOf(window);
    if (record == nullptr) return;
    record->autoplayAnswer = answer;
    autoplayMessage = RegisterWindowMessageA("QueryCancelAutoPlay");
    if (autoplayMessage != 0) allowThroughMessageFilter(window, autoplayMessage);
}
