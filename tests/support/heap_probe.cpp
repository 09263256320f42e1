#include "heap_probe.h"

#include <atomic>
#include <cstdlib>
#include <set>

#include "import_patch.h"

namespace heap_probe {
namespace {

using Malloc = void *(__cdecl *)(size_t);
using Calloc = void *(__cdecl *)(size_t, size_t);
using Realloc = void *(__cdecl *)(void *, size_t);
using Free = void(__cdecl *)(void *);

// The C runtime's own functions, as the first patched slot held them.
Malloc realMalloc;
Calloc realCalloc;
Realloc realRealloc;
Free realFree;

// Never destroyed: the C runtime frees blocks after static destructors have
// run, and those frees may still come through the probe.
struct State {
    std::set<void *> live;
    std::vector<std::size_t> sizes;
    unsigned attemptCount = 0;
    unsigned failFrom = 0;  // 0: none
    bool failLater = false;
    unsigned strays = 0;
};
State &state = *new State;

// The probe's own bookkeeping allocates; when the probe watches the test
// program itself, those allocations must go straight to the C runtime. One
// thread at a time is inside; a plain Windows lock and thread id are used
// because C++ thread-locals and mutexes may themselves allocate on first use.
SRWLOCK lock = SRWLOCK_INIT;
std::atomic<DWORD> insideThread{0};

bool insideProbe() { return insideThread.load() == GetCurrentThreadId(); }

struct Inside {
    Inside() {
        AcquireSRWLockExclusive(&lock);
        insideThread = GetCurrentThreadId();
    }
    ~Inside() {
        insideThread = 0;
        ReleaseSRWLockExclusive(&lock);
    }
};

bool nextAttemptFails(std::size_t size) {
    ++state.attemptCount;
    state.sizes.push_back(size);
    if (state.failFrom == 0) return false;
    return state.attemptCount == state.failFrom || (state.failLater && state.attemptCount > state.failFrom);
}

void *__cdecl probeMalloc(size_t size) {
    if (insideProbe()) return realMalloc(size);
    Inside inside;
    if (nextAttemptFails(size)) return nullptr;
    void *block = realMalloc(size);
    if (block) state.live.insert(block);
    return block;
}

void *__cdecl probeCalloc(size_t count, size_t size) {
    if (insideProbe()) return realCalloc(count, size);
    Inside inside;
    if (nextAttemptFails(count * size)) return nullptr;
    void *block = realCalloc(count, size);
    if (block) state.live.insert(block);
    return block;
}

void *__cdecl probeRealloc(void *old, size_t size) {
    if (insideProbe()) return realRealloc(old, size);
    Inside inside;
    if (nextAttemptFails(size)) return nullptr;
    if (old && state.live.count(old) == 0) ++state.strays;
    void *block = realRealloc(old, size);
    if (block) {
        state.live.erase(old);
        state.live.insert(block);
    }
    return block;
}

void __cdecl probeFree(void *block) {
    if (insideProbe()) return realFree(block);
    Inside inside;
    if (block && state.live.erase(block) == 0) ++state.strays;
    realFree(block);
}

}  // namespace

template <typename Fn>
void redirect(HMODULE module, const char *name, Fn probe, Fn &real) {
    auto previous = reinterpret_cast<Fn>(
        patchImport(module, "msvcrt.dll", name, reinterpret_cast<void *>(probe)));
    if (previous != probe) real = previous;
}

void install(HMODULE module) {
    redirect(module, "malloc", probeMalloc, realMalloc);
    redirect(module, "calloc", probeCalloc, realCalloc);
    redirect(module, "realloc", probeRealloc, realRealloc);
    redirect(module, "free", probeFree, realFree);
}

void uninstall(HMODULE module) {
    patchImport(module, "msvcrt.dll", "malloc", reinterpret_cast<void *>(realMalloc));
    patchImport(module, "msvcrt.dll", "calloc", reinterpret_cast<void *>(realCalloc));
    patchImport(module, "msvcrt.dll", "realloc", reinterpret_cast<void *>(realRealloc));
    patchImport(module, "msvcrt.dll", "free", reinterpret_cast<void *>(realFree));
}

void reset() {
    Inside inside;
    state.live.clear();
    state.sizes.clear();
    state.attemptCount = 0;
    state.failFrom = 0;
    state.failLater = false;
    state.strays = 0;
}

std::size_t liveBlocks() {
    Inside inside;
    return state.live.size();
}

unsigned attempts() {
    Inside inside;
    return state.attemptCount;
}

std::vector<std::size_t> requestedSizes() {
    Inside inside;
    return state.sizes;
}

unsigned strayFrees() {
    Inside inside;
    return state.strays;
}

void failAttempt(unsigned n, bool everyLater) {
    Inside inside;
    state.failFrom = n == 0 ? 0 : state.attemptCount + n;
    state.failLater = everyLater;
}

}  // namespace heap_probe
