// SHA-256 through the system's own implementation (libcrypto on Linux,
// BCrypt on Windows), which uses the processor's SHA instructions where it
// has them: the digests of an installation's files are computed while the
// files are copied, at the copy's speed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tarn::platform {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything given so far; the object starts over afterwards.
    Sha256Digest Finish();

    // The digest of bytes, in one go.
    static Sha256Digest Of(std::string_view bytes);
    // 64 lower-case hexadecimal digits.
    static std::string Hex(const Sha256Digest& digest);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tarn::platform
