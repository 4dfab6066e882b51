// Windows: whether Credential Guard runs, as WMI's Win32_DeviceGuard class tells.
#include "morvelan.h"

#include <windows.h>

#include <wbemcli.h>

namespace {

// The COM and automation entries the query needs. They are loaded only when it runs: a run
// with a file loads neither DLL, and the exe imports neither.
struct Com {
    decltype(&CoInitializeEx) initialize;
    decltype(&CoUninitialize) uninitialize;
    decltype(&CoInitializeSecurity) initializeSecurity;
    decltype(&CoCreateInstance) createInstance;
    decltype(&CoSetProxyBlanket) setProxyBlanket;
    decltype(&SysAllocString) allocString;
    decltype(&SysFreeString) freeString;
    decltype(&VariantClear) clearVariant;
    decltype(&SafeArrayAccessData) accessData;
    decltype(&SafeArrayUnaccessData) unaccessData;
};

template <typename Function> bool load(HMODULE module, const char* name, Function& entry) {
    // GetProcAddress gives every entry one type; void (*)() stands for any function's.
    entry = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    return entry != nullptr;
}

bool loadCom(Com& com) {
    // From the system folder alone: never a DLL of that name beside the exe or in the
    // current folder. They stay loaded until the run ends.
    HMODULE ole = LoadLibraryExW(L"ole32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    HMODULE automation = LoadLibraryExW(L"oleaut32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return ole != nullptr && automation != nullptr && load(ole, "CoInitializeEx", com.initialize) &&
           load(ole, "CoUninitialize", com.uninitialize) &&
           load(ole, "CoInitializeSecurity", com.initializeSecurity) &&
           load(ole, "CoCreateInstance", com.createInstance) &&
           load(ole, "CoSetProxyBlanket", com.setProxyBlanket) &&
           load(automation, "SysAllocString", com.allocString) &&
           load(automation, "SysFreeString", com.freeString) &&
           load(automation, "VariantClear", com.clearVariant) &&
           load(automation, "SafeArrayAccessData", com.accessData) &&
           load(automation, "SafeArrayUnaccessData", com.unaccessData);
}

// A COM object, released when it goes.
template <typename Object> struct Held {
    Object* object = nullptr;
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (object != nullptr) {
            object->Release();
        }
    }
};

// A text as WMI's calls take it, freed when it goes.
struct Text {
    const Com& com;
    BSTR text;
    Text(const Com& owner, const wchar_t* value) : com(owner), text(owner.allocString(value)) {}
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() { com.freeString(text); }
};

// Whether 1, Credential Guard's number, is among the numbers of SecurityServicesRunning.
bool holdsCredentialGuard(const Com& com, const VARIANT& value) {
    // WMI gives an array of uint32 as one of VT_I4.
    if ((value.vt != (VT_ARRAY | VT_I4) && value.vt != (VT_ARRAY | VT_UI4)) ||
        value.parray == nullptr || value.parray->cDims != 1) {
        return false;
    }
    void* data = nullptr;
    if (FAILED(com.accessData(value.parray, &data))) {
        return false;
    }
    const auto* numbers = static_cast<const ULONG*>(data);
    bool running = false;
    for (ULONG i = 0; i < value.parray->rgsabound[0].cElements; ++i) {
        running = running || numbers[i] == 1;
    }
    com.unaccessData(value.parray);
    return running;
}

// WMI's own process answers; its calls must impersonate the user.
void impersonate(const Com& com, IUnknown* proxy) {
    com.setProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                        RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

// Under WOW64, WMI answers a 32-bit caller from a 32-bit provider where both exist; the client
// is native, and so is the Credential Guard it meets. Nothing when the run is native, or the
// context cannot be had: WMI then answers as before.
void askNative(const Com& com, Held<IWbemContext>& context) {
    if (!underWow64() ||
        FAILED(com.createInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemContext, reinterpret_cast<void**>(&context.object)))) {
        return;
    }
    // Without __RequiredArchitecture, so that a machine with one provider still answers.
    VARIANT architecture{};
    architecture.vt = VT_I4;
    architecture.lVal = 64;
    if (FAILED(context.object->SetValue(L"__ProviderArchitecture", 0, &architecture))) {
        context.object->Release();
        context.object = nullptr;
    }
}

bool askWmi(const Com& com) {
    // A WMI that does not answer is taken to say no, rather than hold the run: the answer is
    // awaited that long, and the connection at most two minutes, the longest Windows allows.
    constexpr LONG kTimeoutMs = 5000;
    Held<IWbemLocator> locator;
    Held<IWbemServices> services;
    Held<IEnumWbemClassObject> results;
    Held<IWbemClassObject> device;
    Held<IWbemContext> context;
    askNative(com, context);
    const Text space(com, L"ROOT\\Microsoft\\Windows\\DeviceGuard");
    const Text language(com, L"WQL");
    const Text query(com, L"SELECT SecurityServicesRunning FROM Win32_DeviceGuard");
    // Older Windows, and Wine, have no such namespace.
    if (space.text == nullptr || language.text == nullptr || query.text == nullptr ||
        FAILED(com.createInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(&locator.object))) ||
        FAILED(locator.object->ConnectServer(space.text, nullptr, nullptr, nullptr,
                                             WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                             context.object, &services.object))) {
        return false;
    }
    impersonate(com, services.object);
    if (FAILED(services.object->ExecQuery(language.text, query.text,
                                          WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                          context.object, &results.object))) {
        return false;
    }
    impersonate(com, results.object);
    ULONG returned = 0;
    VARIANT value{};
    value.vt = VT_EMPTY;
    if (results.object->Next(kTimeoutMs, 1, &device.object, &returned) != WBEM_S_NO_ERROR ||
        returned != 1 ||
        FAILED(device.object->Get(L"SecurityServicesRunning", 0, &value, nullptr, nullptr))) {
        return false;
    }
    const bool running = holdsCredentialGuard(com, value);
    com.clearVariant(&value);
    return running;
}

} // namespace

bool credentialGuardRunning() {
    Com com{};
    if (!loadCom(com) || FAILED(com.initialize(nullptr, COINIT_MULTITHREADED))) {
        return false;
    }
    // The process's COM security, as WMI's callers set it before any call.
    com.initializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    const bool running = askWmi(com);
    com.uninitialize();
    return running;
}
