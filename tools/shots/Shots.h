#pragma once

// Screens for people to look at: each deliverable registers its windows and dialogs here, and
// the shots tool opens every one offscreen in each language and saves it as a PNG.

#include "SOWin32.h"

#include <filesystem>
#include <functional>
#include <string>

namespace shots {

// What a shot may use while it opens its window.
struct Context {
  std::string language;               // "zh_CN", "zh_TW" or "en_US", already in effect
  std::filesystem::path programDir;   // build/bin: skins, locale, config, plug-ins
  std::filesystem::path scratch;      // an empty folder of this shot's own
  // Saves a window now (for modal dialogs, from inside their loop); true when written.
  std::function<bool(HWND)> save;
};

// The window a shot opened; the tool saves it and then calls close. A shot that saved its
// window itself through Context::save returns an empty Window.
struct Window {
  HWND hwnd = nullptr;
  std::function<void()> close;
};

using OpenFn = Window (*)(const Context&);

// Called by ORVANTA_SHOT at start-up; name is the PNG's path below the language folder.
bool Register(const char* name, OpenFn open);

}  // namespace shots

#define ORVANTA_SHOT_CAT2(a, b) a##b
#define ORVANTA_SHOT_CAT(a, b) ORVANTA_SHOT_CAT2(a, b)
#define ORVANTA_SHOT_IMPL(name, fn)                                     \
  static shots::Window fn(const shots::Context& ctx);                  \
  [[maybe_unused]] static const bool ORVANTA_SHOT_CAT(fn, _registered) = \
      shots::Register(name, &fn);                                       \
  static shots::Window fn([[maybe_unused]] const shots::Context& ctx)
// ORVANTA_SHOT("film/print_queue") { ...open the window...; return {hwnd, close}; }
#define ORVANTA_SHOT(name) ORVANTA_SHOT_IMPL(name, ORVANTA_SHOT_CAT(orvanta_shot_, __LINE__))
