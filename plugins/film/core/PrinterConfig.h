#pragma once

#include <mutex>
#include <string>
#include <vector>

// One DICOM film printer. Texts are UTF-8; the enumerations are FilmEnum numbers.
struct PrinterRecord {
  std::string name;
  std::string ip;
  int port = 0;
  std::string calledAE;   // the printer's AE title
  std::string callingAE;  // ours
  int filmSize = 1;       // 8INX10IN
  int filmOrient = 1;     // PORTRAIT
  int filmFormat = 0;     // grey; 1 prints in colour
  bool headerVisible = true;
  double headerSizeRatio = 0.013;
  int DPI = 300;
  int medium = 0;             // not set: the printer's own
  int priority = 2;           // MED
  int magnificationType = 3;  // CUBIC
  std::string smoothingType;
  bool isDefault = false;

  bool operator==(const PrinterRecord&) const = default;
};

// Ports a printer may have.
bool ValidPrinterPort(long long port);
// A DICOM AE title: 1 to 16 printable ASCII characters, no backslash, not all spaces.
bool ValidPrinterAETitle(const std::string& ae);
// A record that can be stored: a name, an address, a valid port and valid AE titles.
bool UsablePrinter(const PrinterRecord& printer);

class ISOFilmConfigCallback {
 public:
  virtual void OnPrinterConfigChanged() = 0;

 protected:
  ~ISOFilmConfigCallback() = default;
};

// The film printers of printer.xml, with one default printer. Every change rewrites the whole
// file atomically and then tells the listeners (on the calling thread, outside the lock).
class PrinterConfig {
 public:
  // The process's configuration: <config folder>/printer.xml, loaded on first use.
  static PrinterConfig* Instance();

  explicit PrinterConfig(std::string path);
  PrinterConfig(const PrinterConfig&) = delete;
  PrinterConfig& operator=(const PrinterConfig&) = delete;

  // Reads the file; a missing or broken file gives an empty list.
  void Load();
  bool Save();

  // Each answers false with nothing changed for a record that is not usable or an index out of
  // range, and false when the file could not be written (the change is then undone).
  bool Add(const PrinterRecord& printer);
  bool ReplaceAt(int index, const PrinterRecord& printer);
  bool RemoveAt(int index);
  // Makes printer index (0 when out of range) the only default; not saved.
  void SetDefault(int index);

  std::vector<PrinterRecord> Printers() const;
  const std::string& Path() const { return path_; }

  void AddListener(ISOFilmConfigCallback* listener);
  void RemoveListener(ISOFilmConfigCallback* listener);

 private:
  void SetDefaultLocked(int index);
  bool SaveLocked() const;
  bool Commit(std::vector<PrinterRecord> before, std::unique_lock<std::mutex>& lock);

  const std::string path_;
  mutable std::mutex mutex_;
  std::vector<PrinterRecord> printers_;
  std::mutex listenerMutex_;
  std::vector<ISOFilmConfigCallback*> listeners_;
};
