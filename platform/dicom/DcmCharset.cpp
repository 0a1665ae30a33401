// Text of a dataset's Specific Character Set to UTF-8, code extensions (ISO 2022) included, with
// the legacy character set for what the declared one cannot read.

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcelem.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <iconv.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "DcmInternal.h"
#include "SODcmDataset.h"
#include "SOWinReg.h"

namespace {

bool IsValidUtf8(const std::string& s) {
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = s[i];
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > n) return false;
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

std::string Latin1ToUtf8(const std::string& s) {
  std::string out;
  for (unsigned char c : s) AppendUtf8(c, out);
  return out;
}

// `bytes` in the iconv encoding `from` as UTF-8; false when iconv cannot read them.
bool Iconv(const char* from, const std::string& bytes, std::string& out) {
  iconv_t cd = iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result(bytes.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* dst = result.data();
  size_t outLeft = result.size();
  bool ok = iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
  iconv_close(cd);
  if (!ok) return false;
  result.resize(result.size() - outLeft);
  out += result;
  return true;
}

// The character sets a term or an escape sequence selects.
enum class Set {
  None,
  Ascii,
  Katakana,  // JIS X 0201, right half
  Jis0208,   // two bytes, G0
  Jis0212,   // two bytes, G0
  Ksx1001,   // two bytes, G1
  Gb2312,    // two bytes, G1
  Single,    // a single-byte set whose upper half iconv decodes (`single` names it)
};

struct Designation {
  const char* term;     // DICOM defined term (without "ISO_IR " / "ISO 2022 IR " prefix)
  const char* escape;   // escape sequence after ESC
  bool g1;
  Set set;
  const char* iconvName;
};

const Designation kDesignations[] = {
    {"6", "(B", false, Set::Ascii, nullptr},           {"13", ")I", true, Set::Katakana, nullptr},
    {"13", "(J", false, Set::Ascii, nullptr},          {"87", "$B", false, Set::Jis0208, nullptr},
    {"159", "$(D", false, Set::Jis0212, nullptr},      {"149", "$)C", true, Set::Ksx1001, nullptr},
    {"58", "$)A", true, Set::Gb2312, nullptr},         {"100", "-A", true, Set::Single, "ISO-8859-1"},
    {"101", "-B", true, Set::Single, "ISO-8859-2"},    {"109", "-C", true, Set::Single, "ISO-8859-3"},
    {"110", "-D", true, Set::Single, "ISO-8859-4"},    {"144", "-L", true, Set::Single, "ISO-8859-5"},
    {"127", "-G", true, Set::Single, "ISO-8859-6"},    {"126", "-F", true, Set::Single, "ISO-8859-7"},
    {"138", "-H", true, Set::Single, "ISO-8859-8"},    {"148", "-M", true, Set::Single, "ISO-8859-9"},
    {"203", "-b", true, Set::Single, "ISO-8859-15"},   {"166", "-T", true, Set::Single, "TIS-620"},
};

struct State {
  Set g0 = Set::Ascii;
  Set g1 = Set::None;
  const char* single = nullptr;
};

void Apply(const Designation& d, State& s) {
  if (d.g1) {
    s.g1 = d.set;
    s.single = d.iconvName;
  } else {
    s.g0 = d.set;
  }
}

// The number of a defined term ("ISO 2022 IR 87" -> "87"); empty for the default repertoire.
std::string TermNumber(const std::string& term) {
  size_t space = term.find_last_of(' ');
  return space == std::string::npos ? std::string() : term.substr(space + 1);
}

std::vector<std::string> Terms(const std::string& charset) {
  std::vector<std::string> terms;
  size_t start = 0;
  while (true) {
    size_t end = charset.find('\\', start);
    std::string term = charset.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!term.empty() && term.front() == ' ') term.erase(term.begin());
    while (!term.empty() && term.back() == ' ') term.pop_back();
    terms.push_back(term);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return terms;
}

// ISO 2022 text: escape sequences switch G0 and G1; delimiters return to the first term's sets.
// False when a character cannot be read in the set in force.
bool DecodeIso2022(const std::string& text, const std::string& firstTerm, bool personName, std::string& out) {
  State initial;
  std::string number = TermNumber(firstTerm);
  for (const Designation& d : kDesignations)
    if (number == d.term) Apply(d, initial);
  State s = initial;
  out.clear();
  size_t i = 0, n = text.size();
  while (i < n) {
    unsigned char c = text[i];
    if (c == 0x1B) {
      bool matched = false;
      for (const Designation& d : kDesignations) {
        size_t len = std::strlen(d.escape);
        if (i + 1 + len <= n && text.compare(i + 1, len, d.escape) == 0) {
          Apply(d, s);
          i += 1 + len;
          matched = true;
          break;
        }
      }
      if (!matched) ++i;  // an unknown escape is dropped
      continue;
    }
    if (c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == '\\' || (personName && (c == '^' || c == '='))) {
      s = initial;
      out += char(c);
      ++i;
      continue;
    }
    if (c < 0x80) {
      if ((s.g0 == Set::Jis0208 || s.g0 == Set::Jis0212) && i + 1 < n) {
        std::string euc;
        if (s.g0 == Set::Jis0212) euc += char(0x8F);
        euc += char(c | 0x80);
        euc += char(text[i + 1] | 0x80);
        if (!Iconv("EUC-JP", euc, out)) return false;
        i += 2;
      } else {
        out += char(c);
        ++i;
      }
      continue;
    }
    if ((s.g1 == Set::Ksx1001 || s.g1 == Set::Gb2312) && i + 1 < n) {
      if (!Iconv(s.g1 == Set::Ksx1001 ? "EUC-KR" : "GB2312", text.substr(i, 2), out)) return false;
      i += 2;
    } else if (s.g1 == Set::Katakana && c >= 0xA1 && c <= 0xDF) {
      AppendUtf8(0xFF61 + (c - 0xA1), out);
      ++i;
    } else if (s.g1 == Set::Single && s.single) {
      if (!Iconv(s.single, text.substr(i, 1), out)) return false;
      ++i;
    } else {
      return false;  // an upper-half byte where no set is designated
    }
  }
  return true;
}

const char* SingleSetIconvName(const std::string& term) {
  if (term == "ISO_IR 192") return "UTF-8";
  if (term == "GB18030") return "GB18030";
  if (term == "GBK") return "GBK";
  if (term == "ISO_IR 13") return nullptr;
  std::string number = TermNumber(term);
  for (const Designation& d : kDesignations)
    if (d.iconvName && number == d.term) return d.iconvName;
  return nullptr;
}

bool IsAffectedByCharset(DcmEVR vr) {
  return vr == EVR_PN || vr == EVR_SH || vr == EVR_LO || vr == EVR_ST || vr == EVR_LT || vr == EVR_UT || vr == EVR_UC;
}

void ItemToUtf8(DcmItem* item, std::string charset) {
  OFString own;
  if (item->findAndGetOFStringArray(DCM_SpecificCharacterSet, own, OFFalse).good()) {
    charset = own.c_str();
    delete item->remove(DCM_SpecificCharacterSet);
  }
  for (unsigned long i = 0; i < item->card(); ++i) {
    DcmElement* element = item->getElement(i);
    DcmEVR vr = element->ident();
    if (vr == EVR_SQ) {
      auto* sequence = static_cast<DcmSequenceOfItems*>(element);
      for (unsigned long k = 0; k < sequence->card(); ++k) ItemToUtf8(sequence->getItem(k), charset);
    } else if (IsAffectedByCharset(vr)) {
      OFString value;
      if (element->getOFStringArray(value).bad()) continue;
      std::string utf8 = DcmTextToUtf8(std::string(value.c_str(), value.length()), charset, vr == EVR_PN);
      element->putOFStringArray(OFString(utf8.data(), utf8.size()));
    }
  }
}

// `text` in the DICOM character set `charset`; false when that cannot read every byte.
bool DecodeText(const std::string& text, const std::string& charset, bool personName, std::string& out) {
  std::vector<std::string> terms = Terms(charset);
  if (terms.size() > 1 || terms[0].rfind("ISO 2022", 0) == 0) return DecodeIso2022(text, terms[0], personName, out);
  if (terms[0] == "ISO_IR 13") return DecodeIso2022(text, "ISO 2022 IR 13", personName, out);
  const char* name = SingleSetIconvName(terms[0]);
  out.clear();
  return name && Iconv(name, text, out) && IsValidUtf8(out);
}

std::mutex legacyLock;
std::string legacyCharset;  // guarded by legacyLock; empty until first asked for

}  // namespace

std::string DcmTextToUtf8(const std::string& text, const std::string& charset, bool personName) {
  bool ascii = true;
  for (unsigned char c : text) ascii = ascii && c < 0x80 && c != 0x1B;
  if (ascii) return text;
  std::string out;
  if (!charset.empty() && DecodeText(text, charset, personName, out)) return out;
  // No character set, or bytes it cannot hold: the legacy set, then Latin-1, which reads any byte.
  // Never a replacement character.
  const std::string legacy = SODcmDataset::GetLegacyCharacterSet();
  if (legacy != charset && DecodeText(text, legacy, personName, out)) return out;
  return Latin1ToUtf8(text);
}

void DcmItemToUtf8(DcmItem* root) {
  OFString charset;
  root->findAndGetOFStringArray(DCM_SpecificCharacterSet, charset, OFFalse);
  ItemToUtf8(root, charset.c_str());
  root->putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 192");
}

std::string SODcmDataset::GetLegacyCharacterSet() {
  std::lock_guard<std::mutex> guard(legacyLock);
  if (legacyCharset.empty()) {
    std::string configured;
    legacyCharset = SOWinReg::ReadHKCU("Software\\Orvanta", "LegacyCharacterSet", configured) && !configured.empty()
                        ? configured
                        : "GB18030";
  }
  return legacyCharset;
}

void SODcmDataset::SetLegacyCharacterSet(const std::string& charset) {
  std::lock_guard<std::mutex> guard(legacyLock);
  legacyCharset = charset;
}
