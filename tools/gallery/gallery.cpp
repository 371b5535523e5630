// Window gallery: opens layouts of the skin and writes a PNG of each
// window's client area, captured in-process, so the windows can be looked
// at without a Windows desktop.
//
//   gallery [--out <folder>] [--skin <folder>] [layout.xml ...]
//
// Without layout names every layout of the packed skin is drawn. The tip
// banner and the menus are shown through their own classes, with sample
// texts, the way the client opens them.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/gallery/png_writer.h"
#include "ui/gdi.h"
#include "ui/image.h"
#include "ui/menu.h"
#include "ui/notice_banner.h"
#include "ui/platform.h"
#include "ui/skin_store.h"
#include "ui/skin_window.h"

namespace {

class GalleryWindow : public ui::SkinWindow {
public:
    explicit GalleryWindow(std::wstring file) : file_(std::move(file)) {}
    const wchar_t* GetWindowClassName() const override { return L"zudedo_gallery_window"; }
    std::wstring GetSkinFile() override { return file_; }
    void Notify(ui::Notification&) override {}

private:
    std::wstring file_;
};

void Pump(DWORD ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    while (::GetTickCount64() < end) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!ui::PaintManager::TranslateMessage(&msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        ::Sleep(10);
    }
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    shell::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// The client area through PrintWindow; pixels outside the window's outline
// come out transparent.
bool Capture(HWND hwnd, const std::wstring& path) {
    Pump(250);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    const int w = client.right, h = client.bottom;
    ui::Dib dib = ui::CreateDib(w, h);
    if (!dib.bitmap) return false;
    {
        ui::UniqueMemDC dc(::CreateCompatibleDC(nullptr));
        ui::SelectGuard select(dc.get(), dib.bitmap.get());
        if (!::PrintWindow(hwnd, dc.get(), PW_CLIENTONLY)) {
            ::SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
        }
        ::GdiFlush();
    }
    ui::UniqueRegion outline(::CreateRectRgn(0, 0, 0, 0));
    const bool shaped = ::GetWindowRgn(hwnd, outline.get()) != ERROR;
    std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
    const auto* bgra = static_cast<const uint8_t*>(dib.bits);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t i = (static_cast<size_t>(y) * w + x) * 4;
            rgba[i + 0] = bgra[i + 2];
            rgba[i + 1] = bgra[i + 1];
            rgba[i + 2] = bgra[i + 0];
            rgba[i + 3] = shaped && !::PtInRegion(outline.get(), x, y) ? 0 : 255;
        }
    }
    const std::string png = gallery::EncodePng(rgba, w, h);
    if (png.empty() || !WriteFileBytes(path, png)) return false;
    std::wprintf(L"%ls (%dx%d)\n", path.c_str(), w, h);
    return true;
}

