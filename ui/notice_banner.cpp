#include "ui/notice_banner.h"

#include <algorithm>

#include "ui/accessibility.h"
#include "ui/controls.h"
#include "ui/gdi.h"
#include "ui/layout_builder.h"

namespace ui {
namespace {

UINT g_timeScale = 100;

struct TypeLook {
    const wchar_t* body;
    const wchar_t* hiddenBody;
    const wchar_t* container;
    const wchar_t* text;
    int padWidth;
    int padHeight;
};

const TypeLook& LookOf(int type) {
    static const TypeLook simple{L"LayoutSimpleNotice", L"LayoutChatBoxNotice", L"SimpleTextContainer",
                                 L"noticeTextSimpleType", 34, 24};
    static const TypeLook chat{L"LayoutChatBoxNotice", L"LayoutSimpleNotice", L"ChatBoxTextContainer",
                               L"noticeTextChatboxType", 24, 26};
    return type == kNoticeChatBox ? chat : simple;
}

// The speech bubble's pointer: its tip sits 38 pixels from the left edge.
constexpr int kArrowX = 38;
constexpr int kArrowHeight = 8;

}  // namespace

void NoticeBanner::SetTimeScalePercent(UINT percent) { g_timeScale = percent == 0 ? 1 : percent; }

HWND NoticeBanner::InitNoticeWith(HWND parent, const std::wstring& text, POINT pt, int type, DWORD textColor,
                                  UINT timeMs) {
    DWORD exStyle = WS_EX_TOOLWINDOW;
    if (action_.activating == 0) exStyle |= WS_EX_NOACTIVATE;
    if (Create(parent, L"", WS_POPUP, exStyle, 0, 0, 0, 0) == nullptr) return nullptr;
    UpdateNoticeWith(text, pt, type, textColor, timeMs);
    return hwnd_;
}

void NoticeBanner::UpdateNoticeWith(const std::wstring& text, POINT pt, int type, DWORD textColor, UINT timeMs) {
    if (hwnd_ == nullptr) return;
    const TypeLook& look = LookOf(type);
    Control* body = pm_.FindControl(look.body);
    Control* other = pm_.FindControl(look.hiddenBody);
    auto* container = dynamic_cast<Container*>(pm_.FindControl(look.container));
    auto* label = dynamic_cast<Label*>(pm_.FindControl(look.text));
    if (body == nullptr || container == nullptr || label == nullptr) return;
    if (other != nullptr) other->SetVisible(false);
    body->SetVisible(true);

    // Lines of an earlier "<n>" text go; the size comes from this text only.
    for (Control* line : lineControls_) {
        if (line->GetParent() != nullptr) static_cast<Container*>(line->GetParent())->Remove(line);
    }
    lineControls_.clear();

    const int padWidth = pm_.Scale(look.padWidth), padHeight = pm_.Scale(look.padHeight);
    const int wrap = pm_.Scale(kWrapWidth);
    int width = 0;
    int height = 0;
    if (text.find(L"<n>") == std::wstring::npos) {
        const SIZE sz = label->MeasureText(text);
        const int w = sz.cx, h = sz.cy;
        const int lines = (w - 1) / wrap + 1;
        container->SetFixedHeight(lines * h + padHeight);
        label->SetAttribute(L"multiline", lines > 1 ? L"true" : L"false");
        label->SetFixedHeight(lines * h);
        label->SetText(text);
        label->SetTextColor(textColor);
        label->SetVisible(true);
        width = padWidth + (w <= wrap ? w : wrap);
        height = lines * h + padHeight;
    } else {
        label->SetVisible(false);
        std::vector<std::wstring> lines;
        size_t start = 0;
        for (;;) {
            size_t mark = text.find(L"<n>", start);
            if (mark == std::wstring::npos) {
                if (start < text.size()) lines.push_back(text.substr(start));
                break;
            }
            lines.push_back(text.substr(start, mark - start));
            start = mark + 3;
        }
        int sum = 0, widest = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            auto line = std::make_unique<Label>();
            line->SetFont(label->GetFont());
            line->SetTextColor(textColor);
            line->SetText(lines[i]);
            line->SetAttribute(L"align", L"left");
            container->Add(std::move(line));
            auto* added = static_cast<Label*>(container->GetItemAt(container->GetCount() - 1));
            const SIZE sz = added->MeasureText(lines[i]);
            added->SetPadding(RECT{0, i == 0 ? 0 : 6, 0, 0});
            added->SetFixedHeight(sz.cy);
            lineControls_.push_back(added);
            sum += sz.cy;
            widest = std::max<int>(widest, sz.cx);
        }
        const int count = static_cast<int>(lines.size());
        height = sum + padHeight + pm_.Scale(8) * (count > 0 ? count - 1 : 0);
        container->SetFixedHeight(height);
        width = padWidth + widest;
    }

