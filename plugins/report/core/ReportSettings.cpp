#include "ReportSettings.h"

#include "Gossamy.h"
#include "SOUtil.h"

namespace ReportSettings {
namespace {

std::wstring Read(const char* name) {
  std::string value;
  return Gossamy::ReadHKCU(name, value) ? SOUtil::UTF82WStr(value.c_str()) : std::wstring();
}

void Write(const char* name, const std::wstring& value) {
  Gossamy::WriteHKCU(name, SOUtil::W2UTF8Str(value.c_str()).c_str());
}

}  // namespace

std::wstring InstitutionName() { return Read("InstitutionName"); }
void SetInstitutionName(const std::wstring& name) { Write("InstitutionName", name); }
std::wstring DefaultReportTemplate() { return Read("DefaultReportTemplate"); }
void SetDefaultReportTemplate(const std::wstring& path) { Write("DefaultReportTemplate", path); }
std::wstring CaselibExportFolder() { return Read("CaselibExportFolder"); }
void SetCaselibExportFolder(const std::wstring& folder) { Write("CaselibExportFolder", folder); }

}  // namespace ReportSettings
