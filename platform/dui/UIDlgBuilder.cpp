#include "UIDlgBuilder.h"

#include "UIGettext.h"

#include "UIList.h"
#include "UIManager.h"

#include "SOXml.h"

#include <tinyxml.h>

#include <QString>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace DuiLib {

// A parsed skin with its names and values already wide: built once per file and shared by
// every builder that builds from it.
struct SkinNode {
  std::wstring name;
  std::vector<std::pair<std::wstring, std::wstring>> attributes;
  std::vector<SkinNode> children;

  const std::wstring* Attribute(const wchar_t* key) const {
    for (const auto& a : attributes)
      if (a.first == key) return &a.second;
    return nullptr;
  }
};
struct SkinDocument {
  SkinNode root;
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

void Convert(const TiXmlElement* e, SkinNode& out);

// Parses UTF-8 markup; on failure returns null and fills `error` with the reason and line.
std::shared_ptr<const SkinDocument> ParseDocument(const std::string& text, std::string& error, int& line) {
  TiXmlDocument xml;
  if (!SOXml::Parse(xml, text)) {
    error = xml.Error() && xml.ErrorDesc() ? xml.ErrorDesc() : "not a skin, or nested too deeply";
    line = xml.ErrorRow();
    return nullptr;
  }
  auto doc = std::make_shared<SkinDocument>();
  Convert(xml.RootElement(), doc->root);
  return doc;
}

// Skin files parsed so far, by path, with the text they were parsed from and the file's size and
// modification time then: a file whose size and time are unchanged is not read again; one that
// was written is read, and parsed again only when its text changed.
struct CachedFile {
  std::string text;
  std::shared_ptr<const SkinDocument> doc;
  std::uintmax_t size = 0;
  std::filesystem::file_time_type written;
};
std::mutex g_cacheLock;
std::map<std::string, CachedFile>& Cache() {
  static auto* cache = new std::map<std::string, CachedFile>;
  return *cache;
}

// Includes may nest this deep; the files being built on this thread, outermost first, so that an
// include of one of them (a cycle) is refused.
constexpr size_t kMaxIncludeDepth = 16;
thread_local std::vector<std::string> t_building;
thread_local size_t t_includeDepth = 0;

// The canonical form of path; empty when it does not exist.
std::string Canonical(const std::string& path) {
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::canonical(path, ec);
  return ec ? std::string() : canonical.string();
}

// True when file (canonical) lies inside folder (canonical).
bool Inside(const std::string& file, const std::string& folder) {
  if (folder.empty() || file.size() <= folder.size() || file.compare(0, folder.size(), folder) != 0) return false;
  return folder.back() == '/' || file[folder.size()] == '/';
}

}  // namespace

namespace {
void Convert(const TiXmlElement* e, SkinNode& out) {
  out.name = Wide(e->Value());
  for (const TiXmlAttribute* a = e->FirstAttribute(); a; a = a->Next())
    out.attributes.emplace_back(Wide(a->Name()), Wide(a->Value()));
  for (const TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement())
    Convert(c, out.children.emplace_back());
}
}  // namespace

CDialogBuilder::CDialogBuilder() = default;
CDialogBuilder::~CDialogBuilder() = default;

CControlUI* CDialogBuilder::CreateBuiltinControl(const wchar_t* c) {
  if (!c) return nullptr;
  const std::wstring_view n = c;
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
  std::string file = Utf8(path);
  m_file = Canonical(file);
  std::error_code sizeError, timeError;
  const std::uintmax_t size = std::filesystem::file_size(file, sizeError);
  const std::filesystem::file_time_type written = std::filesystem::last_write_time(file, timeError);
  const bool known = !sizeError && !timeError;
  if (known) {
    std::lock_guard<std::mutex> lock(g_cacheLock);
    auto it = Cache().find(file);
    if (it != Cache().end() && it->second.size == size && it->second.written == written) {
      m_doc = it->second.doc;
      return true;
    }
  }
  std::string text;
  if (!SOXml::ReadFile(file, text)) {
    m_doc.reset();
    m_sError = L"cannot open " + CDuiString(path) + L" (or not a file of a skin's size)";
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(g_cacheLock);
    auto it = Cache().find(file);
    if (it != Cache().end() && it->second.text == text) {
      if (known) {
        it->second.size = size;
        it->second.written = written;
      }
      m_doc = it->second.doc;
      return true;
    }
  }
  std::string error;
  int line = 0;
  m_doc = ParseDocument(text, error, line);
  if (!m_doc) {
    m_sError.Format(L"%ls: %s (line %d)", path.c_str(), error.c_str(), line);
    return false;
  }
  std::lock_guard<std::mutex> lock(g_cacheLock);
  // A file whose size or time could not be read is compared by its text next time.
  Cache()[file] = CachedFile{std::move(text), m_doc, known ? size : std::uintmax_t(-1), written};
  return true;
}

