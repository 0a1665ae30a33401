#include "SODcmDataset.h"

#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <dcmtk/dcmdata/dcspchrs.h>
#include <dcmtk/dcmdata/dcvrpobw.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

#include "DcmInternal.h"
#include "SODcmConvert.h"
#include "SOString.h"
#include "SOUtil.h"

namespace {

bool IsAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// Text VRs hold one value that may contain backslashes.
bool IsSingleValuedText(DcmEVR vr) { return vr == EVR_LT || vr == EVR_ST || vr == EVR_UT || vr == EVR_UR; }

// Items keep their elements in ascending tag order, so a walk can stop at the first larger tag;
// DCMTK's own search builds a stack on every call, which made attribute reads cost more than parsing.
DcmElement* FindElement(DcmItem* item, unsigned long tag) {
  if (!item) return nullptr;
  const DcmTagKey key = ToTagKey(tag);
  for (DcmObject* object = item->nextInContainer(nullptr); object; object = item->nextInContainer(object)) {
    const DcmTagKey& at = object->getTag();
    if (at == key) return static_cast<DcmElement*>(object);
    if (key < at) break;
  }
  return nullptr;
}

// The value bytes of binary elements whose VR is unknown to us (UN, or OB from implicit files),
// read as text: private attributes without a dictionary entry arrive like this.
bool RawBytesAsText(DcmElement* element, std::string& out) {
  Uint8* bytes = nullptr;
  if (element->getUint8Array(bytes).bad()) return false;
  std::string s(reinterpret_cast<const char*>(bytes), bytes ? element->getLength() : 0);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  out = s;
  return true;
}

bool ParseDouble(const std::string& text, double& value) {
  const char* begin = text.c_str();
  while (*begin == ' ') ++begin;
  if (!*begin) return false;
  char* end = nullptr;
  double v = std::strtod(begin, &end);
  while (*end == ' ') ++end;
  if (*end || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// Value `index` of a numeric attribute, whatever its VR.
bool NumberAt(DcmElement* element, unsigned long index, double& value) {
  if (!element) return false;
  switch (element->ident()) {
    case EVR_US: {
      Uint16 v;
      if (element->getUint16(v, index).bad()) return false;
      value = v;
      return true;
    }
    case EVR_SS: {
      Sint16 v;
      if (element->getSint16(v, index).bad()) return false;
      value = v;
      return true;
    }
    case EVR_UL: {
      Uint32 v;
      if (element->getUint32(v, index).bad()) return false;
      value = v;
      return true;
    }
    case EVR_SL: {
      Sint32 v;
      if (element->getSint32(v, index).bad()) return false;
      value = v;
      return true;
    }
    case EVR_FL: {
      Float32 v;
      if (element->getFloat32(v, index).bad()) return false;
      value = v;
      return true;
    }
    case EVR_FD: {
      Float64 v;
      if (element->getFloat64(v, index).bad()) return false;
      value = v;
      return true;
    }
    default: {
      OFString text;
      if (element->getOFString(text, index).bad()) return false;
      return ParseDouble(text.c_str(), value);
    }
  }
}

std::string FormatDouble(double value, DcmEVR vr) {
  char buf[40];
  if (vr != EVR_DS) {
    snprintf(buf, sizeof buf, "%.17g", value);
    return buf;
  }
  // DS holds at most 16 characters.
  for (int precision = 15; precision > 0; --precision) {
    snprintf(buf, sizeof buf, "%.*g", precision, value);
    if (std::strlen(buf) <= 16) break;
  }
  return buf;
}

}  // namespace

SODcmDataset::SODcmDataset() : owned_(new DcmDataset) { item_ = owned_.get(); }

DcmElement* SODcmDataset::Find(unsigned long tag) const {
  if (!index_) return FindElement(item_, tag);
  auto at = std::lower_bound(index_->begin(), index_->end(), static_cast<uint32_t>(tag),
                             [](const auto& entry, uint32_t key) { return entry.first < key; });
  return at != index_->end() && at->first == tag ? at->second : nullptr;
}

SODcmDataset::Indexed::Indexed(const SODcmDataset& dataset) : dataset_(dataset), guard_(dataset.Lock()) {
  // A nested index over the same dataset leaves the outer one in place.
  if (dataset.index_) return;
  DcmItem* item = dataset.item_;
  entries_.reserve(item->card());
  for (DcmObject* object = item->nextInContainer(nullptr); object; object = item->nextInContainer(object)) {
    const DcmTagKey& key = object->getTag();
    entries_.emplace_back((uint32_t(key.getGroup()) << 16) | key.getElement(), static_cast<DcmElement*>(object));
  }
  // Items keep ascending order; one that does not is searched the usual way.
  if (std::is_sorted(entries_.begin(), entries_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; }))
    dataset.index_ = &entries_;
}

SODcmDataset::Indexed::~Indexed() {
  if (dataset_.index_ == &entries_) dataset_.index_ = nullptr;
}

SODcmDataset::~SODcmDataset() = default;

void SODcmDataset::Reset(DcmItem* item, bool owned) {
  DropIndex();
  if (owned_.get() != item) owned_.reset(owned ? item : nullptr);
  if (!owned && owned_.get() == item) owned_.release();
  item_ = item;
  root_ = nullptr;
}

void SODcmDataset::BindView(DcmItem* item, const SODcmDataset& root) {
  DropIndex();
  owned_.reset();
  item_ = item;
  root_ = &root.Root();
}

const SODcmDataset& SODcmDataset::Root() const { return root_ ? *root_ : *this; }

std::recursive_mutex& SODcmDataset::Lock() const { return Root().lock_; }

namespace {

void Identify(const struct stat& st, unsigned long long& device, unsigned long long& inode, unsigned long long& size,
              long long& modifiedNs) {
  device = st.st_dev;
  inode = st.st_ino;
  size = static_cast<unsigned long long>(st.st_size);
  modifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

bool Identify(const std::string& path, unsigned long long& device, unsigned long long& inode,
              unsigned long long& size, long long& modifiedNs) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
  Identify(st, device, inode, size, modifiedNs);
  return true;
}

}  // namespace

void SODcmDataset::SetSourceFile(const std::string& path, const struct stat* opened) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  source_ = FileIdentity();
  source_.path = path;
  if (opened && !path.empty())
    Identify(*opened, source_.device, source_.inode, source_.size, source_.modifiedNs);
  else if (!Identify(path, source_.device, source_.inode, source_.size, source_.modifiedNs))
    source_.path.clear();
}