std::wstring Stem(const std::wstring& name) {
    size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

bool DrawBanners(const std::wstring& out) {
    struct Sample {
        const wchar_t* file;
        const wchar_t* text;
        int type;
        DWORD color;
    };
    // Texts and colours the client shows: signing in while offline, an empty
    // name box, a post's success with the points total, a wrong password.
    const Sample samples[] = {
        {L"banner.png", L"连接已断开，请检查您的网络是否正常", ui::kNoticeSimple, 0xFFFE7819},
        {L"banner_chatbox.png", L"请您输入账号后再登录", ui::kNoticeChatBox, 0xFFFE7819},
        {L"banner_lines.png", L"发布成功,获得系统奖励1积分！<n>您累计已获得 101 积分", ui::kNoticeSimple, 0xFFFE7819},
        {L"banner_error.png", L"输入密码错误", ui::kNoticeChatBox, 0xFFF00000},
    };
    bool ok = true;
    for (const Sample& s : samples) {
        auto* banner = new ui::NoticeBanner(ui::NoticeBanner::Action{1, 0, nullptr});
        HWND hwnd = banner->InitNoticeWith(nullptr, s.text, POINT{300, 200}, s.type, s.color, 0);
        if (hwnd == nullptr) return false;
        ok = Capture(hwnd, out + s.file) && ok;
        ::DestroyWindow(hwnd);  // the banner deletes itself
    }
    return ok;
}

bool DrawMenu(const std::wstring& name, const std::wstring& out) {
    auto* owner = new GalleryWindow(L"<Window size=\"320,320\"><VerticalLayout bkcolor=\"#FFF3F4F6\"/></Window>");
    HWND ownerWnd = owner->Create(nullptr, L"gallery", WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, 320, 320);
    if (ownerWnd == nullptr) return false;
    owner->ShowWindow(true, true);
    auto* menu = new ui::UIMenu(name);
    if (!menu->Init(owner->GetPaintManager().GetRoot(), POINT{40, 40}, 0)) return false;
    HWND menuWnd = menu->GetHWND();
    // Sample state: the log action reads as when signed in; with an empty
    // post box nothing can be cut or copied.
    menu->SetItemText(L"menu_log_action", L"登出账户");
    menu->DisableItem(L"menu_cut");
    menu->DisableItem(L"menu_copy");
    // Hover the second item to show the highlight.
    ui::Control* list = menu->GetPaintManager().FindControl(L"menu_container");
    if (auto* c = dynamic_cast<ui::Container*>(list); c != nullptr && c->GetCount() > 2) {
        menu->GetPaintManager().UpdateLayout();
        int index = name == L"menu_edit.xml" ? 2 : 1;
        RECT rc = c->GetItemAt(index)->GetPos();
        ::PostMessageW(menuWnd, WM_MOUSEMOVE, 0, MAKELPARAM(rc.left + 40, (rc.top + rc.bottom) / 2));
    }
    bool ok = Capture(menuWnd, out + Stem(name) + L".png");
    if (::IsWindow(menuWnd)) ::DestroyWindow(menuWnd);
    ::DestroyWindow(ownerWnd);
    delete owner;
    return ok;
}

bool DrawWindow(const std::wstring& name, const std::wstring& out) {
    GalleryWindow window(name);
    HWND hwnd = window.Create(nullptr, name.c_str(), WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, 400, 300);
    if (hwnd == nullptr) return false;
    if (!window.LayoutError().empty()) std::wprintf(L"%ls: %ls\n", name.c_str(), window.LayoutError().c_str());
    window.ShowWindow(true, false);
    bool ok = Capture(hwnd, out + Stem(name) + L".png");
    ::DestroyWindow(hwnd);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ui::EnableDpiAwareness();
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    ui::PaintManager::SetInstance(::GetModuleHandleW(nullptr));

    std::wstring out = L".\\";
    std::wstring skinFolder;
    std::vector<std::wstring> names;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--out" && i + 1 < argc) {
            out = argv[++i];
            if (out.back() != L'\\' && out.back() != L'/') out += L"\\";
        } else if (arg == L"--skin" && i + 1 < argc) {
            skinFolder = argv[++i];
        } else {
            names.push_back(arg);
        }
    }
    std::wstring error;
    const std::string_view* packed = ui::SkinStore::LoadPackedSkin(::GetModuleHandleW(nullptr), &error);
    if (!skinFolder.empty()) {
        ui::PaintManager::SetResourcePath(skinFolder);  // loose files of a skin being drawn
    } else if (packed != nullptr) {
        ui::PaintManager::SetResourceZip(packed->data(), packed->size());
    } else {
        std::fwprintf(stderr, L"no skin: %ls\n", error.c_str());
        return 2;
    }
    if (names.empty()) {
        for (const std::wstring& entry : ui::SkinStore::ArchiveEntries()) {
            if (entry.size() > 4 && entry.compare(entry.size() - 4, 4, L".xml") == 0) names.push_back(entry);
        }
    }
    int failures = 0;
    for (const std::wstring& name : names) {
        bool ok;
        if (name == L"notice_banner.xml") ok = DrawBanners(out);
        else if (name.compare(0, 5, L"menu_") == 0) ok = DrawMenu(name, out);
        else ok = DrawWindow(name, out);
        if (!ok) {
            std::fwprintf(stderr, L"could not draw %ls\n", name.c_str());
            ++failures;
        }
    }
    ::OleUninitialize();
    return failures == 0 ? 0 : 1;
}
