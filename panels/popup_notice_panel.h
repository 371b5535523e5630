// The notice pop-up: the service's important notices, one at a time. The
// notices of a list are shown from the last to the first; each is dismissed
// by "BtnExit", "More" or one of its links, and the window closes after the
// last. Links come from the network: only web addresses are opened.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "panels/popup_window.h"

struct NoticeEntry;

namespace ui {
class Control;
}  // namespace ui

class PopupNoticePanel : public PopupWindow {
public:
    static constexpr wchar_t kClassName[] = L"zudedo_popup_notice_panel";
    static constexpr wchar_t kLayout[] = L"popup_notice_panel.xml";
    static constexpr wchar_t kTitle[] = L"重要通知";

    explicit PopupNoticePanel(HWND owner);

    // Adds the entries at the end of the queue and shows the last one; an
    // empty list changes nothing.
    void Append(const std::vector<NoticeEntry>& entries);
    size_t Queued() const;

    // What "Content" shows for a notice's content: a short content starts
    // on a line of its own, below the caption.
    static std::wstring ContentText(const std::wstring& content);

protected:
    ~PopupNoticePanel() override;

private:
    void Init() override;
    void OnNotify(ui::Notification& msg) override;
    void ShowEntry(const NoticeEntry& entry);
    // Removes the shown entry; shows the one before it or closes.
    void Dismiss();

    std::vector<NoticeEntry> queue_;
    ui::Control* title_ = nullptr;
    ui::Control* caption_ = nullptr;
    ui::Control* content_ = nullptr;
    ui::Control* more_ = nullptr;
};