bool SODcmDataset::SourceReplaced() const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  const FileIdentity& source = Root().source_;
  if (source.path.empty()) return false;
  FileIdentity now;
  now.path = source.path;
  return !Identify(source.path, now.device, now.inode, now.size, now.modifiedNs) || !(now == source);
}

DcmItem* SODcmDataset::GetDcmItem() const { return item_; }

std::string SODcmDataset::GetCharacterSet() const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  OFString value;
  // An item may declare its own character set; otherwise the root's applies.
  if (item_->findAndGetOFStringArray(DCM_SpecificCharacterSet, value, OFFalse).bad() && root_)
    root_->item_->findAndGetOFStringArray(DCM_SpecificCharacterSet, value, OFFalse);
  std::string s = value.c_str();
  while (!s.empty() && s.front() == ' ') s.erase(s.begin());
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool SODcmDataset::GetString(unsigned long tag, std::string& value, unsigned long index) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  DcmElement* element = Find(tag);
  if (!element) return false;
  DcmEVR vr = element->ident();
  if (vr == EVR_UN || vr == EVR_OB) {
    if (index != 0) return false;
    return RawBytesAsText(element, value);
  }
  OFString text;
  if (IsSingleValuedText(vr)) {
    if (index != 0 || element->getOFStringArray(text).bad()) return false;
  } else if (element->getOFString(text, index).bad()) {
    return false;
  }
  value.assign(text.c_str(), text.length());
  return true;
}

bool SODcmDataset::GetString(unsigned long tag, SOString& value, unsigned long index) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::string text;
  if (!GetString(tag, text, index)) return false;
  value = text;
  return true;
}

bool SODcmDataset::GetString(unsigned long tag, std::wstring& value, unsigned long index) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  DcmElement* element = Find(tag);
  if (!element) return false;
  DcmEVR vr = element->ident();
  std::string raw;
  if (vr == EVR_UN || vr == EVR_OB || IsSingleValuedText(vr)) {
    if (!GetString(tag, raw, index)) return false;
    value = SOUtil::UTF82WStr(DcmTextToUtf8(raw, GetCharacterSet(), false).c_str());
    return true;
  }
  // Decode the whole value first: a multi-byte character set may hide a backslash byte inside a
  // character, so values are split only in UTF-8.
  OFString all;
  if (element->getOFStringArray(all).bad()) return false;
  std::string utf8 = DcmTextToUtf8(std::string(all.c_str(), all.length()), GetCharacterSet(), vr == EVR_PN);
  size_t start = 0;
  for (unsigned long i = 0; i < index; ++i) {
    size_t next = utf8.find('\\', start);
    if (next == std::string::npos) return false;
    start = next + 1;
  }
  size_t end = utf8.find('\\', start);
  std::string part = utf8.substr(start, end == std::string::npos ? std::string::npos : end - start);
  while (!part.empty() && part.back() == ' ') part.pop_back();
  value = SOUtil::UTF82WStr(part.c_str());
  return true;
}

