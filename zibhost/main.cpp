// zibhost: a small host for zibwin32.dll.
//
//   zibhost [--dll PATH] ENTRY [ARG...]   call an entry, print its text result
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
    std::fprintf(stderr,
                 "usage: zibhost [--dll PATH] ENTRY [ARG...]\n"
                 "       zibhost [--dll PATH] --list\n"
                 "       zibhost [--dll PATH] --autoplay-demo\n");
    return usageError;
}

void printTable(const LoadedLibrary &library) {
    std::printf("%s\n", library.name);
    for (const XtableEntry *row = library.table; row->name[0] != '\0'; ++row)
        std::printf("  %s %s\n", row->kind, row->name);
}

}  // namespace

int main(int argc, char **argv) {
    // Results are printed byte for byte: no line feed becomes CR LF.
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
        std::fprintf(stderr, "zibhost: %s; entries are available only from a loadable zibwin32.dll\n",
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
        if (!result.isNull) std::fwrite(result.text.data(), 1, result.text.size(), stdout);
    } else {
        std::fprintf(stderr, "zibhost: no entry %s; available: %s, --list, --autoplay-demo\n",
                     args[0].c_str(), entryNames(library).c_str());
        status = usageError;
    }
    FreeLibrary(library.module);
    return status;
}
