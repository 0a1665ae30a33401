#pragma once

#include "SODcmFilmTypes.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sodcm {
class CallGuard;
struct PeerSettings;
}  // namespace sodcm

// Which print management a job uses: grey images (one sample per pixel) or colour images
// (RGB, three samples per pixel, interleaved).
enum SODcmPrintType {
  SODcmPrintType_Grayscale = 0,
  SODcmPrintType_Color = 1,
};

// One image of a film box: 8-bit pixels, rows top to bottom, not owned (they must stay
// valid while Print runs).
struct SODcmImageBox {
  int rows = 0;
  int columns = 0;
  int samplesPerPixel = 1;
  const unsigned char* pixels = nullptr;
};

// One film: its layout and its images, filled in image box position order.
struct SODcmFilmBox {
  std::string imageDisplayFormat = "STANDARD\\1,1";
  SODcmFilmOrientation orientation = FILMORIENT_PORTRAIT;
  SODcmFilmSizeID filmSize = FILMSIZE_14INX17IN;
  SODcmMagnificationType magnification = MAGNIFY_REPLICATE;
  std::vector<SODcmImageBox> imageBoxes;
};

// A print job: the session's settings and its films, printed in order.
struct SODcmFilmSession {
  SODcmPrintType printType = SODcmPrintType_Grayscale;
  int numberOfCopies = 1;
  SODcmPrintPriority priority = PRIORITY_MED;
  // Not sent when empty: the printer's default medium.
  std::optional<SODcmMediumType> medium;
  std::vector<SODcmFilmBox> filmBoxes;
};

// What the printer says about itself (Printer SOP instance).
struct SODcmPrinter {
  std::string status;      // (2110,0010) NORMAL, WARNING or FAILURE
  std::string statusInfo;  // (2110,0020)
  std::string name;        // (2110,0030)
};

// Basic print management as the requesting side: film session, film boxes, image boxes,
// print, delete, all over one association.
class SODcmPrint {
 public:
  SODcmPrint();
  ~SODcmPrint();
  SODcmPrint(const SODcmPrint&) = delete;
  SODcmPrint& operator=(const SODcmPrint&) = delete;

  // False (and no printer kept) on an empty host, a port outside 1-65535 or an invalid AE
  // title.
  bool Init(const char* host, int port, const char* calledAE, const char* callingAE);

  // Prints every film box of the session and then deletes the session. status becomes
  // PRINTSTATUS_DONE or PRINTSTATUS_FAILURE. True only when the printer accepted every
  // step (success, or a warning, which is logged); a refused step, a film box whose images
  // do not fit the print type, or a failed association is a failure.
  bool Print(const SODcmFilmSession& session, SODcmPrintStatus& status);

  // Asks the printer for its status and name: a connection test. printType as in
  // SODcmFilmSession. True when the printer answered.
  bool GetPrinterInstance(SODcmPrinter& printer, int printType);

  // Any thread: the running call is cut at once and answers false.
  void Cancel();

 private:
  std::unique_ptr<sodcm::PeerSettings> peer_;
  std::unique_ptr<sodcm::CallGuard> guard_;
};
