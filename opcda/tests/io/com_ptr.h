// com_ptr.h - a counted COM interface pointer for the I/O tests, and a
// typed QueryInterface on it.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace iotest {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr &other) : m_p(other.m_p)
    {
        if (m_p != nullptr)
            m_p->AddRef();
    }
    ComPtr &operator=(const ComPtr &other)
    {
        if (other.m_p != nullptr)
            other.m_p->AddRef();
        Reset();
        m_p = other.m_p;
        return *this;
    }

    // Takes over a reference the caller already holds.
    static ComPtr Attach(T *p)
    {
        ComPtr result;
        result.m_p = p;
        return result;
    }

    T *operator->() const { return m_p; }
    T *Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T **Out()
    {
        Reset();
        return &m_p;
    }
    void **OutVoid() { return reinterpret_cast<void **>(Out()); }
    void Reset()
    {
        if (m_p != nullptr) {
            T *p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }

private:
    T *m_p = nullptr;
};

// The object's interface I (iid); empty when the object does not have it.
template <typename I>
ComPtr<I> Query(IUnknown *object, REFIID iid, HRESULT *result = nullptr)
{
    ComPtr<I> out;
    HRESULT hr = object != nullptr ? object->QueryInterface(iid, out.OutVoid()) : E_POINTER;
    if (result != nullptr)
        *result = hr;
    return out;
}

} // namespace iotest
