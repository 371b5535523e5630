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
    // A press on the caption takes the focus from the posting area.
    void OnCaptionPress();
    // A click in the page: the browser takes the focus from the posting area.
    void OnPagePress();
    // The login layer covers the post layer: the box, its row and the send
    // button go while it is up, the draft stays.
    void OnLoginLayerShown(bool shown);

private:
    void AddEditMenuRoutes(NotifyRoutes& routes);
    void OnTextChanged();
    void OnFocus(bool gained);
    // The box, its option row and the send button: the row stays open while
    // the focus is anywhere in there.
    bool InPostingArea(const ui::Control* control) const;
    // Whether the focus has left the area is known only once the change has
    // settled: a kill-focus does not say where the focus goes.
    void CheckFocusLater();
    void OnFocusSettled();
    void OnPress(POINT at);
    void LeavePostingArea();
    // Arrows move within an option group of the row and choose.
    void OnKeyDown(WPARAM key);
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
    // The browser takes the focus, unless it is in the posting area.
    void FocusPage();
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
    bool backToBox_ = false;  // a press in the area took the box's focus

    // Controls, looked up once.
    ui::RichEdit* postEdit_ = nullptr;
    ui::Control* postNotice_ = nullptr;
    ui::Label* restWordCount_ = nullptr;
    ui::Control* multiLayer_ = nullptr;
    ui::Control* postLayer_ = nullptr;
    ui::Control* btnHideFull_ = nullptr;
    ui::Control* focusAway_ = nullptr;  // takes the focus so that the box loses it
};
