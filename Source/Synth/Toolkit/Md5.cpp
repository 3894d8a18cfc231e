#include "Md5.h"

#include <cstring>

namespace Tool {

namespace {

inline uint32_t rotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// Per-step shift amounts of the four rounds.
constexpr int Shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// floor(abs(sin(i + 1)) * 2^32), the RFC's table T.
constexpr uint32_t T[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

const unsigned char Padding[64] = {0x80};

} // namespace

void MD5::reset()
{
    finalized_ = false;
    count_[0] = count_[1] = 0;
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    std::memset(buffer_, 0, sizeof buffer_);
    std::memset(digest_, 0, sizeof digest_);
}

void MD5::update(unsigned char const* data, unsigned int length)
{
    if (finalized_ || (!data && length > 0))
        return;
    unsigned int index = (count_[0] >> 3) & 0x3F;
    const uint32_t bitsLow = static_cast<uint32_t>(length) << 3;
    if ((count_[0] += bitsLow) < bitsLow)
        ++count_[1];
    count_[1] += static_cast<uint32_t>(length) >> 29;

    const unsigned int room = 64 - index;
    unsigned int i = 0;
    if (length >= room) {
        std::memcpy(buffer_ + index, data, room);
        doTransformation(buffer_);
        for (i = room; i + 63 < length; i += 64)
            doTransformation(data + i);
        index = 0;
    }
    if (length > i)
        std::memcpy(buffer_ + index, data + i, length - i);
}

void MD5::finalize()
{
    if (finalized_)
        return;
    unsigned char bits[8];
    encode(bits, count_, 8);
    const unsigned int index = (count_[0] >> 3) & 0x3F;
    const unsigned int padLength = index < 56 ? 56 - index : 120 - index;
    update(Padding, padLength);
    update(bits, 8);
    encode(digest_, state_, 16);
    std::memset(buffer_, 0, sizeof buffer_);
    finalized_ = true;
}

Vdx::String_c MD5::getDigestString()
{
    finalize();
    static const char hex[] = "0123456789abcdef";
    Vdx::String_c text;
    text.reserve(32);
    for (unsigned char b : digest_) {
        text += hex[b >> 4];
        text += hex[b & 0x0F];
    }
    return text;
}

void MD5::encode(unsigned char* out, const uint32_t* in, unsigned int length)
{
    for (unsigned int i = 0, j = 0; j < length; ++i, j += 4) {
        out[j] = static_cast<unsigned char>(in[i] & 0xFF);
        out[j + 1] = static_cast<unsigned char>((in[i] >> 8) & 0xFF);
        out[j + 2] = static_cast<unsigned char>((in[i] >> 16) & 0xFF);
        out[j + 3] = static_cast<unsigned char>((in[i] >> 24) & 0xFF);
    }
}

void MD5::decode(uint32_t* out, const unsigned char* in, unsigned int length)
{
    for (unsigned int i = 0, j = 0; j < length; ++i, j += 4)
        out[i] = static_cast<uint32_t>(in[j]) | (static_cast<uint32_t>(in[j + 1]) << 8) |
                 (static_cast<uint32_t>(in[j + 2]) << 16) | (static_cast<uint32_t>(in[j + 3]) << 24);
}

void MD5::doTransformation(const unsigned char block[64])
{
    uint32_t x[16];
    decode(x, block, 64);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int step = 0; step < 64; ++step) {
        const int round = step / 16;
        uint32_t f;
        int k;
        switch (round) {
        case 0: f = F(b, c, d); k = step; break;
        case 1: f = G(b, c, d); k = (5 * step + 1) % 16; break;
        case 2: f = H(b, c, d); k = (3 * step + 5) % 16; break;
        default: f = I(b, c, d); k = (7 * step) % 16; break;
        }
        const uint32_t rotated = rotateLeft(a + f + x[k] + T[step], Shifts[round][step % 4]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    std::memset(x, 0, sizeof x);
}

} // namespace Tool
