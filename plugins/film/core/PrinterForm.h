#pragma once

// The printer add dialog's form as texts, and the rules that turn it into a printer.

#include "PrinterConfig.h"

#include <string>

struct PrinterForm {
  std::wstring name, ip, port, calledAE, callingAE;
  std::wstring filmSize, filmOrient, filmFormat;  // DICOM terms
  bool headerVisible = true;
  std::wstring headerRatio;  // percent of the film height
  std::wstring dpi;
  std::wstring medium;  // a DICOM term, or empty for the printer's own
  bool isDefault = false;
  std::wstring priority, magnification, smoothing;
};

// The form of a printer, as the dialog shows it.
PrinterForm FormOf(const PrinterRecord& printer);

// Reads the form in the dialog's order. Null with the printer filled, or the message (an
// English key to translate) of the first field that is missing or wrong.
const wchar_t* ReadPrinterForm(const PrinterForm& form, PrinterRecord& printer);

// The header ratio as the form shows it: "%.2f" of the ratio in percent.
std::wstring RatioText(double ratio);
