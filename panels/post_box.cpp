#include "panels/post_box.h"

#include <windowsx.h>

#include <utility>
#include <vector>

#include "api/main_busi.h"
#include "api/open_url_syn_login.h"
#include "api/subscribe_busi.h"
#include "panels/main_window_host.h"
#include "panels/route_table.h"
#include "panels/side_windows.h"
#include "shell/app_settings.h"
#include "shell/messages.h"
#include "shell/text.h"
#include "ui/controls.h"
#include "ui/native_controls.h"

namespace {

const wchar_t kListHome[] = L"/rovavoda.php/rovavoda/sq";
const wchar_t kMyInquiries[] = L"/rovavoda.php/rovavoda/sq/mysq";
const wchar_t kSubscribed[] = L"/rovavoda.php/rovavoda/sq/my_sq_rss";
constexpr int kMaxPostChars = 140;
// Queued by the post box to itself, delivered once a focus change is done.
const wchar_t kFocusSettled[] = L"postfocussettled";
// The controls of the posting area that take the focus besides the box.
const wchar_t* const kAreaStops[] = {L"BtnPost", L"OpZudedo", L"OpTuiguang", L"OpDijie", L"OpZutuan",
                                     L"OpFang",  L"OpChe",    L"OpPiaowu",   L"OpQita"};

// The result of a post; any code not listed is a success whose value, for
// an inquiry, is the user's points total.
std::wstring PostResultText(int code, int postType) {
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
        default: break;
    }
    if (postType == 0) return shell::FormatW(L"发布成功,获得系统奖励1积分！<n>您累计已获得 %d 积分", code);
    return L"发布成功!";
}

}  // namespace

void PostBox::AddRoutes(RouteTable& routes) {
    MessageRoutes& m = routes.messages;
    m.Add(msg::kPostResult, [this](WPARAM code, LPARAM) {
        OnPostResult(static_cast<int>(static_cast<INT_PTR>(code)));
    });
    m.Add(msg::kPostCountsStored, [this](WPARAM, LPARAM) { UpdateBottomLabel(); });
    m.Add(msg::kWebLoginDone, [this](WPARAM, LPARAM) { ReopenCurrentPage(); });
    m.Add(msg::kShowSubscribedList, [this](WPARAM, LPARAM) { OnShowSubscribedList(); });
    m.Add(msg::kPagePostNew, [this](WPARAM, LPARAM) { OnGoToPostBox(); });
    // Before the framework's own handling of the press and the key.
    m.Add(WM_LBUTTONDOWN, [this](WPARAM, LPARAM at) { OnPress(POINT{GET_X_LPARAM(at), GET_Y_LPARAM(at)}); });
    // A press in a native child (the page, a box) is told to the window first.
    m.Add(WM_PARENTNOTIFY, [this](WPARAM what, LPARAM at) {
        if (LOWORD(what) == WM_LBUTTONDOWN) OnPress(POINT{GET_X_LPARAM(at), GET_Y_LPARAM(at)});
    });
    m.Add(WM_KEYDOWN, [this](WPARAM key, LPARAM) { OnKeyDown(key); });

    NotifyRoutes& n = routes.notifications;
    n.Add(L"click", L"BtnShowFull", [this](ui::Notification&) { SetTitleAreaFull(true); });
    n.Add(L"click", L"BtnHideFull", [this](ui::Notification&) { SetTitleAreaFull(false); });
    n.Add(L"click", L"BtnPost", [this](ui::Notification&) { OnPost(); });
    n.Add(L"click", L"ViewPostRule", [](ui::Notification&) {
        SynLogin().OpenUrl(MainWindowHost::WebPage(L"/blog/lb_info/3761"));
    });
    n.Add(L"textchanged", L"PostEdit", [this](ui::Notification&) { OnTextChanged(); });
    n.Add(L"setfocus", L"PostEdit", [this](ui::Notification&) { OnFocus(true); });
    n.Add(L"killfocus", L"PostEdit", [this](ui::Notification&) { OnFocus(false); });
    for (const wchar_t* stop : kAreaStops) {
        n.Add(L"killfocus", stop, [this](ui::Notification&) { CheckFocusLater(); });
    }
    n.Add(kFocusSettled, L"PostEdit", [this](ui::Notification&) { OnFocusSettled(); });
    // A radio option going out sends nothing; these react to coming in.
    n.Add(L"selectchanged", L"OpAllListPage", [this](ui::Notification&) {
        if (host_.IsSelected(L"OpAllListPage")) OpenListHome();
    });
    n.Add(L"selectchanged", L"OpMyRequire", [this](ui::Notification&) {
        if (host_.IsSelected(L"OpMyRequire")) OpenMyInquiries();
    });
    n.Add(L"selectchanged", L"OpSubscribeListPage", [this](ui::Notification&) {
        if (host_.IsSelected(L"OpSubscribeListPage")) OpenSubscribedInquiries();
    });
    n.Add(L"selectchanged", L"OpZudedo", [this](ui::Notification&) { OnPostTypeChanged(); });
    n.Add(L"selectchanged", L"OpTuiguang", [this](ui::Notification&) { OnPostTypeChanged(); });
    AddEditMenuRoutes(n);
}

