// The main window's dispatch tables: each message and each notification
// reaches the one handler that claimed it, and nothing else.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panels/route_table.h"
#include "ui/control.h"

namespace {

TEST(MessageRoutes, AMessageReachesItsHandlerWithItsParametersAndNoOther) {
    MessageRoutes routes;
    std::vector<std::wstring> seen;
    routes.Add(2068, [&](WPARAM w, LPARAM l) {
        seen.push_back(L"login " + std::to_wstring(w) + L" " + std::to_wstring(l));
    });
    routes.Add(2069, [&](WPARAM, LPARAM) { seen.push_back(L"avatar"); });

    EXPECT_TRUE(routes.Dispatch(2068, 0, static_cast<LPARAM>(-2)));
    EXPECT_FALSE(routes.Dispatch(2210, 1, 1));  // nobody claimed it
    EXPECT_FALSE(routes.Dispatch(0, 0, 0));
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(L"login 0 -2", seen[0]);
}

TEST(MessageRoutes, ASecondClaimOnAnIdIsRefusedAndTheFirstStays) {
    MessageRoutes routes;
    int first = 0, second = 0;
    EXPECT_TRUE(routes.Add(2098, [&](WPARAM, LPARAM) { ++first; }));
    EXPECT_FALSE(routes.Add(2098, [&](WPARAM, LPARAM) { ++second; }));
    EXPECT_EQ(1, routes.Refused());
    routes.Dispatch(2098, 1, 0);
    EXPECT_EQ(1, first);
    EXPECT_EQ(0, second);
}

struct Named {
    explicit Named(const wchar_t* name) { control.SetName(name); }
    ui::Notification Event(const wchar_t* type) {
        ui::Notification n;
        n.type = type;
        n.sender = &control;
        return n;
    }
    ui::Control control;
};

TEST(NotifyRoutes, TheTypeAndTheSendersNameTogetherPickTheHandler) {
    NotifyRoutes routes;
    std::vector<std::wstring> seen;
    auto record = [&](const wchar_t* what) { return [&seen, what](ui::Notification&) { seen.push_back(what); }; };
    routes.Add(L"setfocus", L"PostEdit", record(L"post gained"));
    routes.Add(L"killfocus", L"PostEdit", record(L"post lost"));
    routes.Add(L"setfocus", L"EditUsername", record(L"name gained"));
    Named post(L"PostEdit"), name(L"EditUsername"), other(L"BtnLogin");

    auto n = name.Event(L"setfocus");
    EXPECT_TRUE(routes.Dispatch(n));
    n = post.Event(L"killfocus");
    EXPECT_TRUE(routes.Dispatch(n));
    n = other.Event(L"setfocus");  // a type someone handles, from a control nobody named
    EXPECT_FALSE(routes.Dispatch(n));
    n = name.Event(L"killfocus");  // a control someone handles, with a type nobody named for it
    EXPECT_FALSE(routes.Dispatch(n));
    n = post.Event(L"itemclick");
    EXPECT_FALSE(routes.Dispatch(n));
    EXPECT_EQ((std::vector<std::wstring>{L"name gained", L"post lost"}), seen);
}

TEST(NotifyRoutes, AnAnySenderRouteTakesWhatNoNamedRouteTakes) {
    NotifyRoutes routes;
    std::vector<std::wstring> seen;
    routes.Add(L"menu_exit", NotifyRoutes::kAnySender, [&](ui::Notification& n) {
        seen.push_back(L"exit from " + (n.sender ? n.sender->GetName() : std::wstring(L"nobody")));
    });
    routes.Add(L"menu", L"PostEdit", [&](ui::Notification&) { seen.push_back(L"edit menu"); });
    Named root(L""), button(L"BtnMenu"), post(L"PostEdit"), other(L"EditUsername");

    auto n = root.Event(L"menu_exit");
    routes.Dispatch(n);
    n = button.Event(L"menu_exit");
    routes.Dispatch(n);
    ui::Notification bare;
    bare.type = L"menu_exit";
    routes.Dispatch(bare);
    n = post.Event(L"menu");
    routes.Dispatch(n);
    n = other.Event(L"menu");  // named routes do not widen to any sender
    EXPECT_FALSE(routes.Dispatch(n));
    EXPECT_EQ((std::vector<std::wstring>{L"exit from ", L"exit from BtnMenu", L"exit from nobody", L"edit menu"}),
              seen);
}

TEST(NotifyRoutes, ANamedRouteWinsOverTheAnySenderRouteOfItsType) {
    NotifyRoutes routes;
    std::wstring seen;
    routes.Add(L"click", NotifyRoutes::kAnySender, [&](ui::Notification&) { seen += L"any;"; });
    routes.Add(L"click", L"BtnLogin", [&](ui::Notification&) { seen += L"login;"; });
    Named login(L"BtnLogin"), other(L"BtnPost");
    auto n = login.Event(L"click");
    routes.Dispatch(n);
    n = other.Event(L"click");
    routes.Dispatch(n);
    EXPECT_EQ(L"login;any;", seen);
}

TEST(NotifyRoutes, ASecondClaimOnATypeAndSenderIsRefused) {
    RouteTable table;
    int first = 0, second = 0;
    EXPECT_TRUE(table.notifications.Add(L"click", L"BtnLogin", [&](ui::Notification&) { ++first; }));
    EXPECT_FALSE(table.notifications.Add(L"click", L"BtnLogin", [&](ui::Notification&) { ++second; }));
    EXPECT_TRUE(table.notifications.Add(L"setfocus", L"BtnLogin", [&](ui::Notification&) {}));
    EXPECT_TRUE(table.messages.Add(2068, [](WPARAM, LPARAM) {}));
    EXPECT_FALSE(table.messages.Add(2068, [](WPARAM, LPARAM) {}));
    EXPECT_EQ(2, table.Refused());
    Named login(L"BtnLogin");
    auto n = login.Event(L"click");
    table.notifications.Dispatch(n);
    EXPECT_EQ(1, first);
    EXPECT_EQ(0, second);
}

}  // namespace
