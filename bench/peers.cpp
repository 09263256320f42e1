#include "peers.h"

#include <commctrl.h>

#include "child_process.h"

namespace {

std::string narrowed(const wchar_t *text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

std::string textOf(VARIANT *value) {
    if (value->vt == VT_NULL || value->vt == VT_EMPTY) return "";
    if (value->vt != VT_BSTR && FAILED(VariantChangeType(value, value, 0, VT_BSTR))) return "?";
    return narrowed(value->bstrVal);
}

LRESULT CALLBACK safeSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR query) {
    if (message == query) return 1;
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

bool openWmi(WmiSession *session) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return false;
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void **>(&session->locator))))
        return false;
    BSTR name = SysAllocString(L"ROOT\\CIMV2");
    HRESULT connected = session->locator->ConnectServer(name, nullptr, nullptr, nullptr, 0, nullptr,
                                                        nullptr, &session->services);
    SysFreeString(name);
    return SUCCEEDED(connected);
}

void closeWmi(WmiSession *session) {
    if (session->services) session->services->Release();
    if (session->locator) session->locator->Release();
    *session = WmiSession{};
    CoUninitialize();
}

bool wmiQuery(const WmiSession &session, const wchar_t *wql,
              const std::vector<const wchar_t *> &properties, WmiRows *rows) {
    rows->clear();
    BSTR language = SysAllocString(L"WQL");
    BSTR query = SysAllocString(wql);
    IEnumWbemClassObject *found = nullptr;
    HRESULT result = session.services->ExecQuery(
        language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &found);
    SysFreeString(query);
    SysFreeString(language);
    if (FAILED(result)) return false;
    IWbemClassObject *object = nullptr;
    ULONG returned = 0;
    while (found->Next(WBEM_INFINITE, 1, &object, &returned) == WBEM_S_NO_ERROR && returned == 1) {
        std::vector<std::string> row;
        for (const wchar_t *property : properties) {
            VARIANT value;
            VariantInit(&value);
            row.push_back(SUCCEEDED(object->Get(property, 0, &value, nullptr, nullptr))
                              ? textOf(&value)
                              : "?");
            VariantClear(&value);
        }
        rows->push_back(row);
        object->Release();
    }
    found->Release();
    return true;
}

std::string tasklistOutput() { return runChild("tasklist.exe").output; }

bool subclassSafely(HWND window, UINT query) {
    return SetWindowSubclass(window, safeSubclassProc, 1, query) != FALSE;
}
