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

// An object of the interface with its table: the slots a caller may use are filled, and it
// calls no other.
template <const IID& Id, typename Object, typename Table> void serve(Object& object, Table& table) {
    table.QueryInterface = queryInterface<Object, Id>;
    table.AddRef = table.Release = count<Object>;
    object.lpVtbl = &table;
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

// The exe asks for one object, once.
HRESULT STDMETHODCALLTYPE next(IEnumWbemClassObject*, LONG, ULONG, IWbemClassObject** objects,
                               ULONG* returned) {
    objects[0] = &device;
    *returned = 1;
    return WBEM_S_NO_ERROR;
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

} // namespace

// Exported by wmi_standin.def, since the headers declare it without dllexport.
HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID asked, void** out) {
    static IWbemClassObjectVtbl deviceTable{};
    static IEnumWbemClassObjectVtbl resultsTable{};
    static IWbemServicesVtbl servicesTable{};
    static IWbemLocatorVtbl locatorTable{};
    static IClassFactoryVtbl factoryTable{};
    deviceTable.Get = get;
    resultsTable.Next = next;
    servicesTable.ExecQuery = execQuery;
    locatorTable.ConnectServer = connect;
    factoryTable.CreateInstance = create;
    serve<IID_IWbemClassObject>(device, deviceTable);
    serve<IID_IEnumWbemClassObject>(results, resultsTable);
    serve<IID_IWbemServices>(services, servicesTable);
    serve<IID_IWbemLocator>(locator, locatorTable);
    serve<IID_IClassFactory>(factory, factoryTable);
    return factory.lpVtbl->QueryInterface(&factory, asked, out);
}
