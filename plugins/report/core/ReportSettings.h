#pragma once

#include <string>

// The report plug-in's values under the user's key. Texts are stored as UTF-8.
namespace ReportSettings {

std::wstring InstitutionName();
void SetInstitutionName(const std::wstring& name);
std::wstring DefaultReportTemplate();
void SetDefaultReportTemplate(const std::wstring& path);
std::wstring CaselibExportFolder();
void SetCaselibExportFolder(const std::wstring& folder);

}  // namespace ReportSettings
