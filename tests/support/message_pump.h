// Helpers for tests that wait on the user-interface thread: pump messages
// until a condition holds, and a hidden window that records what it is sent.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace testing_support {

// Pumps this thread's messages until pred() is true or the time is up.
bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs);
// Pumps for the given time.
void PumpFor(DWORD ms);

struct RecordedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A hidden window recording every message in the client's private
// range (2049 to 2248), as the main window would receive them.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    HWND hwnd() const { return hwnd_; }
    const std::vector<RecordedMessage>& messages() const { return messages_; }
    std::vector<RecordedMessage> Of(UINT message) const;
    size_t Count(UINT message) const { return Of(message).size(); }
    // Waits until at least `count` messages of that id have arrived.
    bool WaitFor(UINT message, size_t count = 1, DWORD timeoutMs = 5000);
    void Clear() { messages_.clear(); }

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    HWND hwnd_ = nullptr;
    std::vector<RecordedMessage> messages_;
};

}  // namespace testing_support
