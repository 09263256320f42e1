#include "import_patch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

// Calls visit(name, slot) for every function imported by name from dll.
void forEachImport(HMODULE module, const char *dll,
                   const std::function<void(const char *, void **)> &visit) {
    auto *base = reinterpret_cast<BYTE *>(module);
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return;
    for (auto *desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         desc->Name != 0; ++desc) {
        if (_stricmp(reinterpret_cast<char *>(base + desc->Name), dll) != 0) continue;
        DWORD namesRva = desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk;
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + namesRva);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto *byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            visit(reinterpret_cast<char *>(byName->Name),
                  reinterpret_cast<void **>(&slots->u1.Function));
        }
    }
}

}  // namespace

void **findImportSlot(HMODULE module, const char *dll, const char *function) {
    void **found = nullptr;
    forEachImport(module, dll, [&](const char *name, void **slot) {
        if (std::strcmp(name, function) == 0) found = slot;
    });
    return found;
}

void *patchImport(HMODULE module, const char *dll, const char *function, void *replacement) {
    void **slot = findImportSlot(module, dll, function);
    if (slot == nullptr) {
        std::fprintf(stderr, "import %s!%s not found: cannot inject\n", dll, function);
        std::abort();
    }
    DWORD protection;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    void *previous = *slot;
    *slot = replacement;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return previous;
}

uintptr_t loadConfigField(HMODULE module, size_t offset) {
    auto *base = reinterpret_cast<BYTE *>(module);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(
        base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    DWORD config =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG].VirtualAddress;
    uintptr_t value = 0;
    if (config) std::memcpy(&value, base + config + offset, sizeof value);
    return value;
}

std::vector<std::string> importedFunctions(HMODULE module, const char *dll) {
    std::vector<std::string> names;
    forEachImport(module, dll, [&](const char *name, void **) { names.emplace_back(name); });
    return names;
}
