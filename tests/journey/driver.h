// Drives the real client the way a person with a screen reader does: the
// program is installed into a folder of its own with a "service.ini" naming
// a stand-in instance, controls are found through the accessibility objects
// of the client's windows (by name and role), and every action is real
// input (SendInput) aimed at a control's accessible location, with the
// window brought to the foreground first.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/unique_handle.h"

namespace journey {

// What a screen reader reads of one control.
struct Element {
    HWND window = nullptr;  // the top-level window it belongs to
    LONG id = 0;            // child id in that window's client object
    std::wstring name;
    std::wstring value;
    LONG role = 0;
    LONG state = 0;
    RECT location{};  // screen pixels

    POINT Centre() const { return POINT{(location.left + location.right) / 2, (location.top + location.bottom) / 2}; }
    bool Has(LONG flag) const { return (state & flag) != 0; }
};

// The client object's children of one window (empty when it answers none).
std::vector<Element> ReadWindow(HWND window);
// The name of a window's client object itself (an alert is named by its texts).
std::wstring WindowName(HWND window);
std::optional<Element> Find(HWND window, const std::wstring& name, LONG role);
// The first child that reads as having the keyboard focus.
std::optional<Element> FocusedIn(HWND window);
// The children as "role state name" lines, for failure messages.
std::string Describe(const std::vector<Element>& elements);
std::string Utf8(const std::wstring& text);
std::wstring Wide(const char* utf8);

// Visible top-level windows of a class that belong to a process.
std::vector<HWND> WindowsOf(DWORD processId, const wchar_t* className);

// Waits, pumping this thread's messages, until pred() holds.
bool WaitUntil(const std::function<bool()>& pred, DWORD ms);
void Pause(DWORD ms);

// Real input.
bool BringToFront(HWND window);
void MoveTo(POINT screen);
void Click(POINT screen, bool right = false);
void Click(const Element& element, bool right = false);
void Press(WORD vk, bool shift = false, bool control = false);
void Type(const std::wstring& text);  // characters, as an input method delivers them

// The real executable in a throw-away install folder.
class Client {
public:
    static const wchar_t kClass[];

    explicit Client(uint16_t servicePort);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Start();                 // a new process; false when it could not start
    HANDLE StartAnother();        // a second start; its process handle (owned here)
    HWND WaitForWindow(DWORD ms = 20000);
    HWND window() const { return window_; }
    DWORD processId() const { return processId_; }
    const std::wstring& exe() const { return exe_; }
    // Closes the client as the system would; its exit code (999: still running).
    DWORD Close(DWORD ms = 20000);
    bool Exited(DWORD ms = 0) const;

    std::vector<Element> Read() const { return ReadWindow(window_); }
    std::optional<Element> Find(const std::wstring& name, LONG role) const;
    // Waits until a control with that name and role shows (and, when given,
    // has every state flag of `state`).
    std::optional<Element> WaitFor(const std::wstring& name, LONG role, DWORD ms = 10000, LONG state = 0) const;
    // The tip banner's text as its alert object reads, empty when none shows.
    std::wstring TipText() const;
    std::wstring WaitForTip(DWORD ms = 8000) const;
    // The visible pop-up menu of the client, or null.
    HWND Menu() const;

private:
    std::wstring install_;
    std::wstring exe_;
    DWORD processId_ = 0;
    HWND window_ = nullptr;
    std::vector<shell::UniqueHandleKernel> processes_;
};

}  // namespace journey
