// Real windows for the hook tests, each with a procedure of its own that
// records the messages it sees and can be told how to react to one.
#pragma once

#include <windows.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

using Reaction = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

struct WindowLog {
    std::vector<UINT> messages;  // every message the window's own procedure saw
    bool destroyed = false;      // its own procedure saw WM_NCDESTROY
    // The text of every WM_SETTEXT and the character of every WM_CHAR as the
    // window's own procedure got them; an ANSI procedure's text is widened
    // through the ANSI code page.
    std::vector<std::wstring> texts;
    std::vector<WPARAM> characters;
};

// The character set a window's own procedure works in: a window created from
// a class registered with RegisterClassW is a Unicode window.
enum class CharacterSet { Ansi, Unicode };
const char *nameOf(CharacterSet set);
inline void PrintTo(CharacterSet set, std::ostream *out) { *out << nameOf(set); }

// ANSI text widened through the ANSI code page.
std::wstring widened(const char *text);

// The procedures test windows are created with, ANSI and Unicode.
LRESULT CALLBACK recordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK recordingWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A hidden top-level window of the calling thread.
HWND createTestWindow(CharacterSet set = CharacterSet::Ansi);

// Destroys every test window still alive and forgets every log.
void destroyTestWindows();

// What the window's own procedure has seen so far.
const WindowLog &logOf(HWND window);

// How many times the window's own procedure saw the message.
int timesSeen(HWND window, UINT message);

// From now on the window's own procedure answers the message through
// reaction instead of the default procedure of its character set.
void reactTo(HWND window, UINT message, Reaction reaction);

// The procedures of a window's chain that saw a message, in order, each with
// the message: "subclass" (a later one of the host's own), "hook" (the DLL's,
// as it passes the message on) or "window" (the window's own).
using Chain = std::vector<std::pair<std::string, UINT>>;

// From now on records each procedure that sees one of these messages.
void traceChain(std::vector<UINT> messages);
// Records that procedure sees message, if the message is traced.
void seenBy(const char *procedure, UINT message);
// What was recorded since the last traceChain or takeChain.
Chain takeChain();

// The property through which the DLL finds a hooked window's record.
extern const char hookProperty[];

// Whether the window carries the DLL's property: a window is hooked exactly
// when it does.
bool isHooked(HWND window);

// The window's procedure, read in the window's current character set: the
// procedure itself, not a stand-in that converts text for the other set.
WNDPROC currentProcOf(HWND window);

// A window created and pumped by a thread of its own.
struct ForeignWindow {
    HWND window = nullptr;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
};
ForeignWindow startForeignWindow();
void stopForeignWindow(ForeignWindow &foreign);
