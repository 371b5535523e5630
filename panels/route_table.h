// The main window's dispatch tables: a message id picks one handler, and a
// control notification's (type, sender name) picks one handler. Each part
// of the window adds the routes it answers; a route for a key already taken
// is refused and counted, so no part silently takes over another's.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <utility>

namespace ui {
struct Notification;
}

class MessageRoutes {
public:
    using Handler = std::function<void(WPARAM, LPARAM)>;

    // False (the first route stays) when the id is taken.
    bool Add(UINT id, Handler handler);
    // False when no route has the id.
    bool Dispatch(UINT id, WPARAM wParam, LPARAM lParam) const;
    int Refused() const { return refused_; }

private:
    std::map<UINT, Handler> routes_;
    int refused_ = 0;
};

class NotifyRoutes {
public:
    using Handler = std::function<void(ui::Notification&)>;
    // The sender name of a route that takes the type from any sender: menu
    // items come from whichever control owns the menu.
    static constexpr const wchar_t* kAnySender = L"";

    // False (the first route stays) when the key is taken.
    bool Add(const std::wstring& type, const std::wstring& sender, Handler handler);
    // The route of the sender's name, else the type's any-sender route;
    // false when neither exists.
    bool Dispatch(ui::Notification& notification) const;
    int Refused() const { return refused_; }

private:
    std::map<std::pair<std::wstring, std::wstring>, Handler> routes_;
    int refused_ = 0;
};

// What a part of the window adds its routes to.
struct RouteTable {
    MessageRoutes messages;
    NotifyRoutes notifications;

    int Refused() const { return messages.Refused() + notifications.Refused(); }
};
