#include "panels/route_table.h"

#include "ui/control.h"

bool MessageRoutes::Add(UINT id, Handler handler) {
    if (!routes_.emplace(id, std::move(handler)).second) {
        ++refused_;
        return false;
    }
    return true;
}

bool MessageRoutes::Dispatch(UINT id, WPARAM wParam, LPARAM lParam) const {
    auto it = routes_.find(id);
    if (it == routes_.end()) return false;
    it->second(wParam, lParam);
    return true;
}

bool NotifyRoutes::Add(const std::wstring& type, const std::wstring& sender, Handler handler) {
    if (!routes_.emplace(std::make_pair(type, sender), std::move(handler)).second) {
        ++refused_;
        return false;
    }
    return true;
}

bool NotifyRoutes::Dispatch(ui::Notification& notification) const {
    const std::wstring sender = notification.sender ? notification.sender->GetName() : std::wstring();
    auto it = routes_.find(std::make_pair(notification.type, sender));
    if (it == routes_.end()) it = routes_.find(std::make_pair(notification.type, std::wstring(kAnySender)));
    if (it == routes_.end()) return false;
    it->second(notification);
    return true;
}