void PostBox::AddEditMenuRoutes(NotifyRoutes& n) {
    // The edit menu's items, from whichever control owns the menu.
    const std::wstring any = NotifyRoutes::kAnySender;
    n.Add(L"menu_cut", any, [this](ui::Notification&) {
        if (postEdit_) postEdit_->Cut();
    });
    n.Add(L"menu_copy", any, [this](ui::Notification&) {
        if (postEdit_) postEdit_->Copy();
    });
    n.Add(L"menu_paste", any, [this](ui::Notification&) {
        if (postEdit_) postEdit_->Paste();
    });
    n.Add(L"menu_select_all", any, [this](ui::Notification&) {
        if (postEdit_) postEdit_->SetSelAll();
    });
}

void PostBox::Init() {
    postEdit_ = host_.Find<ui::RichEdit>(L"PostEdit");
    postNotice_ = host_.Find(L"PostNotice");
    restWordCount_ = host_.Find<ui::Label>(L"RestWordCount");
    multiLayer_ = host_.Find(L"MultiLayerContainer");
    postLayer_ = host_.Find(L"PostLayer");
    btnHideFull_ = host_.Find(L"BtnHideFull");
    focusAway_ = host_.Find(L"avatar");
    if (postEdit_) postEdit_->SetEventMask(ENM_CHANGE | ENM_REQUESTRESIZE);
}

void PostBox::OnTextChanged() {
    if (postEdit_ == nullptr || restWordCount_ == nullptr) return;
    const int n = postEdit_->GetTextLength();
    restWordCount_->SetText(std::to_wstring(kMaxPostChars - n));
    restWordCount_->SetTextColor(n > kMaxPostChars ? 0xFFFF0000 : 0xFFE5E5E5);
    if (postNotice_ && postNotice_->IsVisible()) postNotice_->SetVisible(false);
}

void PostBox::OnFocus(bool gained) {
    if (gained) {
        if (!Settings().signedIn) {
            host_.ShowLoginLayer();
            return;
        }
        if (!Settings().postedFlag) host_.ShowPostRules(true);
        if (postNotice_) postNotice_->SetVisible(false);
        ExpandPostOptions(true);
    } else {
        if (postNotice_ && postEdit_ && postEdit_->GetTextLength() == 0) postNotice_->SetVisible(true);
        CheckFocusLater();
    }
}

bool PostBox::InPostingArea(const ui::Control* control) const {
    if (postLayer_ == nullptr) return control != nullptr && control == postEdit_;
    for (; control != nullptr; control = control->GetParent()) {
        if (control == postLayer_) return true;
    }
    return false;
}

void PostBox::CheckFocusLater() {
    if (postEdit_) host_.Paint().SendNotify(postEdit_, kFocusSettled, 0, 0, true);
}

