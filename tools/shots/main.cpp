// shots: opens every registered window offscreen in zh_CN, zh_TW and en_US and saves each to
// <out>/<language>/<name>.png for a person to look at.
//   shots --out DIR [--only PREFIX] [--lang zh_CN]

#include "Shots.h"
#include "TestSupport.h"
#include "UIGettext.h"
#include "UIManager.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::map<std::string, shots::OpenFn>& Registry() {
  static std::map<std::string, shots::OpenFn> shots;
  return shots;
}

int Usage() {
  std::fprintf(stderr, "usage: shots --out DIR [--only PREFIX] [--lang zh_CN|zh_TW|en_US]\n");
  return 2;
}

}  // namespace

bool shots::Register(const char* name, OpenFn open) {
  return Registry().emplace(name, open).second;
}

int main(int argc, char** argv) {
  fs::path out;
  std::string only;
  std::vector<std::string> languages{"zh_CN", "zh_TW", "en_US"};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    if (arg == "--out") out = argv[++i];
    else if (arg == "--only") only = argv[++i];
    else if (arg == "--lang") languages = {argv[++i]};
    else return Usage();
  }
  if (out.empty()) return Usage();
  out = fs::absolute(out);

  // Windows that store settings or files write into a scratch home, never the user's.
  orvanta::test::InitScratch();
  orvanta::test::EnsureQtApp();
  const fs::path programDir = ORVANTA_SHOTS_PROGRAM_DIR;
  DuiLib::CPaintManagerUI::SetResourcePath(((programDir / "skin").wstring() + L"/").c_str());
  ui_bindtextdomain("orvanta", (programDir / "locale").string().c_str());
  ui_textdomain("orvanta");

  int failed = 0, written = 0;
  for (const auto& language : languages) {
    ui_setlocal(0, language.c_str());
    for (const auto& [name, open] : Registry()) {
      if (name.compare(0, only.size(), only) != 0) continue;
      const fs::path png = out / language / (name + ".png");
      fs::create_directories(png.parent_path());
      fs::remove(png);
      bool saved = false;
      shots::Context ctx{language, programDir, orvanta::test::MakeTempDir("shot"),
                         [&](HWND hwnd) { return saved = hwnd && SOWin::SaveWindowImage(hwnd, png.string()); }};
      shots::Window window = open(ctx);
      SOWin::PumpEvents(50);
      if (window.hwnd) ctx.save(window.hwnd);
      if (window.close) window.close();
      SOWin::PumpEvents(10);
      if (saved) {
        ++written;
      } else {
        ++failed;
        std::fprintf(stderr, "shots: %s (%s) was not saved\n", name.c_str(), language.c_str());
      }
    }
  }
  std::printf("shots: %d written to %s, %d failed\n", written, out.c_str(), failed);
  orvanta::test::ShutdownScratch();
  return failed ? 1 : 0;
}
