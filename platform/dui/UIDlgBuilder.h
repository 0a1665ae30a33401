#pragma once

#include "UIControl.h"

#include <memory>
#include <string>

namespace DuiLib {

struct SkinNode;
struct SkinDocument;

// Lets the application build its own control classes from skin elements.
class IDialogBuilderCallback {
 public:
  // A new control for the element name `pstrClass`, or null to let the builder decide.
  virtual CControlUI* CreateControl(const wchar_t* pstrClass) = 0;

 protected:
  ~IDialogBuilderCallback() = default;
};

// Builds a control tree from an XML skin. The document element is usually "Window"
// (its attributes and its Font, Default, Style and Image children configure the paint
// manager); the first control inside it is the root. Unknown elements without a builder
// callback answer and unknown attributes are skipped.
class CDialogBuilder {
 public:
  CDialogBuilder();
  ~CDialogBuilder();

  // `xml` is markup when it begins with '<', else a file relative to the manager's
  // resource path. Returns the root control (owned by the caller or by `parent`).
  CControlUI* Create(STRINGorID xml, STRINGorID type = (unsigned int)0,
                     IDialogBuilderCallback* callback = nullptr, CPaintManagerUI* manager = nullptr,
                     CControlUI* parent = nullptr);
  // Builds from a file given by its absolute path.
  CControlUI* CreateFromAbsolutePath(const wchar_t* path, IDialogBuilderCallback* callback = nullptr,
                                     CPaintManagerUI* manager = nullptr, CControlUI* parent = nullptr);
  // Builds again from the document loaded last (a fresh tree each time).
  CControlUI* Create(IDialogBuilderCallback* callback = nullptr, CPaintManagerUI* manager = nullptr,
                     CControlUI* parent = nullptr);
  // The reason of the last failure (parse error with line, or missing file).
  const wchar_t* GetLastErrorMessage() const { return m_sError; }

  // A control of a built-in class by its element name ("Button", "VerticalLayout", ...).
  static CControlUI* CreateBuiltinControl(const wchar_t* className);

 private:
  bool LoadFile(const std::wstring& path);
  bool LoadMarkup(const std::wstring& markup);
  CControlUI* Parse(const SkinNode& root, CControlUI* parent, CPaintManagerUI* manager);
  // An <Include source> may be built: markup, or a file in the skin folder or beside this one
  // that is not being built already, and not nested too deep.
  bool IncludeAllowed(const std::wstring& source) const;
  void ApplyWindowElement(const SkinNode& window, CPaintManagerUI* manager);

  std::shared_ptr<const SkinDocument> m_doc;  // parsed skin files are shared between builders
  std::string m_file;                         // canonical path of the loaded file; empty for markup
  IDialogBuilderCallback* m_pCallback = nullptr;
  CDuiString m_sError;
};

}  // namespace DuiLib