bool SODcmDataset::GetString(unsigned long tag, const char*& value) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  DcmElement* element = Find(tag);
  char* text = nullptr;
  if (!element || element->getString(text).bad()) return false;
  value = text ? text : "";
  return true;
}

bool SODcmDataset::GetInt32(unsigned long tag, int& value, unsigned long index) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  double v;
  if (!NumberAt(Find(tag), index, v) || v < -2147483648.0 || v > 2147483647.0) return false;
  value = static_cast<int>(v);
  return true;
}

bool SODcmDataset::GetUint16(unsigned long tag, unsigned short& value, unsigned long index) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  double v;
  if (!NumberAt(Find(tag), index, v) || v < 0 || v > 65535) return false;
  value = static_cast<unsigned short>(v);
  return true;
}

bool SODcmDataset::GetFloat64(unsigned long tag, double& value, unsigned long index) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return NumberAt(Find(tag), index, value);
}

bool SODcmDataset::GetDate(unsigned long tag, SODate& value) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::string text;
  return GetString(tag, text, 0) && SODcmConvert::Convert(text.c_str(), value);
}

bool SODcmDataset::GetTime(unsigned long tag, SOTime& value) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::string text;
  return GetString(tag, text, 0) && SODcmConvert::Convert(text.c_str(), value);
}

bool SODcmDataset::GetVR(unsigned long tag, const char*& vr) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  DcmElement* element = Find(tag);
  if (!element) return false;
  vr = DcmVR(element->getVR()).getVRName();
  return true;
}

bool SODcmDataset::GetUint8Array(unsigned long tag, const unsigned char*& data, unsigned long& count) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  DcmElement* element = Find(tag);
  if (!element) return false;
  if (auto* pixels = dynamic_cast<DcmPixelData*>(element)) {
    E_TransferSyntax xfer;
    const DcmRepresentationParameter* param = nullptr;
    pixels->getCurrentRepresentationKey(xfer, param);
    if (DcmXfer(xfer).isEncapsulated()) return false;
  }
  Uint8* bytes = nullptr;
  if (element->getVR() == EVR_OW || element->getVR() == EVR_US || element->getVR() == EVR_SS) {
    Uint16* words = nullptr;
    if (element->getUint16Array(words).bad()) return false;
    bytes = reinterpret_cast<Uint8*>(words);
  } else if (element->getUint8Array(bytes).bad()) {
    return false;
  }
  data = bytes;
  count = bytes ? element->getLength() : 0;
  return true;
}

bool SODcmDataset::GetSequenceItem(unsigned long tag, unsigned long index, SODcmDataset& item) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  DcmItem* found = nullptr;
  if (item_->findAndGetSequenceItem(ToTagKey(tag), found, static_cast<signed long>(index), OFFalse).bad() ||
      !found)
    return false;
  item.BindView(found, *this);
  return true;
}

bool SODcmDataset::GetOrCreateSequenceItem(unsigned long tag, unsigned long index, SODcmDataset& item) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  DropIndex();
  DcmItem* found = nullptr;
  if (index > 0xFFFF || item_->findOrCreateSequenceItem(ToTagKey(tag), found, static_cast<signed long>(index)).bad() ||
      !found)
    return false;
  item.BindView(found, *this);
  return true;
}

bool SODcmDataset::TagExists(unsigned long tag) const { return item_->tagExists(ToTagKey(tag), OFFalse); }

bool SODcmDataset::TagExistsWithValue(unsigned long tag) const {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return item_->tagExistsWithValue(ToTagKey(tag), OFFalse);
}

namespace {

DcmTag TagForValue(unsigned long tag, size_t length) {
  DcmTag dcmTag(ToTagKey(tag));
  DcmEVR vr = dcmTag.getEVR();
  if (vr == EVR_UNKNOWN || vr == EVR_UN || vr == EVR_UNKNOWN2B)
    dcmTag.setVR(DcmVR(length > 64 ? EVR_LT : EVR_LO));
  return dcmTag;
}

}  // namespace

