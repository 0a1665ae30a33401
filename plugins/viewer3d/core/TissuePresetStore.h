#pragma once

// The tissue presets of the 3D viewer: the transfer functions the colour panel offers, read
// from the program folder's colors/colors.xml, and the endoscopy preset of the VE page.

#include "V3VolumeData.h"

#include <string>
#include <vector>

struct TissuePreset {
  std::string name;       // as shown on its tile
  std::string thumbnail;  // full path of its picture, empty when none
  V3Palette palette;      // owns its points: copies are deep
};

class TissuePresetStore {
 public:
  // The process's store, made on first use from the program folder and never freed. UI thread.
  static TissuePresetStore* Instance();

  // A store over the given colors file and thumbnail folder (ending in '/'): loads the file,
  // falls back to the four built-in presets when it gives none, and holds "Endo".
  TissuePresetStore(std::string file, std::string thumbnailFolder);

  // Empties the preset list and reads the file. A file that is missing, does not parse or has
  // no "TissueList" leaves the list empty; presets of fewer than two points are dropped.
  void Load();

  const std::vector<TissuePreset>& Presets() const { return m_presets; }
  const std::vector<TissuePreset>& Endoscopy() const { return m_endoscopy; }
  const std::string& File() const { return m_file; }
  const std::string& ThumbnailFolder() const { return m_thumbnailFolder; }

  // The built-in presets by name ("Bone", "Skin", "Lung", "Trans", "Endo"); an empty preset
  // for any other name.
  static TissuePreset BuiltIn(const std::string& name);

 private:
  std::vector<TissuePreset> m_presets;
  std::vector<TissuePreset> m_endoscopy;
  std::string m_file;
  std::string m_thumbnailFolder;
};
