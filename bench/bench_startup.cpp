// Start-up of the program: from exec to the main frame shown, and to the windows of six plug-ins
// created, against a bare Qt program that opens one window, in the same run.
//   bench_startup [--rounds N]
// The program is build/bin/Orvanta over a program folder with six copies of the shell's test
// plug-in; "shown" is when it answers on its single-instance socket (it listens once its frame
// is built, and answers from the UI thread's loop, after the frame's first paint), the plug-in
// windows when the sixth one has marked its creation. The bare program marks a file once its
// window is shown and painted.
// A second program folder runs the program over the shipped configuration (the six real
// plug-ins, as built): its frame shown, and the moment the last of its plug-in libraries is
// mapped (from /proc), which the plug-in windows wait for besides the one-second timer.
// Beside the bare window, a floor: the same window drawing one line of Chinese text in the CJK
// font and the frame's logo from the skin folder, the least any skinned window with text pays
// (the font database and an image decode), which the bare window never does; and the same floor
// at the frame's own size (its skin makes it 1280 x 800, with a bold title font), whose backing
// images and first paint cost more than a small window's.
#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <set>

#include "BenchSupport.h"
#include "SOSingleInstance.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// text: a label of Chinese text and the logo, read from `skin`; frameSized: at the frame's size,
// with a bold line besides, as the frame's skin has.
int Bare(int argc, char** argv, const char* mark, const char* skin = nullptr, bool frameSized = false) {
  QApplication app(argc, argv);
  QWidget window;
  if (frameSized)
    window.resize(1280, 800);
  else
    window.resize(600, 320);
  if (skin) {
    auto* layout = new QVBoxLayout(&window);
    auto* logo = new QLabel;
    // Read as the least a program must: named a PNG, so that Qt does not load its image
    // plug-ins (SVG, JPEG, ...) first to ask each whether it knows the file.
    QImageReader png(QString::fromUtf8(skin) + "/main/logo.png", "png");
    png.setAutoDetectImageFormat(false);
    logo->setPixmap(QPixmap::fromImage(png.read()));
    auto* text = new QLabel(QString::fromUtf8("影像工作站 Orvanta"));
    text->setFont(QFont("Noto Sans CJK SC", 12));
    layout->addWidget(logo);
    layout->addWidget(text);
    if (frameSized) {
      auto* title = new QLabel(QString::fromUtf8("影像工作站"));
      QFont bold("Noto Sans CJK SC", 17);
      bold.setBold(true);
      title->setFont(bold);
      layout->addWidget(title);
    }
  }
  window.show();
  QApplication::processEvents();
  std::ofstream(mark) << "shown";
  return app.exec();
}

double Since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// How many of the names appear among the files mapped into process pid.
size_t Mapped(pid_t pid, const std::vector<std::string>& names) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::string line;
  std::set<std::string> seen;
  while (std::getline(maps, line))
    for (const std::string& name : names)
      if (line.size() > name.size() && line.compare(line.size() - name.size(), name.size(), name) == 0 &&
          line[line.size() - name.size() - 1] == '/')
        seen.insert(name);
  return seen.size();
}

