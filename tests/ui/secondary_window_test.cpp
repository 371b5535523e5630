// The base of the secondary windows: made from its Args, it reports its
// closing to its owner once, drops notifications once closing, deletes
// itself exactly once (also when its window cannot be made), and a weak
// reference to it gives null from the moment its window is gone without
// reading the freed object.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tests/support/message_pump.h"
#include "tests/ui/ui_test_support.h"
#include "ui/secondary_window.h"
#include "ui/window_ref.h"

namespace {

using ui::SecondaryWindow;
using ui_test::PumpFor;
using ui_test::PumpUntil;

constexpr UINT kProbeClosed = 2053;
constexpr wchar_t kProbeLayout[] =
    L"<Window size='160,90' caption='0,0,0,30'><VerticalLayout>"
    L"<Button name='BtnOk' height='30'/><Label name='Text' text='关于'/></VerticalLayout></Window>";

class Probe;

// What a probe went through, kept outside the object that deletes itself.
struct Journal {
    int inits = 0;
    std::vector<std::wstring> notified;  // type:sender
    int gone = 0;                        // OnWindowGone calls
    bool reachableWhenGone = true;       // what `ref` said then
    int deleted = 0;
    ui::WindowRef<Probe> ref;
};

SecondaryWindow::Args ProbeArgs(HWND owner, UINT closedMessage = kProbeClosed) {
    return SecondaryWindow::Args{owner, kProbeLayout, L"zudedo_probe_window", L"关于云帆商务台",
                                 SecondaryWindow::kDialogStyle, WS_EX_TOOLWINDOW, closedMessage};
}

class Probe : public SecondaryWindow {
public:
    Probe(Args args, Journal* journal, bool refuseCreation = false)
        : SecondaryWindow(std::move(args)), journal_(journal), refuseCreation_(refuseCreation) {}

    LRESULT OnCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override {
        if (refuseCreation_) return -1;
        return SecondaryWindow::OnCreate(msg, wParam, lParam, handled);
    }
    void Init() override { ++journal_->inits; }
    using SecondaryWindow::IsClosing;

protected:
    ~Probe() override { ++journal_->deleted; }

private:
    void OnNotify(ui::Notification& msg) override {
        journal_->notified.push_back(msg.type + L":" + (msg.sender ? msg.sender->GetName() : L""));
    }
    void OnWindowGone() override {
        ++journal_->gone;
        journal_->reachableWhenGone = journal_->ref.Get() != nullptr;
    }

    Journal* journal_;
    bool refuseCreation_;
};

// A probe whose memory is never handed back: deleting it fills the memory
// with 0xDD, so a write after the deletion shows, and a stale read finds
// rubbish rather than a living object.
class PoisonedProbe : public Probe {
public:
    using Probe::Probe;

    static void* operator new(std::size_t size) {
        if (size > sizeof(arena_) || size_ != 0) throw std::bad_alloc();
        size_ = size;
        return arena_;
    }
    static void operator delete(void* p) { std::memset(p, 0xDD, size_); }

    static bool Untouched() {
        for (std::size_t i = 0; i < size_; ++i) {
            if (arena_[i] != 0xDD) return false;
        }
        return size_ != 0;
    }

private:
    alignas(16) static inline unsigned char arena_[1 << 16] = {};
    static inline std::size_t size_ = 0;
};

class SecondaryWindowTest : public ::testing::Test {
protected:
    testing_support::MessageRecorder recorder_;
    Journal journal_;
};

TEST_F(SecondaryWindowTest, OpenMakesAndShowsTheWindowItsArgsDescribe) {
    Probe* probe = SecondaryWindow::Open<Probe>(ProbeArgs(recorder_.hwnd()), &journal_);
    ASSERT_NE(probe, nullptr);
    journal_.ref = probe;
    const HWND hwnd = probe->GetHWND();
    wchar_t text[64] = {};
    ::GetClassNameW(hwnd, text, 64);
    EXPECT_STREQ(text, L"zudedo_probe_window");
    ::GetWindowTextW(hwnd, text, 64);
    EXPECT_STREQ(text, L"关于云帆商务台");
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(hwnd, GWL_STYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE | WS_SYSMENU), static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_SYSMENU));
    EXPECT_EQ(style & WS_CAPTION, 0u);  // the skin draws its own
    EXPECT_EQ(::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
    EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), nullptr);  // the owner is told, not the native owner
    EXPECT_NE(probe->GetPaintManager().FindControl(L"BtnOk"), nullptr);
    EXPECT_EQ(journal_.inits, 1);
    EXPECT_EQ(probe->GetArgs().owner, recorder_.hwnd());
    ::DestroyWindow(hwnd);
    EXPECT_EQ(journal_.deleted, 1);
}

