#pragma once

#include "PrinterForm.h"
#include "UIlib.h"

namespace brenvik {

// Shows a printer's form in the controls of add_printer.xml (and the settings dialog's details).
void ShowForm(DuiLib::CPaintManagerUI& pm, const PrinterForm& form);
// Empties every control of the form.
void ClearForm(DuiLib::CPaintManagerUI& pm);
PrinterForm ReadForm(DuiLib::CPaintManagerUI& pm);

}  // namespace brenvik
