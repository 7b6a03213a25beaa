// A counted reference to a COM interface: AddRef on copy, Release on destruction.
//
// Naming: the runtime's own classes name their members in PascalCase. The owning wrappers (ComPtr, BStr, Variant,
// BusError) are the exception: like the standard owners they mirror, their members are lower-case (get, reset, out,
// release, detach, swap, length, utf8, view, name, message); their named constructors (Attach, QueryFrom) are not.
#pragma once

#include "platform/ole/Unknown.h"

#include <utility>

template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference (AddRef).
    explicit ComPtr(T* p) : m_p(p) {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(const ComPtr& other) {
        ComPtr(other).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr(std::move(other)).swap(*this);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Adopts a reference the caller already owns (no AddRef).
    static ComPtr Attach(T* p) {
        ComPtr r;
        r.m_p = p;
        return r;
    }
    // Asks any interface for T; empty when the object refuses.
    template <class U> static ComPtr QueryFrom(U* source, HRESULT* result = nullptr) {
        ComPtr r;
        HRESULT hr = E_POINTER;
        if (source)
            hr = source->QueryInterface(InterfaceId<T>::Get(), reinterpret_cast<void**>(&r.m_p));
        if (FAILED(hr))
            r.m_p = nullptr;
        if (result)
            *result = hr;
        return r;
    }

    void reset() {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    T* detach() { return std::exchange(m_p, nullptr); }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-arguments: releases the held reference and hands out the slot.
    T** out() {
        reset();
        return &m_p;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    void swap(ComPtr& other) noexcept { std::swap(m_p, other.m_p); }

private:
    T* m_p = nullptr;
};