bool WaitFor(const std::function<bool()>& ready, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < end) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--bare") return Bare(argc, argv, argv[2]);
  if (argc == 4 && std::string(argv[1]) == "--text") return Bare(argc, argv, argv[2], argv[3]);
  if (argc == 4 && std::string(argv[1]) == "--frame-sized")
    return Bare(argc, argv, argv[2], argv[3], true);
  int rounds = 7;
  fs::path other;  // --other DIR: the program folder of another build, run in the same rounds
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    if (std::string(argv[i]) == "--other") other = fs::absolute(argv[i + 1]);
  }

  orvanta::test::InitScratch();
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const fs::path bin = orvanta::test::ProgramFolder();
  const fs::path plugins = bin.parent_path() / "tests" / "shell_plugins";
  const fs::path program = orvanta::test::MakeTempDir("program");
  fs::create_directories(program / "config");
  {
    std::ofstream xml(program / "config" / "system.xml");
    xml << "<System><Version>1.0.0</Version><Plugins>";
    for (int i = 1; i <= 6; ++i) {
      fs::copy_file(plugins / "libTestA.so", program / ("libBench" + std::to_string(i) + ".so"));
      xml << "<Plugin name=\"libBench" << i << ".so\"/>";
    }
    xml << "</Plugins></System>";
  }
  for (const char* sub : {"skin", "locale"}) fs::create_directory_symlink(bin / sub, program / sub);
  const fs::path runtime = orvanta::test::MakeTempDir("runtime");
  fs::permissions(runtime, fs::perms::owner_all);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  const std::vector<std::string> shipped = {"libTabrisk.so", "libTessaly.so", "libCorvide.so",
                                            "libBrenvik.so", "libSevrane.so", "libQuillon.so"};
  size_t built = 0;
  for (const std::string& name : shipped) built += fs::exists(bin / name);

  // Starts the program of folder `exe` over program folder `dir` and waits for its frame; the
  // time from exec, or a negative number when it never answered.
  pid_t pid = -1;
  Clock::time_point start;
  auto startFrame = [&](const fs::path& exe, const fs::path& dir) {
    ::setenv("ORVANTA_PROGRAM_DIR", dir.c_str(), 1);
    start = Clock::now();
    pid = bench::Spawn({(exe / "Orvanta").string()});
    return WaitFor([] { return SOSingleInstance::Send("ACTIVATE"); }, 20000) ? Since(start) : -1.0;
  };

  std::vector<double> bare, text, sized, shown, windows, otherShown, otherWindows, realShown, realMapped;
  for (int round = 0; round < rounds; ++round) {
    const fs::path mark = orvanta::test::MakeTempDir("mark");
    ::setenv("SHELL_TEST_PLUGIN_MARK", mark.c_str(), 1);
    auto created = [&] { return std::distance(fs::directory_iterator(mark), fs::directory_iterator{}) >= 6; };
    for (const fs::path& exe : {bin, other}) {
      if (exe.empty()) continue;
      fs::remove_all(mark);
      fs::create_directories(mark);
      const double frame = startFrame(exe, program);
      if (frame < 0) return std::fprintf(stderr, "round %d: no frame from %s\n", round, exe.c_str()), 1;
      if (!WaitFor(created, 20000)) return std::fprintf(stderr, "round %d: no plug-in windows\n", round), 1;
      (exe == bin ? shown : otherShown).push_back(frame);
      (exe == bin ? windows : otherWindows).push_back(Since(start));
      bench::Stop(pid);
    }

    if (built > 0) {
      const double frame = startFrame(bin, bin);
      if (frame < 0) return std::fprintf(stderr, "round %d: no frame over the shipped plug-ins\n", round), 1;
      realShown.push_back(frame);
      if (!WaitFor([&] { return Mapped(pid, shipped) >= built; }, 20000))
        return std::fprintf(stderr, "round %d: the shipped plug-ins were not all loaded\n", round), 1;
      realMapped.push_back(Since(start));
      bench::Stop(pid);
    }

    // The peer windows: each marks a file of its own once shown.
    for (auto [mode, times] : {std::pair{"--bare", &bare}, {"--text", &text}, {"--frame-sized", &sized}}) {
      const fs::path shownMark = mark / (mode + 2);
      start = Clock::now();
      pid = bench::Spawn({argv[0], mode, shownMark.string(), (bin / "skin").string()});
      if (!WaitFor([&] { return fs::exists(shownMark); }, 20000))
        return std::fprintf(stderr, "round %d: no window from %s\n", round, mode), 1;
      times->push_back(Since(start));
      bench::Stop(pid);
    }
  }
  const double b = bench::Median(bare), s = bench::Median(shown), w = bench::Median(windows);
  std::printf("start-up, median of %d rounds (offscreen):\n", rounds);
  const double t = bench::Median(text);
  std::printf("  bare Qt window shown        %8.1f ms\n", b);
  std::printf("  floor: Qt window with Chinese text and the logo %8.1f ms   %.2f x the bare window\n", t,
              t / b);
  const double z = bench::Median(sized);
  std::printf("  floor at the frame's size (1280 x 800, and a bold line) %8.1f ms   %.2f x the bare window\n", z,
              z / b);
  std::printf(
      "  Orvanta frame shown          %8.1f ms   ratio %.2f x the bare window (goal <= 1.5), %.2f x the "
      "floor\n",
      s, s / b, s / t);
  std::printf("                               and %.2f x the floor at the frame's size\n", s / z);
  std::printf(
      "  six plug-in windows created  %8.1f ms   %.1f ms after the frame; the start-up timer is 1000 ms "
      "(goal <= 1100)\n",
      w, w - s);
  if (!other.empty()) {
    const double os = bench::Median(otherShown), ow = bench::Median(otherWindows);
    std::printf("  %s/Orvanta: frame shown %.1f ms (ratio %.2f), plug-in windows %.1f ms after it\n",
                other.c_str(), os, os / b, ow - os);
  }
  if (built > 0) {
    const double rs = bench::Median(realShown), rm = bench::Median(realMapped);
    std::printf(
        "  over the shipped configuration (%zu of its 6 plug-ins built): frame shown %.1f ms (ratio %.2f),\n"
        "    last plug-in library mapped %.1f ms after the frame (the windows wait for it and the 1000 ms "
        "timer)\n",
        built, rs, rs / b, rm - rs);
  }
  orvanta::test::ShutdownScratch();
  return 0;
}
