// Building control trees: from text, from loose files, from the packed
// skin; the refusals; damaged archives; and golden checks of the skin.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "tests/support/paths.h"
#include "tests/ui/ui_test_support.h"
#include "ui/controls.h"
#include "ui/image.h"
#include "ui/layout_builder.h"
#include "ui/markup.h"
#include "ui/skin_store.h"

namespace {

using ui::LayoutBuilder;
using ui_test::TestWindow;

// A folder of its own under the temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"zudedo-ui-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const auto& f : files_) ::DeleteFileW((path_ + f).c_str());
        ::RemoveDirectoryW(path_.c_str());
    }
    void Write(const std::wstring& name, const std::string& bytes) {
        shell::UniqueFile f(::CreateFileW((path_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD n = 0;
        if (!bytes.empty()) ::WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
        files_.push_back(name);
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

// A layout padded with a comment to exactly `size` bytes.
std::string PaddedLayout(size_t size) {
    std::string head = "<Window size='20,20'><!--", tail = "--><Label name='pad'/></Window>";
    return head + std::string(size - head.size() - tail.size(), ' ') + tail;
}

TEST(LayoutBuilder, BuildsATreeFromText) {
    LayoutBuilder builder;
    auto root = builder.Create(
        L"<Window size='200,100'><VerticalLayout name='root'>"
        L"<Label name='LabelTitle' text='云帆商务台'/><HorizontalLayout><Button name='BtnMin'/>"
        L"<Option name='OpA' group='g' selected='true'/></HorizontalLayout><Unknown name='x'/></VerticalLayout></Window>");
    ASSERT_NE(root, nullptr) << builder.LastError();
    EXPECT_EQ(root->GetName(), L"root");
    ASSERT_NE(root->FindByName(L"LabelTitle"), nullptr);
    EXPECT_EQ(root->FindByName(L"LabelTitle")->GetText(), L"\x4E91\x5E06\x5546\x52A1\x53F0");
    EXPECT_EQ(root->FindByName(L"BtnMin")->GetClass(), L"Button");
    auto* option = dynamic_cast<ui::Option*>(root->FindByName(L"OpA"));
    ASSERT_NE(option, nullptr);
    EXPECT_TRUE(option->IsSelected());
    EXPECT_EQ(root->FindByName(L"x"), nullptr);  // unknown tags are skipped
}

TEST(LayoutBuilder, ReadsLooseFilesFromTheResourcePathWithItsRefusals) {
    ui_test::SkinStoreRestorer restore;
    ui::SkinStore::ResetArchive();
    TempFolder folder;
    folder.Write(L"ok.xml", "\xEF\xBB\xBF<Window size='10,10'><Label name='hello'/></Window>");
    folder.Write(L"empty.xml", "");
    folder.Write(L"limit.xml", PaddedLayout(ui::kMaxSkinFileSize));
    folder.Write(L"over.xml", PaddedLayout(ui::kMaxSkinFileSize + 1));
    ui::SkinStore::SetResourcePath(folder.path());

    LayoutBuilder builder;
    auto root = builder.Create(L"ok.xml");
    ASSERT_NE(root, nullptr) << builder.LastError();
    EXPECT_NE(root->FindByName(L"hello"), nullptr);
    EXPECT_NE(builder.Create(L"limit.xml"), nullptr);  // exactly 4 MiB is allowed

    EXPECT_EQ(builder.Create(L"over.xml"), nullptr);
    EXPECT_EQ(builder.LastError(), L"File too large");
    EXPECT_EQ(builder.Create(L"empty.xml"), nullptr);
    EXPECT_EQ(builder.LastError(), L"File is empty");
    EXPECT_EQ(builder.Create(L"missing.xml"), nullptr);
    EXPECT_EQ(builder.LastError(), L"Error opening file");
}

TEST(SkinWindow, BuildsFromThePackedSkinAndLaterWindowsReuseTheArchive) {
    TestWindow first(L"menu_tray.xml");
    ASSERT_NE(first.Open(), nullptr);
    EXPECT_TRUE(first.LayoutError().empty()) << first.LayoutError();
    EXPECT_NE(first.Find(L"menu_exit"), nullptr);
    const std::string_view* archive = ui::SkinWindow::SkinArchive();
    ASSERT_NE(archive, nullptr);
    // Read in place from the executable's image, not copied.
    MEMORY_BASIC_INFORMATION where = {};
    ASSERT_NE(::VirtualQuery(archive->data(), &where, sizeof(where)), 0u);
    EXPECT_EQ(where.AllocationBase, static_cast<void*>(ui::SkinStore::GetInstance()));
    EXPECT_EQ(where.Type, static_cast<DWORD>(MEM_IMAGE));
    EXPECT_TRUE(ui::PaintManager::IsCachedResourceZip());
    EXPECT_EQ(ui::PaintManager::GetResourceZip(), L"membuffer");
    // The window takes the skin's size.
    RECT rc{};
    ::GetWindowRect(first.GetHWND(), &rc);
    EXPECT_EQ(rc.right - rc.left, first.GetPaintManager().GetInitSize().cx);

    TestWindow second(L"menu_edit.xml");
    ASSERT_NE(second.Open(), nullptr);
    EXPECT_NE(second.Find(L"menu_copy"), nullptr);
    EXPECT_EQ(ui::SkinWindow::SkinArchive(), archive);  // not read again
    EXPECT_EQ(first.Find(L"menu_copy"), nullptr);       // each window has its own tree
}

TEST(SkinWindow, AMissingEntryOrAnOversizedLayoutLeavesAnEmptyWindow) {
    TestWindow missing(L"no_such_layout.xml");
    ASSERT_NE(missing.Open(), nullptr);
    EXPECT_EQ(missing.LayoutError(), L"Could not find ziped file");
    EXPECT_EQ(missing.GetPaintManager().GetRoot(), nullptr);
    EXPECT_EQ(missing.Find(L"menu_exit"), nullptr);
    ui_test::Click(missing.GetHWND(), POINT{5, 5});  // input on an empty window is harmless

    std::string big = PaddedLayout(ui::kMaxSkinFileSize + 1);
    TestWindow oversized(ui::Utf8ToUtf16(big));
    ASSERT_NE(oversized.Open(), nullptr);
    EXPECT_EQ(oversized.LayoutError(), L"File too large");
    EXPECT_EQ(oversized.Find(L"pad"), nullptr);
}

TEST(SkinWindow, DamagedArchivesNeverCrash) {
    ui_test::SkinStoreRestorer restore;  // back to the packed skin, which outlives `original`
    TestWindow opener(L"menu_tray.xml");  // loads the packed skin
    ASSERT_NE(opener.Open(), nullptr);
    const std::string original(*ui::SkinWindow::SkinArchive());
    const std::vector<std::wstring> entries = ui::SkinStore::ArchiveEntries();
    ASSERT_FALSE(entries.empty());
    std::mt19937 rng(42);
    static std::string damaged;  // the store keeps a pointer into it
    for (int round = 0; round < 10; ++round) {
        damaged = original;
        if (round % 4 == 0) damaged.resize(rng() % damaged.size());
        const int flips = 1 + static_cast<int>(rng() % 20);
        for (int i = 0; i < flips && !damaged.empty(); ++i)
            damaged[rng() % damaged.size()] = static_cast<char>(rng() & 0xFF);
        ui::PaintManager::SetResourceZip(damaged.data(), damaged.size());
        for (const std::wstring& name : entries) {
            std::string bytes;
            std::wstring error;
            if (ui::SkinStore::ReadFile(name, &bytes, &error)) ui::DecodeImage(bytes);
        }
        TestWindow w(round % 2 ? L"menu_tray.xml" : L"notice_banner.xml");
        ASSERT_NE(w.Open(), nullptr);
        ui_test::PumpFor(10);
    }
}

TEST(Images, DamagedPicturesDecodeToNothingRatherThanCrash) {
    TestWindow opener(L"menu_tray.xml");
    ASSERT_NE(opener.Open(), nullptr);
    std::string png, error16;
    std::wstring error;
    ASSERT_TRUE(ui::SkinStore::ReadFile(L"menu_icon_exit.png", &png, &error));
    auto image = ui::DecodeImage(png);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 16);
    EXPECT_TRUE(image->alpha);
    for (size_t len = 0; len < png.size(); len += 7) ui::DecodeImage(png.substr(0, len));
    std::mt19937 rng(9);
    for (int i = 0; i < 500; ++i) {
        std::string bad = png;
        bad[8 + rng() % (bad.size() - 8)] = static_cast<char>(rng() & 0xFF);
        ui::DecodeImage(bad);
    }
    // A header that claims an enormous picture is refused.
    std::string huge = png;
    huge[16] = 0x7F;
    EXPECT_EQ(ui::DecodeImage(huge), nullptr);
}

// ------------------------------------------------------------ golden skin

class SkinGolden : public ::testing::Test {
protected:
    void SetUp() override {
        opener_ = std::make_unique<TestWindow>(L"menu_tray.xml");
        ASSERT_NE(opener_->Open(), nullptr);
    }
    std::unique_ptr<ui::Control> Build(const std::wstring& name) {
        LayoutBuilder builder;
        auto root = builder.Create(name);
        EXPECT_NE(root, nullptr) << name.c_str() << ": " << ui::Utf16ToUtf8(builder.LastError());
        return root;
    }
    std::unique_ptr<TestWindow> opener_;
};

TEST_F(SkinGolden, EveryLayoutParsesAndItsImagesArePacked) {
    std::set<std::wstring> packed;
    for (const auto& e : ui::SkinStore::ArchiveEntries()) packed.insert(e);
    int layouts = 0;
    for (const std::wstring& name : packed) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, L".xml") != 0) continue;
        ++layouts;
        std::string bytes;
        std::wstring error;
        ASSERT_TRUE(ui::SkinStore::ReadFile(name, &bytes, &error));
        ui::MarkupReader reader;
        ASSERT_TRUE(reader.Parse(bytes)) << ui::Utf16ToUtf8(name) << ": " << reader.Error();
        EXPECT_EQ(reader.Root().name, L"Window") << ui::Utf16ToUtf8(name);
        auto root = Build(name);
        if (!root) continue;
        // Every picture a layout names is in the archive.
        root->ForEach([&](ui::Control* c) {
            ui::ImageSpec attr;
            if (!c->GetBkImage().empty() && ui::ParseImageSpec(c->GetBkImage(), &attr)) {
                EXPECT_TRUE(packed.count(attr.file)) << ui::Utf16ToUtf8(attr.file);
            }
        });
    }
    EXPECT_GE(layouts, 4);
}

