#include "tests/journey/driver.h"

#include <shlobj.h>

#include "shell/com_ptr.h"
#include "shell/text.h"
#include "tests/support/inspect.h"
#include "tests/support/message_pump.h"
#include "tests/support/paths.h"

namespace journey {

namespace {

// {618736E0-3C3D-11CF-810C-00AA00389B71}; the import library's symbol of
// that name is a thunk under mingw-w64, not the interface id.
const IID kIidAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

VARIANT Child(LONG id) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

shell::ComPtr<IAccessible> ClientObject(HWND window) {
    shell::ComPtr<IAccessible> object;
    if (window == nullptr ||
        FAILED(::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                            object.put_void()))) {
        object.reset();
    }
    return object;
}

std::wstring Text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), IAccessible* object, LONG id) {
    BSTR raw = nullptr;
    if (FAILED((object->*get)(Child(id), &raw))) raw = nullptr;
    shell::UniqueBstr text(raw);
    return text ? std::wstring(text.get(), ::SysStringLen(text.get())) : std::wstring();
}

LONG Number(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), IAccessible* object, LONG id) {
    shell::UniqueVariant value;
    if (FAILED((object->*get)(Child(id), value.put())) || value.get()->vt != VT_I4) return -1;
    return value.get()->lVal;
}

void Send(INPUT* inputs, UINT count) {
    ::SendInput(count, inputs, sizeof(INPUT));
    Pause(30);
}

// SendInput's absolute coordinates: 0..65535 over the primary screen.
INPUT MouseAt(POINT screen, DWORD flags) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = static_cast<LONG>((screen.x * 65535 + w / 2) / (w - 1));
    in.mi.dy = static_cast<LONG>((screen.y * 65535 + h / 2) / (h - 1));
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
    return in;
}

INPUT KeyInput(WORD vk, WORD scan, DWORD flags) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = scan;
    in.ki.dwFlags = flags;
    return in;
}

}  // namespace

std::string Utf8(const std::wstring& text) { return shell::WideToUtf8(text); }
std::wstring Wide(const char* utf8) { return shell::Utf8ToWide(utf8); }
namespace {

Element ReadChild(IAccessible* object, HWND window, LONG id) {
    Element e;
    e.window = window;
    e.id = id;
    e.name = Text(&IAccessible::get_accName, object, id);
    e.value = Text(&IAccessible::get_accValue, object, id);
    e.role = Number(&IAccessible::get_accRole, object, id);
    e.state = Number(&IAccessible::get_accState, object, id);
    LONG x = 0, y = 0, w = 0, h = 0;
    if (SUCCEEDED(object->accLocation(&x, &y, &w, &h, Child(id)))) e.location = RECT{x, y, x + w, y + h};
    return e;
}

}  // namespace

std::vector<Element> ReadWindow(HWND window) {
    std::vector<Element> out;
    shell::ComPtr<IAccessible> object = ClientObject(window);
    LONG count = 0;
    if (!object || FAILED(object->get_accChildCount(&count))) return out;
    for (LONG id = 1; id <= count; ++id) out.push_back(ReadChild(object.get(), window, id));
    return out;
}

std::wstring WindowName(HWND window) {
    shell::ComPtr<IAccessible> object = ClientObject(window);
    return object ? Text(&IAccessible::get_accName, object.get(), CHILDID_SELF) : std::wstring();
}

// Each property is a call into the client, answered on its window's
// thread: a search asks only what tells the children apart, and reads in
// full only the one it found.
std::optional<Element> Find(HWND window, const std::wstring& name, LONG role) {
    shell::ComPtr<IAccessible> object = ClientObject(window);
    LONG count = 0;
    if (!object || FAILED(object->get_accChildCount(&count))) return std::nullopt;
    for (LONG id = 1; id <= count; ++id) {
        if (Number(&IAccessible::get_accRole, object.get(), id) != role) continue;
        if (Text(&IAccessible::get_accName, object.get(), id) != name) continue;
        Element e = ReadChild(object.get(), window, id);
        if (e.name == name && e.role == role) return e;
    }
    return std::nullopt;
}

