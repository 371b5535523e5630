// The subscription window: the regions whose new inquiries the user wants
// to hear of, as check boxes, turned into the province list that the
// subscription service sends ("0" the whole country, "-1" none, else the
// codes each followed by a comma in the order of kRegions) and back.
#pragma once

#include <windows.h>

#include <string>

#include "ui/notice_banner.h"
#include "ui/secondary_window.h"
#include "ui/window_ref.h"

namespace ui {
class Option;
}

class CustomSubscribePanel : public ui::SecondaryWindow {
public:
    static constexpr wchar_t kLayout[] = L"custom_subscribe_panel.xml";
    static constexpr wchar_t kClassName[] = L"zudedo_custom_subscribe_panel";
    static constexpr wchar_t kTitle[] = L"订阅询价";
    // The whole country, and the one region it leaves out.
    static constexpr wchar_t kAll[] = L"OpAll";
    static constexpr wchar_t kAbroad[] = L"OpAbroad";
    // How long after a tip is asked for it shows: the window has settled.
    static constexpr UINT kTipDelayMs = 500;
    static constexpr UINT_PTR kTipTimer = 1;

    struct Region {
        const wchar_t* option;
        int code;
    };
    // Every region but the whole country, in the order the list is written.
    static const Region kRegions[34];

    explicit CustomSubscribePanel(HWND owner);

    // Shows a tip in the window shortly (colour 0xRRGGBB; 0 ms: until the
    // window closes). A later tip replaces a pending or shown one; a pending
    // one keeps its time.
    void ShowTip(const std::wstring& text, DWORD rgb, UINT ms);
    // The province list the ticked options make.
    std::wstring BuildProvinceList();

    LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void Init() override;
    void OnNotify(ui::Notification& msg) override;
    ui::Option* OptionOf(const wchar_t* name);
    void Select(const wchar_t* name, bool selected, bool notify);
    void Save();
    void OnTipTimer();

    struct Tip {
        std::wstring text;
        DWORD rgb = 0;
        UINT ms = 0;
    } tip_;
    bool tipPending_ = false;
    ui::WindowRef<ui::NoticeBanner> banner_;
};