TEST_F(SkinGolden, MenusHoldTheirItemsAndTexts) {
    struct Item {
        const wchar_t* name;
        const wchar_t* text;  // null: set at run time
    };
    const std::vector<std::pair<std::wstring, std::vector<Item>>> menus = {
        {L"menu_tray.xml",
         {{L"menu_config", L"设置"}, {L"menu_modify_subscribe", L"修改订阅"}, {L"menu_about_us", L"关于"},
          {L"menu_feedback", L"意见反馈"}, {L"menu_show_main_panel", L"打开主面板"},
          {L"menu_hide_main_panel", L"隐藏主面板"}, {L"menu_exit", L"退出"}}},
        {L"menu_main_panel_main.xml",
         {{L"menu_config", L"设置"}, {L"menu_modify_subscribe", L"修改订阅"}, {L"menu_about_us", L"关于"},
          {L"menu_feedback", L"意见反馈"}, {L"menu_log_action", nullptr}, {L"menu_exit", L"退出"}}},
        {L"menu_edit.xml", {{L"menu_cut", nullptr}, {L"menu_copy", nullptr}, {L"menu_paste", nullptr},
                            {L"menu_select_all", nullptr}}},
    };
    for (const auto& [file, items] : menus) {
        auto root = Build(file);
        ASSERT_NE(root, nullptr);
        auto* list = dynamic_cast<ui::List*>(root->FindByName(L"menu_container"));
        ASSERT_NE(list, nullptr) << ui::Utf16ToUtf8(file);
        std::vector<std::wstring> order;
        for (int i = 0; i < list->GetCount(); ++i) {
            auto* element = dynamic_cast<ui::ListElement*>(list->GetItemAt(i));
            ASSERT_NE(element, nullptr);
            if (element->GetName().empty()) {  // a separator
                EXPECT_EQ(element->GetFixedHeight(), 3);
                EXPECT_FALSE(element->IsEnabled());
                continue;
            }
            order.push_back(element->GetName());
            EXPECT_EQ(element->GetFixedHeight(), 22);
            EXPECT_EQ(element->GetInset().left, 34);
            ASSERT_EQ(element->GetCount(), 1);
            EXPECT_EQ(element->GetItemAt(0)->GetClass(), L"Label");
        }
        ASSERT_EQ(order.size(), items.size()) << ui::Utf16ToUtf8(file);
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(order[i], items[i].name);
            if (items[i].text != nullptr) {
                auto* element = static_cast<ui::Container*>(root->FindByName(items[i].name));
                EXPECT_EQ(element->GetItemAt(0)->GetText(), items[i].text);
            }
        }
    }
}

