#pragma once

#include <string>

namespace SOWin {

// The printer to print on to write a PDF file at `path` (the print-to-file choice of a print
// dialog), for CreateDCA; it is not listed among the system's printers.
std::string PdfFilePrinter(const std::string& path);

}  // namespace SOWin
