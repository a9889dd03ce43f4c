#include "platform/sha256.h"

#include "platform/win32/win32.h"

#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>

namespace tarn::platform {

namespace {

// One provider for the process: opening it is the costly part.
BCRYPT_ALG_HANDLE Provider()
{
    static BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE p = nullptr;
        if (BCryptOpenAlgorithmProvider(&p, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            p = nullptr;
        return p;
    }();
    return provider;
}

} // namespace

struct Sha256::Impl {
    BCRYPT_HASH_HANDLE hash = nullptr;
    void Start()
    {
        if (!Provider() || BCryptCreateHash(Provider(), &hash, nullptr, 0, nullptr, 0, 0) < 0)
            throw std::runtime_error("SHA-256 is not available");
    }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) { impl_->Start(); }

Sha256::~Sha256()
{
    if (impl_->hash)
        BCryptDestroyHash(impl_->hash);
}

void Sha256::Update(const void* data, size_t size)
{
    // BCrypt takes at most 4 GiB at a time.
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        ULONG part = static_cast<ULONG>(std::min<size_t>(size, 1u << 30));
        BCryptHashData(impl_->hash, const_cast<PUCHAR>(p), part, 0);
        p += part, size -= part;
    }
}

Sha256Digest Sha256::Finish()
{
    Sha256Digest digest{};
    BCryptFinishHash(impl_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
    BCryptDestroyHash(impl_->hash);
    impl_->hash = nullptr;
    impl_->Start();
    return digest;
}

} // namespace tarn::platform