bool SODcmDataset::SetString(unsigned long tag, const char* value) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  DropIndex();
  if (!value) return false;
  size_t length = std::strlen(value);
  return item_->putAndInsertString(TagForValue(tag, length), value, length, OFTrue).good();
}

bool SODcmDataset::SetString(unsigned long tag, const std::string& value) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  DropIndex();
  return item_->putAndInsertString(TagForValue(tag, value.size()), value.c_str(), value.size(), OFTrue).good();
}

bool SODcmDataset::SetString(unsigned long tag, const SOString& value) { return SetString(tag, value.str()); }

bool SODcmDataset::SetString(unsigned long tag, const std::wstring& value) { return SetString(tag, value.c_str()); }

bool SODcmDataset::SetString(unsigned long tag, const wchar_t* value) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (!value) return false;
  std::string utf8 = SOUtil::W2UTF8Str(value);
  std::string charset = GetCharacterSet();
  if (IsAscii(utf8) || charset == "ISO_IR 192") return SetString(tag, utf8);
  if (!charset.empty() && charset.find('\\') == std::string::npos) {
    DcmSpecificCharacterSet converter;
    OFString encoded;
    if (converter.selectCharacterSet("ISO_IR 192", charset.c_str()).good() &&
        converter.convertString(OFString(utf8.data(), utf8.size()), encoded).good())
      return SetString(tag, std::string(encoded.c_str(), encoded.length()));
  }
  // The character set cannot hold the text: move the whole dataset to UTF-8.
  if (!const_cast<SODcmDataset&>(Root()).ConvertToUTF8()) return false;
  return SetString(tag, utf8);
}

bool SODcmDataset::SetInt32(unsigned long tag, int value) { return SetString(tag, std::to_string(value)); }

bool SODcmDataset::SetUint16(unsigned long tag, unsigned short value) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return SetString(tag, std::to_string(value));
}

bool SODcmDataset::SetFloat64(unsigned long tag, double value) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (!std::isfinite(value)) return false;
  return SetString(tag, FormatDouble(value, DcmTag(ToTagKey(tag)).getEVR()));
}

bool SODcmDataset::SetDate(unsigned long tag, const SODate& value) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::string text;
  return SODcmConvert::Convert(value, text) && SetString(tag, text);
}

bool SODcmDataset::SetTime(unsigned long tag, const SOTime& value) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  std::string text;
  return SODcmConvert::Convert(value, text) && SetString(tag, text);
}

bool SODcmDataset::SetUint8Array(unsigned long tag, const unsigned char* data, unsigned long count) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  DropIndex();
  if (!data && count) return false;
  DcmTag dcmTag(ToTagKey(tag));
  DcmEVR vr = dcmTag.getEVR();
  if (vr == EVR_UNKNOWN || vr == EVR_UN || vr == EVR_UNKNOWN2B) dcmTag.setVR(DcmVR(EVR_OB));
  return item_->putAndInsertUint8Array(dcmTag, data, count, OFTrue).good();
}

unsigned char* SODcmDataset::CreateUint8Array(unsigned long tag, unsigned long count) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (!SetUint8Array(tag, nullptr, 0)) return nullptr;
  DcmElement* element = nullptr;
  Uint8* bytes = nullptr;
  if (item_->findAndGetElement(ToTagKey(tag), element, OFFalse).bad() || !element ||
      element->createUint8Array(static_cast<Uint32>(count), bytes).bad())
    return nullptr;
  return bytes;
}

bool SODcmDataset::CopyAttribute(const SODcmDataset& source, unsigned long tag) {
  std::scoped_lock guard(Lock(), source.Lock());
  DropIndex();
  return source.item_->findAndInsertCopyOfElement(ToTagKey(tag), item_, OFTrue).good();
}

bool SODcmDataset::DeleteAttribute(unsigned long tag) {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  DropIndex();
  return item_->findAndDeleteElement(ToTagKey(tag), OFFalse, OFFalse).good();
}

void SODcmDataset::Compact() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  item_->compactElements(1024);
}

bool SODcmDataset::ConvertToUTF8() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  // The character set is declared at the top; items follow it unless they declare their own.
  Root().DropIndex();
  DcmItemToUtf8(Root().item_);
  return true;
}
