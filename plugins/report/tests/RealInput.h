#pragma once

// A user's input on our windows: Qt mouse, wheel and key events sent to the top-level QWindow
// that shows a window, at points given in that window's client pixels.

#include <QPoint>
#include <QString>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include "SOWinQt.h"
#include "UITestDriver.h"

namespace realinput {

struct Target {
  QWindow* window = nullptr;
  QPoint at;
};

inline Target At(HWND hwnd, POINT client) {
  QWidget* widget = SOWin::WidgetOf(hwnd);
  if (!widget) return {};
  QWidget* top = widget->window();
  top->winId();  // the top-level widget gets its QWindow
  return Target{top->windowHandle(), widget->mapTo(top, QPoint(client.x, client.y))};
}

inline bool Click(HWND hwnd, POINT client) {
  Target t = At(hwnd, client);
  if (!t.window) return false;
  QTest::mouseMove(t.window, t.at);
  QTest::mouseClick(t.window, Qt::LeftButton, Qt::NoModifier, t.at);
  DuiLib::UITest::ProcessEvents(5);
  return true;
}

// One notch of the wheel per step, towards the user (down the page) for negative steps.
inline bool Wheel(HWND hwnd, POINT client, int steps, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  Target t = At(hwnd, client);
  if (!t.window) return false;
  const QPointF local(t.at);
  const QPointF global(t.window->mapToGlobal(t.at));
  QWheelEvent event(local, global, QPoint(), QPoint(0, 120 * steps), Qt::NoButton, modifiers, Qt::NoScrollPhase,
                    false);
  QCoreApplication::sendEvent(t.window, &event);
  DuiLib::UITest::ProcessEvents(5);
  return true;
}

// Types ASCII text into whatever has the keyboard focus of the window showing hwnd.
inline bool Type(HWND hwnd, const char* text, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  Target t = At(hwnd, POINT{0, 0});
  if (!t.window) return false;
  for (const char* c = text; *c; ++c) QTest::keyClick(t.window, *c, modifiers);
  DuiLib::UITest::ProcessEvents(5);
  return true;
}

inline bool Key(HWND hwnd, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  Target t = At(hwnd, POINT{0, 0});
  if (!t.window) return false;
  QTest::keyClick(t.window, key, modifiers);
  DuiLib::UITest::ProcessEvents(5);
  return true;
}

}  // namespace realinput
