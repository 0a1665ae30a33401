#pragma once

// The film file: a DICOM object holding the rendered films (one frame per film) and the
// print settings of the printer it is meant for, in a private block of our own.

#include "PrinterConfig.h"
#include "SODateTime.h"
#include "SODcmPrint.h"

#include <string>
#include <vector>

class SODcmDataset;

namespace filmfile {

constexpr unsigned long kPrivateCreator = 0x07390010;
constexpr const char* kCreatorName = "Orvanta01";
constexpr unsigned long kPrinterName = 0x07391101;
constexpr unsigned long kPrinterHost = 0x07391102;
constexpr unsigned long kPrinterPort = 0x07391103;  // US
constexpr unsigned long kCallingAE = 0x07391104;
constexpr unsigned long kCalledAE = 0x07391105;
constexpr unsigned long kFilmFormat = 0x07391106;
constexpr unsigned long kExecutionStatus = 0x21000020;

// Writes the printer's film settings (those that have a DICOM term) and its private block.
bool StampPrinter(SODcmDataset& dataset, const PrinterRecord& printer);

// What a film file asks to be printed. The session's image boxes point into the dataset's pixel
// data, or into colour, so both must outlive the print.
struct PrintRequest {
  PrinterRecord printer;
  SODcmFilmSession session;
  std::vector<std::vector<unsigned char>> colour;  // RGB copies for print type 1
};

// Builds the request: one film box per frame. False, with a reason, for a file without
// pixel data, pixels other than one 8-bit sample, or fewer pixel bytes than its frames need.
bool ReadPrintRequest(const SODcmDataset& dataset, PrintRequest& request, std::string& why);

}  // namespace filmfile
