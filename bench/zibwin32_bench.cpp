// Measures the library against the platform's own work done in the same
// process, and against what hosts and scripts would use instead (WMI, the
// tasklist program, the platform's safe subclassing), in one run, and prints
// ratios of medians: shared machines are noisy, so only ratios measured side
// by side mean anything. A peer is timed only once it gave what the library
// gives; otherwise its row says why it was not measured.
//
// usage: zibwin32_bench [--quick]
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host_calls.h"
#include "peers.h"
#include "query/text_accumulator.h"
#include "test_windows.h"
#include "zibwin32.h"

namespace {

int repetitions = 9;

double now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Median seconds per iteration. The two sides of a ratio are measured
// alternately, repetition by repetition, so that drift hits both alike.
void measurePair(const std::function<void()> &a, const std::function<void()> &b, int iterations,
                 double *medianA, double *medianB) {
    std::vector<double> timesA, timesB;
    for (int i = 0; i < iterations; ++i) a(), b();  // warm up
    for (int r = 0; r < repetitions; ++r) {
        double start = now();
        for (int i = 0; i < iterations; ++i) a();
        double middle = now();
        for (int i = 0; i < iterations; ++i) b();
        double end = now();
        timesA.push_back((middle - start) / iterations);
        timesB.push_back((end - middle) / iterations);
    }
    std::nth_element(timesA.begin(), timesA.begin() + repetitions / 2, timesA.end());
    std::nth_element(timesB.begin(), timesB.begin() + repetitions / 2, timesB.end());
    *medianA = timesA[repetitions / 2];
    *medianB = timesB[repetitions / 2];
}

struct Row {
    std::string what;
    double library;  // seconds per operation
    double baseline;
    std::string against;
    double target;     // 0: none
    std::string note;  // instead of a measurement, when the peer cannot do the same work
};
std::vector<Row> rows;

void notComparable(const std::string &what, const std::string &against, const std::string &why) {
    rows.push_back({what, 0, 0, against, 0, why});
}

void compare(const std::string &what, const std::function<void()> &library,
             const std::string &against, const std::function<void()> &baseline, int iterations,
             double target) {
    double a, b;
    measurePair(library, baseline, iterations, &a, &b);
    rows.push_back({what, a, b, against, target, ""});
}

// The platform's own process walk, reading only the names.
void bareProcessWalk() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    volatile size_t total = 0;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        total = total + std::strlen(entry.szExeFile);
    CloseHandle(snapshot);
}

// The platform's own walk of the drives, with the same label reads.
void bareVolumeWalk() {
    char roots[512];
    DWORD size = GetLogicalDriveStringsA(0, nullptr);
    DWORD filled = GetLogicalDriveStringsA(std::min<DWORD>(size, sizeof roots), roots);
    for (const char *root = roots; root < roots + filled && *root; root += std::strlen(root) + 1) {
        if (GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR) continue;
        char label[MAX_PATH + 1];
        GetVolumeInformationA(root, label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0);
    }
}

LRESULT CALLBACK plainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) return static_cast<LRESULT>(wParam + 1);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK plainProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) return static_cast<LRESULT>(wParam + 1);
    return DefWindowProcW(window, message, wParam, lParam);
}

// Every subclass below forwards to the class procedure of its character set.
LRESULT forward(bool unicode, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return unicode ? CallWindowProcW(plainProcW, window, message, wParam, lParam)
                   : CallWindowProcA(plainProc, window, message, wParam, lParam);
}

// A subclass that only forwards.
LRESULT CALLBACK forwardingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return forward(false, window, message, wParam, lParam);
}

// A subclass that forwards after the one property look-up a hook needs.
LRESULT lookUpAndForward(bool unicode, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    volatile HANDLE record = GetPropA(window, hookProperty);
    (void)record;
    return forward(unicode, window, message, wParam, lParam);
}
LRESULT CALLBACK lookUpAndForwardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return lookUpAndForward(false, window, message, wParam, lParam);
}
LRESULT CALLBACK lookUpAndForwardProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return lookUpAndForward(true, window, message, wParam, lParam);
}

// A window of a class of its own character set.
HWND plainWindow(bool unicode = false) {
    return createHostWindow(unicode ? "ZibBenchW" : "ZibBench", unicode ? plainProcW : plainProc,
                            unicode);
}

HWND subclassed(WNDPROC proc, bool unicode = false) {
    HWND window = plainWindow(unicode);
    LONG_PTR value = reinterpret_cast<LONG_PTR>(proc);
    if (unicode)
        SetWindowLongPtrW(window, GWLP_WNDPROC, value);
    else
        SetWindowLongPtrA(window, GWLP_WNDPROC, value);
    SetPropA(window, hookProperty, reinterpret_cast<HANDLE>(1));
    return window;
}

// Calls an entry as a host does; returns its text.
std::string call(const LoadedLibrary &library, const XtableEntry *entry,
                 const std::vector<std::string> &args = {}) {
    return callEntry(library, *entry, args).text;
}

