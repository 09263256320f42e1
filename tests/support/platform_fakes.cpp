#include "platform_fakes.h"

#include <map>
#include <set>

#include "import_patch.h"

namespace platform {
namespace {

Real reals;
Overrides current;
std::map<std::string, unsigned> calls;
std::set<HANDLE> snapshots;

struct PlannedFailure {
    std::string function;
    DWORD error;
    unsigned atCall;  // the call count at which it fails
};
std::vector<PlannedFailure> planned;

// Counts the call and tells whether it is one that must fail; if so, the
// thread's last error is already set.
bool failsNow(const char *function) {
    unsigned count = ++calls[function];
    for (const PlannedFailure &failure : planned) {
        if (failure.function == function && failure.atCall == count) {
            SetLastError(failure.error);
            return true;
        }
    }
    return false;
}

// What a fake does besides passing the call on: by default nothing. Snapshots
// are counted (a close that fails still closed the handle), and a look-up of
// the thread's error mode hands out its fake.
template <typename... Args>
void beforeCall(const char *, Args...) {}

template <typename Result, typename... Args>
Result watched(const char *, Result result, Args...) {
    return result;
}

void beforeCall(const char *function, HANDLE handle) {
    if (std::string(function) == "CloseHandle") snapshots.erase(handle);
}

#define ZIBTEST_DECLARE_FAKE(call, from, returns, parameters, arguments, failure, error) \
    returns WINAPI fake##call parameters;
ZIBTEST_PLATFORM_CALLS(ZIBTEST_DECLARE_FAKE)

HANDLE watched(const char *function, HANDLE result, DWORD, DWORD) {
    if (std::string(function) == "CreateToolhelp32Snapshot" && result != INVALID_HANDLE_VALUE)
        snapshots.insert(result);
    return result;
}

FARPROC watched(const char *, FARPROC found, HMODULE, LPCSTR name) {
    if (found == nullptr || std::string(name) != "SetThreadErrorMode") return found;
    reals.SetThreadErrorMode =
        reinterpret_cast<decltype(reals.SetThreadErrorMode)>(reinterpret_cast<void *>(found));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(fakeSetThreadErrorMode));
}

#define ZIBTEST_DEFINE_FAKE(call, from, returns, parameters, arguments, failure, error)     \
    returns WINAPI fake##call parameters {                                                    \
        beforeCall(#call, ZIBTEST_UNPACK arguments);                                          \
        if (failsNow(#call)) return failure;                                                  \
        return watched(#call, current.call ? current.call arguments : reals.call arguments,   \
                       ZIBTEST_UNPACK arguments);                                             \
    }
#define ZIBTEST_UNPACK(...) __VA_ARGS__
ZIBTEST_PLATFORM_CALLS(ZIBTEST_DEFINE_FAKE)

// The name under which the DLL imports a function of the table.
std::string importName(const std::string &function) {
#ifdef _WIN64
    if (function.rfind("SetWindowLong", 0) == 0) return "SetWindowLongPtr" + function.substr(13);
#endif
    return function;
}

template <typename Fn>
void route(HMODULE dll, const char *from, const char *function, Fn fake, Fn &real) {
    if (std::string(from) == "LOOKED_UP") return;
    auto previous = reinterpret_cast<Fn>(patchImport(dll, (std::string(from) + ".dll").c_str(),
                                                     importName(function).c_str(),
                                                     reinterpret_cast<void *>(fake)));
    // A module routed before already calls the fake: the real one is known.
    if (previous != fake) real = previous;
}

// Functions the DLL imports that cannot fail, so no fake is needed: the
// window ones are asked only of live windows of the calling thread.
const std::set<std::string> infallible = {
    "GetLastError", "SetLastError", "GetCurrentThreadId", "SetErrorMode", "IsWindowUnicode",
    "GetWindowLongA", "GetWindowLongW", "GetWindowLongPtrA", "GetWindowLongPtrW"};

}  // namespace

void install(HMODULE dll) {
#define ZIBTEST_ROUTE(call, from, returns, parameters, arguments, failure, error) \
    route(dll, #from, #call, fake##call, reals.call);
    ZIBTEST_PLATFORM_CALLS(ZIBTEST_ROUTE)
}

void reset() {
    current = Overrides{};
    calls.clear();
    planned.clear();
    snapshots.clear();
}

Overrides &overrides() { return current; }

const Real &real() { return reals; }

const std::vector<Failable> &failableCalls() {
#define ZIBTEST_FAILABLE(call, from, returns, parameters, arguments, failure, error) \
    {#call, error},
    static const std::vector<Failable> all = {ZIBTEST_PLATFORM_CALLS(ZIBTEST_FAILABLE)};
    return all;
}

void failCall(const std::string &function, DWORD error, unsigned nth) {
    planned.push_back({function, error, calls[function] + nth});
}

unsigned callCount(const std::string &function) {
    auto found = calls.find(function);
    return found == calls.end() ? 0 : found->second;
}

int openSnapshots() { return static_cast<int>(snapshots.size()); }

std::vector<std::string> unwatchedImports(HMODULE dll, const char *dllName) {
    std::vector<std::string> unwatched;
    for (const std::string &function : importedFunctions(dll, dllName)) {
        bool watched = infallible.count(function) != 0;
        for (const Failable &call : failableCalls()) watched |= function == importName(call.function);
        if (!watched) unwatched.push_back(function);
    }
    return unwatched;
}

}  // namespace platform
