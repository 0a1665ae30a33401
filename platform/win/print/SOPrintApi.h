#pragma once

// What the window layer needs of Qt's printing library, which lives in this module of its own
// that is opened on the first use of a printer rather than linked: the library and its
// relocations would otherwise cost every start of every program, most of which never print.

#include <QRectF>
#include <QString>
#include <string>
#include <vector>

class QPrinter;

namespace sowin {

struct PrintApi {
  std::vector<std::string> (*printerNames)();  // the spooler's printers
  std::string (*defaultPrinterName)();         // empty when there is none
  // A printer for the whole page (device coordinates from the paper's corner): one writing PDF,
  // or the named one of the spooler (null when there is no such printer). Freed with destroy.
  QPrinter* (*newPdfPrinter)();
  QPrinter* (*newPrinter)(const std::string& name);
  void (*destroy)(QPrinter* printer);
  // The document's name, and the file it goes to when the printer writes PDF.
  void (*setDocument)(QPrinter* printer, const QString& name, const QString& pdfFile);
  bool (*newPage)(QPrinter* printer);
  bool (*abort)(QPrinter* printer);
  int (*resolution)(const QPrinter* printer);
  QRectF (*paperRect)(const QPrinter* printer);  // device pixels
  QRectF (*pageRect)(const QPrinter* printer);   // device pixels
};

}  // namespace sowin

// The module's one export.
extern "C" const sowin::PrintApi* SOPrintModuleApi();