std::optional<Element> FocusedIn(HWND window) {
    shell::ComPtr<IAccessible> object = ClientObject(window);
    LONG count = 0;
    if (!object || FAILED(object->get_accChildCount(&count))) return std::nullopt;
    for (LONG id = 1; id <= count; ++id) {
        const LONG state = Number(&IAccessible::get_accState, object.get(), id);
        if (state == -1 || (state & STATE_SYSTEM_FOCUSED) == 0) continue;
        Element e = ReadChild(object.get(), window, id);
        if (e.state != -1 && e.Has(STATE_SYSTEM_FOCUSED)) return e;
    }
    return std::nullopt;
}

std::string Describe(const std::vector<Element>& elements) {
    std::string out;
    for (const Element& e : elements) {
        out += "role " + std::to_string(e.role) + " state " + shell::Format("%#lx", e.state) + " \"" + Utf8(e.name) +
               "\"\n";
    }
    return out;
}

std::vector<HWND> WindowsOf(DWORD processId, const wchar_t* className) {
    struct Search {
        DWORD pid;
        const wchar_t* cls;
        std::vector<HWND> found;
    } search{processId, className, {}};
    ::EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(w, &pid);
            wchar_t cls[64] = {};
            ::GetClassNameW(w, cls, 64);
            if (pid == s->pid && ::IsWindowVisible(w) && wcscmp(cls, s->cls) == 0) s->found.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool WaitUntil(const std::function<bool()>& pred, DWORD ms) { return testing_support::PumpUntil(pred, ms); }

void Pause(DWORD ms) { testing_support::PumpFor(ms); }

bool BringToFront(HWND window) {
    if (::GetForegroundWindow() == window) return true;
    ::SetForegroundWindow(window);
    return WaitUntil([&] { return ::GetForegroundWindow() == window; }, 3000);
}

void MoveTo(POINT screen) {
    INPUT in = MouseAt(screen, MOUSEEVENTF_MOVE);
    Send(&in, 1);
}

void Click(POINT screen, bool right) {
    INPUT in[3] = {MouseAt(screen, MOUSEEVENTF_MOVE),
                   MouseAt(screen, right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN),
                   MouseAt(screen, right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP)};
    Send(&in[0], 1);
    Send(&in[1], 2);
    Pause(120);
}

void Click(const Element& element, bool right) {
    HWND top = ::GetAncestor(element.window, GA_ROOT);
    wchar_t cls[64] = {};
    ::GetClassNameW(top, cls, 64);
    // A menu takes no activation; it has the keyboard while it is open.
    if (wcscmp(cls, L"MenuWnd") != 0) BringToFront(top);
    Click(element.Centre(), right);
}

void Press(WORD vk, bool shift, bool control) {
    std::vector<WORD> held;
    if (control) held.push_back(VK_CONTROL);
    if (shift) held.push_back(VK_SHIFT);
    std::vector<INPUT> in;
    for (WORD m : held) in.push_back(KeyInput(m, static_cast<WORD>(::MapVirtualKeyW(m, MAPVK_VK_TO_VSC)), 0));
    const WORD scan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.push_back(KeyInput(vk, scan, 0));
    in.push_back(KeyInput(vk, scan, KEYEVENTF_KEYUP));
    for (auto m = held.rbegin(); m != held.rend(); ++m) {
        in.push_back(KeyInput(*m, static_cast<WORD>(::MapVirtualKeyW(*m, MAPVK_VK_TO_VSC)), KEYEVENTF_KEYUP));
    }
    Send(in.data(), static_cast<UINT>(in.size()));
    Pause(80);
}

void Type(const std::wstring& text) {
    // One burst, in order, the way an input method commits a phrase.
    std::vector<INPUT> in;
    for (wchar_t c : text) {
        in.push_back(KeyInput(0, c, KEYEVENTF_UNICODE));
        in.push_back(KeyInput(0, c, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
    }
    if (!in.empty()) Send(in.data(), static_cast<UINT>(in.size()));
    Pause(100);
}

// ------------------------------------------------------------------ client

const wchar_t Client::kClass[] = L"zudedo_main_panel";

Client::Client(uint16_t servicePort) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    install_ = std::wstring(temp) + L"zudedo-journey-" + std::to_wstring(::GetCurrentProcessId());
    ::SHCreateDirectoryExW(nullptr, install_.c_str(), nullptr);
    exe_ = install_ + L"\\zudedo.exe";
    ::CopyFileW(testing_support::BinaryPath("app/zudedo.exe").c_str(), exe_.c_str(), FALSE);
    const std::wstring ini = install_ + L"\\service.ini";
    for (const wchar_t* key : {L"ServiceHost", L"WebHost", L"FeedbackHost"}) {
        ::WritePrivateProfileStringW(L"Service", key, L"127.0.0.1", ini.c_str());
    }
    ::WritePrivateProfileStringW(L"Service", L"Port", std::to_wstring(servicePort).c_str(), ini.c_str());
}

Client::~Client() {
    for (auto& p : processes_) {
        if (::WaitForSingleObject(p.get(), 0) == WAIT_TIMEOUT) {
            if (::IsWindow(window_)) ::PostMessageW(window_, WM_CLOSE, 0, 0);
            if (::WaitForSingleObject(p.get(), 10000) == WAIT_TIMEOUT) ::TerminateProcess(p.get(), 1);
        }
    }
    processes_.clear();
    testing_support::RemoveTree(install_);
}

bool Client::Start() {
    HANDLE p = StartAnother();
    if (p == nullptr) return false;
    processId_ = ::GetProcessId(p);
    return true;
}

HANDLE Client::StartAnother() {
    std::wstring line = L"\"" + exe_ + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, install_.c_str(), &si, &pi)) {
        return nullptr;
    }
    ::CloseHandle(pi.hThread);
    processes_.emplace_back(pi.hProcess);
    return pi.hProcess;
}

