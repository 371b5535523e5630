#include "shell/text_cipher.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include "shell/md5.h"
#include "tests/support/paths.h"
#include "tests/support/standin.h"

namespace {

bool IsUpperHex(const std::string& s) {
    for (char c : s) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

TEST(Md5, KnownDigests) {
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Hex(""));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Hex("abc"));
    EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
              Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"));
    char out[33];
    Md5Hex("abc", out, sizeof(out));
    EXPECT_STREQ("900150983cd24fb0d6963f7d28e17f72", out);
    char small[9];
    Md5Hex("abc", small, sizeof(small));
    EXPECT_STREQ("90015098", small);
}

TEST(Md5, ManyBlocksAndBytesOfAnyValue) {
    EXPECT_EQ("7707d6ae4e027c70eea2a935c2296f21", Md5Hex(std::string(1000000, 'a')));
    EXPECT_EQ("70350f6027bce3713f6b76473084309b", Md5Hex(std::string("a\0b", 3)));
    EXPECT_EQ("4a05d04139269ee18055fa455737a5ac", Md5Hex("\xD4\xC6\xB7\xAB"));  // GBK bytes as they are
    Md5Hex("abc", nullptr, 0);  // no buffer: nothing written, no crash
}

TEST(TextCipher, BlockSizesAndPadding) {
    std::string h16 = EncryptText("0123456789ABCDEF");
    EXPECT_EQ(48u, h16.size());  // a whole block of padding is added
    EXPECT_TRUE(IsUpperHex(h16));
    EXPECT_EQ(16u, EncryptText("1234567").size());
    EXPECT_EQ(32u, EncryptText("12345678").size());
    EXPECT_EQ("", EncryptText(""));
}

TEST(TextCipher, RoundTripAndLowerCaseHex) {
    const std::string plain = "{\n   \"time\" : \"1700000000\"\n}\n";
    std::string hex = EncryptText(plain);
    EXPECT_EQ(plain, DecryptText(hex));
    std::string lower = hex;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(plain, DecryptText(lower));
}

TEST(TextCipher, UnusableHexGivesEmptyText) {
    std::string hex = EncryptText("hello world");
    EXPECT_EQ("", DecryptText(hex.substr(0, hex.size() - 1)));   // odd length
    EXPECT_EQ("", DecryptText(hex.substr(0, hex.size() - 2)));   // not whole blocks
    EXPECT_EQ("", DecryptText("ZZ" + hex.substr(2)));             // not hex
    EXPECT_EQ("", DecryptText("<html>404</html>"));
    EXPECT_EQ("", DecryptText(""));
    std::string tampered = hex;
    tampered[tampered.size() - 1] = tampered.back() == '0' ? '1' : '0';  // padding no longer valid
    EXPECT_EQ("", DecryptText(tampered));
}

TEST(TextCipher, WideFormsCarryChineseThroughGbk) {
    const std::wstring text = L"云帆商务台：询价 abc";
    std::wstring hex = EncryptTextW(text);
    ASSERT_FALSE(hex.empty());
    EXPECT_EQ(text, DecryptTextW(hex));
    // The cipher input is the GBK form of the text.
    EXPECT_EQ(hex, EncryptTextW(text));
    EXPECT_EQ(std::string("\xD4\xC6\xB7\xAB", 4), DecryptText(EncryptText("\xD4\xC6\xB7\xAB")));
}

TEST(TextCipher, MatchesTheServiceVectors) {
    std::string content = testing_support::ReadFileBytes(testing_support::SourcePath("tests/api/envelope_vectors.json"));
    ASSERT_FALSE(content.empty());
    Json::Value vectors = testing_support::ParseJson(content);
    ASSERT_TRUE(vectors.isArray());
    ASSERT_GE(vectors.size(), 5u);
    for (const auto& v : vectors) {
        std::string plain = FromHex(v["plaintext_hex"].asString());
        std::string cipher = v["cipher_hex"].asString();
        EXPECT_EQ(cipher, EncryptText(plain)) << v["plaintext_hex"].asString();
        if (!cipher.empty()) {
            EXPECT_EQ(plain, DecryptText(cipher));
        }
    }
}

}  // namespace
