#include "PrintScp.h"

#include "PeerFiles.h"
#include "TestSupport.h"

#include <fstream>

namespace fs = std::filesystem;

namespace peer {

PrintSCP::PrintSCP(int maxPdu) : dir(orvanta::test::MakeTempDir("dcmprscp")), port(orvanta::test::FreeLoopbackPort()) {
  for (const char* sub : {"db", "spool", "lut", "log", "reports"}) fs::create_directories(dir / sub);
  std::ofstream cfg(dir / "print.cfg");
  cfg << "[[GENERAL]]\n[APPLICATION]\nLogDirectory = " << (dir / "log").string()
      << "\nLogFile = general.log\nLogLevel = WARN\n"
      << "[PRINT]\nSpooler = dcmprscu\nServer = dcmprscp\nDirectory = " << (dir / "spool").string()
      << "\nDetailedLog = false\nBinaryLog = false\nSleep = 5\nMinPrintResolution = 64\\64\n"
      << "MaxPrintResolution = 8192\\8192\nDefaultIllumination = 2000\nDefaultReflection = 10\n"
      << "DeletePrintJobs = true\nAlwaysDeleteTerminateJobs = true\n"
      << "[DATABASE]\nDirectory = " << (dir / "db").string() << "\n"
      << "[LUT]\nDirectory = " << (dir / "lut").string() << "\n"
      << "[REPORT]\nDirectory = " << (dir / "reports").string() << "\n"
      << "[NETWORK]\naetitle = DCMPSTATE\n"
      << "[[COMMUNICATION]]\n[PRINTER]\nAetitle = PRINTSCP\nDescription = test printer\n"
      << "Hostname = localhost\nPort = " << port << "\nType = LOCALPRINTER\n"
      << "BorderDensity = 150\\20\\BLACK\\WHITE\nDisableNewVRs = false\nDisplayFormat = 1,1\\1,2\\2,2\n"
      << "EmptyImageDensity = 20\\BLACK\\WHITE\nFilmDestination = MAGAZINE\\PROCESSOR\n"
      << "FilmSizeID = 8INX10IN\\10INX12IN\\10INX14IN\\11INX14IN\\14INX14IN\\14INX17IN\\24CMX24CM\\24CMX30CM\n"
      << "ImplicitOnly = false\nMagnificationType = REPLICATE\\BILINEAR\\CUBIC\\NONE\nMaxDensity = 320\n"
      << "MaxPDU = " << maxPdu << "\nMediumType = PAPER\\CLEAR FILM\\BLUE FILM\nMinDensity = 20\n"
      << "OmitSOPClassUIDFromCreateResponse = false\nPresentationLUTMatchRequired = false\n"
      << "PresentationLUTinFilmSession = false\nResolutionID = STANDARD\\HIGH\nSmoothingType = NONE\n"
      << "Supports12Bit = true\nSupportsDecimateCrop = true\nSupportsImageSize = true\n"
      << "SupportsPresentationLUT = true\nSupportsTrim = true\n";
  cfg.close();
  process = std::make_unique<PeerProcess>(
      std::vector<std::string>{"dcmprscp", "-c", (dir / "print.cfg").string(), "-p", "PRINTER"}, dir / "dcmprscp.log");
}

std::vector<fs::path> PrintSCP::Stored(const std::string& prefix) const {
  std::vector<fs::path> out;
  for (const fs::path& f : FilesBelow(dir / "db"))
    if (f.filename().string().rfind(prefix, 0) == 0) out.push_back(f);
  return out;
}

}  // namespace peer
