#include "service/site/sha256.h"

#include "base/owned_win.h"

namespace ql::service {

// By the system's own hash (CNG). The sample media's bytes must be the same in every build,
// so the native build takes the same digest from OpenSSL (sha256_posix.cpp).
std::array<std::uint8_t, 32> Sha256(std::string_view bytes) {
    std::array<std::uint8_t, 32> digest{};
    UniqueHashAlgorithm algorithm;
    UniqueHash hash;
    if (BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
        BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0) != 0 ||
        BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                       static_cast<ULONG>(bytes.size()), 0) != 0) {
        return digest;
    }
    BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0);
    return digest;
}

}  // namespace ql::service