bool CDialogBuilder::LoadMarkup(const std::wstring& markup) {
  m_file.clear();
  std::string error;
  int line = 0;
  m_doc = ParseDocument(Utf8(markup), error, line);
  if (!m_doc) {
    m_sError.Format(L"markup: %s (line %d)", error.c_str(), line);
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
  std::shared_ptr<const SkinDocument> doc = m_doc;  // held while the tree is built
  // Marks this file as being built until the tree is done, for the includes inside it.
  struct Building {
    explicit Building(const std::string& file) : pushed(!file.empty()) {
      if (pushed) t_building.push_back(file);
    }
    ~Building() {
      if (pushed) t_building.pop_back();
    }
    bool pushed;
  } building(m_file);
  const SkinNode& root = doc->root;
  if (manager) ApplyWindowElement(root, manager);
  CControlUI* result = Parse(root, parent, manager);
  if (!result && m_sError.IsEmpty()) m_sError = L"no control in the skin";
  return result;
}

void CDialogBuilder::ApplyWindowElement(const SkinNode& window, CPaintManagerUI* manager) {
  if (window.name == L"Window") {
    for (const auto& [n, v] : window.attributes) {
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
  for (const SkinNode& e : window.children) {
    const std::wstring& name = e.name;
    auto attr = [&](const wchar_t* key) {
      const std::wstring* v = e.Attribute(key);
      return v ? *v : std::wstring();
    };
    if (name == L"Font") {
      std::wstring face = attr(L"name");
      int size = int(wcstol(attr(L"size").c_str(), nullptr, 10));
      bool bold = attr(L"bold") == L"true", underline = attr(L"underline") == L"true",
           italic = attr(L"italic") == L"true";
      manager->AddFont(face.c_str(), size, bold, underline, italic);
      if (attr(L"default") == L"true") manager->SetDefaultFont(face.c_str(), size, bold, underline, italic);
    } else if (name == L"Default") {
      manager->AddDefaultAttributeList(attr(L"name").c_str(), attr(L"value").c_str());
    } else if (name == L"Style") {
      manager->AddStyle(attr(L"name").c_str(), attr(L"value").c_str());
    }
  }
}

CControlUI* CDialogBuilder::Parse(const SkinNode& root, CControlUI* parent, CPaintManagerUI* manager) {
  CControlUI* first = nullptr;
  for (const SkinNode& node : root.children) {
    const std::wstring& cls = node.name;
    if (cls == L"Include") {
      // Another skin file's controls, in place.
      CDialogBuilder included;
      const std::wstring* src = node.Attribute(L"source");
      std::wstring source = src ? *src : std::wstring();
      if (!IncludeAllowed(source)) continue;
      ++t_includeDepth;
      CControlUI* c = included.Create(source.c_str(), (unsigned int)0, m_pCallback, manager, parent);
      --t_includeDepth;
      if (c && !first) first = c;
      continue;
    }
    if (IsConfigElement(cls)) continue;
    CControlUI* control = CreateBuiltinControl(cls.c_str());
    if (!control && m_pCallback) control = m_pCallback->CreateControl(cls.c_str());
    if (!control) continue;  // an element nobody knows, with everything inside it

    if (!node.children.empty()) Parse(node, control, manager);

    if (manager) {
      control->SetManager(manager, nullptr, false);
      if (const AttributePairs* defaults = manager->GetDefaultAttributes(cls.c_str()))
        control->ApplyAttributes(*defaults);
    }
    for (const auto& [name, value] : node.attributes) control->SetAttribute(name.c_str(), value.c_str());
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

bool CDialogBuilder::IncludeAllowed(const std::wstring& source) const {
  if (t_includeDepth >= kMaxIncludeDepth) return false;
  const size_t first = source.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return false;
  if (source[first] == L'<') return true;  // markup in place: no file to read
  // A file only from the skin folder or the folder of the file that includes it, and never one
  // that is being built already (a cycle).
  CDuiString name = source.c_str();
  name.Replace(L"\\", L"/");
  const std::string relative = Utf8(name.str());
  const std::string skins = Canonical(Utf8(CPaintManagerUI::GetResourcePath().str()));
  const std::string own = m_file.empty() ? std::string() : std::filesystem::path(m_file).parent_path().string();
  const std::string file = Canonical(relative[0] == '/' ? relative : Utf8(CPaintManagerUI::GetResourcePath().str()) + relative);
  if (file.empty() || !(Inside(file, skins) || Inside(file, own))) return false;
  return std::find(t_building.begin(), t_building.end(), file) == t_building.end();
}

}  // namespace DuiLib
