#include "platform/sha256.h"

namespace tarn::platform {

Sha256Digest Sha256::Of(std::string_view bytes)
{
    Sha256 sha;
    sha.Update(bytes);
    return sha.Finish();
}

std::string Sha256::Hex(const Sha256Digest& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : digest) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

} // namespace tarn::platform
