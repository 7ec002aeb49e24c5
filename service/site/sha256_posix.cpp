#include "service/site/sha256.h"

#include <openssl/evp.h>

namespace ql::service {

// By OpenSSL; the Windows build takes the same digest from the system (sha256_win.cpp).
std::array<std::uint8_t, 32> Sha256(std::string_view bytes) {
    std::array<std::uint8_t, 32> digest{};
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr);
    return digest;
}

}  // namespace ql::service
