#include "PrinterForm.h"

#include "FilmEnums.h"
#include "SOUtil.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

std::wstring Term(FilmEnum kind, int value) {
  std::string text;
  return FilmEnumText(kind, value, text) ? SOUtil::UTF82WStr(text.c_str()) : std::wstring();
}

bool Enum(FilmEnum kind, const std::wstring& text, int& value) {
  return !text.empty() && FilmEnumValue(kind, SOUtil::W2UTF8Str(text.c_str()).c_str(), value);
}

// A whole decimal number, nothing else around it but spaces.
bool WholeNumber(const std::wstring& text, long long& value) {
  errno = 0;
  wchar_t* end = nullptr;
  value = std::wcstoll(text.c_str(), &end, 10);
  if (end == text.c_str() || errno == ERANGE) return false;
  while (*end == L' ') ++end;
  return *end == 0;
}

}  // namespace

PrinterForm FormOf(const PrinterRecord& p) {
  PrinterForm f;
  f.name = SOUtil::UTF82WStr(p.name.c_str());
  f.ip = SOUtil::UTF82WStr(p.ip.c_str());
  f.port = std::to_wstring(static_cast<unsigned short>(p.port));
  f.calledAE = SOUtil::UTF82WStr(p.calledAE.c_str());
  f.callingAE = SOUtil::UTF82WStr(p.callingAE.c_str());
  f.filmSize = Term(FilmEnum::Size, p.filmSize);
  f.filmOrient = Term(FilmEnum::Orientation, p.filmOrient);
  f.filmFormat = Term(FilmEnum::Format, p.filmFormat);
  f.headerVisible = p.headerVisible;
  f.headerRatio = RatioText(p.headerSizeRatio);
  f.dpi = std::to_wstring(p.DPI);
  f.medium = Term(FilmEnum::Medium, p.medium);
  f.isDefault = p.isDefault;
  f.priority = Term(FilmEnum::Priority, p.priority);
  f.magnification = Term(FilmEnum::Magnification, p.magnificationType);
  f.smoothing = SOUtil::UTF82WStr(p.smoothingType.c_str());
  return f;
}

std::wstring RatioText(double ratio) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%.2f", ratio * 100);
  return text;
}

const wchar_t* ReadPrinterForm(const PrinterForm& f, PrinterRecord& out) {
  PrinterRecord p;
  if (f.name.empty()) return L"The printer name must not be empty!";
  p.name = SOUtil::W2UTF8Str(f.name.c_str());
  if (f.ip.empty()) return L"The IP address must not be empty!";
  p.ip = SOUtil::W2UTF8Str(f.ip.c_str());
  if (f.port.empty()) return L"The port must not be empty!";
  long long port = 0;
  if (!WholeNumber(f.port, port) || !ValidPrinterPort(port)) return L"The port must be between 1 and 65535!";
  p.port = static_cast<int>(port);
  if (f.calledAE.empty()) return L"The printer AE title must not be empty!";
  p.calledAE = SOUtil::W2UTF8Str(f.calledAE.c_str());
  if (!ValidPrinterAETitle(p.calledAE)) return L"The AE title is not valid!";
  if (f.callingAE.empty()) return L"The local AE title must not be empty!";
  p.callingAE = SOUtil::W2UTF8Str(f.callingAE.c_str());
  if (!ValidPrinterAETitle(p.callingAE)) return L"The AE title is not valid!";
  if (!Enum(FilmEnum::Size, f.filmSize, p.filmSize) || !Enum(FilmEnum::Orientation, f.filmOrient, p.filmOrient) ||
      !Enum(FilmEnum::Format, f.filmFormat, p.filmFormat))
    return L"Unknown error!";
  p.headerVisible = f.headerVisible;
  if (f.headerRatio.empty()) return L"The header size ratio is not valid!";
  const double percent = std::wcstod(f.headerRatio.c_str(), nullptr);
  if (!(percent > 0)) return L"The header size ratio is not valid!";
  p.headerSizeRatio = std::min(percent / 100, 0.3);
  if (f.dpi.empty()) return L"The DPI must not be empty!";
  p.DPI = static_cast<int>(std::wcstol(f.dpi.c_str(), nullptr, 10));
  p.medium = 0;  // an empty medium is the printer's own
  if (!f.medium.empty() && !Enum(FilmEnum::Medium, f.medium, p.medium)) return L"Unknown error!";
  p.isDefault = f.isDefault;
  if (!Enum(FilmEnum::Priority, f.priority, p.priority) ||
      !Enum(FilmEnum::Magnification, f.magnification, p.magnificationType))
    return L"Unknown error!";
  p.smoothingType = SOUtil::W2UTF8Str(f.smoothing.c_str());
  out = p;
  return nullptr;
}
