#pragma once

// The version the program reports to the web service and shows in its settings.
constexpr const char* kAppVersion = "1.4.0.0316";
constexpr const wchar_t* kAppVersionW = L"1.4.0.0316";
constexpr const char* kProductName = "Orvanta";