void PostBox::OnFocusSettled() {
    ui::Control* focus = host_.Paint().GetFocus();
    if (backToBox_ && focus == nullptr && postEdit_) {
        backToBox_ = false;
        postEdit_->SetFocus();
        return;
    }
    backToBox_ = false;
    if (!InPostingArea(focus)) ExpandPostOptions(false);
}

void PostBox::OnPress(POINT at) {
    ui::PaintManager& paint = host_.Paint();
    ui::Control* hit = paint.FindControl(at);
    ui::Control* focus = paint.GetFocus();
    backToBox_ = false;
    if (!InPostingArea(hit)) {
        // The framework keeps a drawn control's focus on a press on something
        // that takes none; leaving the posting area is leaving it all the same.
        if (InPostingArea(focus)) LeavePostingArea();
        return;
    }
    // A press on a part of the area that takes no focus (a label, a gap)
    // makes the framework drop the box's focus: the keys go back to the box.
    if (focus == postEdit_ && (hit == nullptr || !hit->IsTabStop())) backToBox_ = true;
}

void PostBox::LeavePostingArea() {
    host_.Paint().SetFocus(nullptr);
    // The box's own window would keep the keys, and a later click into it
    // would then not focus it again.
    const HWND box = postEdit_ ? postEdit_->NativeHandle() : nullptr;
    if (box != nullptr && ::GetFocus() == box) ::SetFocus(host_.Window());
}

void PostBox::OnKeyDown(WPARAM key) {
    const int step = key == VK_RIGHT || key == VK_DOWN ? 1 : key == VK_LEFT || key == VK_UP ? -1 : 0;
    auto* option = dynamic_cast<ui::Option*>(host_.Paint().GetFocus());
    if (step == 0 || option == nullptr || option->GetGroup().empty() || !InPostingArea(option)) return;
    auto* row = dynamic_cast<ui::Container*>(option->GetParent());
    if (row == nullptr) return;
    std::vector<ui::Option*> group;
    size_t at = 0;
    for (int i = 0; i < row->GetCount(); ++i) {
        auto* o = dynamic_cast<ui::Option*>(row->GetItemAt(i));
        if (o == nullptr || o->GetGroup() != option->GetGroup() || !o->IsVisible() || !o->IsEnabled()) continue;
        if (o == option) at = group.size();
        group.push_back(o);
    }
    const size_t n = group.size();
    if (n < 2) return;
    ui::Option* next = group[step > 0 ? (at + 1) % n : (at + n - 1) % n];
    next->SetFocus();
    next->Selected(true, true);
}

void PostBox::OnCaptionPress() {
    if (InPostingArea(host_.Paint().GetFocus())) LeavePostingArea();
}

void PostBox::OnPagePress() {
    if (!InPostingArea(host_.Paint().GetFocus())) return;
    // The page keeps the keyboard: the window clicked into had it.
    const HWND had = ::GetFocus();
    host_.FocusBrowser();
    if (had != nullptr && ::IsWindow(had) && ::GetFocus() != had) ::SetFocus(had);
}

void PostBox::OnLoginLayerShown(bool shown) {
    if (postLayer_ == nullptr) return;
    if (shown) ExpandPostOptions(false);
    postLayer_->SetVisible(!shown);
}

void PostBox::ExpandPostOptions(bool expand) {
    auto* options = host_.Find(L"LayoutPostOption");
    if (options == nullptr || options->IsVisible() == expand) return;
    const int h = expand ? options->GetFixedHeight() : -options->GetFixedHeight();
    for (const wchar_t* name : {L"TitleInfoPanelContainer", L"TitleInfoPanelFull", L"MultiLayerContainer"}) {
        if (auto* c = host_.Find(name)) c->SetFixedHeight(c->GetFixedHeight() + h);
    }
    options->SetVisible(expand);
    if (auto* bottom = host_.Find(L"HLayoutEditBottom")) bottom->SetFixedHeight(bottom->Scale(expand ? 3 : 6));
}