TEST_F(SkinGolden, TheBannerHasBothBodies) {
    ui::PaintManager pm;
    LayoutBuilder builder;
    auto root = builder.Create(L"notice_banner.xml", nullptr, &pm);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(pm.GetInitSize().cx, 139);
    EXPECT_EQ(pm.GetInitSize().cy, 38);
    for (const wchar_t* name : {L"LayoutChatBoxNotice", L"ChatBoxTextContainer", L"noticeTextChatboxType",
                                L"LayoutSimpleNotice", L"SimpleTextContainer", L"noticeTextSimpleType"}) {
        EXPECT_NE(root->FindByName(name), nullptr) << ui::Utf16ToUtf8(name);
    }
    EXPECT_EQ(root->FindByName(L"ChatBoxTextContainer")->GetMinHeight(), 29);
    EXPECT_EQ(root->FindByName(L"SimpleTextContainer")->GetMinHeight(), 29);
    EXPECT_NE(root->FindByName(L"LayoutChatBoxNotice")->GetBkImage().find(L"notice_banner_chatbox_bg.png"),
              std::wstring::npos);
    EXPECT_NE(root->FindByName(L"LayoutSimpleNotice")->GetBkImage().find(L"notice_banner_simple_bg.png"),
              std::wstring::npos);
    // The plain strip's text is bold.
    auto* simple = dynamic_cast<ui::Label*>(root->FindByName(L"noticeTextSimpleType"));
    ASSERT_NE(simple, nullptr);
    EXPECT_TRUE(pm.GetFontInfo(simple->GetFont())->bold);
}

}  // namespace