std::vector<std::string> linesOf(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

const char *kindOfType(const std::string &type) {
    static const char *const kinds[] = {"unknown", "",      "removable", "fixed",
                                        "remote",  "cdrom", "ramdisk"};
    int value = std::atoi(type.c_str());
    return value >= 0 && value <= 6 ? kinds[value] : "unknown";
}

// The peers a host or a script would use instead, each checked to give what
// the library gives before it is timed.
void compareWithPeers(const LoadedLibrary &library, int scale) {
    const XtableEntry *processes = findEntry(library, "zibWin32EnumerateProcesses");
    const XtableEntry *volumes = findEntry(library, "zibWin32EnumerateVolumes");
    const std::vector<std::string> names = linesOf(call(library, processes));

    WmiSession wmi;
    const wchar_t processQuery[] = L"SELECT Name FROM Win32_Process";
    WmiRows found;
    if (!openWmi(&wmi)) {
        notComparable("process list", "WMI, in process", "no WMI locator or namespace");
    } else if (!wmiQuery(wmi, processQuery, {L"Name"}, &found)) {
        notComparable("process list", "WMI, in process", "the WMI query fails");
    } else {
        std::set<std::string> wmiNames;
        for (const auto &row : found) wmiNames.insert(row[0]);
        bool holds = std::all_of(names.begin(), names.end(), [&](const std::string &name) {
            return wmiNames.count(name) != 0;
        });
        if (!holds)
            notComparable("process list", "WMI: SELECT Name FROM Win32_Process, in process",
                          "WMI lacks names the library lists");
        else
            compare(
                "process list", [&] { call(library, processes); },
                "WMI: SELECT Name FROM Win32_Process, in process",
                [&] { wmiQuery(wmi, processQuery, {L"Name"}, &found); }, 20 / scale, 0.10);
    }

    // The kinds WMI lists, and the library's list of the same kinds.
    const wchar_t diskQuery[] = L"SELECT DeviceID, DriveType, VolumeName FROM Win32_LogicalDisk";
    if (wmi.services &&
        wmiQuery(wmi, diskQuery, {L"DeviceID", L"DriveType", L"VolumeName"}, &found)) {
        std::set<std::string> wmiLines;
        std::string kinds;
        for (const auto &row : found) {
            std::string kind = kindOfType(row[1]);
            wmiLines.insert(row[0] + "," + kind + "," + row[2]);
            if (kinds.find(kind) == std::string::npos) kinds += kinds.empty() ? kind : " " + kind;
        }
        std::vector<std::string> listed = linesOf(call(library, volumes, {kinds}));
        std::set<std::string> libraryLines(listed.begin(), listed.end());
        std::vector<std::string> all = linesOf(call(library, volumes));
        std::string what = all.size() == listed.size()
                               ? "volume list"
                               : "volume list of the kinds WMI lists: " + kinds;
        if (libraryLines != wmiLines)
            notComparable(what, "WMI: Win32_LogicalDisk",
                          "WMI gives other drives, kinds or labels");
        else
            compare(
                what, [&] { call(library, volumes, {kinds}); },
                "WMI: SELECT DeviceID, DriveType, VolumeName FROM Win32_LogicalDisk",
                [&] {
                    wmiQuery(wmi, diskQuery, {L"DeviceID", L"DriveType", L"VolumeName"}, &found);
                },
                10 / scale, 0.10);
    } else {
        notComparable("volume list", "WMI: Win32_LogicalDisk", "the WMI query fails");
    }
    if (wmi.locator) closeWmi(&wmi);

    // tasklist cuts image names to the width of its column.
    std::string listing = tasklistOutput();
    bool holds = std::all_of(names.begin(), names.end(), [&](const std::string &name) {
        return listing.find(name.substr(0, 25)) != std::string::npos;
    });
    if (!holds)
        notComparable("process list", "tasklist.exe as a child process",
                      listing.empty() ? "tasklist prints nothing here"
                                      : "tasklist lacks names the library lists");
    else
        compare(
            "process list", [&] { call(library, processes); }, "tasklist.exe as a child process",
            [] { tasklistOutput(); }, 5 / scale + 1, 0.10);
}

}  // namespace