void PostBox::OnPostTypeChanged() {
    const bool inquiry = host_.IsSelected(L"OpZudedo");
    if (auto* pad = host_.Find(L"PostOptionPad")) pad->SetVisible(inquiry);
    if (auto* ad = host_.Find(L"PostAdPad")) ad->SetVisible(!inquiry);
}

POINT PostBox::TipPoint(int above) const {
    return host_.ClientToScreen(multiLayer_->GetWidth() / 2, multiLayer_->GetPos().bottom - above);
}

void PostBox::OnPost() {
    if (!Settings().signedIn) {
        host_.ShowLoginLayer();
        return;
    }
    if (!Settings().postedFlag) {
        // The rules come first; once accepted, the user sends again.
        host_.ShowPostRules(false);
        return;
    }
    if (postEdit_ == nullptr || multiLayer_ == nullptr) return;
    const std::wstring text = postEdit_->GetText();
    const POINT at = TipPoint(10);
    const wchar_t* refusal = text.empty()                  ? L"请输入内容"
                             : text.size() > kMaxPostChars ? L"请勿超过140字"
                                                           : nullptr;
    int type = 0;
    int category = -1;
    if (refusal == nullptr && !ReadPostKind(type, category)) refusal = L"请选择消息类型后再发布";
    if (refusal) {
        host_.ShowTip(refusal, at.x, at.y, 0, MainWindowHost::kHintColour);
        return;
    }
    postType_ = type;
    if (MainBusi* session = host_.Session()) session->AddPost(text, type, category);
}

bool PostBox::ReadPostKind(int& type, int& category) {
    if (!host_.IsSelected(L"OpZudedo")) {
        type = 1;
        category = -1;
        return true;
    }
    const std::pair<const wchar_t*, int> pads[] = {{L"OpDijie", 1}, {L"OpZutuan", 2}, {L"OpFang", 3},
                                                   {L"OpChe", 4},   {L"OpPiaowu", 5}, {L"OpQita", 0}};
    type = 0;
    for (const auto& pad : pads) {
        if (host_.IsSelected(pad.first)) {
            category = pad.second;
            return true;
        }
    }
    return false;
}

void PostBox::OnPostResult(int code) {
    if (multiLayer_ == nullptr) return;
    const POINT at = TipPoint(10);
    host_.ShowTip(PostResultText(code, postType_), at.x, at.y, 0, MainWindowHost::kHintColour);
    if (code <= 0) return;
    if (postEdit_) postEdit_->SetText(L"");
    if (postNotice_) postNotice_->SetVisible(true);
    if (focusAway_) focusAway_->SetFocus();
    if (host_.IsSelected(L"OpAllListPage")) {
        host_.OpenServicePage(MainWindowHost::ServicePage(kListHome) +
                              (postType_ == 1 ? L"?sq_type=2" : L"?sq_type=1"));
    } else {
        OpenSelectedPersonalPage();
    }
}

void PostBox::ShowMultiLayer(bool show) {
    auto* full = host_.Find(L"TitleInfoPanelFull");
    auto* container = host_.Find(L"TitleInfoPanelContainer");
    if (multiLayer_ == nullptr || full == nullptr || container == nullptr) return;
    if (multiLayer_->IsVisible() == show) return;
    if (!show) ExpandPostOptions(false);
    const int layer = multiLayer_->GetFixedHeight();
    const int height = full->GetFixedHeight() + (show ? layer : -layer);
    multiLayer_->SetVisible(show);
    full->SetFixedHeight(height);
    container->SetFixedHeight(height);
}

void PostBox::OpenListHome(const wchar_t* query) {
    host_.OpenServicePage(MainWindowHost::ServicePage(kListHome) + query);
    ShowMultiLayer(true);
    FocusPage();
}

void PostBox::FocusPage() {
    // Pages also open by themselves (a web login done, the host back): they
    // do not take the keyboard from someone writing a post.
    if (!InPostingArea(host_.Paint().GetFocus())) host_.FocusBrowser();
}

