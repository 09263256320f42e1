#include "host_calls.h"

#include <cstring>

std::string besideThisProgram(const char *file) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string self(path);
    return self.substr(0, self.find_last_of("\\/") + 1) + file;
}

bool loadLibrary(const std::string &path, LoadedLibrary *library, std::string *error) {
    library->module = LoadLibraryA(path.c_str());
    if (library->module == nullptr) {
        *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    auto getXtable = reinterpret_cast<GetXtable>(
        reinterpret_cast<void *>(GetProcAddress(library->module, "getXtable")));
    if (getXtable == nullptr) {
        *error = path + " exports no getXtable";
        FreeLibrary(library->module);
        return false;
    }
    getXtable(nullptr, nullptr, &library->name, &library->table, &library->freeResult);
    return true;
}

const XtableEntry *findEntry(const LoadedLibrary &library, const std::string &name) {
    for (const XtableEntry *row = library.table; row->name[0] != '\0'; ++row)
        if (name == row->name) return row;
    return nullptr;
}

std::string entryNames(const LoadedLibrary &library) {
    std::string names;
    for (const XtableEntry *row = library.table; row->name[0] != '\0'; ++row)
        names += (names.empty() ? "" : ", ") + std::string(row->name);
    return names;
}

std::vector<char *> argumentArray(std::vector<std::string> &copies) {
    std::vector<char *> argv;
    for (std::string &arg : copies) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    return argv;
}

HWND createHostWindow(const char *className, WNDPROC procedure, bool unicode) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (unicode) {
        std::wstring name(className, className + std::strlen(className));
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = name.c_str();
        RegisterClassW(&windowClass);  // fails, harmlessly, once the class is there
        return CreateWindowExW(0, name.c_str(), name.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                               nullptr, nullptr, instance, nullptr);
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, className, className, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                           nullptr, instance, nullptr);
}

std::string idOf(HWND window) {
    return std::to_string(static_cast<int32_t>(reinterpret_cast<intptr_t>(window)));
}

CallResult callEntry(const LoadedLibrary &library, const XtableEntry &entry,
                     const std::vector<std::string> &args) {
    std::vector<std::string> copies = args;
    std::vector<char *> argv = argumentArray(copies);
    char *result = nullptr;
    int32_t firstFlag = 0, secondFlag = 0;
    entry.handler(argv.data(), static_cast<int32_t>(args.size()), &result, &firstFlag, &secondFlag);
    CallResult outcome;
    if (result != nullptr) {
        outcome.isNull = false;
        outcome.text = result;
        library.freeResult(result);
    }
    return outcome;
}
