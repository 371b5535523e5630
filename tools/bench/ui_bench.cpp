// Framework speed: building a layout of about a hundred controls from its
// text, and repainting a 426 × 800 window, each the median of many runs.
// Goals: a build under 5 ms, a full repaint under 3 ms.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/layout_builder.h"
#include "ui/paint_manager.h"
#include "ui/skin_store.h"
#include "ui/skin_window.h"

namespace {

constexpr int kRuns = 200;
constexpr int kWidth = 426;
constexpr int kHeight = 800;

// About a hundred controls: a caption row, twelve rows of label, option and
// buttons in nested layouts, a tab strip and a status row.
std::wstring HundredControls() {
    std::wstring xml =
        L"<Window size='426,800' caption='0,0,0,32' sizebox='4,4,4,4' maxinfo='850,1024' textcolor='#FF202124'>"
        L"<Font name='微软雅黑' size='12' default='true'/>"
        L"<Font name='微软雅黑' size='12' bold='true'/>"
        L"<Font name='微软雅黑' size='14' bold='true'/>"
        L"<VerticalLayout bkcolor='#FFF4F6F9' bordercolor='#FF1A5FBF' bordersize='1'>"
        L"<HorizontalLayout height='32' bkcolor='#FF1E6FD9' inset='10,0,0,0'>"
        L"<Label name='title' text='云帆商务台' font='2' textcolor='#FFFFFFFF'/>"
        L"<Button name='min' width='28' text='_' textcolor='#FFFFFFFF' hotbkcolor='#33FFFFFF'/>"
        L"<Button name='close' width='32' text='X' textcolor='#FFFFFFFF' hotbkcolor='#FFE81123'/>"
        L"</HorizontalLayout>"
        L"<HorizontalLayout height='26' inset='12,0,12,0' childpadding='4'>";
    for (int i = 0; i < 4; ++i) {
        xml += L"<Option name='tab" + std::to_wstring(i) + L"' group='tabs' width='72' text='询价页 " +
               std::to_wstring(i) + L"' textcolor='#FF5F6B7A' selectedtextcolor='#FF1E6FD9'" +
               (i == 0 ? L" selected='true'" : L"") + L"/>";
    }
    xml += L"<Control/></HorizontalLayout><VerticalLayout inset='12,6,12,6' childpadding='4'>";
    for (int row = 0; row < 12; ++row) {
        const std::wstring n = std::to_wstring(row);
        xml += L"<HorizontalLayout height='44' childpadding='6' bkcolor='#FFFFFFFF' bordercolor='#FFE6E9EE' "
               L"bordersize='1' inset='6,4,6,4'>"
               L"<VerticalLayout width='180'>"
               L"<Label name='name" + n + L"' text='上海出发 · 华东五市 " + n +
               L" 日游' font='1'/>"
               L"<Label name='note" + n + L"' text='询价时间 10:2" + n +
               L"，可议价' textcolor='#FF6B7480' endellipsis='true'/>"
               L"</VerticalLayout>"
               L"<Option name='fav" + n + L"' width='60' text='收藏' textcolor='#FF5F6B7A'/>"
               L"<Control/>"
               L"<Button name='reply" + n + L"' width='56' text='回复' align='center' textcolor='#FFFFFFFF' "
               L"bkcolor='#FF1E6FD9' hotbkcolor='#FF3A84E6' borderround='4,4'/>"
               L"<Button name='more" + n + L"' width='40' text='更多' align='center' textcolor='#FF1E6FD9'/>"
               L"</HorizontalLayout>";
    }
    xml += L"</VerticalLayout>"
           L"<HorizontalLayout height='24' bkcolor='#FFEEF1F5' inset='12,0,12,0'>"
           L"<Label name='status' text='已连接' textcolor='#FF6B7480'/>"
           L"<FormattedText name='links' width='160' text='&lt;a&gt;帮助&lt;/a&gt; · &lt;a&gt;反馈&lt;/a&gt;'/>"
           L"</HorizontalLayout></VerticalLayout></Window>";
    return xml;
}

int CountControls(ui::Control* root) {
    int n = 0;
    root->ForEach([&](ui::Control*) { ++n; });
    return n;
}

double Now() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

struct Figures {
    double median;
    double p90;
};

Figures Measure(const std::function<void()>& body) {
    body();  // warm caches (images, glyphs) once
    std::vector<double> ms;
    ms.reserve(kRuns);
    for (int i = 0; i < kRuns; ++i) {
        const double start = Now();
        body();
        ms.push_back(Now() - start);
    }
    std::sort(ms.begin(), ms.end());
    return Figures{ms[ms.size() / 2], ms[ms.size() * 9 / 10]};
}

class BenchWindow : public ui::SkinWindow {
public:
    explicit BenchWindow(std::wstring layout) : layout_(std::move(layout)) {}
    const wchar_t* GetWindowClassName() const override { return L"zudedo_ui_bench"; }
    std::wstring GetSkinFile() override { return layout_; }
    void Notify(ui::Notification&) override {}

private:
    std::wstring layout_;
};

void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// Full repaints of one layout in a shown window of 426 × 800: through the
// system (invalidate, UpdateWindow) and straight into a memory DC.
bool BenchRepaint(const wchar_t* label, const std::wstring& layout) {
    BenchWindow window(layout);
    HWND hwnd = window.Create(nullptr, L"ui bench", WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, kWidth, kHeight);
    if (hwnd == nullptr || !window.LayoutError().empty()) {
        std::fwprintf(stderr, L"%ls: no window: %ls\n", label, window.LayoutError().c_str());
        if (hwnd != nullptr) ::DestroyWindow(hwnd);
        return false;
    }
    ::SetWindowPos(hwnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    ::UpdateWindow(hwnd);
    Pump();
    ui::PaintManager& pm = window.GetPaintManager();
    RECT client{};
    ::GetClientRect(hwnd, &client);
    const Figures viaSystem = Measure([&] {
        ::InvalidateRect(hwnd, nullptr, FALSE);
        ::UpdateWindow(hwnd);
    });
    ui::Dib target = ui::CreateDib(client.right, client.bottom);
    ui::UniqueMemDC dc(::CreateCompatibleDC(nullptr));
    ui::SelectGuard select(dc.get(), target.bitmap.get());
    const Figures direct = Measure([&] {
        pm.PaintTo(dc.get());
        ::GdiFlush();
    });
    std::wprintf(L"repaint %-24ls %3ld x %3ld, %3d controls: median %6.3f ms (p90 %6.3f) via UpdateWindow, "
                 L"%6.3f ms (p90 %6.3f) into a DC\n",
                 label, client.right, client.bottom, CountControls(pm.GetRoot()), viaSystem.median, viaSystem.p90,
                 direct.median, direct.p90);
    ::DestroyWindow(hwnd);
    Pump();
    return true;
}

}  // namespace

int wmain() {
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    ui::PaintManager::SetInstance(::GetModuleHandleW(nullptr));
    std::wstring error;
    const std::string_view* packed = ui::SkinStore::LoadPackedSkin(::GetModuleHandleW(nullptr), &error);
    if (packed == nullptr) {
        std::fwprintf(stderr, L"no skin: %ls\n", error.c_str());
        return 2;
    }
    ui::PaintManager::SetResourceZip(packed->data(), packed->size());

    // (a) Text to a laid-out tree: parse, create, fonts, attach, layout.
    const std::wstring xml = HundredControls();
    HWND host = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, kWidth, kHeight, nullptr,
                                  nullptr, nullptr, nullptr);
    int controls = 0;
    bool built = true;
    const Figures build = Measure([&] {
        ui::PaintManager pm;
        pm.Init(host);
        ui::LayoutBuilder builder;
        std::unique_ptr<ui::Control> root = builder.Create(xml, nullptr, &pm);
        if (!root) {
            built = false;
            return;
        }
        controls = CountControls(root.get());
        pm.AttachDialog(std::move(root));
        pm.UpdateLayout();
    });
    if (!built) {
        std::fwprintf(stderr, L"the layout was refused\n");
        return 1;
    }
    std::wprintf(L"build   %-24ls %3d controls:           median %6.3f ms (p90 %6.3f)\n", L"(layout text)", controls,
                 build.median, build.p90);
    ::DestroyWindow(host);

    // (b) Full repaints.
    bool ok = BenchRepaint(L"zudedo_main.xml", L"zudedo_main.xml");
    ok = BenchRepaint(L"(layout text)", xml) && ok;

    std::wprintf(L"goals: build < 5 ms, repaint < 3 ms\n");
    ::OleUninitialize();
    return ok ? 0 : 1;
}
