// What assistive technology sees of a skinned window. The framework draws
// its controls itself, so each window answers WM_GETOBJECT for its client
// with an IAccessible (plain MSAA) whose children are the visible controls:
// a name (the text, else the tool tip or the skin's "accname"), a role from
// the control class and the layout (or the skin's "accrole"), a state, a
// place on the screen and the default action "click", which reaches the
// window's Notify the way a mouse click does. The native text boxes answer
// with the system's object for them under the box's own name.
//
// Roles by class; "accrole" overrides with one of the keywords in brackets:
//   Button                    push button        [button]
//   Option without a group    check box          [checkbox]
//   Option of a group         radio button       [radio]; a page tab [pagetab]
//   Button or link of text    link               [link]
//   Edit, RichEdit            editable text      [edit]
//   Label, FormattedText      static text        [text]
//   ListElement in a menu     menu item          [menuitem]; a nameless
//                             disabled one is a separator [separator]
//   ListElement elsewhere     list item          [listitem]
//   Control with a picture    graphic            [graphic], when named
//   Gif                       animation          [animation], when named
//   layouts, nameless parts   not shown          [none]
// A label laid over a text box (a hint) names the box instead of showing.
//
// oleacc is loaded on the first question, so start-up does not pay for it.
// The objects follow their window through the paint manager's alive token:
// once the window is gone every question is answered RPC_E_DISCONNECTED.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <string>

#include "shell/com_ptr.h"

namespace ui {

class Control;
class PaintManager;

// {618736E0-3C3D-11CF-810C-00AA00389B71}. With mingw-w64 the symbol
// IID_IAccessible of the oleacc import library is an import thunk, not the
// interface id; this constant is used everywhere instead.
extern const IID kIidIAccessible;

// What one control shows; role 0 when it is not shown at all.
struct AccessibleInfo {
    LONG role = 0;
    std::wstring name;
    std::wstring description;
    std::wstring action;  // the default action, empty when there is none
    LONG state = 0;
};
// `inMenu`: list elements are menu items. `focus`: the control that has
// the framework's focus (in a menu: the highlighted item).
AccessibleInfo DescribeControl(const Control& control, bool inMenu, const Control* focus);

// The answer to WM_GETOBJECT: an object for the window's client, 0 for
// every other object id (the system answers those). `role` is the
// window's own: ROLE_SYSTEM_CLIENT, ROLE_SYSTEM_MENUPOPUP or
// ROLE_SYSTEM_ALERT (an alert is named by its texts).
LRESULT AnswerGetObject(PaintManager& manager, WPARAM wParam, LPARAM lParam, LONG role);

// The answer to WM_GETOBJECT of a native text box: the system's object
// for the box, named as DescribeControl names its control.
LRESULT AnswerNativeBoxGetObject(HWND box, WPARAM wParam, LPARAM lParam, const Control& control);

// NotifyWinEvent for a control of a window (its AccessibleId), or for the
// window's client itself when `control` is null.
void RaiseAccessibleEvent(HWND hwnd, DWORD event, const Control* control);

// Posted to a window to run a control's default action or give it the
// focus after the client's call has returned: wParam is the control's
// AccessibleId negated, lParam a link index, kActionClick or kActionFocus.
UINT AccessibleActionMessage();
constexpr LPARAM kActionClick = -1;
constexpr LPARAM kActionFocus = -2;
void PerformAccessibleAction(PaintManager& manager, WPARAM wParam, LPARAM lParam);

// A window's object the way a client reads it (AccessibleObjectFromWindow);
// empty when there is none.
shell::ComPtr<IAccessible> AccessibleOfWindow(HWND hwnd, LONG objectId = OBJID_CLIENT);

}  // namespace ui
