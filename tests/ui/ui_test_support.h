// Helpers for the framework's tests: a pump that runs the framework's
// pre-message stage, a skinned window that records what it is told, real
// mouse messages at a control's rectangle, and an in-memory ZIP writer.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/skin_store.h"
#include "ui/skin_window.h"

namespace ui_test {

// Pumps like PaintManager::MessageLoop until pred() holds or time is up.
bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs = 3000);
void PumpFor(DWORD ms);

struct Received {
    std::wstring type;
    std::wstring sender;
    WPARAM wParam;
};

class TestWindow : public ui::SkinWindow {
public:
    explicit TestWindow(std::wstring layout) : layout_(std::move(layout)) {}
    ~TestWindow() override;

    // Creates and shows the window at (x, y), painted once.
    HWND Open(int x = 100, int y = 100);

    const wchar_t* GetWindowClassName() const override { return L"zudedo_ui_test_window"; }
    std::wstring GetSkinFile() override { return layout_; }
    void Notify(ui::Notification& msg) override;
    LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnFinalMessage(HWND hwnd) override;

    ui::Control* Find(const wchar_t* name) { return pm_.FindControl(name); }
    std::vector<Received> Of(const std::wstring& type) const;
    size_t Count(const std::wstring& type, const std::wstring& sender) const;

    std::vector<Received> received;
    int closeResult = -1;
    bool destroyed = false;

private:
    std::wstring layout_;
};

POINT Center(const RECT& rc);
// Posts a move, press and release at a client point, then pumps.
void Click(HWND hwnd, POINT client);
void ClickControl(ui::Control* control);
// Posts a key press (down and up) to a window and pumps.
void PressKey(HWND hwnd, WPARAM key);

// For a test that points the skin store elsewhere: puts back the resource
// path, and the packed skin once a window has loaded it (later windows take
// the store as they find it), so the next test sees what a new process would.
class SkinStoreRestorer {
public:
    SkinStoreRestorer() : path_(ui::SkinStore::GetResourcePath()) {}
    ~SkinStoreRestorer() {
        ui::SkinStore::SetResourcePath(path_);
        if (const std::string_view* packed = ui::SkinWindow::SkinArchive()) {
            ui::SkinStore::SetResourceZip(packed->data(), packed->size());
        } else {
            ui::SkinStore::ResetArchive();
        }
    }
    SkinStoreRestorer(const SkinStoreRestorer&) = delete;
    SkinStoreRestorer& operator=(const SkinStoreRestorer&) = delete;

private:
    std::wstring path_;
};

struct ZipEntry {
    std::string name;
    std::string data;
    bool deflate = true;
};
// A ZIP archive as the packer writes it.
std::string MakeZip(const std::vector<ZipEntry>& entries);

}  // namespace ui_test
