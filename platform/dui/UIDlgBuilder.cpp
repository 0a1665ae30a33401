#include "UIDlgBuilder.h"

#include "UIGettext.h"

#include "UIList.h"
#include "UIManager.h"

#include <tinyxml.h>

#include <QString>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>

namespace DuiLib {

struct CDialogBuilder::Document {
  TiXmlDocument xml;
};

namespace {

std::wstring Wide(const char* utf8) {
  return QString::fromUtf8(utf8 ? utf8 : "").toStdWString();
}
std::string Utf8(const std::wstring& w) {
  return QString::fromStdWString(w).toStdString();
}

// Elements that configure the manager rather than build controls.
bool IsConfigElement(const std::wstring& name) {
  return name == L"Font" || name == L"Default" || name == L"Style" || name == L"Image" || name == L"Window" ||
         name == L"Include";
}

}  // namespace

CDialogBuilder::CDialogBuilder() = default;
CDialogBuilder::~CDialogBuilder() = default;

CControlUI* CDialogBuilder::CreateBuiltinControl(const wchar_t* c) {
  if (!c) return nullptr;
  std::wstring n = c;
  if (n == L"Control") return new CControlUI;
  if (n == L"Container") return new CContainerUI;
  if (n == L"VerticalLayout") return new CVerticalLayoutUI;
  if (n == L"HorizontalLayout") return new CHorizontalLayoutUI;
  if (n == L"TileLayout") return new CTileLayoutUI;
  if (n == L"TabLayout") return new CTabLayoutUI;
  if (n == L"ChildLayout") return new CChildLayoutUI;
  if (n == L"Label") return new CLabelUI;
  if (n == L"Text") return new CTextUI;
  if (n == L"Button") return new CButtonUI;
  if (n == L"Option") return new COptionUI;
  if (n == L"CheckBox") return new CCheckBoxUI;
  if (n == L"TabItem") return new CTabItemUI;
  if (n == L"Edit") return new CEditUI;
  if (n == L"RichEdit") return new CRichEditUI;
  if (n == L"DateTime") return new CDateTimeUI;
  if (n == L"Progress") return new CProgressUI;
  if (n == L"Slider") return new CSliderUI;
  if (n == L"ScrollBar") return new CScrollBarUI;
  if (n == L"Picture") return new CPictureUI;
  if (n == L"List") return new CListUI;
  if (n == L"ListHeader") return new CListHeaderUI;
  if (n == L"ListHeaderItem") return new CListHeaderItemUI;
  if (n == L"ListElement" || n == L"ListLabelElement") return new CListLabelElementUI;
  if (n == L"ListTextElement") return new CListTextElementUI;
  if (n == L"ListContainerElement") return new CListContainerElementUI;
  if (n == L"Combo") return new CComboUI;
  if (n == L"EditCombo") return new CEditComboUI;
  if (n == L"TreeView") return new CTreeViewUI;
  if (n == L"TreeNode") return new CTreeNodeUI;
  return nullptr;
}

bool CDialogBuilder::LoadFile(const std::wstring& path) {
  std::ifstream in(Utf8(path), std::ios::binary);
  if (!in) {
    m_sError = L"cannot open " + CDuiString(path);
    return false;
  }
  std::stringstream buf;
  buf << in.rdbuf();
  std::string text = buf.str();
  // A UTF-8 byte order mark is allowed.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  m_doc = std::make_unique<Document>();
  m_doc->xml.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (m_doc->xml.Error() || !m_doc->xml.RootElement()) {
    m_sError.Format(L"%ls: %s (line %d)", path.c_str(), m_doc->xml.ErrorDesc(), m_doc->xml.ErrorRow());
    m_doc.reset();
    return false;
  }
  return true;
}

bool CDialogBuilder::LoadMarkup(const std::wstring& markup) {
  m_doc = std::make_unique<Document>();
  m_doc->xml.Parse(Utf8(markup).c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (m_doc->xml.Error() || !m_doc->xml.RootElement()) {
    m_sError.Format(L"markup: %s (line %d)", m_doc->xml.ErrorDesc(), m_doc->xml.ErrorRow());
    m_doc.reset();
    return false;
  }
  return true;
}

CControlUI* CDialogBuilder::Create(STRINGorID xml, STRINGorID, IDialogBuilderCallback* callback,
                                   CPaintManagerUI* manager, CControlUI* parent) {
  m_sError.Empty();
  if (!xml.m_lpstr || !*xml.m_lpstr) {
    m_sError = L"no skin given";
    return nullptr;
  }
  std::wstring text = xml.m_lpstr;
  size_t first = text.find_first_not_of(L" \t\r\n");
  bool ok;
  if (first != std::wstring::npos && text[first] == L'<') {
    ok = LoadMarkup(text);
  } else {
    CDuiString file = text;
    file.Replace(L"\\", L"/");
    CDuiString path = file.GetAt(0) == L'/' ? file : CPaintManagerUI::GetResourcePath() + file;
    ok = LoadFile(path.str());
  }
  return ok ? Create(callback, manager, parent) : nullptr;
}

CControlUI* CDialogBuilder::CreateFromAbsolutePath(const wchar_t* path, IDialogBuilderCallback* callback,
                                                   CPaintManagerUI* manager, CControlUI* parent) {
  m_sError.Empty();
  if (!path || !*path) {
    m_sError = L"no path given";
    return nullptr;
  }
  CDuiString file = path;
  file.Replace(L"\\", L"/");
  if (!LoadFile(file.str())) return nullptr;
  return Create(callback, manager, parent);
}

CControlUI* CDialogBuilder::Create(IDialogBuilderCallback* callback, CPaintManagerUI* manager,
                                   CControlUI* parent) {
  if (!m_doc) return nullptr;
  m_pCallback = callback;
  TiXmlElement* root = m_doc->xml.RootElement();
  if (manager) ApplyWindowElement(root, manager);
  CControlUI* result = Parse(root, parent, manager);
  if (!result && m_sError.IsEmpty()) m_sError = L"no control in the skin";
  return result;
}

void CDialogBuilder::ApplyWindowElement(TiXmlElement* window, CPaintManagerUI* manager) {
  if (Wide(window->Value()) == L"Window") {
    for (TiXmlAttribute* a = window->FirstAttribute(); a; a = a->Next()) {
      std::wstring n = Wide(a->Name()), v = Wide(a->Value());
      if (n == L"size") {
        SIZE sz = ParseSize(v.c_str());
        manager->SetInitSize(sz.cx, sz.cy);
      } else if (n == L"sizebox")
        manager->SetSizeBox(ParseRect(v.c_str()));
      else if (n == L"caption")
        manager->SetCaptionRect(ParseRect(v.c_str()));
      else if (n == L"roundcorner") {
        SIZE sz = ParseSize(v.c_str());
        manager->SetRoundCorner(sz.cx, sz.cy);
      } else if (n == L"mininfo") {
        SIZE sz = ParseSize(v.c_str());
        manager->SetMinInfo(sz.cx, sz.cy);
      } else if (n == L"maxinfo") {
        SIZE sz = ParseSize(v.c_str());
        manager->SetMaxInfo(sz.cx, sz.cy);
      } else if (n == L"title")
        manager->SetTitle(ui_gettext(v.c_str()));
      else if (n == L"defaultfontcolor")
        manager->SetDefaultFontColor(ParseColor(v.c_str()));
      else if (n == L"disabledfontcolor")
        manager->SetDefaultDisabledColor(ParseColor(v.c_str()));
      else
        manager->AddWindowCustomAttribute(n.c_str(), v.c_str());
    }
  }
  for (TiXmlElement* e = window->FirstChildElement(); e; e = e->NextSiblingElement()) {
    std::wstring name = Wide(e->Value());
    auto attr = [&](const char* key) { return Wide(e->Attribute(key)); };
    if (name == L"Font") {
      std::wstring face = attr("name");
      int size = int(wcstol(attr("size").c_str(), nullptr, 10));
      bool bold = attr("bold") == L"true", underline = attr("underline") == L"true",
           italic = attr("italic") == L"true";
      manager->AddFont(face.c_str(), size, bold, underline, italic);
      if (attr("default") == L"true") manager->SetDefaultFont(face.c_str(), size, bold, underline, italic);
    } else if (name == L"Default") {
      manager->AddDefaultAttributeList(attr("name").c_str(), attr("value").c_str());
    } else if (name == L"Style") {
      manager->AddStyle(attr("name").c_str(), attr("value").c_str());
    }
  }
}

CControlUI* CDialogBuilder::Parse(TiXmlElement* root, CControlUI* parent, CPaintManagerUI* manager) {
  CControlUI* first = nullptr;
  for (TiXmlElement* node = root->FirstChildElement(); node; node = node->NextSiblingElement()) {
    std::wstring cls = Wide(node->Value());
    if (cls == L"Include") {
      // Another skin file's controls, in place.
      CDialogBuilder included;
      std::wstring source = Wide(node->Attribute("source"));
      if (CControlUI* c = included.Create(source.c_str(), (unsigned int)0, m_pCallback, manager, parent))
        if (!first) first = c;
      continue;
    }
    if (IsConfigElement(cls)) continue;
    CControlUI* control = CreateBuiltinControl(cls.c_str());
    if (!control && m_pCallback) control = m_pCallback->CreateControl(cls.c_str());
    if (!control) continue;  // an element nobody knows, with everything inside it

    if (node->FirstChildElement()) Parse(node, control, manager);

    if (manager) {
      control->SetManager(manager, nullptr, false);
      if (const wchar_t* defaults = manager->GetDefaultAttributeList(cls.c_str()))
        control->ApplyAttributeList(defaults);
    }
    for (TiXmlAttribute* a = node->FirstAttribute(); a; a = a->Next())
      control->SetAttribute(Wide(a->Name()).c_str(), Wide(a->Value()).c_str());
    if (manager) control->SetManager(nullptr, nullptr, false);

    if (parent) {
      auto* container = static_cast<CContainerUI*>(parent->GetInterface(L"Container"));
      if (!container || !container->Add(control)) {
        delete control;
        continue;
      }
    } else if (first) {
      // Without a parent only the first control is returned; the others have no owner.
      delete control;
      continue;
    }
    if (!first) first = control;
  }
  return first;
}

}  // namespace DuiLib
