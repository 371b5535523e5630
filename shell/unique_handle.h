// Move-only owners for Windows handles: one template, one alias per kind.
#pragma once

#include <windows.h>
#include <wininet.h>
#include <wincrypt.h>

#include <utility>

namespace shell {

template <typename T, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T value) noexcept : value_(value) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return Traits::IsValid(value_); }

    T release() noexcept { return std::exchange(value_, Traits::Invalid()); }

    void reset(T value = Traits::Invalid()) noexcept {
        T old = std::exchange(value_, value);
        if (Traits::IsValid(old)) Traits::Close(old);
    }

    // Resets first, then hands out the address for an out-parameter.
    T* put() noexcept {
        reset();
        return &value_;
    }

private:
    T value_ = Traits::Invalid();
};

template <typename T, T InvalidValue, auto CloseFn>
struct SimpleTraits {
    static constexpr T Invalid() noexcept { return InvalidValue; }
    static bool IsValid(T v) noexcept { return v != InvalidValue; }
    static void Close(T v) noexcept { CloseFn(v); }
};

struct KernelHandleTraits {
    static HANDLE Invalid() noexcept { return nullptr; }
    static bool IsValid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};

struct FileHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};

struct CryptProvTraits {
    static HCRYPTPROV Invalid() noexcept { return 0; }
    static bool IsValid(HCRYPTPROV h) noexcept { return h != 0; }
    static void Close(HCRYPTPROV h) noexcept { ::CryptReleaseContext(h, 0); }
};

struct CryptKeyTraits {
    static HCRYPTKEY Invalid() noexcept { return 0; }
    static bool IsValid(HCRYPTKEY h) noexcept { return h != 0; }
    static void Close(HCRYPTKEY h) noexcept { ::CryptDestroyKey(h); }
};

struct CryptHashTraits {
    static HCRYPTHASH Invalid() noexcept { return 0; }
    static bool IsValid(HCRYPTHASH h) noexcept { return h != 0; }
    static void Close(HCRYPTHASH h) noexcept { ::CryptDestroyHash(h); }
};

inline void CloseInternet(HINTERNET h) noexcept { ::InternetCloseHandle(h); }
inline void CloseRegKey(HKEY h) noexcept { ::RegCloseKey(h); }
inline void DestroyWnd(HWND h) noexcept { ::DestroyWindow(h); }
inline void FreeLib(HMODULE h) noexcept { ::FreeLibrary(h); }

using UniqueHandleKernel = UniqueHandle<HANDLE, KernelHandleTraits>;
using UniqueFile = UniqueHandle<HANDLE, FileHandleTraits>;
using UniqueInternet = UniqueHandle<HINTERNET, SimpleTraits<HINTERNET, nullptr, CloseInternet>>;
using UniqueRegKey = UniqueHandle<HKEY, SimpleTraits<HKEY, nullptr, CloseRegKey>>;
using UniqueWindow = UniqueHandle<HWND, SimpleTraits<HWND, nullptr, DestroyWnd>>;
using UniqueModule = UniqueHandle<HMODULE, SimpleTraits<HMODULE, nullptr, FreeLib>>;
using UniqueCryptProv = UniqueHandle<HCRYPTPROV, CryptProvTraits>;
using UniqueCryptKey = UniqueHandle<HCRYPTKEY, CryptKeyTraits>;
using UniqueCryptHash = UniqueHandle<HCRYPTHASH, CryptHashTraits>;

}  // namespace shell
