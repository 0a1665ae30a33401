#include "SOAccountStore.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>

#include "SOLibrary.h"
#include "SOWinReg.h"
#include "ShellStore.h"

namespace {

constexpr size_t kKeySize = 32;
constexpr size_t kNonceSize = 12;
constexpr size_t kTagSize = 16;
constexpr const char* kPrefix = "v1:";

using Key = std::array<unsigned char, kKeySize>;

// libcrypto, opened when a password is first sealed or opened rather than linked: it is a large
// library that every start would otherwise map and relocate before main(), for a password that
// is read only once the plug-ins are up, when at all.
struct Crypto {
  decltype(&::RAND_bytes) randBytes;
  decltype(&::EVP_CIPHER_CTX_new) contextNew;
  decltype(&::EVP_CIPHER_CTX_free) contextFree;
  decltype(&::EVP_CIPHER_CTX_ctrl) contextCtrl;
  decltype(&::EVP_aes_256_gcm) aes256Gcm;
  decltype(&::EVP_EncryptInit_ex) encryptInit;
  decltype(&::EVP_EncryptUpdate) encryptUpdate;
  decltype(&::EVP_EncryptFinal_ex) encryptFinal;
  decltype(&::EVP_DecryptInit_ex) decryptInit;
  decltype(&::EVP_DecryptUpdate) decryptUpdate;
  decltype(&::EVP_DecryptFinal_ex) decryptFinal;
  decltype(&::EVP_EncodeBlock) encodeBlock;
  decltype(&::EVP_DecodeBlock) decodeBlock;
};

const Crypto* OpenCrypto() {
  void* library = SOLibrary::Open("libcrypto.so.3", "libcrypto");
  if (!library) return nullptr;
  const auto Resolve = [library](const char* name, auto& function) {
    return SOLibrary::Resolve(library, "libcrypto", name, function);
  };
  static Crypto api;
  const bool complete = Resolve("RAND_bytes", api.randBytes) &&
                        Resolve("EVP_CIPHER_CTX_new", api.contextNew) &&
                        Resolve("EVP_CIPHER_CTX_free", api.contextFree) &&
                        Resolve("EVP_CIPHER_CTX_ctrl", api.contextCtrl) &&
                        Resolve("EVP_aes_256_gcm", api.aes256Gcm) &&
                        Resolve("EVP_EncryptInit_ex", api.encryptInit) &&
                        Resolve("EVP_EncryptUpdate", api.encryptUpdate) &&
                        Resolve("EVP_EncryptFinal_ex", api.encryptFinal) &&
                        Resolve("EVP_DecryptInit_ex", api.decryptInit) &&
                        Resolve("EVP_DecryptUpdate", api.decryptUpdate) &&
                        Resolve("EVP_DecryptFinal_ex", api.decryptFinal) &&
                        Resolve("EVP_EncodeBlock", api.encodeBlock) &&
                        Resolve("EVP_DecodeBlock", api.decodeBlock);
  if (!complete) {
    dlclose(library);
    return nullptr;
  }
  return &api;
}

// libcrypto once per process, from any thread; null when it cannot be opened (said on stderr).
const Crypto* Lib() {
  static const Crypto* const api = OpenCrypto();
  return api;
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)>;

std::string KeyPath() {
  return (std::filesystem::path(SOWinReg::RegistryPath()).parent_path() / "account.key").string();
}

bool ReadKey(int fd, Key& key) {
  size_t got = 0;
  while (got < key.size()) {
    const ssize_t n = ::read(fd, key.data() + got, key.size() - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

// The user's key, made on first use. Two makers racing settle on the one file that won.
bool UserKey(const Crypto& crypto, Key& key) {
  static std::mutex lock;  // one maker per process at a time
  std::lock_guard<std::mutex> hold(lock);
  const std::string path = KeyPath();
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
      struct stat st;
      const bool safe = ::fstat(fd, &st) == 0 && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
      const bool ok = safe && ReadKey(fd, key);
      ::close(fd);
      return ok;
    }
    Key fresh;
    if (crypto.randBytes(fresh.data(), static_cast<int>(fresh.size())) != 1) return false;
    const std::string temp = path + ".new." + std::to_string(::getpid());
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) return false;
    const bool written = ::write(out, fresh.data(), fresh.size()) == static_cast<ssize_t>(fresh.size()) &&
                         ::fsync(out) == 0;
    ::close(out);
    // link() fails when another maker's key is already there; that one is used instead.
    if (written) (void)::link(temp.c_str(), path.c_str());
    ::unlink(temp.c_str());
  }
  return false;
}

std::string ReadValue(const char* name) {
  std::string value;
  ShellStore::ReadHKCU(name, value);
  return value;
}

}  // namespace

