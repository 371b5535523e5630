// Placed into the client by a journey as a message hook: when one of the
// client's private messages (2049 to 2248) reaches its main window, it sets
// the named event "zudedo-witness-<id>" if the journey made one. Messages
// the window leaves unanswered are seen this way too.
#include <windows.h>

#include <cwchar>

extern "C" __declspec(dllexport) LRESULT CALLBACK WitnessGetMessage(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && lParam != 0) {
        const MSG* m = reinterpret_cast<const MSG*>(lParam);
        if (m->message >= 2049 && m->message <= 2248 && m->hwnd != nullptr) {
            wchar_t cls[64] = {};
            ::GetClassNameW(m->hwnd, cls, 64);
            if (std::wcscmp(cls, L"zudedo_main_panel") == 0) {
                wchar_t name[64] = {};
                std::swprintf(name, 64, L"zudedo-witness-%u", m->message);
                HANDLE seen = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
                if (seen != nullptr) {
                    ::SetEvent(seen);
                    ::CloseHandle(seen);
                }
            }
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
