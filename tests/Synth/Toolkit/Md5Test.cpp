#include "Md5.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string digestOf(const std::string& text, size_t piece = 0)
{
    Tool::MD5 md5;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    if (piece == 0)
        md5.update(bytes, static_cast<unsigned>(text.size()));
    else
        for (size_t i = 0; i < text.size(); i += piece)
            md5.update(bytes + i, static_cast<unsigned>(std::min(piece, text.size() - i)));
    return md5.getDigestString();
}

} // namespace

TEST(Md5, Rfc1321TestSuite)
{
    struct Case { const char* message; const char* digest; };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(digestOf(c.message), c.digest) << '"' << c.message << '"';
        // Fed in pieces that straddle the 64-byte blocks, the digest is the same.
        for (size_t piece : {1u, 7u, 63u, 64u, 65u})
            EXPECT_EQ(digestOf(c.message, piece), c.digest) << '"' << c.message << "\" in pieces of " << piece;
    }
}

TEST(Md5, FinalisedDigestIsStableUntilReset)
{
    Tool::MD5 md5;
    md5.update(reinterpret_cast<const unsigned char*>("abc"), 3);
    md5.finalize();
    md5.update(reinterpret_cast<const unsigned char*>("more"), 4);
    EXPECT_EQ(md5.getDigestString(), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5.getDigestString(), "900150983cd24fb0d6963f7d28e17f72") << "asking twice finalises once";
    md5.reset();
    EXPECT_EQ(md5.getDigestString(), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5, AgreesWithMd5sumOnAFile)
{
    TestSupport::TempDir dir;
    // Every byte value, several blocks, not a multiple of 64.
    std::string bytes;
    for (int i = 0; i < 100003; ++i)
        bytes += static_cast<char>((i * 131 + i / 7) & 0xFF);
    const std::string path = dir.file("data.bin");
    TestSupport::writeFile(path, bytes);

    FILE* pipe = popen(("md5sum '" + path + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char out[64] = {0};
    ASSERT_NE(fgets(out, sizeof out, pipe), nullptr);
    ASSERT_EQ(pclose(pipe), 0);
    const std::string expected(out, 32);

    EXPECT_EQ(digestOf(TestSupport::readFile(path)), expected);
    EXPECT_EQ(digestOf(TestSupport::readFile(path), 4096), expected);

    const std::string copy = dir.file("copy.bin");
    TestSupport::writeFile(copy, bytes);
    EXPECT_EQ(digestOf(TestSupport::readFile(copy)), digestOf(TestSupport::readFile(path)))
        << "two files with equal bytes give equal texts";
}