namespace SOAccountStore {

std::string Seal(const std::string& plain) {
  const Crypto* crypto = Lib();
  if (plain.empty() || !crypto) return {};
  Key key;
  std::array<unsigned char, kNonceSize> nonce;
  if (!UserKey(*crypto, key) || crypto->randBytes(nonce.data(), static_cast<int>(nonce.size())) != 1)
    return {};
  CipherContext ctx(crypto->contextNew(), crypto->contextFree);
  std::string sealed(nonce.begin(), nonce.end());
  sealed.resize(kNonceSize + plain.size() + kTagSize);
  auto* out = reinterpret_cast<unsigned char*>(sealed.data()) + kNonceSize;
  int len = 0, tail = 0;
  if (!ctx || crypto->encryptInit(ctx.get(), crypto->aes256Gcm(), nullptr, key.data(), nonce.data()) != 1 ||
      crypto->encryptUpdate(ctx.get(), out, &len, reinterpret_cast<const unsigned char*>(plain.data()),
                            static_cast<int>(plain.size())) != 1 ||
      crypto->encryptFinal(ctx.get(), out + len, &tail) != 1 ||
      crypto->contextCtrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, out + plain.size()) != 1)
    return {};
  std::string encoded(4 * ((sealed.size() + 2) / 3), '\0');
  crypto->encodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                      reinterpret_cast<const unsigned char*>(sealed.data()), static_cast<int>(sealed.size()));
  return kPrefix + encoded;
}

std::string Open(const std::string& text) {
  const std::string prefix = kPrefix;
  if (text.compare(0, prefix.size(), prefix) != 0) return {};
  const Crypto* crypto = Lib();
  if (!crypto) return {};
  const std::string encoded = text.substr(prefix.size());
  if (encoded.empty() || encoded.size() % 4 != 0) return {};
  std::string sealed(3 * encoded.size() / 4, '\0');
  const int decoded = crypto->decodeBlock(reinterpret_cast<unsigned char*>(sealed.data()),
                                          reinterpret_cast<const unsigned char*>(encoded.data()),
                                          static_cast<int>(encoded.size()));
  if (decoded < 0) return {};
  size_t size = static_cast<size_t>(decoded);
  for (size_t i = encoded.size(); i > 0 && encoded[i - 1] == '='; --i) --size;  // padding
  if (size <= kNonceSize + kTagSize) return {};
  Key key;
  if (!UserKey(*crypto, key)) return {};
  const auto* bytes = reinterpret_cast<const unsigned char*>(sealed.data());
  const size_t plainSize = size - kNonceSize - kTagSize;
  std::string plain(plainSize, '\0');
  CipherContext ctx(crypto->contextNew(), crypto->contextFree);
  int len = 0, tail = 0;
  std::array<unsigned char, kTagSize> tag;
  std::copy(bytes + kNonceSize + plainSize, bytes + size, tag.begin());
  if (!ctx || crypto->decryptInit(ctx.get(), crypto->aes256Gcm(), nullptr, key.data(), bytes) != 1 ||
      crypto->decryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(plain.data()), &len,
                            bytes + kNonceSize, static_cast<int>(plainSize)) != 1 ||
      crypto->contextCtrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, tag.data()) != 1 ||
      crypto->decryptFinal(ctx.get(), reinterpret_cast<unsigned char*>(plain.data()) + len, &tail) != 1)
    return {};
  return plain;
}

std::string UserName() {
  return ReadValue("UserName");
}

std::string Password() {
  return Open(ReadValue("Password"));
}

bool AutoLogin() {
  return ReadValue("AutoLogin") == "true";
}

bool Save(const std::string& userName, const std::string& password, bool remember) {
  const std::string sealed = remember ? Seal(password) : std::string();
  if (remember && !password.empty() && sealed.empty()) return false;
  return ShellStore::WriteHKCU("UserName", userName.c_str()) && ShellStore::WriteHKCU("Password", sealed.c_str()) &&
         SetAutoLogin(remember);
}

bool SetAutoLogin(bool on) {
  return ShellStore::WriteHKCU("AutoLogin", on ? "true" : "false");
}

bool AutoLoginAllowed() {
  return ReadValue("AutoLogin") == "true" && !UserName().empty() && !Password().empty();
}

}  // namespace SOAccountStore
