// The main window's post box and pages: the box with its word counter,
// type options and category pads, posting and the post result, the page
// options and the pages they open, the collapsible title area, and the
// counters in the bottom strip.
#pragma once

#include <windows.h>

#include <string>

class MainWindowHost;
class NotifyRoutes;
struct RouteTable;

namespace ui {
class Control;
class Label;
class RichEdit;
}  // namespace ui

class PostBox {
public:
    explicit PostBox(MainWindowHost& host) : host_(host) {}
    PostBox(const PostBox&) = delete;
    PostBox& operator=(const PostBox&) = delete;

    void AddRoutes(RouteTable& routes);
    // Once the layout exists.
    void Init();

    // The full title area, as its show button makes it.
    void ExpandTitleArea();
    void OpenListHome(const wchar_t* query = L"");
    void SelectListHome();
    void OpenSelectedPersonalPage();
    // A press on the caption takes the focus from the post box.
    void OnCaptionPress();

private:
    void AddEditMenuRoutes(NotifyRoutes& routes);
    void OnTextChanged();
    void OnFocus(bool gained);
    void ExpandPostOptions(bool expand);
    void OnPostTypeChanged();
    void OnPost();
    // Post type (0 inquiry, 1 promotion) and category; false when an
    // inquiry has no category selected.
    bool ReadPostKind(int& type, int& category);
    void OnPostResult(int code);
    // A point under the post and login layers, `above` pixels up from its
    // bottom, in screen coordinates.
    POINT TipPoint(int above) const;
    void ShowMultiLayer(bool show);
    // True when signed in; otherwise shows the login layer and the tip.
    bool SignedInOrAsk(const wchar_t* tip);
    void OpenMyInquiries();
    void OpenSubscribedInquiries();
    void ReopenCurrentPage();
    void OnShowSubscribedList();
    void OnGoToPostBox();
    void SetTitleAreaFull(bool full);
    void UpdateBottomLabel();

    MainWindowHost& host_;
    int postType_ = 0;  // of the last post, for its result

    // Controls, looked up once.
    ui::RichEdit* postEdit_ = nullptr;
    ui::Control* postNotice_ = nullptr;
    ui::Label* restWordCount_ = nullptr;
    ui::Control* multiLayer_ = nullptr;
    ui::Control* btnHideFull_ = nullptr;
    ui::Control* focusAway_ = nullptr;  // takes the focus so that the box loses it
};
