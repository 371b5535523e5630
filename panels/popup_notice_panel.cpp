#include "panels/popup_notice_panel.h"

#include "api/msg_center_busi.h"
#include "api/open_url_syn_login.h"
#include "net/shell_open.h"
#include "shell/messages.h"
#include "ui/controls.h"

namespace {

// Contents shorter than this many characters of text (besides their first
// tag) start on a new line.
constexpr size_t kShortContent = 40;

}  // namespace

PopupNoticePanel::PopupNoticePanel(HWND owner)
    : PopupWindow(PopupArgs(owner, kLayout, kClassName, kTitle, msg::kNoticePopupClosed)) {}

PopupNoticePanel::~PopupNoticePanel() = default;

size_t PopupNoticePanel::Queued() const { return queue_.size(); }

void PopupNoticePanel::Init() {
    title_ = pm_.FindControl(L"Title");
    caption_ = pm_.FindControl(L"Caption");
    content_ = pm_.FindControl(L"Content");
    more_ = pm_.FindControl(L"More");
    InitPopup();
}

std::wstring PopupNoticePanel::ContentText(const std::wstring& content) {
    size_t allowance = 0;
    const size_t open = content.find(L'<');
    if (open != std::wstring::npos) {
        const size_t close = content.find(L'>', open);
        if (close != std::wstring::npos) allowance = close - open + 4;
    }
    return content.size() < allowance + kShortContent ? L"<n>" + content : content;
}

void PopupNoticePanel::Append(const std::vector<NoticeEntry>& entries) {
    if (entries.empty()) return;
    queue_.insert(queue_.end(), entries.begin(), entries.end());
    ShowEntry(queue_.back());
}

void PopupNoticePanel::ShowEntry(const NoticeEntry& entry) {
    if (title_ != nullptr) title_->SetText(entry.title);
    if (caption_ != nullptr) caption_->SetText(entry.caption);
    if (more_ != nullptr) more_->SetText(entry.more);
    if (content_ != nullptr) content_->SetText(ContentText(entry.content));
    Announce();
}

void PopupNoticePanel::Dismiss() {
    if (queue_.empty()) return;
    queue_.pop_back();
    if (queue_.empty()) {
        Close(1);
    } else {
        ShowEntry(queue_.back());
    }
}

void PopupNoticePanel::OnNotify(ui::Notification& msg) {
    if (msg.sender == nullptr) return;
    const std::wstring& name = msg.sender->GetName();
    if (msg.type == L"click" && (name == L"BtnExit" || name == L"More")) {
        Dismiss();
    } else if (msg.type == L"link" && (name == L"Caption" || name == L"Content")) {
        auto* text = dynamic_cast<ui::FormattedText*>(msg.sender);
        if (text == nullptr || queue_.empty()) return;
        const std::wstring target = text->GetLinkContent(static_cast<int>(msg.wParam));
        if (!IsWebAddress(target)) return;
        SynLogin().OpenUrl(target);
        Dismiss();
    }
}
