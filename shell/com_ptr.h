// Move-only owners for COM: an interface pointer holding one reference, a
// BSTR and a VARIANT. Header-only; they need nothing but the system's COM
// and automation headers (and the handle owner template for the BSTR).
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <cstddef>
#include <utility>

#include "shell/unique_handle.h"

namespace shell {

template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    ~ComPtr() { reset(); }

    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : ptr_(other.Detach()) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }

    T* get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }

    // Takes over a reference the caller holds (no AddRef); the one held
    // before is released.
    void Attach(T* ptr) noexcept {
        T* old = std::exchange(ptr_, ptr);
        if (old != nullptr) old->Release();
    }
    // Hands the reference to the caller (no Release).
    T* Detach() noexcept { return std::exchange(ptr_, nullptr); }
    void reset() noexcept { Attach(nullptr); }

    // Releases first, then hands out the address for an out-parameter.
    T** put() noexcept {
        reset();
        return &ptr_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    // Another interface of the same object (an added reference), or empty.
    template <typename U>
    ComPtr<U> As() const noexcept {
        ComPtr<U> other;
        // A refused query owes nothing, whatever it left in the slot.
        if (ptr_ != nullptr && FAILED(ptr_->QueryInterface(__uuidof(U), other.put_void()))) other.Detach();
        return other;
    }

    // Writes a second reference to an out-parameter whose receiver
    // releases it.
    void CopyTo(T** out) const noexcept {
        if (out == nullptr) return;
        if (ptr_ != nullptr) ptr_->AddRef();
        *out = ptr_;
    }

private:
    T* ptr_ = nullptr;
};

inline void FreeBstr(BSTR text) noexcept { ::SysFreeString(text); }

using UniqueBstr = UniqueHandle<BSTR, SimpleTraits<BSTR, nullptr, FreeBstr>>;

// A VARIANT cleared (its string freed, its interface released) when the
// owner goes; empty (VT_EMPTY) after a move or reset.
class UniqueVariant {
public:
    UniqueVariant() noexcept { ::VariantInit(&value_); }
    ~UniqueVariant() { reset(); }

    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    UniqueVariant(UniqueVariant&& other) noexcept : value_(other.release()) {}
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = other.release();
        }
        return *this;
    }

    // The owned value itself, for in-parameters and reading.
    VARIANT* get() noexcept { return &value_; }
    const VARIANT* get() const noexcept { return &value_; }

    void reset() noexcept {
        ::VariantClear(&value_);
        ::VariantInit(&value_);
    }
    // Clears first, then hands out the address for an out-parameter.
    VARIANT* put() noexcept {
        reset();
        return &value_;
    }
    // Hands the value (and what it holds) to the caller.
    VARIANT release() noexcept {
        VARIANT out = value_;
        ::VariantInit(&value_);
        return out;
    }

private:
    VARIANT value_;
};

}  // namespace shell
