#include "TemplateCipher.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>
#include <memory>

namespace TemplateCipher {

const char* const kTemplateKey = "7C41E09B52D83FA6190E6BC47D25A8F3E0694B1DC7352A8E9F06B4D17C5E23A9";

namespace {

constexpr int kKeySize = 32;
constexpr int kIvSize = 16;

bool DecodeKey(const char* keyText, unsigned char key[kKeySize]) {
  if (!keyText || std::strlen(keyText) != 2 * kKeySize) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (int k = 0; k < kKeySize; ++k) {
    const int high = nibble(keyText[2 * k]);
    const int low = nibble(keyText[2 * k + 1]);
    if (high < 0 || low < 0) return false;
    key[k] = static_cast<unsigned char>(high * 16 + low);
  }
  return true;
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// Runs the whole input through an initialised context; false when the final block is refused.
bool Run(EVP_CIPHER_CTX* ctx, const unsigned char* in, size_t size, std::string& out) {
  out.resize(size + kIvSize);
  int written = 0;
  int total = 0;
  auto* dest = reinterpret_cast<unsigned char*>(out.data());
  if (EVP_CipherUpdate(ctx, dest, &written, in, static_cast<int>(size)) != 1) return false;
  total = written;
  if (EVP_CipherFinal_ex(ctx, dest + total, &written) != 1) return false;
  out.resize(static_cast<size_t>(total + written));
  return true;
}

}  // namespace

bool Decrypt(const std::string& data, const char* keyText, std::string& plain) {
  unsigned char key[kKeySize];
  if (!DecodeKey(keyText, key) || data.size() < 2 * kIvSize) return false;
  CipherContext ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key, bytes) != 1) return false;
  std::string out;
  if (!Run(ctx.get(), bytes + kIvSize, data.size() - kIvSize, out)) return false;
  plain = std::move(out);
  return true;
}

bool Encrypt(const std::string& plain, const char* keyText, std::string& data) {
  unsigned char key[kKeySize];
  unsigned char iv[kIvSize];
  if (!DecodeKey(keyText, key) || RAND_bytes(iv, kIvSize) != 1) return false;
  CipherContext ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key, iv) != 1) return false;
  std::string out;
  if (!Run(ctx.get(), reinterpret_cast<const unsigned char*>(plain.data()), plain.size(), out)) return false;
  data.assign(reinterpret_cast<const char*>(iv), kIvSize);
  data += out;
  return true;
}

}  // namespace TemplateCipher
