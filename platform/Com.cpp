#include "platform/Com.h"

#include "platform/Errors.h"
#include "platform/Files.h"

ComApartment::ComApartment() : initialized_(SUCCEEDED(CoInitialize(nullptr))) {}

ComApartment::~ComApartment() {
    if (initialized_) CoUninitialize();
}

std::string OleErrorMessage(HRESULT code) {
    std::string text = SysErrorMessage(static_cast<DWORD>(code));
    if (text.empty()) text = Format("OLE error %.8x", static_cast<unsigned>(code));
    return text;
}

ComPtr<IUnknown> CreateComObject(REFCLSID clsid) {
    ComPtr<IUnknown> object;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  IID_IUnknown, reinterpret_cast<void**>(object.Put()));
    if (FAILED(hr)) throw EOleSysError(OleErrorMessage(hr), hr);
    return object;
}

void* QueryComInterface(IUnknown* object, REFIID iid) {
    void* result = nullptr;
    if (object == nullptr || FAILED(object->QueryInterface(iid, &result)) || result == nullptr)
        throw EIntfCastError("Interface not supported");
    return result;
}
