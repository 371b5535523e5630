// Pictures from the network: decoded through the system's imaging
// component, first frame only, refused or scaled down by size; hostile
// pictures neither crash nor take unbounded time or memory.
#include "shell/network_image.h"

#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "tests/support/paths.h"
#include "tests/support/pictures.h"

namespace {

// Named one by one: a unity build shares this file's scope with others.
using testing_support::GifFrames;
using testing_support::GreyPng;
using testing_support::PngHeaderOnly;
using testing_support::ReadFileBytes;

class NetworkImageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { ::CoUninitialize(); }
};

size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

// Samples the private memory every few milliseconds while it lives (the
// system's own peak figure is not kept under Wine).
class MemorySampler {
public:
    MemorySampler() : base_(PrivateBytes()), peak_(base_) {
        thread_ = std::thread([this] {
            while (!stop_) {
                peak_ = std::max(peak_.load(), PrivateBytes());
                ::Sleep(2);
            }
        });
    }
    ~MemorySampler() { Stop(); }
    size_t Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        peak_ = std::max(peak_.load(), PrivateBytes());
        return peak_ > base_ ? peak_ - base_ : 0;
    }

private:
    const size_t base_;
    std::atomic<size_t> peak_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Decodes and reports the time and the growth of private memory.
bool TimedDecode(const char* name, const std::string& bytes, shell::DecodedPicture& out, DWORD& ms) {
    MemorySampler sampler;
    const ULONGLONG start = ::GetTickCount64();
    const bool ok = shell::DecodeNetworkPicture(bytes, out);
    ms = static_cast<DWORD>(::GetTickCount64() - start);
    const size_t grown = sampler.Stop();
    std::printf("[ figures  ] %s: %zu bytes, %s in %lu ms, private memory grew %zu KB at most\n", name,
                bytes.size(), ok ? "decoded" : "refused", static_cast<unsigned long>(ms), grown / 1024);
    EXPECT_LT(grown, size_t(100) << 20) << name;
    return ok;
}

TEST_F(NetworkImageTest, HeaderSizesAreReadWithoutDecoding) {
    UINT w = 0, h = 0;
    ASSERT_TRUE(shell::PeekPictureSize(PngHeaderOnly(65535, 65535), w, h));
    EXPECT_EQ(65535u, w);
    EXPECT_EQ(65535u, h);
    ASSERT_TRUE(shell::PeekPictureSize(GifFrames(300, 1), w, h));
    EXPECT_EQ(300u, w);
    const std::string jpeg("\xFF\xD8\xFF\xE0\x00\x04\x00\x00\xFF\xC0\x00\x0B\x08\x01\x2C\x02\x58\x01", 18);
    ASSERT_TRUE(shell::PeekPictureSize(jpeg, w, h));
    EXPECT_EQ(600u, w);
    EXPECT_EQ(300u, h);
    for (const std::string& junk : {std::string(), std::string("\x89PNG"), std::string("GIF89a\x01"),
                                    std::string("\xFF\xD8\xFF\xC0\x00", 5), std::string("hello world")}) {
        EXPECT_FALSE(shell::PeekPictureSize(junk, w, h));
    }
}

TEST_F(NetworkImageTest, OrdinaryPicturesDecodeToBoundedPremultipliedPixels) {
    shell::DecodedPicture small;
    ASSERT_TRUE(shell::DecodeNetworkPicture(GreyPng(48, 48, 200), small));
    EXPECT_EQ(48u, small.width);
    EXPECT_EQ(48u, small.height);
    ASSERT_EQ(48u * 48 * 4, small.pixels.size());
    EXPECT_EQ(200, small.pixels[0]);
    EXPECT_EQ(255, small.pixels[3]);

    // Larger pictures are scaled down to 1024 keeping their aspect.
    shell::DecodedPicture wide;
    ASSERT_TRUE(shell::DecodeNetworkPicture(GreyPng(2000, 1500, 90), wide));
    EXPECT_EQ(1024u, wide.width);
    EXPECT_EQ(768u, wide.height);
    EXPECT_EQ(size_t(1024) * 768 * 4, wide.pixels.size());
    shell::DecodedPicture tall;
    ASSERT_TRUE(shell::DecodeNetworkPicture(GreyPng(100, 3000, 90), tall));
    EXPECT_EQ(34u, tall.width);
    EXPECT_EQ(1024u, tall.height);

    // And come back through the encoder unchanged in size.
    std::string png;
    ASSERT_TRUE(shell::EncodePng(small, png));
    shell::DecodedPicture again;
    ASSERT_TRUE(shell::DecodeNetworkPicture(png, again));
    EXPECT_EQ(48u, again.width);
    EXPECT_EQ(small.pixels, again.pixels);
}

