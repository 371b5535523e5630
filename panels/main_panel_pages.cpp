// Main window: the post box with its counter and type options, posting and
// its result, the page options and page buttons, the title area, the
// counters in the bottom strip.
#include "panels/main_panel.h"

#include "api/main_busi.h"
#include "api/open_url_syn_login.h"
#include "api/subscribe_busi.h"
#include "net/shell_open.h"
#include "shell/app_settings.h"
#include "shell/text.h"
#include "ui/controls.h"
#include "ui/native_controls.h"

namespace {

const wchar_t kListHome[] = L"/rovavoda.php/rovavoda/sq";
const wchar_t kMyInquiries[] = L"/rovavoda.php/rovavoda/sq/mysq";
const wchar_t kSubscribed[] = L"/rovavoda.php/rovavoda/sq/my_sq_rss";
constexpr int kMaxPostChars = 140;

const wchar_t* PostResultText(int code) {
    switch (code) {
        case 0: return L"发布失败, 未知错误";
        case -1: return L"错误的uid";
        case -2: return L"请勿少于5字";
        case -3: return L"请勿超过140字";
        case -4: return L"请您输入内容";
        case -6: return L"您好，您今天发布的询价信息已达100条上限，请明天再发";
        case -7: return L"您好，此询价信息已存在，请勿重复发布";
        case -10: return L"抱歉，您因多次发布违规信息，<n>账号已被冻结，无法进行该操作。";
        case -12: return L"抱歉，您发布的询价信息已过期";
        case -13: return L"抱歉，您的账号已被冻结，无法进行此项操作。";
        case -14: return L"抱歉，询价信息发送失败，请重新发送。";
        default: return nullptr;
    }
}

}  // namespace

void MainPanel::OnPostTextChanged() {
    if (postEdit_ == nullptr || restWordCount_ == nullptr) return;
    const int n = postEdit_->GetTextLength();
    restWordCount_->SetText(std::to_wstring(kMaxPostChars - n));
    restWordCount_->SetTextColor(n > kMaxPostChars ? 0xFFFF0000 : 0xFFE5E5E5);
    if (postNotice_ && postNotice_->IsVisible()) postNotice_->SetVisible(false);
}

void MainPanel::OnPostFocus(bool gained) {
    if (gained) {
        if (!Settings().signedIn) {
            ShowLoginLayer();
            return;
        }
        // Until the posting rules are accepted the box is not for writing;
        // the rules window that takes the acceptance is not part of this build.
        if (!Settings().postedFlag) return;
        if (postNotice_) postNotice_->SetVisible(false);
        ExpandPostOptions(true);
    } else {
        if (postNotice_ && postEdit_ && postEdit_->GetTextLength() == 0) postNotice_->SetVisible(true);
        ExpandPostOptions(false);
    }
}

void MainPanel::ExpandPostOptions(bool expand) {
    auto* options = pm_.FindControl(L"LayoutPostOption");
    if (options == nullptr || options->IsVisible() == expand) return;
    const int h = expand ? options->GetFixedHeight() : -options->GetFixedHeight();
    for (const wchar_t* name : {L"TitleInfoPanelContainer", L"TitleInfoPanelFull", L"MultiLayerContainer"}) {
        if (auto* c = pm_.FindControl(name)) c->SetFixedHeight(c->GetFixedHeight() + h);
    }
    options->SetVisible(expand);
    if (auto* bottom = pm_.FindControl(L"HLayoutEditBottom")) bottom->SetFixedHeight(bottom->Scale(expand ? 3 : 6));
}

void MainPanel::OnPostTypeChanged() {
    const bool inquiry = IsSelected(L"OpZudedo");
    if (auto* pad = pm_.FindControl(L"PostOptionPad")) pad->SetVisible(inquiry);
    if (auto* ad = pm_.FindControl(L"PostAdPad")) ad->SetVisible(!inquiry);
}

void MainPanel::OnPost() {
    if (!Settings().signedIn) {
        ShowLoginLayer();
        return;
    }
    if (!Settings().postedFlag) return;  // the rules come first
    if (postEdit_ == nullptr || multiLayer_ == nullptr) return;
    const std::wstring text = postEdit_->GetText();
    const RECT& layer = multiLayer_->GetPos();
    const POINT at = ClientToScreen(multiLayer_->GetWidth() / 2, layer.bottom - 10);
    if (text.empty()) {
        ShowTip(L"请输入内容", at.x, at.y, 0, kHintColour);
        return;
    }
    if (text.size() > kMaxPostChars) {
        ShowTip(L"请勿超过140字", at.x, at.y, 0, kHintColour);
        return;
    }
    int type = 0;
    int category = -1;
    if (pm_.FindControl(L"OpZudedo") && IsSelected(L"OpZudedo")) {
        const std::pair<const wchar_t*, int> pads[] = {{L"OpDijie", 1}, {L"OpZutuan", 2}, {L"OpFang", 3},
                                                       {L"OpChe", 4},   {L"OpPiaowu", 5}, {L"OpQita", 0}};
        for (const auto& pad : pads) {
            if (IsSelected(pad.first)) {
                category = pad.second;
                break;
            }
        }
        if (category < 0) {
            ShowTip(L"请选择消息类型后再发布", at.x, at.y, 0, kHintColour);
            return;
        }
    } else {
        type = 1;
    }
    postType_ = type;
    if (mainBusi_) mainBusi_->AddPost(text, type, category);
}

