#pragma once

#include <string>

// The format of template files prepared for import: AES-256-CBC with PKCS#7 padding, the
// 32-byte key decoded from the 64 hexadecimal characters of the key text, and a random 16-byte
// IV before the cipher text.
namespace TemplateCipher {

// The key text that templates for this program are encrypted with.
extern const char* const kTemplateKey;

// False for a key text that is not 64 hexadecimal characters, or data that does not decrypt
// (too short, wrong key, bad padding).
bool Decrypt(const std::string& data, const char* keyText, std::string& plain);
bool Encrypt(const std::string& plain, const char* keyText, std::string& data);

}  // namespace TemplateCipher
