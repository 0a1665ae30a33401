// The window layer's printers on QPrinter, in a module of its own (SOPrintApi.h).

#include <QPrinter>
#include <QPrinterInfo>

#include "SOPrintApi.h"

namespace {

std::vector<std::string> PrinterNames() {
  std::vector<std::string> names;
  for (const QString& n : QPrinterInfo::availablePrinterNames()) names.push_back(n.toStdString());
  return names;
}

std::string DefaultPrinterName() {
  return QPrinterInfo::defaultPrinterName().toStdString();
}

QPrinter* NewPdfPrinter() {
  auto* printer = new QPrinter(QPrinter::HighResolution);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setFullPage(true);
  return printer;
}

QPrinter* NewPrinter(const std::string& name) {
  const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(name));
  if (info.isNull()) return nullptr;
  auto* printer = new QPrinter(info, QPrinter::HighResolution);
  printer->setFullPage(true);
  return printer;
}

void Destroy(QPrinter* printer) {
  delete printer;
}

void SetDocument(QPrinter* printer, const QString& name, const QString& pdfFile) {
  printer->setDocName(name);
  if (!pdfFile.isEmpty()) printer->setOutputFileName(pdfFile);
}

bool NewPage(QPrinter* printer) {
  return printer->newPage();
}

bool Abort(QPrinter* printer) {
  return printer->abort();
}

int Resolution(const QPrinter* printer) {
  return printer->resolution();
}

QRectF PaperRect(const QPrinter* printer) {
  return printer->paperRect(QPrinter::DevicePixel);
}

QRectF PageRect(const QPrinter* printer) {
  return printer->pageRect(QPrinter::DevicePixel);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const sowin::PrintApi* SOPrintModuleApi() {
  static const sowin::PrintApi api{PrinterNames, DefaultPrinterName, NewPdfPrinter, NewPrinter,
                                   Destroy,      SetDocument,        NewPage,       Abort,
                                   Resolution,   PaperRect,          PageRect};
  return &api;
}
