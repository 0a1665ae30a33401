#pragma once

#include <filesystem>
#include <string>

namespace orvanta::test {

// Sets up the scratch folder and points the user folders into it; the shared test main calls
// it first, and programs with a main of their own (benchmarks) call it themselves.
void InitScratch();
// Removes the scratch folder (kept when ORVANTA_KEEP_TEST_FILES is set).
void ShutdownScratch();

// The per-process scratch folder that HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and PROGRAMDATA
// point into; removed when the test program ends.
const std::filesystem::path& ScratchRoot();

// A fresh, empty folder below the scratch root, unique to the call.
std::filesystem::path MakeTempDir(const std::string& hint = "t");

// Creates the process's QApplication on the offscreen platform if there is none yet.
// Call it from the test thread (the main thread) before creating any window.
void EnsureQtApp();

// The folder of DICOM test files shipped with Debian's python3-pydicom, or empty when absent.
std::filesystem::path PydicomTestFiles();

// A named file from that folder, or empty when absent (tests then GTEST_SKIP).
std::filesystem::path PydicomFile(const std::string& name);

// The whole content of a file, empty when it cannot be read.
std::string FileBytes(const std::filesystem::path& path);

// The program folder of this build (build/bin), where libraries and runtime/ live.
std::filesystem::path ProgramFolder();

// The source tree this build was configured from (where runtime/skin and the test skins live).
std::filesystem::path SourceRoot();

// Runs a shell command, returning its exit status; output goes to the test log.
int RunCommand(const std::string& command);

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort();

// A socket listening on 127.0.0.1 at a port the system picks, with that port in *port; -1 (and
// port 0) when none can be had. The caller closes it.
int ListenOnLoopback(int* port, int backlog = 16);

}  // namespace orvanta::test
