#include "ui/accessibility.h"

#include <algorithm>
#include <new>
#include <vector>

#include "shell/unique_handle.h"
#include "ui/controls.h"
#include "ui/native_controls.h"
#include "ui/paint_manager.h"
#include "ui/window_ref.h"

namespace ui {

const IID kIidIAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

namespace {

// --------------------------------------------------------------- oleacc

struct Oleacc {
    using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    using CreateStdAccessibleObjectFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
    using AccessibleObjectFromWindowFn = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);

    LresultFromObjectFn lresultFromObject = nullptr;
    CreateStdAccessibleObjectFn createStdAccessibleObject = nullptr;
    AccessibleObjectFromWindowFn accessibleObjectFromWindow = nullptr;
};

template <typename Fn>
Fn Load(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Loaded once, on the first question, and kept for the process.
const Oleacc& Acc() {
    static shell::UniqueModule module(::LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    static const Oleacc table = [] {
        Oleacc t;
        t.lresultFromObject = Load<Oleacc::LresultFromObjectFn>(module.get(), "LresultFromObject");
        t.createStdAccessibleObject =
            Load<Oleacc::CreateStdAccessibleObjectFn>(module.get(), "CreateStdAccessibleObject");
        t.accessibleObjectFromWindow =
            Load<Oleacc::AccessibleObjectFromWindowFn>(module.get(), "AccessibleObjectFromWindow");
        return t;
    }();
    return table;
}

shell::ComPtr<IAccessible> StandardObject(HWND hwnd, LONG objectId) {
    shell::ComPtr<IAccessible> object;
    const Oleacc& acc = Acc();
    if (acc.createStdAccessibleObject != nullptr &&
        FAILED(acc.createStdAccessibleObject(hwnd, objectId, kIidIAccessible, object.put_void()))) {
        object.Detach();  // a refused call owes nothing
    }
    return object;
}

// ------------------------------------------------------ control naming

bool IsTextBox(const Control& c) { return c.GetClass() == L"Edit" || c.GetClass() == L"RichEdit"; }

// The hint of a text box: the first label without mouse laid over it
// after it in the same overlapping container.
const Control* HintOf(const Control& box) {
    const Control* parent = box.GetParent();
    if (parent == nullptr || parent->GetClass() != L"Container") return nullptr;
    const auto* container = static_cast<const Container*>(parent);
    for (int i = container->GetItemIndex(&box) + 1; i > 0 && i < container->GetCount(); ++i) {
        const Control* c = container->GetItemAt(i);
        if (c->GetClass() == L"Label" && !c->IsMouseEnabled()) return c;
    }
    return nullptr;
}

bool IsHintLabel(const Control& label) {
    const Control* parent = label.GetParent();
    if (label.GetClass() != L"Label" || parent == nullptr || parent->GetClass() != L"Container") return false;
    const auto* container = static_cast<const Container*>(parent);
    for (int i = 0; i < container->GetCount(); ++i) {
        const Control* c = container->GetItemAt(i);
        if (IsTextBox(*c) && HintOf(*c) == &label) return true;
    }
    return false;
}

bool IsCjk(wchar_t ch) {
    return (ch >= 0x2E80 && ch <= 0x9FFF) || (ch >= 0xF900 && ch <= 0xFAFF) || (ch >= 0xFF00 && ch <= 0xFFEF) ||
           (ch >= 0x3000 && ch <= 0x303F);
}

// Shown text as a name: one line, single spaces, and no letter spacing
// between Chinese characters ("登 录" is read "登录").
std::wstring NormalizeName(const std::wstring& text) {
    std::wstring out;
    bool space = false;
    for (wchar_t ch : text) {
        if (ch == L' ' || ch == L'\t' || ch == L'\r' || ch == L'\n' || ch == 0x3000) {
            space = !out.empty();
            continue;
        }
        if (space && !(IsCjk(out.back()) && IsCjk(ch))) out.push_back(L' ');
        space = false;
        out.push_back(ch);
    }
    return out;
}

// The text a control shows: a menu item shows its label's.
std::wstring ShownText(const Control& c) {
    if (c.GetClass() == L"FormattedText") return static_cast<const FormattedText&>(c).GetPlainText();
    if (c.GetClass() == L"ListElement") {
        const auto& item = static_cast<const Container&>(c);
        for (int i = 0; i < item.GetCount(); ++i) {
            const std::wstring text = ShownText(*item.GetItemAt(i));
            if (!text.empty()) return text;
        }
    }
    return IsTextBox(c) ? std::wstring() : c.GetText();
}

bool IsSeparator(const Control& c) {
    return c.GetClass() == L"ListElement" && !c.IsMouseEnabled() && NormalizeName(ShownText(c)).empty();
}

// A menu item is unavailable when disabled itself, when it ignores the
// mouse, or when its label is greyed (UIMenu::DisableItem).
bool IsUnavailable(const Control& c) {
    if (!c.IsEnabled()) return true;
    if (c.GetClass() != L"ListElement") return false;
    if (!c.IsMouseEnabled()) return true;
    const auto& item = static_cast<const Container&>(c);
    for (int i = 0; i < item.GetCount(); ++i) {
        if (!item.GetItemAt(i)->IsEnabled()) return true;
    }
    return false;
}

LONG RoleOfKeyword(const std::wstring& keyword) {
    struct Entry {
        const wchar_t* keyword;
        LONG role;
    };
    static const Entry table[] = {
        {L"none", -1},
        {L"button", ROLE_SYSTEM_PUSHBUTTON},
        {L"checkbox", ROLE_SYSTEM_CHECKBUTTON},
        {L"radio", ROLE_SYSTEM_RADIOBUTTON},
        {L"pagetab", ROLE_SYSTEM_PAGETAB},
        {L"link", ROLE_SYSTEM_LINK},
        {L"edit", ROLE_SYSTEM_TEXT},
        {L"text", ROLE_SYSTEM_STATICTEXT},
        {L"menuitem", ROLE_SYSTEM_MENUITEM},
        {L"separator", ROLE_SYSTEM_SEPARATOR},
        {L"listitem", ROLE_SYSTEM_LISTITEM},
        {L"graphic", ROLE_SYSTEM_GRAPHIC},
        {L"animation", ROLE_SYSTEM_ANIMATION},
        {L"pane", ROLE_SYSTEM_PANE},
    };
    for (const Entry& e : table) {
        if (keyword == e.keyword) return e.role;
    }
    return 0;
}

std::wstring NameOf(const Control& c) {
    if (!c.GetAccessibleName().empty()) return c.GetAccessibleName();
    std::wstring name = NormalizeName(ShownText(c));
    if (name.empty()) name = NormalizeName(c.GetToolTip());
    if (name.empty() && IsTextBox(c)) {
        if (const Control* hint = HintOf(c)) name = NormalizeName(hint->GetText());
    }
    return name;
}

LONG RoleOf(const Control& c, bool inMenu, const std::wstring& name) {
    const LONG given = RoleOfKeyword(c.GetAccessibleRole());
    if (given < 0) return 0;
    if (given > 0) return given;
    const std::wstring_view cls = c.GetClass();
    if (cls == L"Button") return ROLE_SYSTEM_PUSHBUTTON;
    if (cls == L"Option") {
        return static_cast<const Option&>(c).GetGroup().empty() ? ROLE_SYSTEM_CHECKBUTTON : ROLE_SYSTEM_RADIOBUTTON;
    }
    if (IsTextBox(c)) return ROLE_SYSTEM_TEXT;
    if (cls == L"WebBrowser") return ROLE_SYSTEM_PANE;
    if (cls == L"ListElement") {
        if (!inMenu) return ROLE_SYSTEM_LISTITEM;
        return IsSeparator(c) ? ROLE_SYSTEM_SEPARATOR : ROLE_SYSTEM_MENUITEM;
    }
    if (name.empty()) return 0;  // nothing to say: decoration
    if (cls == L"Label") return IsHintLabel(c) ? 0 : ROLE_SYSTEM_STATICTEXT;
    if (cls == L"FormattedText") return ROLE_SYSTEM_STATICTEXT;
    if (cls == L"Gif") return ROLE_SYSTEM_ANIMATION;
    if (cls == L"Control" && !c.GetBkImage().empty()) return ROLE_SYSTEM_GRAPHIC;
    return 0;
}

// Controls whose Activate is a click.
bool Clickable(const Control& c) {
    const std::wstring_view cls = c.GetClass();
    return cls == L"Button" || cls == L"Option" || (cls == L"ListElement" && !IsSeparator(c));
}

// ------------------------------------------------------------- elements

// One child of a window's object: a control (with the native window it
// hosts, the browser's), a link inside a formatted text, or a native
// window that no control claims.
struct Element {
    Control* control = nullptr;
    int link = -1;
    HWND window = nullptr;
};

// In a container whose children overlap, a later child with an opaque
// background over the whole of an earlier one hides it (the login layer
// over the post layer).
bool Covered(const Container& box, int index) {
    if (box.GetClass() != L"Container") return false;
    const RECT rc = box.GetItemAt(index)->GetPos();
    for (int i = index + 1; i < box.GetCount(); ++i) {
        const Control* above = box.GetItemAt(i);
        const RECT top = above->GetPos();
        if (!above->IsVisible() || above->IsFloat() || (above->GetBkColor() >> 24) != 0xFF || ::IsRectEmpty(&top)) {
            continue;
        }
        if (rc.left >= top.left && rc.top >= top.top && rc.right <= top.right && rc.bottom <= top.bottom) return true;
    }
    return false;
}

void Collect(Control* c, bool inMenu, std::vector<Element>* out) {
    if (!c->IsVisible()) return;
    const LONG role = RoleOf(*c, inMenu, NameOf(*c));
    if (role != 0) out->push_back(Element{c, -1, nullptr});
    if (c->GetClass() == L"FormattedText") {
        const auto* text = static_cast<const FormattedText*>(c);
        for (int i = 0; i < text->GetLinkCount(); ++i) {
            const RECT rc = text->GetLinkRect(i);
            if (!::IsRectEmpty(&rc)) out->push_back(Element{c, i, nullptr});  // laid out on screen
        }
    }
    // An item's label is the item's text, not a child of its own.
    if (role == ROLE_SYSTEM_MENUITEM || role == ROLE_SYSTEM_SEPARATOR || role == ROLE_SYSTEM_LISTITEM) return;
    if (auto* box = dynamic_cast<Container*>(c)) {
        for (int i = 0; i < box->GetCount(); ++i) {
            if (!Covered(*box, i)) Collect(box->GetItemAt(i), inMenu, out);
        }
    }
}

std::vector<Element> Elements(PaintManager& pm, bool inMenu) {
    pm.UpdateLayout();  // places (and what covers what) as they will be painted
    std::vector<Element> out;
    if (Control* root = pm.GetRoot()) Collect(root, inMenu, &out);
    const HWND hwnd = pm.GetPaintWindow();
    for (HWND child = ::GetWindow(hwnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child) || pm.ControlOfNativeChild(child) != nullptr) continue;
        // A pane (the browser control) claims the window lying in it.
        RECT rc{};
        ::GetWindowRect(child, &rc);
        ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&rc), 2);
        const POINT middle{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        auto pane = std::find_if(out.begin(), out.end(), [&](const Element& e) {
            return e.control != nullptr && e.window == nullptr && e.control->GetClass() == L"WebBrowser" &&
                   ::PtInRect(&e.control->GetPos(), middle);
        });
        if (pane != out.end()) pane->window = child;
        else out.push_back(Element{nullptr, -1, child});
    }
    return out;
}

Control* FindById(const PaintManager& pm, LONG id) {
    Control* found = nullptr;
    if (Control* root = pm.GetRoot()) {
        root->ForEach([&](Control* c) {
            if (found == nullptr && c->AccessibleId() == id) found = c;
        });
    }
    return found;
}

// -------------------------------------------------------------- helpers

template <typename F>
HRESULT Guard(F&& body) noexcept {
    // Nothing thrown may cross the COM boundary.
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT PutText(const std::wstring& text, BSTR* out) {
    if (text.empty()) return S_FALSE;
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

void PutChild(LONG id, VARIANT* out) {
    out->vt = VT_I4;
    out->lVal = id;
}

bool IsSelf(const VARIANT& v) { return v.vt == VT_I4 && v.lVal == CHILDID_SELF; }

// IUnknown and an IDispatch that offers no type information (MSAA clients
// call the interface directly).
class AccessibleBase : public IAccessible {
public:
    AccessibleBase() = default;
    AccessibleBase(const AccessibleBase&) = delete;
    AccessibleBase& operator=(const AccessibleBase&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (!::IsEqualIID(iid, IID_IUnknown) && !::IsEqualIID(iid, IID_IDispatch) &&
            !::IsEqualIID(iid, kIidIAccessible)) {
            return E_NOINTERFACE;
        }
        *out = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

protected:
    virtual ~AccessibleBase() = default;

private:
    LONG refs_ = 1;
};

// ------------------------------------------------------ window's client

class WindowAccessible final : public AccessibleBase {
public:
    WindowAccessible(PaintManager& pm, LONG role)
        : manager_(&pm), hwnd_(pm.GetPaintWindow()), role_(role), standard_(StandardObject(hwnd_, OBJID_CLIENT)) {}

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
        return Guard([&]() -> HRESULT {
            if (out == nullptr) return E_POINTER;
            *out = nullptr;
            if (Live() == nullptr) return RPC_E_DISCONNECTED;
            return standard_ ? standard_->get_accParent(out) : S_FALSE;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* out) override {
        return Guard([&]() -> HRESULT {
            if (out == nullptr) return E_POINTER;
            *out = 0;
            PaintManager* pm = Live();
            if (pm == nullptr) return RPC_E_DISCONNECTED;
            *out = static_cast<LONG>(Elements(*pm, InMenu()).size());
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        return Guard([&]() -> HRESULT {
            if (out == nullptr) return E_POINTER;
            *out = nullptr;
            Element e;
            bool self = false;
            const HRESULT hr = Resolve(child, &e, &self);
            if (FAILED(hr)) return hr;
            if (self) return E_INVALIDARG;
            // A control is a simple element: the client asks this object.
            if (e.control != nullptr) return S_FALSE;
            const Oleacc& acc = Acc();
            if (acc.accessibleObjectFromWindow == nullptr) return S_FALSE;
            if (FAILED(acc.accessibleObjectFromWindow(e.window, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                                      reinterpret_cast<void**>(out)))) {
                *out = nullptr;
                return S_FALSE;
            }
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
        return TextProp(child, out, Prop::Name);
    }

    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
        return Guard([&]() -> HRESULT {
            if (out == nullptr) return E_POINTER;
            *out = nullptr;
            Element e;
            bool self = false;
            const HRESULT hr = Resolve(child, &e, &self);
            if (FAILED(hr)) return hr;
            if (self || e.control == nullptr) return S_FALSE;
            if (e.link >= 0) return PutText(static_cast<const FormattedText*>(e.control)->GetLinkContent(e.link), out);
            if (!IsTextBox(*e.control)) return S_FALSE;
            if (e.control->GetClass() == L"Edit" && static_cast<const Edit*>(e.control)->IsPassword()) {
                return E_ACCESSDENIED;
            }
            return PutText(e.control->GetText(), out);
        });
    }

    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
        return TextProp(child, out, Prop::Description);
    }

    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
        return Guard([&]() -> HRESULT {
            if (out == nullptr) return E_POINTER;
            ::VariantInit(out);
            Element e;
            bool self = false;
            const HRESULT hr = Resolve(child, &e, &self);
            if (FAILED(hr)) return hr;
            if (!self && e.control == nullptr) {
                if (WindowObject(e.window, [&](IAccessible* a) { return a->get_accRole(SelfId(), out); }) == S_OK &&
                    out->vt == VT_I4) {
                    return S_OK;
                }
                ::VariantClear(out);
                PutChild(ROLE_SYSTEM_WINDOW, out);  // the system could not say
                return S_OK;
            }
            PutChild(self ? role_ : (e.link >= 0 ? ROLE_SYSTEM_LINK : Describe(e).role), out);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
        return Guard([&]() -> HRESULT {
            if (out == nullptr) return E_POINTER;
            ::VariantInit(out);
            Element e;
            bool self = false;
            const HRESULT hr = Resolve(child, &e, &self);
            if (FAILED(hr)) return hr;
            if (self) return standard_ ? standard_->get_accState(child, out) : S_FALSE;
            if (e.control == nullptr) {
                if (WindowObject(e.window, [&](IAccessible* a) { return a->get_accState(SelfId(), out); }) == S_OK &&
                    out->vt == VT_I4) {
                    return S_OK;
                }
                ::VariantClear(out);
                PutChild(0, out);
                return S_OK;
            }
            LONG state = 0;
            if (e.link >= 0) {
                state = STATE_SYSTEM_LINKED | (e.control->IsEnabled() ? 0 : STATE_SYSTEM_UNAVAILABLE);
            } else {
                state = Describe(e).state;
            }
            PutChild(state, out);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override {
        if (out != nullptr) *out = nullptr;
        return Live() != nullptr ? S_FALSE : RPC_E_DISCONNECTED;
    }

    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (file != nullptr) *file = nullptr;
        if (topic != nullptr) *topic = 0;
        return Live() != nullptr ? S_FALSE : RPC_E_DISCONNECTED;
    }

    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
        return Guard([&]() -> HRESULT {
            if (out == nullptr) return E_POINTER;
            *out = nullptr;
            Element e;
            bool self = false;
            const HRESULT hr = Resolve(child, &e, &self);
            if (FAILED(hr)) return hr;
            if (self) return standard_ ? standard_->get_accKeyboardShortcut(child, out) : S_FALSE;
            if (e.control == nullptr || e.link >= 0 || e.control->GetShortcut() == 0) return S_FALSE;
            return PutText(std::wstring(L"Alt+") + e.control->GetShortcut(), out);
        });
    }

    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
        return Guard([&]() -> HRESULT {
            if (out == nullptr) return E_POINTER;
            ::VariantInit(out);
            PaintManager* pm = Live();
            if (pm == nullptr) return RPC_E_DISCONNECTED;
            const HWND focus = ::GetFocus();
            if (focus != hwnd_ && (focus == nullptr || !::IsChild(hwnd_, focus))) return S_FALSE;
            const std::vector<Element> all = Elements(*pm, InMenu());
            for (size_t i = 0; i < all.size(); ++i) {
                if (all[i].control != nullptr && all[i].link < 0 && all[i].control == pm->GetFocus()) {
                    PutChild(static_cast<LONG>(i + 1), out);
                    return S_OK;
                }
            }
            PutChild(CHILDID_SELF, out);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
        if (out != nullptr) ::VariantInit(out);
        return Live() != nullptr ? S_FALSE : RPC_E_DISCONNECTED;
    }

    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        return TextProp(child, out, Prop::Action);
    }

    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return Guard([&]() -> HRESULT {
            Element e;
            bool self = false;
            const HRESULT hr = Resolve(child, &e, &self);
            if (FAILED(hr)) return hr;
            if (flags != SELFLAG_TAKEFOCUS || self || e.control == nullptr || e.link >= 0) return E_INVALIDARG;
            if ((Describe(e).state & STATE_SYSTEM_FOCUSABLE) == 0) return E_INVALIDARG;
            return Post(*e.control, kActionFocus);
        });
    }

    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        return Guard([&]() -> HRESULT {
            if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
            *left = *top = *width = *height = 0;
            Element e;
            bool self = false;
            const HRESULT hr = Resolve(child, &e, &self);
            if (FAILED(hr)) return hr;
            if (self) return standard_ ? standard_->accLocation(left, top, width, height, child) : S_FALSE;
            const RECT rc = ScreenRect(e);
            *left = rc.left;
            *top = rc.top;
            *width = rc.right - rc.left;
            *height = rc.bottom - rc.top;
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* out) override {
        return Guard([&]() -> HRESULT {
            if (out == nullptr) return E_POINTER;
            ::VariantInit(out);
            PaintManager* pm = Live();
            if (pm == nullptr) return RPC_E_DISCONNECTED;
            Element e;
            bool self = false;
            const HRESULT hr = Resolve(start, &e, &self);
            if (FAILED(hr)) return hr;
            const std::vector<Element> all = Elements(*pm, InMenu());
            const LONG count = static_cast<LONG>(all.size());
            LONG next = 0;
            if (self) {
                if (direction == NAVDIR_FIRSTCHILD) next = count > 0 ? 1 : 0;
                else if (direction == NAVDIR_LASTCHILD) next = count;
                else return standard_ ? standard_->accNavigate(direction, start, out) : S_FALSE;
            } else {
                const LONG at = IndexOf(all, e);
                if (at == 0) return S_FALSE;
                const bool forward = direction == NAVDIR_NEXT || direction == NAVDIR_DOWN || direction == NAVDIR_RIGHT;
                const bool back = direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP || direction == NAVDIR_LEFT;
                if (!forward && !back) return E_INVALIDARG;  // simple elements have no children
                next = forward ? at + 1 : at - 1;
            }
            if (next < 1 || next > count) return S_FALSE;
            PutChild(next, out);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override {
        return Guard([&]() -> HRESULT {
            if (out == nullptr) return E_POINTER;
            ::VariantInit(out);
            PaintManager* pm = Live();
            if (pm == nullptr) return RPC_E_DISCONNECTED;
            RECT client{};
            ::GetClientRect(hwnd_, &client);
            POINT pt{x, y};
            ::ScreenToClient(hwnd_, &pt);
            if (!::PtInRect(&client, pt)) return S_FALSE;
            const std::vector<Element> all = Elements(*pm, InMenu());
            // Later elements lie above earlier ones, and a link inside its text.
            for (size_t i = all.size(); i-- > 0;) {
                const RECT rc = ScreenRect(all[i]);
                if (!::PtInRect(&rc, POINT{x, y})) continue;
                if (all[i].control == nullptr) {
                    IDispatch* window = nullptr;
                    const Oleacc& acc = Acc();
                    if (acc.accessibleObjectFromWindow != nullptr &&
                        SUCCEEDED(acc.accessibleObjectFromWindow(all[i].window, static_cast<DWORD>(OBJID_WINDOW),
                                                                 IID_IDispatch, reinterpret_cast<void**>(&window))) &&
                        window != nullptr) {
                        out->vt = VT_DISPATCH;
                        out->pdispVal = window;
                        return S_OK;
                    }
                }
                PutChild(static_cast<LONG>(i + 1), out);
                return S_OK;
            }
            PutChild(CHILDID_SELF, out);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return Guard([&]() -> HRESULT {
            Element e;
            bool self = false;
            const HRESULT hr = Resolve(child, &e, &self);
            if (FAILED(hr)) return hr;
            if (self || e.control == nullptr) return DISP_E_MEMBERNOTFOUND;
            if (e.link >= 0) return e.control->IsEnabled() ? Post(*e.control, e.link) : DISP_E_MEMBERNOTFOUND;
            if (Describe(e).action.empty() || IsUnavailable(*e.control)) return DISP_E_MEMBERNOTFOUND;
            // Run once the client's call has returned: a click may close
            // the window or open another, which must not happen inside it.
            return Post(*e.control, kActionClick);
        });
    }

    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return DISP_E_MEMBERNOTFOUND; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return DISP_E_MEMBERNOTFOUND; }

private:
    static VARIANT SelfId() {
        VARIANT v;
        v.vt = VT_I4;
        v.lVal = CHILDID_SELF;
        return v;
    }

    // The window's manager while the window lives, else null.
    PaintManager* Live() const {
        PaintManager* pm = manager_.Get();
        if (pm == nullptr || pm->GetPaintWindow() != hwnd_ || !::IsWindow(hwnd_)) return nullptr;
        return pm;
    }

    bool InMenu() const { return role_ == ROLE_SYSTEM_MENUPOPUP; }

    AccessibleInfo Describe(const Element& e) const {
        PaintManager* pm = Live();
        return DescribeControl(*e.control, InMenu(), pm != nullptr ? pm->GetFocus() : nullptr);
    }

    // A child id: 0 the client itself, 1..n the current children in
    // order, negative a control's own id (events carry those).
    HRESULT Resolve(const VARIANT& child, Element* e, bool* self) const {
        PaintManager* pm = Live();
        if (pm == nullptr) return RPC_E_DISCONNECTED;
        if (child.vt != VT_I4) return E_INVALIDARG;
        *self = child.lVal == CHILDID_SELF;
        if (*self) return S_OK;
        if (child.lVal < 0) {
            Control* c = FindById(*pm, child.lVal);
            if (c == nullptr) return E_INVALIDARG;
            *e = Element{c, -1, nullptr};
            return S_OK;
        }
        const std::vector<Element> all = Elements(*pm, InMenu());
        if (static_cast<size_t>(child.lVal) > all.size()) return E_INVALIDARG;
        *e = all[static_cast<size_t>(child.lVal) - 1];
        return S_OK;
    }

    static LONG IndexOf(const std::vector<Element>& all, const Element& e) {
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i].control == e.control && all[i].link == e.link && all[i].window == e.window) {
                return static_cast<LONG>(i + 1);
            }
        }
        return 0;
    }

    RECT ScreenRect(const Element& e) const {
        RECT rc{};
        if (e.control == nullptr) {
            ::GetWindowRect(e.window, &rc);
            return rc;
        }
        rc = e.link >= 0 ? static_cast<const FormattedText*>(e.control)->GetLinkRect(e.link) : e.control->GetPos();
        ::MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }

    template <typename F>
    HRESULT WindowObject(HWND window, F&& ask) const {
        const Oleacc& acc = Acc();
        shell::ComPtr<IAccessible> object;
        if (acc.accessibleObjectFromWindow == nullptr ||
            FAILED(acc.accessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_WINDOW), kIidIAccessible,
                                                  object.put_void()))) {
            object.Detach();
            return S_FALSE;
        }
        return object ? ask(object.get()) : S_FALSE;
    }

    enum class Prop { Name, Description, Action };

    // A text property. The client's own comes from the system, except the
    // name of an alert: what it says.
    HRESULT TextProp(const VARIANT& child, BSTR* out, Prop prop) {
        return Guard([&]() -> HRESULT {
            if (out == nullptr) return E_POINTER;
            *out = nullptr;
            Element e;
            bool self = false;
            const HRESULT hr = Resolve(child, &e, &self);
            if (FAILED(hr)) return hr;
            if (self) {
                if (prop == Prop::Name && role_ == ROLE_SYSTEM_ALERT) return PutText(AlertText(), out);
                if (prop == Prop::Action || !standard_) return S_FALSE;
                return prop == Prop::Name ? standard_->get_accName(child, out)
                                          : standard_->get_accDescription(child, out);
            }
            if (e.control == nullptr) {
                // What the system says of the window, else its title.
                HRESULT said = S_FALSE;
                if (prop != Prop::Action) {
                    said = WindowObject(e.window, [&](IAccessible* a) {
                        const VARIANT self = SelfId();
                        return prop == Prop::Name ? a->get_accName(self, out) : a->get_accDescription(self, out);
                    });
                }
                if (said == S_OK || prop != Prop::Name) return said == S_OK ? S_OK : S_FALSE;
                wchar_t title[256] = {};
                ::GetWindowTextW(e.window, title, 256);
                return PutText(title, out);
            }
            if (e.link >= 0) {
                const auto* text = static_cast<const FormattedText*>(e.control);
                if (prop == Prop::Name) return PutText(NormalizeName(text->GetLinkText(e.link)), out);
                return prop == Prop::Action ? PutText(L"click", out) : S_FALSE;
            }
            const AccessibleInfo info = Describe(e);
            return PutText(prop == Prop::Name ? info.name : prop == Prop::Description ? info.description : info.action,
                           out);
        });
    }

    // The texts an alert shows, one line each.
    std::wstring AlertText() const {
        std::wstring said;
        PaintManager* pm = Live();
        if (pm == nullptr) return said;
        for (const Element& e : Elements(*pm, false)) {
            if (e.control == nullptr || e.link >= 0) continue;
            const AccessibleInfo info = Describe(e);
            if (info.role != ROLE_SYSTEM_STATICTEXT || info.name.empty()) continue;
            if (!said.empty()) said += L"\n";
            said += info.name;
        }
        return said;
    }

    HRESULT Post(const Control& c, LPARAM what) {
        return ::PostMessageW(hwnd_, AccessibleActionMessage(), static_cast<WPARAM>(-c.AccessibleId()), what)
                   ? S_OK
                   : E_FAIL;
    }

    WindowRef<PaintManager> manager_;
    HWND hwnd_;
    LONG role_;
    shell::ComPtr<IAccessible> standard_;
};

}  // namespace

AccessibleInfo DescribeControl(const Control& c, bool inMenu, const Control* focus) {
    AccessibleInfo info;
    info.name = NameOf(c);
    info.role = RoleOf(c, inMenu, info.name);
    if (info.role == 0) return info;

    const std::wstring tip = NormalizeName(c.GetToolTip());
    if (IsTextBox(c)) {
        const Control* hint = HintOf(c);
        const std::wstring hintText = hint != nullptr ? NormalizeName(hint->GetText()) : std::wstring();
        if (hintText != info.name) info.description = hintText;
    } else if (tip != info.name) {
        info.description = tip;
    }
    if (Clickable(c)) info.action = L"click";

    LONG state = 0;
    if (!c.IsVisible()) state |= STATE_SYSTEM_INVISIBLE;
    const bool unavailable = IsUnavailable(c);
    if (unavailable) state |= STATE_SYSTEM_UNAVAILABLE;
    const bool focusable = c.GetClass() == L"ListElement" ? !unavailable && !IsSeparator(c) : c.IsTabStop();
    if (focusable) state |= STATE_SYSTEM_FOCUSABLE;
    if (focus == &c) state |= STATE_SYSTEM_FOCUSED;
    if (c.GetClass() == L"Option" && static_cast<const Option&>(c).IsSelected()) {
        state |= info.role == ROLE_SYSTEM_PAGETAB ? STATE_SYSTEM_SELECTED : STATE_SYSTEM_CHECKED;
    }
    if (info.role == ROLE_SYSTEM_PAGETAB) state |= STATE_SYSTEM_SELECTABLE;
    if (c.GetClass() == L"Button" || c.GetClass() == L"Option") {
        const auto& button = static_cast<const Button&>(c);
        if (button.IsHot() && !unavailable) state |= STATE_SYSTEM_HOTTRACKED;
        if (button.IsPushed()) state |= STATE_SYSTEM_PRESSED;
    }
    if (c.GetClass() == L"ListElement" && static_cast<const ListElement&>(c).IsHot()) {
        state |= STATE_SYSTEM_HOTTRACKED;
    }
    if (c.GetClass() == L"Edit" && static_cast<const Edit&>(c).IsPassword()) state |= STATE_SYSTEM_PROTECTED;
    if (info.role == ROLE_SYSTEM_STATICTEXT) state |= STATE_SYSTEM_READONLY;
    if (info.role == ROLE_SYSTEM_LINK) state |= STATE_SYSTEM_LINKED;
    info.state = state;
    return info;
}

LRESULT AnswerGetObject(PaintManager& manager, WPARAM wParam, LPARAM lParam, LONG role) {
    if (static_cast<LONG>(lParam) != OBJID_CLIENT || manager.GetPaintWindow() == nullptr) return 0;
    const Oleacc& acc = Acc();
    if (acc.lresultFromObject == nullptr) return 0;
    try {
        shell::ComPtr<IAccessible> object;
        object.Attach(new WindowAccessible(manager, role));
        const LRESULT result = acc.lresultFromObject(kIidIAccessible, wParam, object.get());
        return result > 0 ? result : 0;
    } catch (...) {
        return 0;
    }
}

namespace {

// The system's object for a native text box, with the box's name.
class NamedBox final : public AccessibleBase {
public:
    NamedBox(HWND box, shell::ComPtr<IAccessible> inner, std::wstring name, std::wstring description)
        : box_(box), inner_(std::move(inner)), name_(std::move(name)), description_(std::move(description)) {}

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
        if (!::IsWindow(box_)) return Gone(out);
        if (IsSelf(child) && out != nullptr) {
            *out = nullptr;
            return Guard([&] { return PutText(name_, out); });
        }
        return inner_->get_accName(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
        if (!::IsWindow(box_)) return Gone(out);
        if (IsSelf(child) && out != nullptr && !description_.empty()) {
            *out = nullptr;
            return Guard([&] { return PutText(description_, out); });
        }
        return inner_->get_accDescription(child, out);
    }

    // The rest is the system's.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
        return ::IsWindow(box_) ? inner_->get_accParent(out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* out) override {
        return ::IsWindow(box_) ? inner_->get_accChildCount(out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        return ::IsWindow(box_) ? inner_->get_accChild(child, out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
        return ::IsWindow(box_) ? inner_->get_accValue(child, out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
        return ::IsWindow(box_) ? inner_->get_accRole(child, out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
        return ::IsWindow(box_) ? inner_->get_accState(child, out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override {
        return ::IsWindow(box_) ? inner_->get_accHelp(child, out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        if (!::IsWindow(box_)) {
            if (topic != nullptr) *topic = 0;
            return Gone(file);
        }
        return inner_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
        return ::IsWindow(box_) ? inner_->get_accKeyboardShortcut(child, out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
        return ::IsWindow(box_) ? inner_->get_accFocus(out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
        return ::IsWindow(box_) ? inner_->get_accSelection(out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        return ::IsWindow(box_) ? inner_->get_accDefaultAction(child, out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return ::IsWindow(box_) ? inner_->accSelect(flags, child) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* l, LONG* t, LONG* w, LONG* h, VARIANT child) override {
        return ::IsWindow(box_) ? inner_->accLocation(l, t, w, h, child) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* out) override {
        return ::IsWindow(box_) ? inner_->accNavigate(direction, start, out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override {
        return ::IsWindow(box_) ? inner_->accHitTest(x, y, out) : Gone(out);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return ::IsWindow(box_) ? inner_->accDoDefaultAction(child) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return ::IsWindow(box_) ? inner_->put_accName(child, name) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return ::IsWindow(box_) ? inner_->put_accValue(child, value) : RPC_E_DISCONNECTED;
    }

private:
    template <typename T>
    static HRESULT Gone(T* out) {
        if (out != nullptr) *out = T();
        return RPC_E_DISCONNECTED;
    }
    static HRESULT Gone(VARIANT* out) {
        if (out != nullptr) ::VariantInit(out);
        return RPC_E_DISCONNECTED;
    }

    HWND box_;
    shell::ComPtr<IAccessible> inner_;
    std::wstring name_;
    std::wstring description_;
};

}  // namespace

LRESULT AnswerNativeBoxGetObject(HWND box, WPARAM wParam, LPARAM lParam, const Control& control) {
    if (static_cast<LONG>(lParam) != OBJID_CLIENT) return 0;
    const Oleacc& acc = Acc();
    if (acc.lresultFromObject == nullptr) return 0;
    try {
        shell::ComPtr<IAccessible> inner = StandardObject(box, OBJID_CLIENT);
        if (!inner) return 0;
        const AccessibleInfo info = DescribeControl(control, false, nullptr);
        shell::ComPtr<IAccessible> object;
        object.Attach(new NamedBox(box, std::move(inner), info.name, info.description));
        const LRESULT result = acc.lresultFromObject(kIidIAccessible, wParam, object.get());
        return result > 0 ? result : 0;
    } catch (...) {
        return 0;
    }
}

void RaiseAccessibleEvent(HWND hwnd, DWORD event, const Control* control) {
    if (hwnd == nullptr) return;
    ::NotifyWinEvent(event, hwnd, OBJID_CLIENT, control != nullptr ? control->AccessibleId() : CHILDID_SELF);
}

UINT AccessibleActionMessage() {
    static const UINT id = ::RegisterWindowMessageW(L"zudedo.ui.accessible-action");
    return id;
}

void PerformAccessibleAction(PaintManager& pm, WPARAM wParam, LPARAM lParam) {
    const LONG id = -static_cast<LONG>(wParam);
    Control* c = FindById(pm, id);
    if (c == nullptr || !c->IsVisible()) return;
    std::weak_ptr<int> alive = pm.AliveToken();
    if (lParam >= 0) {
        if (c->GetClass() == L"FormattedText") static_cast<FormattedText*>(c)->ActivateLink(static_cast<int>(lParam));
        return;
    }
    if (lParam == kActionFocus) {
        pm.SetFocus(c);
        return;
    }
    // As a press does: a tab stop takes the focus first, then the click.
    if (c->IsTabStop()) {
        pm.SetFocus(c);
        if (alive.expired() || (c = FindById(pm, id)) == nullptr) return;
    }
    c->Activate();
}

shell::ComPtr<IAccessible> AccessibleOfWindow(HWND hwnd, LONG objectId) {
    shell::ComPtr<IAccessible> object;
    const Oleacc& acc = Acc();
    if (hwnd != nullptr && acc.accessibleObjectFromWindow != nullptr &&
        FAILED(acc.accessibleObjectFromWindow(hwnd, static_cast<DWORD>(objectId), kIidIAccessible,
                                              object.put_void()))) {
        object.Detach();
    }
    return object;
}

}  // namespace ui
