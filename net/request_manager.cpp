#include "net/request_manager.h"

#include <algorithm>
#include <vector>

#include "net/background_work.h"

namespace {

const wchar_t kEventWindowClass[] = L"vududud_http_event_wnd";

HINSTANCE ModuleInstance() { return ::GetModuleHandleW(nullptr); }

}  // namespace

FCHttpRequestManager::FCHttpRequestManager() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &FCHttpRequestManager::WindowProc;
    wc.hInstance = ModuleInstance();
    wc.lpszClassName = kEventWindowClass;
    ::RegisterClassExW(&wc);  // fails harmlessly when another manager registered it

    eventWindow_ = ::CreateWindowExW(0, kEventWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     ModuleInstance(), nullptr);
    if (eventWindow_ != nullptr) {
        ::SetWindowLongPtrW(eventWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
}

FCHttpRequestManager::~FCHttpRequestManager() {
    // No more reports or ticks from here on.
    if (eventWindow_ != nullptr) {
        ::SetWindowLongPtrW(eventWindow_, GWLP_USERDATA, 0);
        ::DestroyWindow(eventWindow_);
        eventWindow_ = nullptr;
    }

    std::vector<HANDLE> threads;
    for (auto* list : {&running_, &closing_}) {
        for (auto& request : *list) {
            HANDLE thread = request->AbortForClose();
            if (thread != nullptr && std::find(threads.begin(), threads.end(), thread) == threads.end()) {
                threads.push_back(thread);
            }
        }
    }

    // Wait a bounded time for the unblocked workers. A worker still running
    // then is left to finish on its own: it holds its request alive, and
    // killing a thread that may hold a lock would be worse than waiting.
    // A shutdown that already waited for every manager against one budget
    // does not start a budget of its own per manager.
    ULONGLONG deadline = ::GetTickCount64() + shutdownWait_;
    if (const ULONGLONG shared = net::SharedDeadline(); shared != 0) deadline = std::min(deadline, shared);
    for (size_t first = 0; first < threads.size(); first += MAXIMUM_WAIT_OBJECTS) {
        ULONGLONG now = ::GetTickCount64();
        DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        DWORD count = static_cast<DWORD>(std::min<size_t>(MAXIMUM_WAIT_OBJECTS, threads.size() - first));
        ::WaitForMultipleObjects(count, threads.data() + first, TRUE, left);
    }
    running_.clear();
    closing_.clear();
}

int FCHttpRequestManager::StartRequest(const HttpRequestHeader& header) {
    const int id = nextId_++;
    auto request = std::make_shared<FCHttpRequest>(id, eventWindow_, header, hold_);
    running_.push_back(request);
    if (!hold_) request->Start();
    return id;
}

void FCHttpRequestManager::CloseRequest(int id) {
    auto it = std::find_if(running_.begin(), running_.end(), [id](const RequestPtr& r) { return r->Id() == id; });
    if (it == running_.end()) return;
    RequestPtr request = *it;
    const bool workerRuns = request->AbortForClose() != nullptr;
    running_.erase(it);
    // One whose worker still runs is kept until it ends; the worker holds
    // it alive anyway, this keeps the shutdown wait aware of it. Only such
    // requests need the sweep. Setting a running timer again would restart
    // its period: under a steady stream of closes the sweep would never come.
    if (workerRuns) {
        closing_.push_back(std::move(request));
        if (!housekeeping_) {
            housekeeping_ = ::SetTimer(eventWindow_, kHousekeepingTimer, kHousekeepingPeriod, nullptr) != 0;
        }
    }
}

void FCHttpRequestManager::AbortAll() {
    while (!running_.empty()) CloseRequest(running_.front()->Id());
    for (auto& request : closing_) request->AbortForClose();
}

void FCHttpRequestManager::AbandonAll() {
    AbortAll();
    closing_.clear();
}

bool FCHttpRequestManager::WaitForWorkers(ULONGLONG deadline) { return net::WaitForAllWorkers(deadline); }

bool FCHttpRequestManager::ReplayReply(int id, int status, const std::string& body) {
    RequestPtr request = FindRunning(id);
    if (!request) return false;
    request->SetHeldReply(status, body);
    HandleEvent(id, FCHttpRequest::kHeadersReady);
    HandleEvent(id, FCHttpRequest::kBodyDone);
    return true;
}

FCHttpRequestManager::RequestPtr FCHttpRequestManager::FindRunning(int id) const {
    for (const auto& request : running_) {
        if (request->Id() == id) return request;
    }
    return nullptr;
}

LRESULT CALLBACK FCHttpRequestManager::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<FCHttpRequestManager*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_TIMER:
            self->HandleTimer(wp);
            return 0;
        case kHttpEventMessage:
            self->HandleEvent(static_cast<int>(wp), lp);
            return 0;
        default:
            return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void FCHttpRequestManager::HandleEvent(int id, LPARAM event) {
    // Keep the request alive through callbacks that may close it.
    RequestPtr request = FindRunning(id);
    if (!request) return;
    switch (event) {
        case FCHttpRequest::kConnected:
            request->OpenAndSend();
            break;
        case FCHttpRequest::kHeadersReady:
            request->ReadResponseInfo();
            OnRequestHeaders(*request);
            break;
        case FCHttpRequest::kBodyDone:
            OnRequestFinished(*request);
            FinishRequest(id);
            break;
        default:
            break;
    }
}

void FCHttpRequestManager::FinishRequest(int id) {
    // The callback may have closed it already.
    auto it = std::find_if(running_.begin(), running_.end(), [id](const RequestPtr& r) { return r->Id() == id; });
    if (it == running_.end()) return;
    // Its worker has nothing left to do but end; its own reference keeps the
    // request until then, and the shutdown's count of workers still sees it.
    (*it)->ReleaseFinished();
    running_.erase(it);
}

void FCHttpRequestManager::StopHousekeepingWhenIdle() {
    // With nothing left to sweep the timer would only wake the thread.
    if (!housekeeping_ || !closing_.empty()) return;
    ::KillTimer(eventWindow_, kHousekeepingTimer);
    housekeeping_ = false;
}

bool FCHttpRequestManager::SetServiceTimer(UINT_PTR id, UINT periodMs) {
    if (id == 0 || id >= kHousekeepingTimer || eventWindow_ == nullptr) return false;
    return ::SetTimer(eventWindow_, id, periodMs, nullptr) != 0;
}

void FCHttpRequestManager::KillServiceTimer(UINT_PTR id) {
    if (eventWindow_ != nullptr) ::KillTimer(eventWindow_, id);
}

void FCHttpRequestManager::HandleTimer(UINT_PTR id) {
    if (id > 0 && id < kHousekeepingTimer) {
        OnServiceTimer(id);
        return;
    }
    if (id == kHousekeepingTimer) {
        closing_.erase(std::remove_if(closing_.begin(), closing_.end(),
                                      [](const RequestPtr& r) { return r->IsIdle(); }),
                       closing_.end());
        StopHousekeepingWhenIdle();
        return;
    }
    ::KillTimer(eventWindow_, id);
    RequestPtr request = FindRunning(static_cast<int>(id));
    if (!request) return;
    OnRequestTimeout(*request);
    CloseRequest(static_cast<int>(id));
}
