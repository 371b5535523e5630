// The layout reader and the archive reader: what they accept, and that no
// damaged input gets them to read outside their buffers.
#include <gtest/gtest.h>

#include <random>

#include "tests/ui/ui_test_support.h"
#include "ui/markup.h"
#include "ui/skin_store.h"
#include "ui/zip_reader.h"

namespace {

using ui::MarkupReader;
using ui::ZipReader;
using ui_test::MakeZip;

TEST(MarkupReader, ReadsElementsAttributesAndEntities) {
    MarkupReader reader;
    ASSERT_TRUE(reader.Parse(
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- skin -->\n"
        "<Window size='10,20'><Label name=\"a\" text=\"&lt;c #FF0000&gt;&amp;&#x4E2D;&#25991;\"/>"
        "<Container>text is ignored<![CDATA[<x>]]><Button/></Container></Window>"));
    const ui::MarkupNode& root = reader.Root();
    EXPECT_EQ(root.name, L"Window");
    ASSERT_NE(root.Attribute(L"size"), nullptr);
    EXPECT_EQ(*root.Attribute(L"size"), L"10,20");
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(*root.children[0].Attribute(L"text"), L"<c #FF0000>&\x4E2D\x6587");
    ASSERT_EQ(root.children[1].children.size(), 1u);
    EXPECT_EQ(root.children[1].children[0].name, L"Button");
    EXPECT_EQ(root.children[0].Attribute(L"missing"), nullptr);
}

TEST(MarkupReader, ReadsUtf8Text) {
    MarkupReader reader;
    ASSERT_TRUE(reader.Parse(u8"<Label text=\"云帆商务台\"/>"));
    EXPECT_EQ(*reader.Root().Attribute(L"text"), L"\x4E91\x5E06\x5546\x52A1\x53F0");
}

TEST(MarkupReader, RefusesMalformedDocuments) {
    const char* bad[] = {"", "<", "<Window", "<Window a=1/>", "<Window a='x/>", "<A></B>", "<A><B></A>",
                         "<A/><B/>", "<A x='&bogus;'/>", "<A x='&#xZZ;'/>", "<!-- open", "text"};
    for (const char* text : bad) {
        MarkupReader reader;
        EXPECT_FALSE(reader.Parse(text)) << text;
        EXPECT_FALSE(reader.Error().empty()) << text;
    }
}

TEST(MarkupReader, BoundsNestingDepth) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    MarkupReader reader;
    EXPECT_FALSE(reader.Parse(deep));  // refused, not a stack overflow
    std::string fine;
    for (int i = 0; i < 50; ++i) fine += "<a>";
    for (int i = 0; i < 50; ++i) fine += "</a>";
    EXPECT_TRUE(reader.Parse(fine));
}

TEST(ZipReader, ExtractsStoredAndDeflatedEntries) {
    const std::string big(100000, 'x');
    const std::string zip = MakeZip({{"a.xml", "<Window/>", true}, {"b.png", "stored", false}, {"big", big, true}});
    ZipReader reader;
    ASSERT_TRUE(reader.Open(reinterpret_cast<const uint8_t*>(zip.data()), zip.size()));
    EXPECT_EQ(reader.EntryCount(), 3u);
    std::string out;
    EXPECT_EQ(reader.Extract("a.xml", &out, 1 << 20), ZipReader::Result::Ok);
    EXPECT_EQ(out, "<Window/>");
    EXPECT_EQ(reader.Extract("B.PNG", &out, 1 << 20), ZipReader::Result::Ok);  // names as on Windows
    EXPECT_EQ(out, "stored");
    EXPECT_EQ(reader.Extract("big", &out, 1 << 20), ZipReader::Result::Ok);
    EXPECT_EQ(out, big);
    EXPECT_EQ(reader.Extract("big", &out, 99999), ZipReader::Result::TooLarge);
    EXPECT_EQ(reader.Extract("nope", &out, 1 << 20), ZipReader::Result::NotFound);
}

