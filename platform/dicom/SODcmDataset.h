#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class DcmElement;
class DcmItem;
struct stat;
class SOString;
struct SODate;
struct SOTime;

// Attributes of a DICOM dataset or of one sequence item, addressed by 32-bit tags (group in the
// high 16 bits, element in the low 16 bits).
//
// Reads write their output only on success and answer false when the attribute is absent.
// Narrow strings are the value bytes as stored, in the dataset's Specific Character Set
// (0008,0005); wide strings are decoded from (written into) that character set (see
// GetLegacyCharacterSet for texts it cannot read). A dataset whose
// character set cannot hold a wide text is converted to UTF-8 ("ISO_IR 192") first.
//
// Safe for use from several threads (see Lock()).
//
// A dataset either owns its DCMTK item (default constructor) or is a view of an item that lives
// inside another dataset (filled by GetSequenceItem/GetOrCreateSequenceItem); a view is valid while
// the dataset that holds the item lives and the item is not removed.
class SODcmDataset {
 public:
  SODcmDataset();
  ~SODcmDataset();
  SODcmDataset(const SODcmDataset&) = delete;
  SODcmDataset& operator=(const SODcmDataset&) = delete;

  // Value `index` of a multi-valued attribute (values separated by backslashes).
  bool GetString(unsigned long tag, std::string& value, unsigned long index = 0) const;
  bool GetString(unsigned long tag, std::wstring& value, unsigned long index = 0) const;
  bool GetString(unsigned long tag, SOString& value, unsigned long index = 0) const;
  // The whole value as the dataset holds it (all values, backslashes included); valid while the
  // attribute is unchanged.
  bool GetString(unsigned long tag, const char*& value) const;

  bool GetInt32(unsigned long tag, int& value, unsigned long index = 0) const;
  bool GetUint16(unsigned long tag, unsigned short& value, unsigned long index = 0) const;
  bool GetFloat64(unsigned long tag, double& value, unsigned long index = 0) const;
  bool GetDate(unsigned long tag, SODate& value) const;
  bool GetTime(unsigned long tag, SOTime& value) const;
  // The two-letter value representation ("CS", "SQ", ...); static text.
  bool GetVR(unsigned long tag, const char*& vr) const;
  // The raw bytes of an OB/OW/UN (or any binary) attribute in little-endian order; valid while the
  // dataset lives and the attribute is unchanged. False for encapsulated pixel data.
  bool GetUint8Array(unsigned long tag, const unsigned char*& data, unsigned long& count) const;

  // Item `index` of the sequence `tag` as a view (see above).
  bool GetSequenceItem(unsigned long tag, unsigned long index, SODcmDataset& item) const;
  // As GetSequenceItem, creating the sequence and empty items up to `index` when missing.
  bool GetOrCreateSequenceItem(unsigned long tag, unsigned long index, SODcmDataset& item);

  // Presence tests; neither loads a value that is still on disk.
  bool TagExists(unsigned long tag) const;
  bool TagExistsWithValue(unsigned long tag) const;

  // Writes create or replace the attribute. A tag that the data dictionary does not know (private
  // tags without a creator, for example) is written as LO, or LT when longer than 64 characters.
  bool SetString(unsigned long tag, const char* value);
  bool SetString(unsigned long tag, const std::string& value);
  bool SetString(unsigned long tag, const wchar_t* value);
  bool SetString(unsigned long tag, const std::wstring& value);
  bool SetString(unsigned long tag, const SOString& value);
  bool SetInt32(unsigned long tag, int value);
  bool SetUint16(unsigned long tag, unsigned short value);
  bool SetFloat64(unsigned long tag, double value);
  bool SetDate(unsigned long tag, const SODate& value);
  bool SetTime(unsigned long tag, const SOTime& value);
  bool SetUint8Array(unsigned long tag, const unsigned char* data, unsigned long count);
  // Inserts a zero-filled byte value of count bytes and returns its bytes to be filled in place
  // (valid while the element lives, written before the dataset is shared); null on failure.
  unsigned char* CreateUint8Array(unsigned long tag, unsigned long count);

  // Copies the attribute `tag` of `source` (with its whole content, sequences included) into this
  // dataset; false when `source` lacks it.
  bool CopyAttribute(const SODcmDataset& source, unsigned long tag);
  bool DeleteAttribute(unsigned long tag);

  // Frees the memory of large values that can be read back from the file they were loaded from.
  void Compact();
  // Re-encodes every text from the Specific Character Set to UTF-8 and sets it to "ISO_IR 192".
  bool ConvertToUTF8();

  // The specific character set (0008,0005) in force for this dataset or item; empty for the default.
  std::string GetCharacterSet() const;

  // The character set that texts are read in when their dataset declares none, or declares one
  // that cannot read their bytes: a defined term of (0008,0005), the HKCU value
  // Software\Orvanta LegacyCharacterSet when set, else "GB18030". Texts that it cannot read
  // either are read as Latin-1, so no byte is ever lost to a replacement character.
  static std::string GetLegacyCharacterSet();
  // Replaces it for this process; an empty value reads the registry again.
  static void SetLegacyCharacterSet(const std::string& charset);

  // The underlying DCMTK item, for the toolkit's own classes; never null.
  DcmItem* GetDcmItem() const;
  // Makes this dataset the root over `item`, owned when `owned` (SODcmFile's dataset is not).
  void Reset(DcmItem* item, bool owned);

  // The file that values still on disk are read from; SODcmFile sets it on loading and clears it
  // once everything is in memory. SourceReplaced() tells whether that file was changed or
  // replaced since: its values would then be read at the wrong places.
  // `opened`, when given, is the file's status as read from the open file, which spares a look-up.
  void SetSourceFile(const std::string& path, const struct stat* opened = nullptr);
  bool SourceReplaced() const;

  // DCMTK's items are not safe for concurrent use, not even for reads (lookups move a cursor,
  // values still on disk are loaded on first use). Every operation of a dataset holds this lock,
  // which a view shares with its root; the toolkit's own classes hold it around direct use of
  // GetDcmItem() from several threads.
  std::recursive_mutex& Lock() const;

  // While one lives, look-ups of this dataset's own attributes (not of its items') find them in
  // an index made by one walk of its elements instead of a walk each, and the dataset stays
  // locked: for readers of many attributes at once. The dataset's own writes drop the index; its
  // item must not be changed through GetDcmItem() meanwhile.
  class Indexed {
   public:
    explicit Indexed(const SODcmDataset& dataset);
    ~Indexed();
    Indexed(const Indexed&) = delete;
    Indexed& operator=(const Indexed&) = delete;

   private:
    const SODcmDataset& dataset_;
    std::lock_guard<std::recursive_mutex> guard_;
    std::vector<std::pair<uint32_t, DcmElement*>> entries_;  // ascending tags
  };

 private:
  DcmElement* Find(unsigned long tag) const;
  // Called by every write: an element may have been replaced or removed.
  void DropIndex() const { index_ = nullptr; }

  void BindView(DcmItem* item, const SODcmDataset& root);
  const SODcmDataset& Root() const;

  DcmItem* item_ = nullptr;
  std::unique_ptr<DcmItem> owned_;
  const SODcmDataset* root_ = nullptr;  // the dataset whose character set applies to a view
  mutable std::recursive_mutex lock_;
  struct FileIdentity {
    std::string path;
    unsigned long long device = 0, inode = 0, size = 0;
    long long modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
  };
  FileIdentity source_;
  mutable const std::vector<std::pair<uint32_t, DcmElement*>>* index_ = nullptr;  // see Indexed
};