int main(int argc, char **argv) {
    bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    if (quick) repetitions = 3;
    const int scale = quick ? 10 : 1;
    // One CPU, so that the run does not hop between cores.
    SetProcessAffinityMask(GetCurrentProcess(), 1);

    LoadedLibrary library;
    std::string error;
    if (!loadLibrary(besideThisProgram("zibwin32.dll"), &library, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }

    const XtableEntry *processes = findEntry(library, "zibWin32EnumerateProcesses");
    compare(
        "process list", [&] { call(library, processes); }, "bare ToolHelp walk", bareProcessWalk,
        60 / scale, 1.10);

    const XtableEntry *volumes = findEntry(library, "zibWin32EnumerateVolumes");
    compare(
        "volume list", [&] { call(library, volumes); }, "bare drive walk, same label reads",
        bareVolumeWalk, 20 / scale, 1.10);

    HWND plain = plainWindow();
    HWND hooked = plainWindow();
    HWND hookedW = plainWindow(true);
    for (HWND window : {hooked, hookedW}) {
        call(library, findEntry(library, "zibWin32Attach"), {idOf(window)});
        call(library, findEntry(library, "zibWin32SetAutoplayMode"), {idOf(window), "deny"});
    }
    HWND lookUp = subclassed(lookUpAndForwardProc);
    HWND lookUpW = subclassed(lookUpAndForwardProcW, true);
    HWND forwarding = subclassed(forwardingProc);
    // The platform's own safe subclassing, answering the AutoPlay query as the hook does.
    const UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    HWND safe = plainWindow(), safeW = plainWindow(true);
    bool safeSubclasses = subclassSafely(safe, query) && subclassSafely(safeW, query);
    for (HWND window : {hooked, hookedW, safe, safeW}) {
        bool answers =
            SendMessageA(window, query, 0, 0) == 1 && SendMessageA(window, WM_USER, 1, 0) == 2;
        safeSubclasses &= answers;
    }
    const int messages = 5000 / scale;
    auto send = [](HWND window) { return [window] { SendMessageA(window, WM_USER, 1, 0); }; };
    auto sendW = [](HWND window) { return [window] { SendMessageW(window, WM_USER, 1, 0); }; };
    compare("message to a hooked window", send(hooked), "subclass: one look-up, then forward",
            send(lookUp), messages, 1.10);
    compare("message to a hooked Unicode window", sendW(hookedW),
            "Unicode subclass: one look-up, then forward", sendW(lookUpW), messages, 1.10);
    if (safeSubclasses) {
        compare("message to a hooked window", send(hooked),
                "SetWindowSubclass, DefSubclassProc to forward", send(safe), messages, 1.00);
        compare("message to a hooked Unicode window", sendW(hookedW),
                "SetWindowSubclass on a Unicode window", sendW(safeW), messages, 1.00);
    } else {
        notComparable("message to a hooked window", "SetWindowSubclass",
                      "the subclass does not answer as the hook does");
    }
    compare("message to a hooked window", send(hooked), "plain window", send(plain), messages, 0);
    compare("subclass: one look-up, then forward", send(lookUp), "subclass that only forwards",
            send(forwarding), messages, 0);
    for (HWND window : {hooked, hookedW})
        call(library, findEntry(library, "zibWin32Detach"), {idOf(window)});

    const uint32_t mebibyte = 1 << 20;
    std::string source(mebibyte, 'x');
    std::vector<char> copy(mebibyte + 1);
    compare(
        "1 MiB text in 20-byte appends",
        [&] {
            TextAccumulator *acc = newTextAccumulator();
            for (uint32_t done = 0; done < mebibyte; done += 20)
                appendText(acc, source.data() + done, std::min<uint32_t>(20, mebibyte - done));
            std::free(finishText(acc));
            releaseTextAccumulator(acc);
        },
        "one copy of 1 MiB", [&] { std::memcpy(copy.data(), source.data(), mebibyte); },
        quick ? 1 : 3, 0);
    // The same appends into a buffer that needs no growth: what is left is the
    // cost of the appends themselves, the rest of the above is the growth.
    compare(
        "the same appends, no growth",
        [&] {
            TextAccumulator *acc = newTextAccumulator();
            acc->capacity = mebibyte + 256;
            acc->data = static_cast<char *>(std::malloc(acc->capacity));
            acc->data[0] = '\0';
            for (uint32_t done = 0; done < mebibyte; done += 20)
                appendText(acc, source.data() + done, std::min<uint32_t>(20, mebibyte - done));
            releaseTextAccumulator(acc);
        },
        "one copy of 1 MiB", [&] { std::memcpy(copy.data(), source.data(), mebibyte); },
        quick ? 1 : 3, 0);

    compareWithPeers(library, scale);

    std::printf("| measured | against | library | baseline | ratio | target |\n");
    std::printf("|---|---|---:|---:|---:|---|\n");
    int met = 0, targets = 0, notMeasured = 0;
    for (const Row &row : rows) {
        if (!row.note.empty()) {
            std::printf("| %s | %s | | | | not measured: %s |\n", row.what.c_str(),
                        row.against.c_str(), row.note.c_str());
            ++notMeasured;
            continue;
        }
        double ratio = row.library / row.baseline;
        bool isMet = ratio <= row.target;
        char target[32] = "";
        if (row.target > 0) {
            ++targets;
            met += isMet;
            std::snprintf(target, sizeof target, "<= %.2f %s", row.target,
                          isMet ? "met" : "MISSED");
        }
        std::printf("| %s | %s | %.1f us | %.1f us | %.2f x | %s |\n", row.what.c_str(),
                    row.against.c_str(), row.library * 1e6, row.baseline * 1e6, ratio, target);
    }
    std::printf("\nmedians of %d repetitions, one CPU, %s; targets met: %d of %d; peers not "
                "measured: %d\n",
                repetitions, sizeof(void *) == 4 ? "32-bit" : "64-bit", met, targets, notMeasured);
    for (HWND window : {plain, hooked, hookedW, lookUp, lookUpW, forwarding, safe, safeW})
        DestroyWindow(window);
    FreeLibrary(library.module);
    // Benchmarks report; they do not judge. A target missed shows in the table.
    return 0;
}
