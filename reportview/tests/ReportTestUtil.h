#pragma once

#include "TestSupport.h"
#include "UIlib.h"

#include <QBuffer>
#include <QImage>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace reporttest {

// The report windows read the project's own runtime skins.
inline std::filesystem::path RuntimeSkins() {
  return orvanta::test::SourceRoot() / "runtime" / "skin";
}

inline void UseRuntimeSkins() {
  orvanta::test::EnsureQtApp();
  DuiLib::CPaintManagerUI::SetResourcePath((RuntimeSkins().wstring() + L"/").c_str());
}

inline std::string DefaultTemplate() {
  return (RuntimeSkins() / "srctrl" / "default_template.xml").string();
}

// Writes a template file whose page root is `root` (markup of one container).
inline std::string WriteTemplate(const std::filesystem::path& dir, const char* name, const std::string& root) {
  const std::filesystem::path path = dir / name;
  std::ofstream(path) << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Window>" << root << "</Window>\n";
  return path.string();
}

// A plain top-level window to hold the report control.
class HostWindow : public DuiLib::CWindowWnd {
 public:
  HostWindow() { Create(nullptr, L"host", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1000, 760); }
  const wchar_t* GetWindowClassName() const override { return L"WendrelTestHost"; }
};

// An encoded PNG of the given size, grey.
inline std::vector<unsigned char> PngBytes(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(qRgb(90, 90, 90));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

}  // namespace reporttest
