// Printers: the spooler's list and printer DCs on QPrinter; PDF printers for tests.

#include <dlfcn.h>

#include <QPrinter>
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "SOGdi.h"
#include "SOLibrary.h"
#include "SOPrintToFile.h"
#include "SOWinPrivate.h"

using namespace sowin;

namespace {

std::mutex g_pdfMutex;                             // guards g_pdfPrinters
std::map<std::string, std::string> g_pdfPrinters;  // name -> output folder
std::string g_defaultPrinter;                      // the tests' default printer, guarded by g_pdfMutex
std::map<std::string, std::string> g_pdfFiles;     // file printer name -> its file, guarded by g_pdfMutex

const PrintApi* OpenPrintModule() {
  // The module lies beside this library.
  std::string path = "libOrvantaPrint.so";
  Dl_info self;
  if (dladdr(reinterpret_cast<void*>(&OpenPrintModule), &self) && self.dli_fname) {
    const std::string library = self.dli_fname;
    const size_t slash = library.rfind('/');
    if (slash != std::string::npos) path = library.substr(0, slash + 1) + path;
  }
  void* module = SOLibrary::Open(path.c_str(), "printing");
  if (!module) return nullptr;
  const PrintApi* (*entry)() = nullptr;
  if (!SOLibrary::Resolve(module, "printing", "SOPrintModuleApi", entry)) {
    dlclose(module);
    return nullptr;
  }
  return entry();
}

std::vector<std::string> PrinterNames() {
  std::vector<std::string> names;
  if (const PrintApi* print = Print()) names = print->printerNames();
  std::lock_guard lock(g_pdfMutex);
  for (auto& [name, folder] : g_pdfPrinters) names.push_back(name);
  return names;
}

}  // namespace

namespace sowin {
const PrintApi* Print() {
  static const PrintApi* const api = OpenPrintModule();  // a static's initialisation runs once, thread-safe
  return api;
}
}  // namespace sowin

BOOL EnumPrintersA(DWORD, LPSTR, DWORD level, BYTE* buffer, DWORD bufferSize, DWORD* needed,
                   DWORD* returned) {
  if (level != 1 || !needed || !returned) return FALSE;
  const std::vector<std::string> names = PrinterNames();
  // Entries first, then the strings they point at.
  size_t size = names.size() * sizeof(PRINTER_INFO_1A);
  for (const auto& n : names) size += 2 * (n.size() + 1);
  *needed = static_cast<DWORD>(size);
  *returned = 0;
  if (!buffer || bufferSize < size) return FALSE;
  auto* entries = reinterpret_cast<PRINTER_INFO_1A*>(buffer);
  char* text = reinterpret_cast<char*>(buffer + names.size() * sizeof(PRINTER_INFO_1A));
  for (size_t i = 0; i < names.size(); ++i) {
    entries[i] = PRINTER_INFO_1A{};
    entries[i].pName = text;
    std::memcpy(text, names[i].c_str(), names[i].size() + 1);
    text += names[i].size() + 1;
    entries[i].pDescription = text;
    std::memcpy(text, names[i].c_str(), names[i].size() + 1);
    text += names[i].size() + 1;
  }
  *returned = static_cast<DWORD>(names.size());
  return TRUE;
}

BOOL GetDefaultPrinterW(LPWSTR buffer, DWORD* size) {
  if (!size) return FALSE;
  std::string name;
  {
    std::lock_guard lock(g_pdfMutex);
    name = g_defaultPrinter;
  }
  if (name.empty())
    if (const PrintApi* print = Print()) name = print->defaultPrinterName();
  if (name.empty()) {
    *size = 0;
    return FALSE;
  }
  const std::wstring wide = SOWin::FromUtf8(name);
  const DWORD needed = static_cast<DWORD>(wide.size() + 1);
  if (!buffer || *size < needed) {
    *size = needed;
    return FALSE;
  }
  std::copy(wide.c_str(), wide.c_str() + needed, buffer);
  *size = needed;
  return TRUE;
}

HDC CreateDCA(LPCSTR, LPCSTR device, LPCSTR, const DEVMODEA*) {
  const PrintApi* print = Print();
  if (!device || !print) return nullptr;
  auto dc = std::make_unique<DCObj>();
  dc->kind = DCObj::Kind::Printer;
  std::string pdfFolder, pdfFile;
  {
    std::lock_guard lock(g_pdfMutex);
    auto it = g_pdfPrinters.find(device);
    if (it != g_pdfPrinters.end()) pdfFolder = it->second;
    auto file = g_pdfFiles.find(device);
    if (file != g_pdfFiles.end()) pdfFile = file->second;
  }
  if (!pdfFolder.empty() || !pdfFile.empty()) {
    dc->printer.reset(print->newPdfPrinter());
    dc->pdfPath = QString::fromStdString(pdfFolder);
    dc->pdfFile = QString::fromStdString(pdfFile);
  } else {
    dc->printer.reset(print->newPrinter(device));
    if (!dc->printer) return nullptr;
  }
  return NewDC(dc.release());
}

int StartDocW(HDC hdc, const DOCINFOW* info) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || !dc->printer || dc->printerPainter) return 0;
  const QString name = info && info->lpszDocName ? ToQString(info->lpszDocName) : QStringLiteral("document");
  QString pdf = dc->pdfFile;
  if (pdf.isEmpty() && !dc->pdfPath.isEmpty()) pdf = dc->pdfPath + QLatin1Char('/') + name + QStringLiteral(".pdf");
  Print()->setDocument(dc->printer.get(), name, pdf);
  dc->printerPainter = std::make_unique<QPainter>();
  if (!dc->printerPainter->begin(dc->printer.get())) {
    dc->printerPainter.reset();
    return 0;
  }
  dc->pages = 0;
  return 1;
}

int StartPage(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || !dc->printerPainter) return 0;
  // The painter's first page is open already.
  if (dc->pages > 0 && !Print()->newPage(dc->printer.get())) return 0;
  ++dc->pages;
  return 1;
}

int EndPage(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  return dc && dc->printerPainter ? 1 : 0;
}

int EndDoc(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || !dc->printerPainter) return 0;
  dc->shared.reset();
  const bool ok = dc->printerPainter->end();
  dc->printerPainter.reset();
  return ok ? 1 : 0;
}

int AbortDoc(HDC hdc) {
  DCObj* dc = LookupDC(hdc);
  if (!dc || !dc->printerPainter) return 0;
  dc->shared.reset();
  Print()->abort(dc->printer.get());
  dc->printerPainter->end();
  dc->printerPainter.reset();
  return 1;
}

namespace SOWin {
void AddPdfPrinterForTest(const std::string& name, const std::string& folder) {
  std::lock_guard lock(g_pdfMutex);
  g_pdfPrinters[name] = folder;
}
std::string PdfFilePrinter(const std::string& path) {
  const std::string name = "PDF file " + path;
  std::lock_guard lock(g_pdfMutex);
  g_pdfFiles[name] = path;
  return name;
}
void SetDefaultPrinterForTest(const std::string& name) {
  std::lock_guard lock(g_pdfMutex);
  g_defaultPrinter = name;
}
}  // namespace SOWin
