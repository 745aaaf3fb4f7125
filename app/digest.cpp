#include "app/digest.h"

#include <windows.h>
#include <bcrypt.h>

namespace {

bool digest_of(LPCWSTR algorithm_name, const std::string& text, uint8_t* digest, ULONG size)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    bool ok = BCryptOpenAlgorithmProvider(&algorithm, algorithm_name, nullptr, 0) == 0 &&
              BCryptHash(algorithm, nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char*>(text.data())),
                         static_cast<ULONG>(text.size()), digest, size) == 0;
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
    return ok;
}

}  // namespace

bool sha1_digest(const std::string& text, uint8_t digest[20])
{
    return digest_of(BCRYPT_SHA1_ALGORITHM, text, digest, 20);
}

bool sha256_digest(const std::string& text, uint8_t digest[32])
{
    return digest_of(BCRYPT_SHA256_ALGORITHM, text, digest, 32);
}
