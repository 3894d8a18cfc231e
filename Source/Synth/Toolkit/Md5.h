// Tool::MD5: the MD5 message digest of RFC 1321, used to tell whether two
// files hold the same bytes.
#pragma once

#include "VdxString.h"

#include <cstdint>

namespace Tool {

class MD5
{
public:
    MD5() { reset(); }

    // Starts a new digest.
    void reset();
    // Adds bytes to the message. Ignored once the digest is finalised (until
    // reset), so a finished digest never changes.
    void update(unsigned char const* data, unsigned int length);
    // Pads the message and fixes the digest; further calls change nothing.
    void finalize();
    // The 16 digest bytes as 32 lowercase hexadecimal digits, finalising
    // first when that has not been done.
    Vdx::String_c getDigestString();

private:
    static void encode(unsigned char* out, const uint32_t* in, unsigned int length);
    static void decode(uint32_t* out, const unsigned char* in, unsigned int length);
    void doTransformation(const unsigned char block[64]);

    uint32_t state_[4];
    uint32_t count_[2];          // message length in bits, low word first
    unsigned char buffer_[64];   // bytes of the block not yet transformed
    unsigned char digest_[16];
    bool finalized_ = false;
};

} // namespace Tool
