#include "platform_fakes.h"

#include <atomic>
#include <map>
#include <set>

#include "import_patch.h"

namespace platform {
namespace {

Real reals;
void(__cdecl *realFree)(void *);
Overrides current;

struct PlannedFailure {
    std::string function;
    bool setsError;  // heap calls leave the last error alone
    DWORD error;
    unsigned first, last;  // the call counts at which it fails
};

// What the fakes keep, for every thread that calls through them. Never
// destroyed: the C runtime frees blocks after static destructors have run,
// and those frees may still come through the fakes.
struct Books {
    std::map<std::string, unsigned> calls;
    std::vector<PlannedFailure> planned;
    std::set<HANDLE> snapshots;
    std::set<void *> blocks;
    std::vector<std::size_t> sizes;
    unsigned strays = 0;
};
Books &books = *new Books;

// One thread at a time keeps the books. Keeping them allocates: where the
// fakes watch the test program's own heap, those allocations go straight to
// the C runtime. A plain Windows lock and thread id, because C++ thread-locals
// and mutexes may themselves allocate on first use. The lock is held across
// a heap call (a block freed by one thread may at once be handed to another)
// but never across a platform call, which a test may make wait for another
// thread.
SRWLOCK lock = SRWLOCK_INIT;
std::atomic<DWORD> keeper{0};

bool keepingBooks() { return keeper.load() == GetCurrentThreadId(); }

struct Keeping {
    Keeping() {
        AcquireSRWLockExclusive(&lock);
        keeper = GetCurrentThreadId();
    }
    ~Keeping() {
        keeper = 0;
        ReleaseSRWLockExclusive(&lock);
    }
};

// Counts the call under its name and tells whether it is one that must fail;
// if so, the thread's last error is already set. Runs with the books kept.
bool countedCallFails(const std::string &function) {
    unsigned count = ++books.calls[function];
    for (const PlannedFailure &failure : books.planned) {
        if (failure.function == function && failure.first <= count && count <= failure.last) {
            if (failure.setsError) SetLastError(failure.error);
            return true;
        }
    }
    return false;
}

bool failsNow(const char *function) {
    Keeping keeping;
    return countedCallFails(function);
}

// A heap call counts as an allocation too.
bool allocationFails(const char *function, std::size_t size) {
    books.sizes.push_back(size);
    bool failsByName = countedCallFails(function);
    return countedCallFails("allocation") || failsByName;
}

// What a platform fake does besides passing the call on: by default nothing.
// Snapshots are counted (a close that fails still closed the handle), and a
// look-up of the thread's error mode hands out its fake.
template <typename... Args> void beforeCall(const char *, Args...) {}

template <typename Result, typename... Args> Result watched(const char *, Result result, Args...) {
    return result;
}

void beforeCall(const char *function, HANDLE handle) {
    Keeping keeping;
    if (std::string(function) == "CloseHandle") books.snapshots.erase(handle);
}

#define ZIBTEST_DECLARE_FAKE(call, from, returns, parameters, arguments, failure, error)           \
    returns ZIBTEST_CALLING(from) fake##call parameters;
ZIBTEST_PLATFORM_CALLS(ZIBTEST_DECLARE_FAKE)

HANDLE watched(const char *function, HANDLE result, DWORD, DWORD) {
    Keeping keeping;
    if (std::string(function) == "CreateToolhelp32Snapshot" && result != INVALID_HANDLE_VALUE)
        books.snapshots.insert(result);
    return result;
}

FARPROC watched(const char *, FARPROC found, HMODULE, LPCSTR name) {
    if (found == nullptr || std::string(name) != "SetThreadErrorMode") return found;
    reals.SetThreadErrorMode =
        reinterpret_cast<decltype(reals.SetThreadErrorMode)>(reinterpret_cast<void *>(found));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(fakeSetThreadErrorMode));
}

// The size asked of a heap call, and the blocks it leaves alive.
std::size_t requested(std::size_t size) { return size; }
std::size_t requested(std::size_t count, std::size_t size) { return count * size; }
std::size_t requested(void *, std::size_t size) { return size; }

void *tracked(void *block, std::size_t) {
    if (block) books.blocks.insert(block);
    return block;
}
void *tracked(void *block, std::size_t, std::size_t) { return tracked(block, 0); }
void *tracked(void *block, void *old, std::size_t) {
    if (old && books.blocks.count(old) == 0) ++books.strays;
    if (block) books.blocks.erase(old);
    return tracked(block, 0);
}

#define ZIBTEST_UNPACK(...) __VA_ARGS__
#define ZIBTEST_DEFINE_FAKE(call, from, returns, parameters, arguments, failure, error)            \
    ZIBTEST_DEFINE_FAKE_##from(call, from, returns, parameters, arguments, failure, error)
#define ZIBTEST_DEFINE_PLATFORM_FAKE(call, from, returns, parameters, arguments, failure, error)   \
    returns ZIBTEST_CALLING(from) fake##call parameters {                                          \
        beforeCall(#call, ZIBTEST_UNPACK arguments);                                               \
        if (failsNow(#call)) return failure;                                                       \
        return watched(#call, current.call ? current.call arguments : reals.call arguments,        \
                       ZIBTEST_UNPACK arguments);                                                  \
    }
#define ZIBTEST_DEFINE_FAKE_KERNEL32 ZIBTEST_DEFINE_PLATFORM_FAKE
#define ZIBTEST_DEFINE_FAKE_USER32 ZIBTEST_DEFINE_PLATFORM_FAKE
#define ZIBTEST_DEFINE_FAKE_LOOKED_UP ZIBTEST_DEFINE_PLATFORM_FAKE
#define ZIBTEST_DEFINE_FAKE_STACK_CHECK ZIBTEST_DEFINE_PLATFORM_FAKE
#define ZIBTEST_DEFINE_FAKE_MSVCRT(call, from, returns, parameters, arguments, failure, error)     \
    returns __cdecl fake##call parameters {                                                        \
        if (keepingBooks()) return reals.call arguments;                                           \
        Keeping keeping;                                                                           \
        if (allocationFails(#call, requested arguments)) return failure;                           \
        return tracked(reals.call arguments, ZIBTEST_UNPACK arguments);                            \
    }
ZIBTEST_PLATFORM_CALLS(ZIBTEST_DEFINE_FAKE)

void __cdecl fakeFree(void *block) {
    if (keepingBooks()) return realFree(block);
    Keeping keeping;
    if (block && books.blocks.erase(block) == 0) ++books.strays;
    realFree(block);
}

// The name under which the DLL imports a function of the table.
std::string importName(const std::string &function) {
#ifdef _WIN64
    if (function.rfind("SetWindowLong", 0) == 0) return "SetWindowLongPtr" + function.substr(13);
#endif
    return function;
}

template <typename Fn>
void route(HMODULE module, Watch watch, const char *from, const char *function, Fn fake, Fn &real) {
    std::string source = from;
    // The DLLs that check their stacks are those that name a cookie.
    if (source == "STACK_CHECK" && loadConfigField(module, loadConfigLayout::securityCookie))
        source = "KERNEL32";
    if (source == "STACK_CHECK" || source == "LOOKED_UP" ||
        (watch == Watch::heap && source != "MSVCRT"))
        return;
    auto previous = reinterpret_cast<Fn>(patchImport(module, (source + ".dll").c_str(),
                                                     importName(function).c_str(),
                                                     reinterpret_cast<void *>(fake)));
    // A module routed before already calls the fake: the real one is known.
    if (previous != fake) real = previous;
}

// Functions the DLL imports that cannot fail, so no fake is needed: the
// window ones are asked only of live windows of the calling thread; the
// stack cookie's seeding makes the last five.
const std::set<std::string> infallible = {
    "GetLastError",      "SetLastError",           "GetCurrentThreadId",  "SetErrorMode",
    "IsWindowUnicode",   "GetWindowLongA",         "GetWindowLongW",      "GetWindowLongPtrA",
    "GetWindowLongPtrW", "GetCurrentProcess",      "GetCurrentProcessId", "GetSystemTimeAsFileTime",
    "GetTickCount64",    "QueryPerformanceCounter"};

}  // namespace

void install(HMODULE module, Watch watch) {
#define ZIBTEST_ROUTE(call, from, returns, parameters, arguments, failure, error)                  \
    route(module, watch, #from, #call, fake##call, reals.call);
    ZIBTEST_PLATFORM_CALLS(ZIBTEST_ROUTE)
    route(module, watch, "MSVCRT", "free", fakeFree, realFree);
}

void uninstall(HMODULE module) {
    patchImport(module, "msvcrt.dll", "malloc", reinterpret_cast<void *>(reals.malloc));
    patchImport(module, "msvcrt.dll", "calloc", reinterpret_cast<void *>(reals.calloc));
    patchImport(module, "msvcrt.dll", "realloc", reinterpret_cast<void *>(reals.realloc));
    patchImport(module, "msvcrt.dll", "free", reinterpret_cast<void *>(realFree));
}

void reset() {
    current = Overrides{};
    forgetCalls();
    Keeping keeping;
    books.snapshots.clear();
    books.sizes.clear();
}

void forgetCalls() {
    Keeping keeping;
    books.calls.clear();
    books.planned.clear();
}

void forgetBlocks() {
    Keeping keeping;
    books.blocks.clear();
    books.strays = 0;
}

Overrides &overrides() { return current; }

const Real &real() { return reals; }

const std::vector<Failable> &failableCalls() {
#define ZIBTEST_FAILABLE(call, from, returns, parameters, arguments, failure, error)               \
    {#call, error, std::string(#from) == "MSVCRT"},
    static const std::vector<Failable> all = {ZIBTEST_PLATFORM_CALLS(ZIBTEST_FAILABLE)};
    return all;
}

void fail(const std::string &function, Failure failure) {
    bool setsError = false;
    for (const Failable &call : failableCalls()) {
        if (function != call.function || call.heap) continue;
        setsError = true;
        if (failure.error == tableError) failure.error = call.error;
    }
    Keeping keeping;
    unsigned first = books.calls[function] + failure.first;
    unsigned last = failure.count == everyLater ? UINT_MAX : first + failure.count - 1;
    books.planned.push_back({function, setsError, failure.error, first, last});
}

unsigned callCount(const std::string &function) {
    Keeping keeping;
    auto found = books.calls.find(function);
    return found == books.calls.end() ? 0 : found->second;
}

int openSnapshots() {
    Keeping keeping;
    return static_cast<int>(books.snapshots.size());
}

std::size_t liveBlocks() {
    Keeping keeping;
    return books.blocks.size();
}

std::vector<std::size_t> requestedSizes() {
    Keeping keeping;
    return books.sizes;
}

unsigned strayFrees() {
    Keeping keeping;
    return books.strays;
}

std::vector<std::string> unwatchedImports(HMODULE module, const char *dllName) {
    std::vector<std::string> unwatched;
    for (const std::string &function : importedFunctions(module, dllName)) {
        bool watched = infallible.count(function) != 0;
        for (const Failable &call : failableCalls())
            watched |= function == importName(call.function);
        if (!watched) unwatched.push_back(function);
    }
    return unwatched;
}

}  // namespace platform
