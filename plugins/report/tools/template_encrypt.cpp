// template_encrypt <layout.xml> <output>: encrypts a report template for import into the report
// plug-in's template page.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "TemplateCipher.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: template_encrypt <layout.xml> <output>\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string data;
  if (plain.empty() || !TemplateCipher::Encrypt(plain, TemplateCipher::kTemplateKey, data)) {
    std::fprintf(stderr, "cannot encrypt %s\n", argv[1]);
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
