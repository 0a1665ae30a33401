// Desktop services: mapped files, modules, menus, shell open, choosers, printers, the tray.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "SODialog.h"
#include "SOGdiPlus.h"
#include "WinTestUtil.h"

namespace {

namespace fs = std::filesystem;

TEST(Shell, MappedFileIsExclusiveGrowsAndPersists) {
  const fs::path dir = orvanta::test::MakeTempDir("map");
  // Backslashes as the callers write them.
  const std::string path = (dir / "vol.raw").string();
  std::string windowsPath = path;
  std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
  HANDLE file = CreateFileA(windowsPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE)
      << "no sharing means no second opener";
  const DWORD size = 3 * 64 * 64 * 2;
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, size, nullptr);
  ASSERT_NE(mapping, nullptr);
  auto* view = static_cast<uint16_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  for (DWORD i = 0; i < size / 2; ++i) view[i] = static_cast<uint16_t>(i);
  // A refused second creator must not truncate the file under the live mapping.
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(fs::file_size(path), size);
  EXPECT_EQ(view[size / 2 - 1], static_cast<uint16_t>(size / 2 - 1));
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FALSE(UnmapViewOfFile(view));
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(fs::file_size(path), size);
  std::ifstream in(path, std::ios::binary);
  in.seekg(2 * 1000);
  uint16_t v = 0;
  in.read(reinterpret_cast<char*>(&v), 2);
  EXPECT_EQ(v, 1000);
  // Free again once closed.
  HANDLE again = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(fs::exists(path));
}

TEST(Shell, LibrariesLoadAndResolveSymbols) {
  HMODULE m = LoadLibraryA("libm.so.6");
  ASSERT_NE(m, nullptr);
  auto cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(m, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(GetProcAddress(m, "NoSuchExport"), nullptr);
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_EQ(LoadLibraryA("/nonexistent/libNothing.so"), nullptr);
}

TEST(Shell, PopupMenuAnswersThroughTheHookAndPostsCommands) {
  HWND owner = wintest::MakeTop();
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 9, L"Open Containing Folder");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING | MF_GRAYED, 10, L"Delete");
  EXPECT_EQ(GetMenuItemCount(menu), 3);
  int seenX = 0;
  SOWin::SetPopupMenuHook([&](HMENU m, int x, int, HWND o) -> UINT {
    EXPECT_EQ(m, menu);
    EXPECT_EQ(o, owner);
    seenX = x;
    return 9;
  });
  EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 33, 44, 0, owner, nullptr), 9);
  EXPECT_EQ(seenX, 33);
  wintest::Rec().Clear();
  EXPECT_EQ(TrackPopupMenu(menu, 0, 0, 0, 0, owner, nullptr), TRUE);
  SOWin::PumpEvents(10);
  EXPECT_EQ(wintest::Rec().Count(owner, WM_COMMAND), 1);
  SOWin::SetPopupMenuHook({});
  EXPECT_TRUE(DestroyMenu(menu));
  EXPECT_FALSE(DestroyMenu(menu));
  DestroyWindow(owner);
}