HWND Client::WaitForWindow(DWORD ms) {
    WaitUntil(
        [&] {
            auto found = WindowsOf(processId_, kClass);
            window_ = found.empty() ? nullptr : found.front();
            return window_ != nullptr;
        },
        ms);
    return window_;
}

DWORD Client::Close(DWORD ms) {
    if (processes_.empty()) return 999;
    if (::IsWindow(window_)) ::PostMessageW(window_, WM_CLOSE, 0, 0);
    HANDLE first = processes_.front().get();
    if (!WaitUntil([&] { return ::WaitForSingleObject(first, 0) == WAIT_OBJECT_0; }, ms)) return 999;
    DWORD code = 999;
    ::GetExitCodeProcess(first, &code);
    return code;
}

bool Client::Exited(DWORD ms) const {
    if (processes_.empty()) return true;
    HANDLE first = processes_.front().get();
    return WaitUntil([&] { return ::WaitForSingleObject(first, 0) == WAIT_OBJECT_0; }, ms);
}

std::optional<Element> Client::Find(const std::wstring& name, LONG role) const {
    return journey::Find(window_, name, role);
}

std::optional<Element> Client::WaitFor(const std::wstring& name, LONG role, DWORD ms, LONG state) const {
    std::optional<Element> found;
    WaitUntil(
        [&] {
            found = Find(name, role);
            return found && (found->state & state) == state;
        },
        ms);
    return found && (found->state & state) == state ? found : std::nullopt;
}

std::wstring Client::TipText() const {
    for (HWND banner : WindowsOf(processId_, L"NoticeBanner")) {
        std::wstring name = WindowName(banner);
        if (!name.empty()) return name;
    }
    return std::wstring();
}

std::wstring Client::WaitForTip(DWORD ms) const {
    std::wstring text;
    WaitUntil([&] { return !(text = TipText()).empty(); }, ms);
    return text;
}

HWND Client::Menu() const {
    auto menus = WindowsOf(processId_, L"MenuWnd");
    return menus.empty() ? nullptr : menus.front();
}

}  // namespace journey
