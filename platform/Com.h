// COM interface pointers and the requests that obtain them. Raises the errors the user sees:
// EOleSysError when a class object cannot be made, EIntfCastError when an interface is missing.
// COM itself is initialised by the program entry (with a window), or for a step by ComApartment.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <string>
#include <utility>

// Owns one reference to a COM interface and releases it when it goes (also while an exception
// passes). Not copyable; ownership moves.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {}  // takes over the caller's reference
    ~ComPtr() { Release(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Release();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For an out-parameter: drops the current reference first.
    T** Put() {
        Release();
        return &p_;
    }
    void Release() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

// COM on this thread (a single-threaded apartment) while the object lives: CoInitialize, and
// CoUninitialize at the end when it succeeded, also where COM was already initialised (S_FALSE
// counts as a call to balance). A failure leaves COM as it was; the requests then raise.
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_;
};

// The message of a failed COM request: the system's text for the code (trimmed of trailing
// blanks, line breaks and full stops), or "OLE error %.8x" when the system has none.
std::string OleErrorMessage(HRESULT code);

// CoCreateInstance with no outer object, in-process or local server, asking for IUnknown.
// A failure raises EOleSysError with OleErrorMessage of its code.
ComPtr<IUnknown> CreateComObject(REFCLSID clsid);

// QueryInterface for iid; an object that does not offer it raises
// EIntfCastError("Interface not supported").
void* QueryComInterface(IUnknown* object, REFIID iid);

template <class T>
ComPtr<T> QueryInterfaceOf(IUnknown* object, REFIID iid) {
    return ComPtr<T>(static_cast<T*>(QueryComInterface(object, iid)));
}
