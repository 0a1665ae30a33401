#pragma once

#include <string>
#include <vector>

// The program's system settings: the plug-in list and version of config/system.xml in the
// program folder (read only), and the user-interface language kept in the registry value
// "Local". Built on the UI thread before any worker starts; afterwards the loader thread only
// reads it, and only the settings dialog (UI thread) changes the chosen language.
class SOSystemConfig {
 public:
  // The settings of the running program, loaded from ProgramDir() on the first call.
  static SOSystemConfig* Instance();

  // Reads programDir + "config/system.xml"; a missing or unreadable file leaves everything empty.
  explicit SOSystemConfig(const std::string& programDir);

  // Decides the start-up language: the registry value "Local" when it is one of the three
  // codes, otherwise the one the system locale suggests (then written back to "Local").
  // systemLocale is a POSIX locale name ("zh_HK.UTF-8"); null reads the environment.
  void InitLanguage(const char* systemLocale = nullptr);
  std::string GetLanguage() const { return language; }
  std::string GetCurrentLanguage() const { return currentLanguage; }
  // Exactly "zh_CN", "zh_TW" or "en_US" goes to "Local" and to the chosen language; anything
  // else (and null) is ignored. The language in effect changes only at the next start.
  void SetLanguage(const wchar_t* code);

  const std::string& GetVersion() const { return version; }
  const std::vector<std::string>& GetPlugins() const { return plugins; }

  // The language a POSIX locale name stands for: Traditional Chinese (zh_TW, zh_HK, zh_MO,
  // zh_Hant) gives "zh_TW", other Chinese "zh_CN", anything else "en_US".
  static std::string LanguageOfLocale(const std::string& locale);
  // The locale the environment asks for (LC_ALL, LC_MESSAGES, LANG), empty when none.
  static std::string SystemLocale();

 private:
  std::string language;
  std::string currentLanguage;
  std::string version;
  std::vector<std::string> plugins;
};

// The program folder, ending in '/': $ORVANTA_PROGRAM_DIR when set (tests), else the folder
// of the running executable.
std::string ProgramDir();
