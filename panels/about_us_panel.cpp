#include "panels/about_us_panel.h"

#include "api/envelope.h"
#include "api/open_url_syn_login.h"
#include "api/program_version.h"
#include "net/http_request.h"
#include "shell/messages.h"
#include "shell/service_config.h"
#include "shell/text.h"
#include "ui/controls.h"

namespace {

const wchar_t kVersionPrefix[] = L"lastVersion=";
constexpr size_t kPrefixLength = sizeof(kVersionPrefix) / sizeof(wchar_t) - 1;
// The version page is a few short lines.
constexpr uint32_t kMaxVersionPage = 64u * 1024;
// The badge overhangs the end of the version number by this much.
constexpr int kBadgeOverhang = 16;

}  // namespace

VersionVerdict ReadVersionPage(const std::string& body, uint64_t own) {
    const std::wstring text = shell::AnsiToWide(body);
    VersionVerdict verdict = VersionVerdict::kUnknown;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line;
        for (size_t i = start; i < end; ++i) {
            if (text[i] != L'\t') line += text[i];
        }
        if (line.compare(0, kPrefixLength, kVersionPrefix) == 0) {
            const uint64_t announced = VersionInfo::Parse(line.substr(kPrefixLength), true).Number();
            verdict = announced > own ? VersionVerdict::kNewer : VersionVerdict::kUpToDate;
        }
        start = end + 1;
    }
    return verdict;
}

AboutUsPanel::AboutUsPanel(HWND owner)
    : SecondaryWindow({owner, L"about_us.xml", kClassName, L"关于云帆商务台", kDialogStyle, WS_EX_TOOLWINDOW,
                       msg::kAboutPanelClosed, false}) {}

AboutUsPanel::~AboutUsPanel() {
    // Also when the window goes without a close (the client's end).
    AbandonAll();
}

void AboutUsPanel::Init() {
    version_ = dynamic_cast<ui::Button*>(pm_.FindControl(L"version"));
    newTip_ = pm_.FindControl(L"newTip");

    HttpRequestHeader header(HttpRequestHeader::kGet, Service().port);
    header.url = Service().WebOrigin() + kVersionPage;
    header.maxBody = kMaxVersionPage;
    header.timeout = api::RequestTimeLimit();
    versionId_ = StartRequest(header);

    if (version_ != nullptr) {
        version_->SetText(ProgramVersion().text);
        version_->SetToolTip(kCheckingTip);
        FitVersionWidth();
    }
}

void AboutUsPanel::FitVersionWidth() {
    if (version_ == nullptr) return;
    version_->SetFixedWidth(version_->MeasureText(version_->GetText()).cx + 2);
}

void AboutUsPanel::OnRequestFinished(FCHttpRequest& request) {
    if (request.Id() != versionId_) return;
    versionId_ = -1;
    if (IsClosing()) return;
    if (request.StatusCode() != 200 || !api::IsBodyComplete(request)) {
        Show(Check::kFailed);
        return;
    }
    std::string body;
    request.PopReceivedData(body);
    switch (ReadVersionPage(body, ProgramVersion().Number())) {
        case VersionVerdict::kNewer: Show(Check::kNewer); break;
        case VersionVerdict::kUpToDate: Show(Check::kUpToDate); break;
        case VersionVerdict::kUnknown: Show(Check::kFailed); break;
    }
}

void AboutUsPanel::OnRequestTimeout(FCHttpRequest& request) {
    if (request.Id() != versionId_) return;
    versionId_ = -1;
    if (!IsClosing()) Show(Check::kFailed);
}

void AboutUsPanel::Show(Check check) {
    check_ = check;
    if (version_ == nullptr) return;
    if (check != Check::kNewer) {
        version_->SetToolTip(check == Check::kUpToDate ? kUpToDateTip : kUncheckedTip);
        return;
    }
    version_->SetFont(kVersionFont);
    version_->SetToolTip(kNewerTip);
    FitVersionWidth();
    if (newTip_ == nullptr) return;
    pm_.UpdateLayout();
    const RECT r = version_->GetPos();
    const int overhang = version_->Scale(kBadgeOverhang);
    newTip_->SetPos(RECT{r.right - newTip_->GetFixedWidth() + overhang, r.top - newTip_->GetFixedHeight(),
                         r.right + overhang, r.top});
    newTip_->SetVisible(true);
}

LRESULT AboutUsPanel::MessageHandler(UINT msg, WPARAM wParam, LPARAM, bool& handled) {
    CloseOnReturnOrEscape(msg, wParam, handled);
    return 0;
}

LRESULT AboutUsPanel::OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
    // A request still hanging must not hold the window up: its worker ends
    // on its own.
    versionId_ = -1;
    AbandonAll();
    return SecondaryWindow::OnClose(msg, wParam, lParam, handled);
}

void AboutUsPanel::OnNotify(ui::Notification& msg) {
    if (msg.sender == nullptr) return;
    const std::wstring& name = msg.sender->GetName();
    if (msg.type == L"click") {
        if (name == L"BtnExit") {
            Close(1);
        } else if (name == L"version") {
            SynLogin().OpenUrl(Service().WebOrigin() + kDownloadPage);
        }
    } else if (msg.type == L"link") {
        OpenLink(msg.sender, static_cast<int>(msg.wParam));
    }
}

void AboutUsPanel::OpenLink(ui::Control* sender, int index) {
    std::wstring target;
    if (auto* text = dynamic_cast<ui::FormattedText*>(sender); text != nullptr && index < text->GetLinkCount()) {
        target = text->GetLinkContent(index);
    }
    // A target on the web host is written as its path: the host is the
    // client's to configure.
    if (target.empty()) {
        target = Service().WebOrigin() + L"/?soft";
    } else if (target[0] == L'/') {
        target = Service().WebOrigin() + target;
    }
    SynLogin().OpenUrl(target);
}
