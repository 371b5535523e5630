// Reading the framework's accessibility objects back the way a screen
// reader does (through oleacc and IAccessible only), and a recorder of the
// WinEvents this process raises (an out-of-context hook: the events arrive
// while the test pumps messages).
//
// Finding a control by name and role:
//
//     auto object = ui::AccessibleOfWindow(hwnd);
//     auto children = ui_test::ReadChildren(object.get());
//     const ui_test::AccChild* login = ui_test::FindChild(children, L"登录", ROLE_SYSTEM_PUSHBUTTON);
//     object->accDoDefaultAction(ui_test::ChildId(login->id));   // a click
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <string>
#include <vector>

namespace ui_test {

struct AccChild {
    LONG id = 0;  // the child id it was read with
    std::wstring name;
    std::wstring description;
    std::wstring action;
    LONG role = 0;
    LONG state = 0;
    RECT location{};  // screen pixels
};

VARIANT ChildId(LONG id);
// One child (or the object itself with CHILDID_SELF).
AccChild ReadChild(IAccessible* object, LONG id);
// Every child, by the ids 1..count.
std::vector<AccChild> ReadChildren(IAccessible* object);
// The first child with that name and role, or null.
const AccChild* FindChild(const std::vector<AccChild>& children, const std::wstring& name, LONG role);
// The children as "role name" lines, for failure messages.
std::string Dump(const std::vector<AccChild>& children);

struct WinEvent {
    DWORD event;
    HWND hwnd;
    LONG object;
    LONG child;
};

class WinEventRecorder {
public:
    WinEventRecorder(DWORD first, DWORD last);
    ~WinEventRecorder();
    WinEventRecorder(const WinEventRecorder&) = delete;
    WinEventRecorder& operator=(const WinEventRecorder&) = delete;

    std::vector<WinEvent> Of(DWORD event) const;
    void Clear() { events_.clear(); }

private:
    static void CALLBACK Hook(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD);
    HWINEVENTHOOK hook_ = nullptr;
    std::vector<WinEvent> events_;
};

}  // namespace ui_test
