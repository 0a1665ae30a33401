#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace peer {

// n copies of a DICOM file in dir, each a new instance (new SOP Instance UID, the given
// study and series UIDs when not empty), named 0000.dcm, 0001.dcm, ...
std::vector<std::string> MakeInstances(const std::filesystem::path& source, const std::filesystem::path& dir, int n,
                                       const std::string& studyUID = "", const std::string& seriesUID = "");

// The datasets of two files hold the same attributes and values (file meta aside).
bool SameContent(const std::filesystem::path& a, const std::filesystem::path& b);

// Every regular file below dir.
std::vector<std::filesystem::path> FilesBelow(const std::filesystem::path& dir);

// (0008,0018) of a file, empty when unreadable.
std::string SopInstanceUID(const std::filesystem::path& file);

}  // namespace peer