TEST(Shell, ShellOpenAndChoosersGoThroughTheirHooks) {
  std::vector<std::string> calls;
  SOWin::SetShellOpenHook(
      [&](const std::string& verb, const std::string& file, const std::string& params, const std::string&) {
        calls.push_back(verb + "|" + file + "|" + params);
        return true;
      });
  EXPECT_GT(reinterpret_cast<std::uintptr_t>(
                ShellExecuteA(nullptr, "open", "explorer.exe", "C:\\store\\a", nullptr, SW_SHOWNORMAL)),
            32u);
  EXPECT_GT(reinterpret_cast<std::uintptr_t>(
                ShellExecuteW(nullptr, L"open", L"https://example.org/x", nullptr, nullptr, SW_SHOWNORMAL)),
            32u);
  EXPECT_EQ(calls,
            (std::vector<std::string>{"open|explorer.exe|C:\\store\\a", "open|https://example.org/x|"}));
  SOWin::SetShellOpenHook({});

  SOWin::SetFileChooserHook([](const std::string& kind, const std::string& title) {
    return kind == "folder" && title == "Select folder" ? std::string("/data/images") : std::string();
  });
  BROWSEINFOW bi;
  bi.lpszTitle = L"Select folder";
  bi.ulFlags = BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&bi);
  ASSERT_NE(list, nullptr);
  wchar_t path[260];
  EXPECT_TRUE(SHGetPathFromIDListW(list, path));
  EXPECT_STREQ(path, L"/data/images");
  CoTaskMemFree(list);
  // The helper gives the chosen folder whole, however long, and false when cancelled.
  const std::string deep = "/data/" + std::string(300, 'd');
  SOWin::SetFileChooserHook([&](const std::string& kind, const std::string& title) {
    return kind == "folder" && title == "Select folder" ? deep : std::string();
  });
  std::string folder;
  EXPECT_TRUE(SODialog::BrowseForFolder(nullptr, L"Select folder", "/start", folder));
  EXPECT_EQ(folder, deep);
  folder = "kept";
  EXPECT_FALSE(SODialog::BrowseForFolder(nullptr, L"Other", "", folder));
  EXPECT_EQ(folder, "kept");
  wchar_t file[8] = {};
  OPENFILENAMEW ofn;
  ofn.lpstrFile = file;
  ofn.nMaxFile = 8;
  EXPECT_FALSE(GetOpenFileNameW(&ofn)) << "cancelled";
  SOWin::SetFileChooserHook(
      [](const std::string&, const std::string&) { return std::string("/a/much/too/long/name.xml"); });
  EXPECT_FALSE(GetOpenFileNameW(&ofn)) << "a path longer than the buffer is refused, not cut";

  // Multiple selection: the folder and each name, NUL-separated; one file is its whole path.
  struct {
    const char* chosen;
    std::wstring buffer;  // empty: refused
  } choices[] = {{"/d/a.dcm\n/d/b c.dcm", std::wstring(L"/d\0a.dcm\0b c.dcm\0\0", 18)},
                 {"/d/a.dcm", std::wstring(L"/d/a.dcm\0\0", 10)},
                 {"/a.dcm\n/b.dcm", std::wstring(L"/\0a.dcm\0b.dcm\0\0", 15)},
                 {"/d/a.dcm\n/e/b.dcm", L""},
                 {"/d/a.dcm\n/d/sub/b.dcm", L""}};
  for (const auto& c : choices) {
    const std::string chosen = c.chosen;
    SOWin::SetFileChooserHook([&](const std::string& kind, const std::string&) { return kind == "open" ? chosen : ""; });
    std::wstring buffer(64, L'#');
    OPENFILENAMEW multi;
    multi.lpstrFile = buffer.data();
    multi.nMaxFile = static_cast<DWORD>(buffer.size());
    multi.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT;
    EXPECT_EQ(GetOpenFileNameW(&multi) != FALSE, !c.buffer.empty()) << chosen;
    if (!c.buffer.empty()) {
      EXPECT_EQ(buffer.substr(0, c.buffer.size()), c.buffer) << chosen;
    }
  }
  // The helper gives whole paths in the order chosen; cancelled or too long for the result, none.
  struct {
    const char* chosen;
    size_t maxChars;
    std::vector<std::string> paths;
  } files[] = {{"/d/a.dcm\n/d/b c.dcm", 64, {"/d/a.dcm", "/d/b c.dcm"}},
               {"/d/a.dcm", 64, {"/d/a.dcm"}},
               {"/a.dcm\n/b.dcm", 64, {"/a.dcm", "/b.dcm"}},
               {"", 64, {}},
               {"/d/a.dcm\n/d/b.dcm", 8, {}}};
  for (const auto& f : files) {
    const std::string chosen = f.chosen;
    SOWin::SetFileChooserHook([&](const std::string& kind, const std::string&) { return kind == "open" ? chosen : ""; });
    std::vector<std::string> paths;
    EXPECT_EQ(SODialog::ChooseFiles(nullptr, L"DICOM \0*.*\0\0", f.maxChars, paths), !f.paths.empty()) << chosen;
    EXPECT_EQ(paths, f.paths) << chosen;
  }
  SOWin::SetFileChooserHook({});
}

