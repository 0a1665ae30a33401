#pragma once

#include "UIlib.h"

// Report templates: skin documents whose first control is the page.
namespace wendrel::ReportTemplate {

// The default template, below the window library's resource path.
inline constexpr const wchar_t* kDefault = L"srctrl/default_template.xml";

// Builds a page from a template file (absolute path, UTF-8), or the default template. Null when it
// cannot be built or its first control is no container.
DuiLib::CContainerUI* Build(const char* path);
DuiLib::CContainerUI* BuildDefault();

// The page's size at zoom 1.0 (its fixed width and height).
SIZE PageSize(DuiLib::CControlUI* root);

// Shows `root` in `panel` (emptied first) as its only item, floating at its own size.
void Show(DuiLib::CContainerUI* panel, DuiLib::CContainerUI* root);

// Makes the edits of Patient ID in `page` read-only, on a grey ground: the store files a report
// with its study by that value, so a report keeps the one of the study it was made for. Pages
// printed are not locked and keep the template's look.
void LockStudyIdentity(DuiLib::CContainerUI* page);

}  // namespace wendrel::ReportTemplate