void MainPanel::OnPostResult(int code) {
    if (multiLayer_ == nullptr) return;
    const RECT& layer = multiLayer_->GetPos();
    const POINT at = ClientToScreen(multiLayer_->GetWidth() / 2, layer.bottom - 10);
    std::wstring text;
    if (const wchar_t* known = PostResultText(code)) {
        text = known;
    } else if (postType_ == 0) {
        text = shell::FormatW(L"发布成功,获得系统奖励1积分！<n>您累计已获得 %d 积分", code);
    } else {
        text = L"发布成功!";
    }
    ShowTip(text, at.x, at.y, 0, kHintColour);
    if (code <= 0) return;
    if (postEdit_) postEdit_->SetText(L"");
    if (postNotice_) postNotice_->SetVisible(true);
    if (avatar_) avatar_->SetFocus();
    if (IsSelected(L"OpAllListPage")) {
        OpenServicePage(ServicePage(kListHome) + (postType_ == 1 ? L"?sq_type=2" : L"?sq_type=1"));
    } else if (IsSelected(L"OpMyRequire")) {
        OpenMyInquiries();
    } else if (IsSelected(L"OpSubscribeListPage")) {
        OpenSubscribedInquiries();
    }
}

void MainPanel::ShowMultiLayer(bool show) {
    auto* full = pm_.FindControl(L"TitleInfoPanelFull");
    auto* container = pm_.FindControl(L"TitleInfoPanelContainer");
    if (multiLayer_ == nullptr || full == nullptr || container == nullptr) return;
    if (multiLayer_->IsVisible() == show) return;
    if (!show) ExpandPostOptions(false);
    const int height = full->GetFixedHeight() + (show ? multiLayer_->GetFixedHeight() : -multiLayer_->GetFixedHeight());
    multiLayer_->SetVisible(show);
    full->SetFixedHeight(height);
    container->SetFixedHeight(height);
}

void MainPanel::OpenListHome(const wchar_t* query) {
    OpenServicePage(ServicePage(kListHome) + query);
    ShowMultiLayer(true);
    FocusBrowser();
}

bool MainPanel::SignedInOrAsk(const wchar_t* tip) {
    if (Settings().signedIn) return true;
    ShowLoginLayer();
    if (multiLayer_) {
        const POINT at = ClientToScreen(multiLayer_->GetWidth() / 2, multiLayer_->GetPos().bottom - 29);
        ShowTip(tip, at.x, at.y, 0, kHintColour);
    }
    return false;
}

void MainPanel::OpenMyInquiries() {
    if (!SignedInOrAsk(L"请登录后再查看您发布的询价")) return;
    OpenServicePage(ServicePage(kMyInquiries));
    ShowMultiLayer(false);
    FocusBrowser();
}

void MainPanel::OpenSubscribedInquiries() {
    if (!SignedInOrAsk(L"请您登录后再查看订阅区域的询价")) return;
    OpenServicePage(ServicePage(kSubscribed));
    if (subscribeBusi_) subscribeBusi_->ResetNewInquiryTotal();
    ShowMultiLayer(false);
    FocusBrowser();
}

void MainPanel::ReopenCurrentPage() {
    if (IsSelected(L"OpMyRequire")) {
        OpenMyInquiries();
    } else if (IsSelected(L"OpSubscribeListPage")) {
        OpenSubscribedInquiries();
    } else {
        OpenListHome(L"");
    }
}

void MainPanel::OnShowSubscribedList() {
    ShowMainWindow();
    if (IsSelected(L"OpSubscribeListPage")) {
        OpenServicePage(ServicePage(kSubscribed));
        if (subscribeBusi_) subscribeBusi_->ResetNewInquiryTotal();
    } else if (auto* option = Find<ui::Option>(L"OpSubscribeListPage")) {
        option->Selected(true, true);
    }
}

void MainPanel::OnGoToPostBox() {
    SelectListHome();
    if (postEdit_) postEdit_->SetFocus();
}

void MainPanel::SelectListHome() {
    if (auto* all = Find<ui::Option>(L"OpAllListPage"); all && !all->IsSelected()) all->Selected(true, true);
}

void MainPanel::OpenSelectedPersonalPage() {
    if (IsSelected(L"OpMyRequire")) {
        OpenMyInquiries();
    } else if (IsSelected(L"OpSubscribeListPage")) {
        OpenSubscribedInquiries();
    }
}

void MainPanel::FocusBrowser() {
    if (auto* browser = pm_.FindControl(L"browser")) browser->SetFocus();
}

void MainPanel::SetTitleAreaFull(bool full) {
    auto* container = pm_.FindControl(L"TitleInfoPanelContainer");
    auto* panelFull = pm_.FindControl(L"TitleInfoPanelFull");
    auto* panelTiny = pm_.FindControl(L"TitleInfoPanelTiny");
    auto* showFull = pm_.FindControl(L"BtnShowFull");
    if (!container || !panelFull || !panelTiny || !showFull || !btnHideFull_) return;
    container->SetFixedHeight(full ? panelFull->GetFixedHeight() : panelTiny->GetFixedHeight());
    panelTiny->SetVisible(!full);
    panelFull->SetVisible(full);
    showFull->SetVisible(!full);
    btnHideFull_->SetVisible(full);
    (full ? btnHideFull_ : showFull)->SetFocus();
}

void MainPanel::OnPageButton(const std::wstring& name) {
    if (name == L"ViewPostRule") SynLogin().OpenUrl(WebPage(L"/blog/lb_info/3761"));
}

void MainPanel::UpdateBottomLabel() {
    if (auto* label = pm_.FindControl(L"BottomLabel")) {
        const AppSettings& s = Settings();
        label->SetText(shell::FormatW(L"当前询价总数:%ld   今日询价新增:%ld", static_cast<long>(s.totalPosts),
                                      static_cast<long>(s.todayPosts)));
    }
}