TEST_F(SecondaryWindowTest, AnOwnedWindowHasItsOwnerAsNativeOwner) {
    ui_test::TestWindow owner(L"<Window size='120,60'><VerticalLayout/></Window>");
    ASSERT_NE(owner.Open(), nullptr);
    SecondaryWindow::Args args = ProbeArgs(owner.GetHWND());
    args.owned = true;
    args.exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    Probe* probe = SecondaryWindow::Open<Probe>(args, &journal_);
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(::GetWindow(probe->GetHWND(), GW_OWNER), owner.GetHWND());
    EXPECT_EQ(::GetWindowLongW(probe->GetHWND(), GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);
    EXPECT_TRUE(::IsWindowVisible(probe->GetHWND()));
    ::DestroyWindow(owner.GetHWND());  // takes the owned window with it
    EXPECT_EQ(journal_.deleted, 1);
}

TEST_F(SecondaryWindowTest, ClosingTellsTheOwnerOnceWhenTheWindowIsAlreadyGone) {
    Probe* probe = SecondaryWindow::Open<Probe>(ProbeArgs(recorder_.hwnd()), &journal_);
    ASSERT_NE(probe, nullptr);
    journal_.ref = probe;
    const HWND hwnd = probe->GetHWND();
    ::SendMessageW(hwnd, WM_CLOSE, 1, 0);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(journal_.deleted, 1);
    EXPECT_EQ(journal_.gone, 1);
    EXPECT_EQ(journal_.ref.Get(), nullptr);
    EXPECT_EQ(recorder_.Count(kProbeClosed), 0u);  // posted, not yet handled
    PumpFor(50);
    ASSERT_EQ(recorder_.Count(kProbeClosed), 1u);
    EXPECT_EQ(recorder_.messages()[0].wParam, 0u);
    EXPECT_EQ(recorder_.messages()[0].lParam, 0);

    // Escape closes through the inherited key handling, and reports too.
    probe = SecondaryWindow::Open<Probe>(ProbeArgs(recorder_.hwnd()), &journal_);
    ASSERT_NE(probe, nullptr);
    ui_test::PressKey(probe->GetHWND(), VK_ESCAPE);
    EXPECT_TRUE(recorder_.WaitFor(kProbeClosed, 2, 2000));
    EXPECT_EQ(journal_.deleted, 2);
    PumpFor(50);
    EXPECT_EQ(recorder_.Count(kProbeClosed), 2u);
}

TEST_F(SecondaryWindowTest, AWindowWithoutAClosedMessagePostsNothing) {
    Probe* probe = SecondaryWindow::Open<Probe>(ProbeArgs(recorder_.hwnd(), 0), &journal_);
    ASSERT_NE(probe, nullptr);
    probe->Close(1);
    EXPECT_TRUE(PumpUntil([&] { return journal_.deleted == 1; }, 2000));
    PumpFor(50);
    EXPECT_TRUE(recorder_.messages().empty());
}

TEST_F(SecondaryWindowTest, NotificationsReachOnNotifyUntilTheWindowCloses) {
    Probe* probe = SecondaryWindow::Open<Probe>(ProbeArgs(recorder_.hwnd()), &journal_);
    ASSERT_NE(probe, nullptr);
    ui::PaintManager& pm = probe->GetPaintManager();
    ui::Control* button = pm.FindControl(L"BtnOk");
    ui_test::ClickControl(button);
    const auto clicks = [&] { return std::count(journal_.notified.begin(), journal_.notified.end(), L"click:BtnOk"); };
    EXPECT_EQ(clicks(), 1);
    const size_t seen = journal_.notified.size();

    // Queued before the close and delivered while it is handled: dropped.
    pm.SendNotify(button, L"menu_about_us", 0, 0, true);
    EXPECT_FALSE(probe->IsClosing());
    ::SendMessageW(probe->GetHWND(), WM_CLOSE, 1, 0);
    EXPECT_EQ(journal_.deleted, 1);
    EXPECT_EQ(journal_.notified.size(), seen);
    PumpFor(50);
    EXPECT_EQ(recorder_.Count(kProbeClosed), 1u);
}

TEST_F(SecondaryWindowTest, AWindowThatCannotBeMadeLeavesNothingBehind) {
    // Refused while being created: it deletes itself, and only once.
    EXPECT_EQ(SecondaryWindow::Open<Probe>(ProbeArgs(recorder_.hwnd()), &journal_, true), nullptr);
    EXPECT_EQ(journal_.deleted, 1);
    EXPECT_EQ(journal_.inits, 0);

    // Refused before any window existed (its native owner is gone): Open
    // deletes it.
    HWND gone = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    ::DestroyWindow(gone);
    SecondaryWindow::Args args = ProbeArgs(gone);
    args.owned = true;
    EXPECT_EQ(SecondaryWindow::Open<Probe>(args, &journal_), nullptr);
    EXPECT_EQ(journal_.deleted, 2);
    EXPECT_EQ(journal_.inits, 0);

    PumpFor(50);
    EXPECT_TRUE(recorder_.messages().empty());  // never open, so never closed
}

TEST_F(SecondaryWindowTest, ARefOutlivesTheWindowWithoutTouchingItsMemory) {
    PoisonedProbe* probe = SecondaryWindow::Open<PoisonedProbe>(ProbeArgs(recorder_.hwnd()), &journal_);
    ASSERT_NE(probe, nullptr);
    journal_.ref = probe;
    const ui::WindowRef<Probe> copy = journal_.ref;
    EXPECT_EQ(journal_.ref.Get(), probe);
    EXPECT_TRUE(copy);
    ui_test::PressKey(probe->GetHWND(), VK_ESCAPE);
    ASSERT_TRUE(PumpUntil([&] { return journal_.deleted == 1; }, 2000));
    EXPECT_FALSE(journal_.reachableWhenGone);  // the object lived, its window did not
    EXPECT_TRUE(PoisonedProbe::Untouched());   // nothing written after the deletion
    EXPECT_EQ(journal_.ref.Get(), nullptr);    // a read of the rubbish would say otherwise
    EXPECT_FALSE(copy);
    journal_.ref.Reset();
    EXPECT_EQ(journal_.ref.Get(), nullptr);
    EXPECT_TRUE(recorder_.WaitFor(kProbeClosed, 1, 1000));
}

}  // namespace