TEST(ZipReader, RefusesDamagedSizesOffsetsAndStreams) {
    std::mt19937 noise(7);
    std::string payload(5000, '\0');
    for (char& c : payload) c = static_cast<char>(noise() & 0xFF);  // does not compress
    const std::string good = MakeZip({{"a.xml", payload, true}});
    auto patch32 = [](std::string z, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) z[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        return z;
    };
    const size_t central = good.size() - 22 - (46 + 5);
    struct Case {
        const char* what;
        std::string zip;
        bool opens;
    } cases[] = {
        {"compressed size past the end", patch32(good, central + 20, 0x7FFFFFFF), true},
        {"claimed size larger than the data", patch32(good, central + 24, 6000), true},
        {"claimed size smaller than the data", patch32(good, central + 24, 10), true},
        {"local header offset past the end", patch32(good, central + 42, 0xFFFFFF00), true},
        {"bad checksum", patch32(good, central + 16, 0x12345678), true},
        {"directory offset past the end", patch32(good, good.size() - 6, 0x7FFFFFFF), false},
        {"directory size past the end", patch32(good, good.size() - 10, 0x7FFFFFFF), false},
    };
    for (const Case& c : cases) {
        ZipReader reader;
        bool opened = reader.Open(reinterpret_cast<const uint8_t*>(c.zip.data()), c.zip.size());
        EXPECT_EQ(opened, c.opens) << c.what;
        std::string out;
        if (opened) {
            EXPECT_NE(reader.Extract("a.xml", &out, 1 << 20), ZipReader::Result::Ok) << c.what;
        }
    }
    // A deflate stream with garbage in it.
    std::string corrupt = good;
    for (size_t i = 36; i < 300; ++i) corrupt[i] = static_cast<char>(0xFF);
    ZipReader reader;
    ASSERT_TRUE(reader.Open(reinterpret_cast<const uint8_t*>(corrupt.data()), corrupt.size()));
    std::string out;
    EXPECT_EQ(reader.Extract("a.xml", &out, 1 << 20), ZipReader::Result::Damaged);
}

TEST(ZipReader, SurvivesEveryTruncationAndRandomDamage) {
    const std::string good =
        MakeZip({{"a.xml", "<Window size='1,1'><Label/></Window>", true}, {"b", std::string(3000, 'z'), true}});
    for (size_t len = 0; len < good.size(); ++len) {
        std::string cut = good.substr(0, len);
        ZipReader reader;
        if (reader.Open(reinterpret_cast<const uint8_t*>(cut.data()), cut.size())) {
            std::string out;
            reader.Extract("a.xml", &out, 1 << 20);
            reader.Extract("b", &out, 1 << 20);
        }
    }
    std::mt19937 rng(1234);
    for (int round = 0; round < 3000; ++round) {
        std::string bad = good;
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < flips; ++i) bad[rng() % bad.size()] = static_cast<char>(rng() & 0xFF);
        ZipReader reader;
        if (reader.Open(reinterpret_cast<const uint8_t*>(bad.data()), bad.size())) {
            std::string out;
            for (size_t e = 0; e < reader.EntryCount(); ++e) reader.Extract(reader.EntryName(e), &out, 1 << 20);
        }
    }
    SUCCEED();
}

TEST(SkinStore, ReportsEachRefusalOfTheArchive) {
    ui_test::SkinStoreRestorer restore;
    static const std::string zip =
        MakeZip({{"ok.xml", "<Window/>", true}, {"empty.xml", "", true}, {"bad.xml", std::string(64, 'b'), false}});
    std::string damaged = zip;
    // The stored entry's data no longer matches its checksum.
    damaged[damaged.find("bbbb")] = 'c';
    static std::string keep;
    keep = damaged;
    ui::SkinStore::SetResourceZip(keep.data(), keep.size());
    EXPECT_TRUE(ui::SkinStore::IsCachedResourceZip());
    EXPECT_EQ(ui::SkinStore::GetResourceZip(), L"membuffer");
    std::string bytes;
    std::wstring error;
    EXPECT_TRUE(ui::SkinStore::ReadFile(L"ok.xml", &bytes, &error));
    EXPECT_FALSE(ui::SkinStore::ReadFile(L"missing.xml", &bytes, &error));
    EXPECT_EQ(error, L"Could not find ziped file");
    EXPECT_FALSE(ui::SkinStore::ReadFile(L"empty.xml", &bytes, &error));
    EXPECT_EQ(error, L"File is empty");
    EXPECT_FALSE(ui::SkinStore::ReadFile(L"bad.xml", &bytes, &error));
    EXPECT_EQ(error, L"Could not unzip file");

    static const char junk[] = "this is not an archive at all";
    ui::SkinStore::SetResourceZip(junk, sizeof(junk));
    EXPECT_FALSE(ui::SkinStore::ReadFile(L"ok.xml", &bytes, &error));
    EXPECT_EQ(error, L"Error opening zip file");
}

}  // namespace