bool PostBox::SignedInOrAsk(const wchar_t* tip) {
    if (Settings().signedIn) return true;
    host_.ShowLoginLayer();
    if (multiLayer_) {
        const POINT at = TipPoint(29);
        host_.ShowTip(tip, at.x, at.y, 0, MainWindowHost::kHintColour);
    }
    return false;
}

void PostBox::OpenMyInquiries() {
    if (!SignedInOrAsk(L"请登录后再查看您发布的询价")) return;
    host_.OpenServicePage(MainWindowHost::ServicePage(kMyInquiries));
    ShowMultiLayer(false);
    FocusPage();
}

void PostBox::OpenSubscribedInquiries() {
    if (!SignedInOrAsk(L"请您登录后再查看订阅区域的询价")) return;
    // Nothing subscribed yet: the user is asked to choose first.
    if (Settings().provinceList == L"-1") host_.Sides().OpenSubscriptionToChoose();
    host_.OpenServicePage(MainWindowHost::ServicePage(kSubscribed));
    if (SubscribeBusi* subscriptions = host_.Subscriptions()) subscriptions->ResetNewInquiryTotal();
    ShowMultiLayer(false);
    FocusPage();
}

void PostBox::OpenSelectedPersonalPage() {
    if (host_.IsSelected(L"OpMyRequire")) {
        OpenMyInquiries();
    } else if (host_.IsSelected(L"OpSubscribeListPage")) {
        OpenSubscribedInquiries();
    }
}

void PostBox::ReopenCurrentPage() {
    if (host_.IsSelected(L"OpMyRequire") || host_.IsSelected(L"OpSubscribeListPage")) {
        OpenSelectedPersonalPage();
    } else {
        OpenListHome();
    }
}

void PostBox::OnShowSubscribedList() {
    host_.ShowMainWindow();
    if (host_.IsSelected(L"OpSubscribeListPage")) {
        host_.OpenServicePage(MainWindowHost::ServicePage(kSubscribed));
        if (SubscribeBusi* subscriptions = host_.Subscriptions()) subscriptions->ResetNewInquiryTotal();
    } else if (auto* option = host_.Find<ui::Option>(L"OpSubscribeListPage")) {
        option->Selected(true, true);
    }
}

void PostBox::OnGoToPostBox() {
    SelectListHome();
    // Signed out the login layer comes instead; the box stays under it.
    if (!Settings().signedIn) {
        host_.ShowLoginLayer();
        return;
    }
    if (postEdit_ && postEdit_->IsVisible()) postEdit_->SetFocus();
}

void PostBox::SelectListHome() {
    if (auto* all = host_.Find<ui::Option>(L"OpAllListPage"); all && !all->IsSelected()) all->Selected(true, true);
}

void PostBox::ExpandTitleArea() {
    auto* full = host_.Find(L"TitleInfoPanelFull");
    if (full == nullptr || full->IsVisible()) return;
    SetTitleAreaFull(true);
}

void PostBox::SetTitleAreaFull(bool full) {
    auto* container = host_.Find(L"TitleInfoPanelContainer");
    auto* panelFull = host_.Find(L"TitleInfoPanelFull");
    auto* panelTiny = host_.Find(L"TitleInfoPanelTiny");
    auto* showFull = host_.Find(L"BtnShowFull");
    if (!container || !panelFull || !panelTiny || !showFull || !btnHideFull_) return;
    container->SetFixedHeight(full ? panelFull->GetFixedHeight() : panelTiny->GetFixedHeight());
    panelTiny->SetVisible(!full);
    panelFull->SetVisible(full);
    showFull->SetVisible(!full);
    btnHideFull_->SetVisible(full);
    (full ? btnHideFull_ : showFull)->SetFocus();
}

void PostBox::UpdateBottomLabel() {
    if (auto* label = host_.Find(L"BottomLabel")) {
        const AppSettings& s = Settings();
        label->SetText(shell::FormatW(L"当前询价总数:%ld   今日询价新增:%ld", static_cast<long>(s.totalPosts),
                                      static_cast<long>(s.todayPosts)));
    }
}
