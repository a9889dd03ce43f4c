#include "platform/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace tarn::platform {

struct Sha256::Impl {
    EVP_MD_CTX* context = nullptr;
};

Sha256::Sha256() : impl_(std::make_unique<Impl>())
{
    impl_->context = EVP_MD_CTX_new();
    if (!impl_->context || EVP_DigestInit_ex(impl_->context, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
}

Sha256::~Sha256() { EVP_MD_CTX_free(impl_->context); }

void Sha256::Update(const void* data, size_t size)
{
    if (size > 0)
        EVP_DigestUpdate(impl_->context, data, size);
}

Sha256Digest Sha256::Finish()
{
    Sha256Digest digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(impl_->context, digest.data(), &length);
    EVP_DigestInit_ex(impl_->context, EVP_sha256(), nullptr);
    return digest;
}

} // namespace tarn::platform
