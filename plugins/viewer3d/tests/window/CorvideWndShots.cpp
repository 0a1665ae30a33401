// The 3D viewer window as users see it, for the shots tool.

#include "SOCorvideWnd.h"
#include "Shots.h"
#include "UITestDriver.h"

using namespace DuiLib;

// The window as the program shows it before a series is loaded, on the VR page.
ORVANTA_SHOT("3d/main") {
  auto* window = new SOCorvideWnd();
  HWND hwnd = window->Create(nullptr, L"SOCorvideWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 760);
  window->ShowVRPage();
  UITest::ProcessEvents(100);
  return {hwnd, [window] { delete window; }};
}

// The MPR page's tools.
ORVANTA_SHOT("3d/main_mpr") {
  auto* window = new SOCorvideWnd();
  HWND hwnd = window->Create(nullptr, L"SOCorvideWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 760);
  window->ShowMPRPage();
  UITest::ProcessEvents(100);
  return {hwnd, [window] { delete window; }};
}

// The VE page's tools.
ORVANTA_SHOT("3d/main_ve") {
  auto* window = new SOCorvideWnd();
  HWND hwnd = window->Create(nullptr, L"SOCorvideWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 760);
  window->ShowVEPage();
  UITest::ProcessEvents(100);
  return {hwnd, [window] { delete window; }};
}