TEST(Shell, PdfPrinterIsListedAndPrintsPages) {
  orvanta::test::EnsureQtApp();
  const fs::path dir = orvanta::test::MakeTempDir("print");
  SOWin::AddPdfPrinterForTest("Test PDF", dir.string());
  DWORD needed = 0, returned = 0;
  EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 1, nullptr, 0, &needed,
                             &returned));
  ASSERT_GT(needed, 0u);
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(EnumPrintersA(6, nullptr, 1, buf.data(), needed, &needed, &returned));
  auto* entries = reinterpret_cast<PRINTER_INFO_1A*>(buf.data());
  bool found = false;
  for (DWORD i = 0; i < returned; ++i) found |= std::string(entries[i].pName) == "Test PDF";
  EXPECT_TRUE(found);

  EXPECT_EQ(CreateDCA(nullptr, "No Such Printer", nullptr, nullptr), nullptr);
  HDC dc = CreateDCA(nullptr, "Test PDF", nullptr, nullptr);
  ASSERT_NE(dc, nullptr);
  const int width = GetDeviceCaps(dc, PHYSICALWIDTH);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  EXPECT_GT(dpi, 0);
  EXPECT_NEAR(width * 25.4 / dpi, 210, 6) << "A4 by default";
  DOCINFOW di;
  di.lpszDocName = L"SOPRINTNAME";
  ASSERT_GE(StartDocW(dc, &di), 1);
  for (int page = 0; page < 2; ++page) {
    ASSERT_GE(StartPage(dc), 1);
    RECT r{100, 100, 1000, 600};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    Gdiplus::Graphics g(dc);
    Gdiplus::Pen pen(Gdiplus::Color(255, 255, 0, 0), 10);
    EXPECT_EQ(g.DrawLine(&pen, 0, 0, 500, 500), Gdiplus::Ok);
    EndPage(dc);
  }
  EXPECT_GE(EndDoc(dc), 1);
  DeleteDC(dc);
  const fs::path pdf = dir / "SOPRINTNAME.pdf";
  ASSERT_TRUE(fs::exists(pdf));
  std::ifstream in(pdf, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content.rfind("%PDF", 0), 0u);
  EXPECT_NE(content.find("/Count 2"), std::string::npos);
}

TEST(Shell, TrayIconsAndTextClipboard) {
  HWND h = wintest::MakeTop();
  NOTIFYICONDATAW nid;
  nid.hWnd = h;
  nid.uID = 1;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = 8070;
  wcscpy(nid.szTip, L"Orvanta");
  const int before = SOWin::TrayIconCount();
  EXPECT_TRUE(Shell_NotifyIconW(NIM_ADD, &nid));
  EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &nid));
  EXPECT_EQ(SOWin::TrayIconCount(), before + 1);
  EXPECT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid));
  EXPECT_EQ(SOWin::TrayIconCount(), before);

  ASSERT_TRUE(OpenClipboard(h));
  EmptyClipboard();
  const std::wstring text = L"Patient 张三";
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  std::memcpy(GlobalLock(mem), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(mem);
  EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, mem), mem);
  CloseClipboard();
  ASSERT_TRUE(OpenClipboard(h));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  HANDLE back = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(GlobalLock(back))), text);
  CloseClipboard();
  EXPECT_FALSE(EmptyClipboard()) << "closed";
  DestroyWindow(h);
}

}  // namespace
