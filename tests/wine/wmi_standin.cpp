// A stand-in for WMI's locator, registered for one case: Wine has no Win32_DeviceGuard, and
// here Credential Guard runs (SecurityServicesRunning holds 2, then 1).
#define CINTERFACE
#include <windows.h>

#include <oleauto.h>
#include <wbemcli.h>

#include <cwchar>

namespace {

// Every object is static and serves one interface, so nothing is counted or freed.
template <typename Object, const IID& Id>
HRESULT STDMETHODCALLTYPE queryInterface(Object* self, REFIID asked, void** out) {
    const bool served = IsEqualIID(asked, IID_IUnknown) || IsEqualIID(asked, Id);
    *out = served ? self : nullptr;
    return served ? S_OK : E_NOINTERFACE;
}

template <typename Object> ULONG STDMETHODCALLTYPE count(Object*) {
    return 1;
}

// The slots a caller may use are filled; it calls no other.
template <typename Object, const IID& Id, typename Table> Table unknown() {
    Table table{};
    table.QueryInterface = queryInterface<Object, Id>;
    table.AddRef = count<Object>;
    table.Release = count<Object>;
    return table;
}

IWbemClassObject device;
IEnumWbemClassObject results;
IWbemServices services;
IWbemLocator locator;
IClassFactory factory;

HRESULT STDMETHODCALLTYPE get(IWbemClassObject*, LPCWSTR name, LONG, VARIANT* value, CIMTYPE*,
                              LONG*) {
    SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 0, 2);
    if (std::wcscmp(name, L"SecurityServicesRunning") != 0 || numbers == nullptr) {
        return E_INVALIDARG;
    }
    static_cast<LONG*>(numbers->pvData)[0] = 2;
    static_cast<LONG*>(numbers->pvData)[1] = 1;
    value->vt = VT_ARRAY | VT_I4;
    value->parray = numbers;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE next(IEnumWbemClassObject*, LONG, ULONG, IWbemClassObject** objects,
                               ULONG* returned) {
    static bool given = false;
    *returned = given ? 0 : 1;
    objects[0] = given ? nullptr : &device;
    given = true;
    return *returned == 1 ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
}

HRESULT STDMETHODCALLTYPE execQuery(IWbemServices*, BSTR, BSTR query, LONG, IWbemContext*,
                                    IEnumWbemClassObject** out) {
    *out = std::wcsstr(query, L"Win32_DeviceGuard") != nullptr ? &results : nullptr;
    return *out != nullptr ? S_OK : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE connect(IWbemLocator*, BSTR space, BSTR, BSTR, BSTR, LONG, BSTR,
                                  IWbemContext*, IWbemServices** out) {
    *out = _wcsicmp(space, L"root\\Microsoft\\Windows\\DeviceGuard") == 0 ? &services : nullptr;
    return *out != nullptr ? S_OK : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE create(IClassFactory*, IUnknown*, REFIID asked, void** out) {
    return locator.lpVtbl->QueryInterface(&locator, asked, out);
}

HRESULT STDMETHODCALLTYPE lock(IClassFactory*, BOOL) {
    return S_OK;
}

} // namespace

// Exported by wmi_standin.def, since the headers declare it without dllexport.
HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID asked, void** out) {
    static IWbemClassObjectVtbl deviceTable =
        unknown<IWbemClassObject, IID_IWbemClassObject, IWbemClassObjectVtbl>();
    static IEnumWbemClassObjectVtbl resultsTable =
        unknown<IEnumWbemClassObject, IID_IEnumWbemClassObject, IEnumWbemClassObjectVtbl>();
    static IWbemServicesVtbl servicesTable =
        unknown<IWbemServices, IID_IWbemServices, IWbemServicesVtbl>();
    static IWbemLocatorVtbl locatorTable =
        unknown<IWbemLocator, IID_IWbemLocator, IWbemLocatorVtbl>();
    static IClassFactoryVtbl factoryTable =
        unknown<IClassFactory, IID_IClassFactory, IClassFactoryVtbl>();
    deviceTable.Get = get;
    resultsTable.Next = next;
    servicesTable.ExecQuery = execQuery;
    locatorTable.ConnectServer = connect;
    factoryTable.CreateInstance = create;
    factoryTable.LockServer = lock;
    device.lpVtbl = &deviceTable;
    results.lpVtbl = &resultsTable;
    services.lpVtbl = &servicesTable;
    locator.lpVtbl = &locatorTable;
    factory.lpVtbl = &factoryTable;
    return factory.lpVtbl->QueryInterface(&factory, asked, out);
}
