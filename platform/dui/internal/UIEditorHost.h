#pragma once

#include "SOWinQt.h"
#include "UIControl.h"

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace DuiLib {

// A Qt editor lying over a text control while that has the focus in a window, so that input
// methods and the platform's editing keys work. Tab and Escape go back to the window; Enter
// is reported unless the editor takes new lines. UI thread only.
class CEditorHost {
 public:
  struct Options {
    bool multiLine = false;
    bool wantReturn = false;  // Enter inserts a new line (multi-line editors)
    bool password = false;
    bool numberOnly = false;
    bool date = false;  // a calendar date "yyyy-MM-dd": a date editor with a calendar when the text is one
    int maxChar = 32767;
    UINT align = 0;  // DT_*_UI
    QFont font;
    QColor color;
    // The editor is opaque in this colour, hiding the control's own text beneath it; the
    // control keeps drawing its text for every other painter (printing, images).
    QColor background = Qt::white;
  };

  CEditorHost() = default;
  ~CEditorHost() { Close(); }
  CEditorHost(const CEditorHost&) = delete;
  CEditorHost& operator=(const CEditorHost&) = delete;

  // Opens over `owner` (its window must be one of ours); false when there is no window.
  bool Open(CControlUI* owner, const Options& options, const QString& text);
  void Close();
  bool IsOpen() const { return !editor_.isNull(); }
  // Places the editor over `rc` (skin coordinates of the owner's window).
  void Place(const RECT& rc, bool visible);
  // Shows a text set by code; no change is reported for it.
  void SetText(const QString& text);

  std::function<void(const QString&)> onChanged;  // the user's edit
  std::function<void()> onReturn;

 private:
  void Changed(const QString& text);

  QPointer<QWidget> editor_;
  CControlUI* owner_ = nullptr;
  bool syncing_ = false;
};

}  // namespace DuiLib
