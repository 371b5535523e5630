#include "tests/ui/ui_test_support.h"

#include <zlib.h>

#include <algorithm>

namespace ui_test {

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs) {
    return ui::PaintManager::PumpUntil(pred, timeoutMs);
}

void PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }

TestWindow::~TestWindow() {
    if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

HWND TestWindow::Open(int x, int y) {
    HWND hwnd = Create(nullptr, L"ui test", WS_POPUP, 0, x, y, 300, 200);
    if (hwnd == nullptr) return nullptr;
    ::SetWindowPos(hwnd, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    ::SetForegroundWindow(hwnd);
    ::UpdateWindow(hwnd);
    PumpFor(50);
    return hwnd;
}

void TestWindow::Notify(ui::Notification& msg) {
    received.push_back({msg.type, msg.sender ? msg.sender->GetName() : std::wstring(), msg.wParam});
}

LRESULT TestWindow::OnClose(UINT, WPARAM wParam, LPARAM, bool& handled) {
    closeResult = static_cast<int>(wParam);
    handled = false;  // the default processing destroys the window
    return 0;
}

void TestWindow::OnFinalMessage(HWND hwnd) {
    SkinWindow::OnFinalMessage(hwnd);
    destroyed = true;
}

std::vector<Received> TestWindow::Of(const std::wstring& type) const {
    std::vector<Received> out;
    for (const auto& r : received) {
        if (r.type == type) out.push_back(r);
    }
    return out;
}

size_t TestWindow::Count(const std::wstring& type, const std::wstring& sender) const {
    return static_cast<size_t>(std::count_if(received.begin(), received.end(), [&](const Received& r) {
        return r.type == type && r.sender == sender;
    }));
}

POINT Center(const RECT& rc) { return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}; }

void Click(HWND hwnd, POINT pt) {
    const LPARAM at = MAKELPARAM(pt.x, pt.y);
    ::PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
    PumpFor(60);
}

void ClickControl(ui::Control* control) {
    control->GetManager()->UpdateLayout();
    Click(control->GetManager()->GetPaintWindow(), Center(control->GetPos()));
}

void PressKey(HWND hwnd, WPARAM key) {
    ::PostMessageW(hwnd, WM_KEYDOWN, key, 1);
    ::PostMessageW(hwnd, WM_KEYUP, key, 0xC0000001);
    PumpFor(60);
}

namespace {

void Put16(std::string* s, unsigned v) {
    s->push_back(static_cast<char>(v & 0xFF));
    s->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string* s, unsigned long v) {
    Put16(s, static_cast<unsigned>(v & 0xFFFF));
    Put16(s, static_cast<unsigned>((v >> 16) & 0xFFFF));
}

std::string RawDeflate(const std::string& data) {
    z_stream zs = {};
    deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, static_cast<uLong>(data.size())) + 16, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

}  // namespace

std::string MakeZip(const std::vector<ZipEntry>& entries) {
    std::string zip, dir;
    for (const ZipEntry& e : entries) {
        const std::string packed = e.deflate ? RawDeflate(e.data) : e.data;
        const unsigned long crc =
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
        const unsigned long offset = static_cast<unsigned long>(zip.size());
        Put32(&zip, 0x04034b50);
        Put16(&zip, 20);
        Put16(&zip, 0);
        Put16(&zip, e.deflate ? 8 : 0);
        Put32(&zip, 0x00210000);  // 1980-01-01
        Put32(&zip, crc);
        Put32(&zip, static_cast<unsigned long>(packed.size()));
        Put32(&zip, static_cast<unsigned long>(e.data.size()));
        Put16(&zip, static_cast<unsigned>(e.name.size()));
        Put16(&zip, 0);
        zip += e.name + packed;
        Put32(&dir, 0x02014b50);
        Put16(&dir, 20);
        Put16(&dir, 20);
        Put16(&dir, 0);
        Put16(&dir, e.deflate ? 8 : 0);
        Put32(&dir, 0x00210000);
        Put32(&dir, crc);
        Put32(&dir, static_cast<unsigned long>(packed.size()));
        Put32(&dir, static_cast<unsigned long>(e.data.size()));
        Put16(&dir, static_cast<unsigned>(e.name.size()));
        Put16(&dir, 0);
        Put16(&dir, 0);
        Put16(&dir, 0);
        Put16(&dir, 0);
        Put32(&dir, 0);
        Put32(&dir, offset);
        dir += e.name;
    }
    const unsigned long dirOffset = static_cast<unsigned long>(zip.size());
    zip += dir;
    Put32(&zip, 0x06054b50);
    Put16(&zip, 0);
    Put16(&zip, 0);
    Put16(&zip, static_cast<unsigned>(entries.size()));
    Put16(&zip, static_cast<unsigned>(entries.size()));
    Put32(&zip, static_cast<unsigned long>(dir.size()));
    Put32(&zip, dirOffset);
    Put16(&zip, 0);
    return zip;
}

}  // namespace ui_test
