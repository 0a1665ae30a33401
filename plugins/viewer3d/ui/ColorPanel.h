#pragma once

// The colour panel: a popup of tiles, one per tissue preset with its thumbnail; a click on a
// tile applies that preset's palette and closes the panel, losing the focus closes it too.
// The panel deletes itself when closed.

#include "TissuePresetStore.h"
#include "UIlib.h"

#include <functional>
#include <vector>

namespace corvide {

class ColorPanel : public DuiLib::WindowImplBase {
 public:
  // Receives the chosen palette; the 3D viewer applies it to its visual control and renders.
  using Apply = std::function<void(const V3Palette&)>;

  // The tiles come from the given store, or from the process's store when it is null.
  explicit ColorPanel(Apply apply, const TissuePresetStore* store = nullptr)
      : m_apply(std::move(apply)), m_store(store) {}
  const wchar_t* GetWindowClassName() const override { return L"ColorPanel"; }

  // Opens a visible panel of 100 x 120 at the screen point; null when the window fails.
  static ColorPanel* Open(HWND owner, POINT at, Apply apply, const TissuePresetStore* store = nullptr);

  void InitWindow() override;
  void OnFinalMessage(HWND hWnd) override;

  // Rebuilds the tiles from the store's presets.
  void Fill();
  // A tile's click: applies the preset whose index the tag holds (when valid), then closes.
  void OnTileClick(UINT_PTR tag);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"3d/color_panel.xml"; }
  LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  bool OnTileNotify(void* param);

  Apply m_apply;
  const TissuePresetStore* m_store;
  DuiLib::CTileLayoutUI* m_tiles = nullptr;
  std::vector<TissuePreset> m_presets;
};

}  // namespace corvide
