#pragma once

#include <string>

// How the update download names, places and reports its file.

// "500 KB", "3.00 MB": whole kilobytes up to 1024, megabytes with two decimals above.
std::wstring FormatDownloadSize(double bytes);
// The percent the progress bar shows: done of total, clamped to 0..100; 1 while the total is
// unknown (0).
int DownloadPercent(double done, double total);
// The server's file name reduced to a plain name in one folder; empty when nothing safe is left
// ("", ".", "..").
std::string SafeDownloadName(const std::string& serverName);
// The user's Downloads folder: $XDG_DOWNLOAD_DIR, else $HOME/Downloads.
std::string DownloadsFolder();
