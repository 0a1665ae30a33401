// The film layout control as the film plug-in shows it, for the shots tool.

#include <filesystem>
#include <string>

#include "DicomFixtures.h"
#include "ISOOstrel.h"
#include "SOWindowBase.h"
#include "Shots.h"

namespace fx = orvanta::fixtures;

namespace {

class ShotFrame : public SOWindowBase {
 public:
  ~ShotFrame() override { DestroyOwnWindow(); }
  const wchar_t* GetWindowClassName() override { return L"FilmShotFrame"; }
  DWORD GetWindowClassStyle() override { return 0; }
  const wchar_t* GetWindowName() override { return L"Film"; }
  DWORD GetWndStyle() override { return WS_POPUP | WS_VISIBLE; }
};

struct LoadWait : ISOOstrelCallback {
  void OnLoadFinished(int, int) override { finished = true; }
  bool finished = false;
};

// The control in a top-level window of its own, with two studies loaded and the first
// session's films laid out rows x cols films at a time.
shots::Window OpenControl(const shots::Context& ctx, int filmRows, int filmCols, int imageRows, int imageCols,
                          bool landscape) {
  for (int s = 0; s < 2; ++s) {
    fx::CtSeriesOptions options;
    options.slices = 8;
    options.rows = options.columns = 128;
    options.patientName = s == 0 ? "Film^Demo" : "Film^Second";
    options.patientId = "F00" + std::to_string(s);
    fx::WriteCtSeries(ctx.scratch / std::to_string(s), options);
  }
  auto* shell = new ShotFrame;
  HWND frame = shell->Create(nullptr, 0, 0, 1000, 700);
  ISOOstrel* ostrel = CreateOstrel();
  LoadWait wait;
  ostrel->RegisterCallback(&wait);
  ostrel->Create(frame, 0, 0, 1000, 700);
  ostrel->LoadDir(ctx.scratch.c_str());
  SOWin::PumpUntil([&] { return wait.finished; }, 20000);
  ostrel->UnRegisterCallback(&wait);
  ostrel->SelectSessionAt(0);
  ostrel->SetImageLayout(imageRows, imageCols, true);
  if (landscape) ostrel->SetOrientation(2, true);
  ostrel->SetFilmLayout(filmRows, filmCols);
  if (ISOFilmSession* session = ostrel->GetCurrentSession())
    if (ISOFilmBox* film = session->GetFilmBox(0)) film->SetSelected(true);
  SOWin::PumpEvents(50);
  return {frame, [ostrel, shell] {
            ReleaseOstrel(ostrel);
            delete shell;
          }};
}

}  // namespace

ORVANTA_SHOT("film/control_1x2") {
  return OpenControl(ctx, 1, 2, 2, 2, false);
}

ORVANTA_SHOT("film/control_landscape") {
  return OpenControl(ctx, 1, 1, 2, 3, true);
}

ORVANTA_SHOT("film/control_4x5") {
  return OpenControl(ctx, 1, 1, 5, 4, false);
}
