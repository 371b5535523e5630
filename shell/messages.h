// The client's private window messages (2049 to 2248): who posts each and
// who reacts is fixed; parameters are plain integers.
#pragma once

#include <windows.h>

namespace msg {

constexpr UINT kTrayIcon = 2049;              // tray icon callback
constexpr UINT kConfigPanelClosed = 2050;
constexpr UINT kSubscribePanelClosed = 2051;
constexpr UINT kMessagePopupClosed = 2052;
constexpr UINT kAboutPanelClosed = 2053;
constexpr UINT kPostRulePanelClosed = 2054;
constexpr UINT kTipBannerClosed = 2055;
constexpr UINT kNoticePopupClosed = 2056;
constexpr UINT kLoginResult = 2068;           // wParam 1 success / 0 failure, lParam failure code
constexpr UINT kAvatarSaved = 2069;
constexpr UINT kServerTimeSet = 2070;
constexpr UINT kPostResult = 2071;            // wParam result value
constexpr UINT kPostCountsStored = 2072;
constexpr UINT kWebLoginDone = 2073;
constexpr UINT kNewInquiries = 2088;
constexpr UINT kShowSubscribedList = 2089;
constexpr UINT kPollNewInquiries = 2090;
constexpr UINT kReachability = 2098;          // wParam 1 reachable, lParam 1 for a one-shot probe
constexpr UINT kRequestMessageCount = 2118;
constexpr UINT kRequestNotices = 2119;
constexpr UINT kSlowMessagePolling = 2123;
constexpr UINT kNewMessages = 2128;
constexpr UINT kNoticesReceived = 2138;
constexpr UINT kShowPendingTip = 2148;
constexpr UINT kPageOtherClick = 2169;
constexpr UINT kPageRetryConnect = 2170;
constexpr UINT kUpdatePackageReady = 2198;    // the updater posts it; passed to it as "-c 2198"
constexpr UINT kUpdateNoticeReady = 2199;
constexpr UINT kPageWebLogin = 2208;
constexpr UINT kPagePostNew = 2209;
constexpr UINT kPageRssConfig = 2210;
constexpr UINT kQuitForUpdate = 2248;

}  // namespace msg
