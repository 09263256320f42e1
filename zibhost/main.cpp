// zibhost: a small host for zibwin32.dll.
//
//   zibhost [--dll PATH] ENTRY [ARG...]   call an entry, print its text result
//                                         (on a console in the console's characters)
//   zibhost [--dll PATH] --list           print the table
//   zibhost [--dll PATH] --autoplay-demo  hook a window and run the AutoPlay round trip
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "autoplay_demo.h"
#include "host_calls.h"

namespace {

const int usageError = 2;

int usage() {
    std::fprintf(stderr, "usage: zibhost [--dll PATH] ENTRY [ARG...]\n"
                         "       zibhost [--dll PATH] --list\n"
                         "       zibhost [--dll PATH] --autoplay-demo\n");
    return usageError;
}

// The DLL's texts are in the ANSI code page; a console shows bytes in a code
// page of its own (the OEM one on Windows, where "\xC9", "É" in cp1252, is
// a box-drawing line). So a console gets the text as UTF-16, which it shows
// whole; a pipe or a file gets the bytes as returned, for scripts to read.
void printText(const std::string &text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode;
    if (!GetConsoleMode(out, &mode)) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return;
    }
    // No code page takes more than one UTF-16 unit for a byte.
    std::wstring wide(text.size(), L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                     &wide[0], static_cast<int>(wide.size()));
    DWORD written;
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(length), &written, nullptr);
}

void printTable(const LoadedLibrary &library) {
    std::printf("%s\n", library.name);
    for (const XtableEntry *row = library.table; row->name[0] != '\0'; ++row)
        std::printf("  %s %s\n", row->kind, row->name);
}

}  // namespace

int main(int argc, char **argv) {
    // Results go into a pipe or a file byte for byte: no line feed becomes CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string dllPath = besideThisProgram("zibwin32.dll");
    if (args.size() >= 2 && args[0] == "--dll") {
        dllPath = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) return usage();

    LoadedLibrary library;
    std::string error;
    if (!loadLibrary(dllPath, &library, &error)) {
        std::fprintf(stderr,
                     "zibhost: %s; entries are available only from a loadable zibwin32.dll\n",
                     error.c_str());
        return usageError;
    }
    int status = 0;
    if (args[0] == "--list") {
        printTable(library);
    } else if (args[0] == "--autoplay-demo") {
        status = runAutoplayDemo(library);
    } else if (const XtableEntry *entry = findEntry(library, args[0])) {
        CallResult result = callEntry(library, *entry, {args.begin() + 1, args.end()});
        printText(result.text);
    } else {
        std::fprintf(stderr, "zibhost: no entry %s; available: %s, --list, --autoplay-demo\n",
                     args[0].c_str(), entryNames(library).c_str());
        status = usageError;
    }
    FreeLibrary(library.module);
    return status;
}
