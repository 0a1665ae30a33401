#pragma once

#include <string>

// Requests a later start of the program sends the running one (SOSingleInstance).
constexpr const char* kActivateRequest = "ACTIVATE";
constexpr const char* kImportRequest = "IMPORT ";  // followed by a folder path

// Carries out a request on the UI thread and returns when it is done: "ACTIVATE" shows the
// main frame and brings it forward; "IMPORT <folder>" hands the folder to the main frame with
// WM_COPYDATA. Anything else is ignored. Called on the listening thread.
void HandleShellRequest(const std::string& request);
