// The main window's posting-rules and about windows: each opened once and
// raised when asked again, forgotten once it is gone, closed with the main
// window. The posting rules open at the post box, inside the work area of
// the monitor that holds the main window.
#pragma once

#include <windows.h>

#include "panels/about_us_panel.h"
#include "panels/post_rule_panel.h"
#include "ui/window_ref.h"

class MainWindowHost;
struct RouteTable;

class RulesAndAbout {
public:
    explicit RulesAndAbout(MainWindowHost& host) : host_(host) {}
    RulesAndAbout(const RulesAndAbout&) = delete;
    RulesAndAbout& operator=(const RulesAndAbout&) = delete;

    void AddRoutes(RouteTable& routes);

    void OpenPostRules();
    // The same once the focus change under way has settled: a window must
    // not be activated from inside another's focus handling.
    void OpenPostRulesLater();
    void OpenAbout();
    // The main window closes.
    void CloseAll();

    PostRulePanel* PostRules() const { return postRules_.Get(); }
    AboutUsPanel* About() const { return about_.Get(); }

    // Where a window of `size` opens at the post box whose client rectangle
    // in the main window is `box`: its top-left corner 20 pixels left of the
    // box and 40 below its top (at the main window's DPI), moved inside
    // `work` where it would stick out.
    static RECT PlaceAtPostBox(HWND main, const RECT& box, SIZE size, const RECT& work);

private:
    MainWindowHost& host_;
    ui::WindowRef<PostRulePanel> postRules_;
    ui::WindowRef<AboutUsPanel> about_;
};