TEST_F(NetworkImageTest, HostilePicturesAreBounded) {
    shell::DecodedPicture out;
    DWORD ms = 0;

    // Many frames: only the first is decoded.
    const std::string frames = GifFrames(1000, 150);
    EXPECT_LT(frames.size(), 4096u);
    EXPECT_TRUE(TimedDecode("150-frame GIF", frames, out, ms));
    EXPECT_GE(out.width, 1u);
    EXPECT_LE(out.width, 1000u);
    EXPECT_LT(ms, 10000u);

    // Huge but tiny on the wire: refused by its area, never 8192 x 8192 x 4.
    const std::string big = GreyPng(8192, 8192);
    EXPECT_LT(big.size(), 200u * 1024);
    EXPECT_FALSE(TimedDecode("8192x8192 PNG", big, out, ms));
    EXPECT_LT(ms, 30000u);
    // The largest area taken is scaled down.
    ASSERT_TRUE(TimedDecode("4096x4096 PNG", GreyPng(4096, 4096, 5), out, ms));
    EXPECT_EQ(1024u, out.width);
    EXPECT_EQ(1024u, out.height);
    EXPECT_FALSE(TimedDecode("8193x1 PNG", GreyPng(8193, 1), out, ms));
    EXPECT_TRUE(TimedDecode("8192x2 PNG", GreyPng(8192, 2), out, ms));

    EXPECT_FALSE(TimedDecode("65535x65535 header", PngHeaderOnly(65535, 65535) + GreyPng(4, 4).substr(33), out, ms));
    EXPECT_TRUE(out.pixels.empty());

    const std::string whole = GreyPng(300, 200, 77);
    for (size_t cut : {whole.size() / 2, whole.size() - 13, size_t(40), size_t(8)}) {
        EXPECT_FALSE(TimedDecode("truncated PNG", whole.substr(0, cut), out, ms)) << cut;
    }
    std::string corrupt = whole;
    for (size_t i = 41; i < corrupt.size() - 12; i += 7) corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
    TimedDecode("corrupt PNG", corrupt, out, ms);  // either way, no crash

    EXPECT_FALSE(TimedDecode("zero-size GIF screen", GifFrames(0, 1), out, ms));
    TimedDecode("zero-size GIF frame", GifFrames(16, 3, 0), out, ms);
    EXPECT_FALSE(TimedDecode("not a picture", std::string(5000, 'x'), out, ms));
    EXPECT_FALSE(TimedDecode("empty", std::string(), out, ms));
    // Over the size any avatar has.
    EXPECT_FALSE(TimedDecode("5 MB", GreyPng(16, 16) + std::string(5u << 20, '\0'), out, ms));
}

TEST_F(NetworkImageTest, SavedPicturesAreBoundedPngsOrNothing) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"network_image_test.png";
    ASSERT_TRUE(shell::SaveNetworkPictureAsPng(GreyPng(3000, 1500, 10), path));
    shell::DecodedPicture saved;
    ASSERT_TRUE(shell::DecodeNetworkPicture(ReadFileBytes(path), saved));
    EXPECT_EQ(1024u, saved.width);
    EXPECT_EQ(512u, saved.height);
    // What does not decode leaves no file under that name.
    EXPECT_FALSE(shell::SaveNetworkPictureAsPng(PngHeaderOnly(65535, 65535), path));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(path.c_str()));
    EXPECT_FALSE(shell::SaveNetworkPictureAsPng("<html>404</html>", path));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(path.c_str()));
}

}  // namespace
