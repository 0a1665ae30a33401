#include "ReportTemplate.h"

#include "ReportTags.h"
#include "SOReportUIHandler.h"
#include "SOUtil.h"

using namespace DuiLib;

namespace wendrel::ReportTemplate {
namespace {

CContainerUI* AsContainer(CControlUI* root) {
  auto* container = root ? static_cast<CContainerUI*>(root->GetInterface(L"Container")) : nullptr;
  if (root && !container) delete root;
  return container;
}

}  // namespace

CContainerUI* Build(const char* path) {
  if (!path) return nullptr;
  CDialogBuilder builder;
  return AsContainer(builder.CreateFromAbsolutePath(SOUtil::UTF82WStr(path).c_str()));
}

CContainerUI* BuildDefault() {
  CDialogBuilder builder;
  return AsContainer(builder.Create(kDefault));
}

SIZE PageSize(CControlUI* root) {
  return root ? SIZE{root->GetFixedWidth(), root->GetFixedHeight()} : SIZE{};
}

void Show(CContainerUI* panel, CContainerUI* root) {
  panel->RemoveAll();
  root->SetFloat(true);
  root->SetFixedXY(SIZE{0, 0});
  panel->AddAt(root, 0);
  panel->SetFixedWidth(root->GetFixedWidth());
  panel->SetFixedHeight(root->GetFixedHeight());
}

void LockStudyIdentity(CContainerUI* page) {
  for (int i = 0; page && i < page->GetCount(); ++i) {
    CControlUI* c = page->GetItemAt(i);
    unsigned long tag = 0;
    if (auto* edit = static_cast<CEditUI*>(c->GetInterface(L"Edit"));
        edit && SOReportUIHandler::ParseTag(c->GetUserData(), tag) && tag == ReportTag::PatientId) {
      edit->SetReadOnly(true);
      edit->SetBkColor(0xFFF1F3F5);  // looks like a field that is shown, not edited
    }
    else if (auto* container = dynamic_cast<CContainerUI*>(c))
      LockStudyIdentity(container);
  }
}

}  // namespace wendrel::ReportTemplate
