#include "tests/ui/accessible_reader.h"

#include <algorithm>

#include "shell/com_ptr.h"
#include "ui/markup.h"

namespace ui_test {

VARIANT ChildId(LONG id) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

namespace {

std::wstring Read(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), IAccessible* object, LONG id) {
    shell::UniqueBstr text;
    BSTR raw = nullptr;
    if (FAILED((object->*get)(ChildId(id), &raw))) raw = nullptr;
    text.reset(raw);
    return text ? std::wstring(text.get(), ::SysStringLen(text.get())) : std::wstring();
}

LONG ReadLong(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), IAccessible* object, LONG id) {
    shell::UniqueVariant value;
    if (FAILED((object->*get)(ChildId(id), value.put())) || value.get()->vt != VT_I4) return -1;
    return value.get()->lVal;
}

}  // namespace

AccChild ReadChild(IAccessible* object, LONG id) {
    AccChild c;
    c.id = id;
    c.name = Read(&IAccessible::get_accName, object, id);
    c.description = Read(&IAccessible::get_accDescription, object, id);
    c.action = Read(&IAccessible::get_accDefaultAction, object, id);
    c.role = ReadLong(&IAccessible::get_accRole, object, id);
    c.state = ReadLong(&IAccessible::get_accState, object, id);
    LONG x = 0, y = 0, w = 0, h = 0;
    if (SUCCEEDED(object->accLocation(&x, &y, &w, &h, ChildId(id)))) c.location = RECT{x, y, x + w, y + h};
    return c;
}

std::vector<AccChild> ReadChildren(IAccessible* object) {
    std::vector<AccChild> out;
    LONG count = 0;
    if (object == nullptr || FAILED(object->get_accChildCount(&count))) return out;
    for (LONG id = 1; id <= count; ++id) out.push_back(ReadChild(object, id));
    return out;
}

const AccChild* FindChild(const std::vector<AccChild>& children, const std::wstring& name, LONG role) {
    auto it = std::find_if(children.begin(), children.end(),
                           [&](const AccChild& c) { return c.name == name && c.role == role; });
    return it == children.end() ? nullptr : &*it;
}

std::string Dump(const std::vector<AccChild>& children) {
    std::string out;
    for (const AccChild& c : children) {
        out += std::to_string(c.id) + ": role " + std::to_string(c.role) + " state " + std::to_string(c.state) +
               " \"" + ui::Utf16ToUtf8(c.name) + "\"\n";
    }
    return out;
}

namespace {
WinEventRecorder* g_recorder = nullptr;
}

WinEventRecorder::WinEventRecorder(DWORD first, DWORD last) {
    g_recorder = this;
    hook_ = ::SetWinEventHook(first, last, nullptr, &Hook, ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
}

WinEventRecorder::~WinEventRecorder() {
    if (hook_ != nullptr) ::UnhookWinEvent(hook_);
    g_recorder = nullptr;
}

void CALLBACK WinEventRecorder::Hook(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD,
                                     DWORD) {
    if (g_recorder != nullptr) g_recorder->events_.push_back(WinEvent{event, hwnd, object, child});
}

std::vector<WinEvent> WinEventRecorder::Of(DWORD event) const {
    std::vector<WinEvent> out;
    for (const WinEvent& e : events_) {
        if (e.event == event) out.push_back(e);
    }
    return out;
}

}  // namespace ui_test
