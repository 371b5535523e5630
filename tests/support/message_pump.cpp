#include "tests/support/message_pump.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace testing_support {

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (pred()) return true;
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)),
                                    QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

MessageRecorder::MessageRecorder() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &MessageRecorder::Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"zudedo_test_recorder";
    ::RegisterClassExW(&wc);
    // Message-only: the services need no display to report to it.
    hwnd_ = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
    if (hwnd_ == nullptr) {
        ADD_FAILURE() << "no recorder window (error " << ::GetLastError() << ")";
        return;
    }
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageRecorder::~MessageRecorder() {
    if (hwnd_ == nullptr) return;
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
}

LRESULT CALLBACK MessageRecorder::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<MessageRecorder*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr && msg >= 2049 && msg <= 2248) {
        self->messages_.push_back({msg, wp, lp});
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

std::vector<RecordedMessage> MessageRecorder::Of(UINT message) const {
    std::vector<RecordedMessage> out;
    for (const auto& m : messages_) {
        if (m.message == message) out.push_back(m);
    }
    return out;
}

bool MessageRecorder::WaitFor(UINT message, size_t count, DWORD timeoutMs) {
    return PumpUntil([&] { return Count(message) >= count; }, timeoutMs);
}

}  // namespace testing_support