    int left = 0, top = 0;
    if (type == kNoticeChatBox) {
        left = pt.x - pm_.Scale(kArrowX);
        top = pt.y;
    } else {
        left = pt.x - width / 2;
        top = pt.y - height / 2;
    }
    pm_.SetInitSize(width, height);
    UINT flags = SWP_NOZORDER | SWP_SHOWWINDOW;
    if (action_.activating == 0) flags |= SWP_NOACTIVATE;
    ::SetWindowPos(hwnd_, nullptr, left, top, width, height, flags);
    Shape(width, height, type);
    pm_.NeedUpdate();
    // Read out as an alert: the banner never takes the focus to be found.
    pm_.UpdateLayout();
    RaiseAccessibleEvent(hwnd_, EVENT_SYSTEM_ALERT, nullptr);
    ::KillTimer(hwnd_, kCloseTimer);
    if (type == kNoticeSimple && timeMs > 0) {
        UINT period = static_cast<UINT>(static_cast<unsigned long long>(timeMs) * g_timeScale / 100);
        ::SetTimer(hwnd_, kCloseTimer, period > 0 ? period : 1, nullptr);
    }
}

void NoticeBanner::Shape(int width, int height, int type) {
    const int r = pm_.Scale(6);
    UniqueRegion region;
    if (type == kNoticeChatBox) {
        const int arrow = pm_.Scale(kArrowHeight), x = pm_.Scale(kArrowX);
        region.reset(::CreateRoundRectRgn(0, arrow, width + 1, height + 1, r, r));
        POINT tip[3] = {{x - arrow, arrow + 1}, {x, 0}, {x + arrow, arrow + 1}};
        UniqueRegion pointer(::CreatePolygonRgn(tip, 3, WINDING));
        if (region && pointer) ::CombineRgn(region.get(), region.get(), pointer.get(), RGN_OR);
    } else {
        region.reset(::CreateRoundRectRgn(0, 0, width + 1, height + 1, r, r));
    }
    if (region && ::SetWindowRgn(hwnd_, region.get(), TRUE)) region.release();
}

LRESULT NoticeBanner::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE: {
            pm_.Init(hwnd_);
            LayoutBuilder builder;
            if (auto root = builder.Create(L"notice_banner.xml", nullptr, &pm_)) pm_.AttachDialog(std::move(root));
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE || wParam == VK_RETURN) {
                Close(1);
                return 0;
            }
            break;
        case WM_KILLFOCUS:
        case WM_LBUTTONDOWN:
        case WM_NCLBUTTONDOWN:
            PostMessageW(WM_CLOSE);
            if (msg != WM_KILLFOCUS) return 0;
            break;
        case WM_TIMER:
            if (wParam == kCloseTimer) {
                ::KillTimer(hwnd_, kCloseTimer);
                PostMessageW(WM_CLOSE);
                return 0;
            }
            break;
        case WM_GETOBJECT:
            if (LRESULT answer = AnswerGetObject(pm_, wParam, lParam, ROLE_SYSTEM_ALERT)) return answer;
            break;
        case WM_MOUSEACTIVATE:
            if (action_.activating == 0) return MA_NOACTIVATE;
            break;
        default:
            break;
    }
    LRESULT result = 0;
    if (pm_.MessageHandler(msg, wParam, lParam, result)) return result;
    return DefaultProc(msg, wParam, lParam);
}

void NoticeBanner::OnFinalMessage(HWND) {
    if (action_.activating == 0 && action_.target != nullptr && action_.message != 0) {
        ::PostMessageW(action_.target, action_.message, 0, 0);
    }
    lineControls_.clear();
    pm_.ReleaseRoot();
    delete this;
}

}  // namespace ui
