#pragma once

// The contract between the program (the host) and its plug-in libraries.
//
// A plug-in library exports exactly one function, CreatePlugin (no arguments, a new ISOPlugin*
// or null), declared with ORVANTA_PLUGIN_EXPORT. The host never deletes a plug-in and never
// unloads its library: a plug-in lives until the process ends.
//
// Call order for one plug-in: CreatePlugin, SetExecuter, GetName, GetIcon on the host's loader
// thread; then CreateWnd and GetTitle on the UI thread; from then on OnCommand and OnMessage on
// the UI thread whenever a plug-in (the receiver included) sends a command or a broadcast.
// Plug-ins never call each other directly: every hand-off goes through ISOExecuter.

#include "SOWin32.h"

#include <string>

class SODcmSR;
class ISOExecuter;

class ISOPlugin {
 public:
  // The plug-in's key: unique; every by-name call of the host compares against it, whole and
  // case-sensitively. Also the name word of the plug-in's library file.
  virtual const wchar_t* GetName() = 0;
  // The caption of the plug-in's window (its skin's title); valid only after CreateWnd.
  virtual const wchar_t* GetTitle() = 0;
  // The bar icon, relative to the skin folder ("2d/2D.png").
  virtual const wchar_t* GetIcon() = 0;
  // The plug-in keeps the host for the rest of its life.
  virtual void SetExecuter(ISOExecuter* host) = 0;
  virtual ISOExecuter* GetExecuter() = 0;
  // A named command addressed to this plug-in; true when handled (each command has its own
  // result rule). A null data makes every receiver return false and do nothing.
  virtual bool OnCommand(const char* command, void* data) = 0;
  // A broadcast; the host ignores the result.
  virtual bool OnMessage(int id, void* data, HWND owner) = 0;
  // Creates the plug-in's window as a child of parent at the given client rectangle:
  // style 0x56000000, extended style WS_EX_ACCEPTFILES, window name = its class name.
  virtual HWND CreateWnd(HWND parent, int x, int y, int cx, int cy) = 0;

 protected:
  // Plug-ins are never deleted through this interface.
  ~ISOPlugin() = default;
};

// The host's services. Everything runs synchronously on the calling thread (the UI thread),
// except SetStatusText, which may also be called from worker threads.
class ISOExecuter {
 public:
  // True when a loaded plug-in's key equals name.
  virtual bool HasPlugin(const wchar_t* name) = 0;
  // Brings that plug-in's window to view (selects its bar item); an unknown name does nothing.
  // Always true.
  virtual bool ActivatePlugin(const wchar_t* name) = 0;
  // Shows an ASCII text in the main frame's status label. Always true.
  virtual bool SetStatusText(const char* text) = 0;
  // OnCommand of the first loaded plug-in whose key is name; false (nothing called) for an
  // unknown name.
  virtual bool SendCommand(const wchar_t* name, const char* command, void* data) = 0;
  // OnMessage of every loaded plug-in in load order, the sender included. Always true.
  virtual bool Broadcast(int id, void* data, HWND owner) = 0;
  // count > 0 shows the plug-in's bar badge with the count, otherwise hides it; a null or
  // unknown plug-in does nothing.
  virtual void SetBadge(ISOPlugin* plugin, int count) = 0;

 protected:
  ~ISOExecuter() = default;
};

// The plug-in library's one export.
using CreatePluginFunc = ISOPlugin* (*)();
#define ORVANTA_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

// Broadcast ids (ISOExecuter::Broadcast). What data and owner carry:
// SOMSG_REMOTE_DIAGNOSIS, SOMSG_SHARE_STUDY: PatientRecord* (study, series, instances); owner
//   the sender's window (SHARE: null).
// SOMSG_STUDY_REPORT: const char*, the path of one DICOM image file of the study.
// SOMSG_STUDY_FILM: PatientRecord* holding one SeriesRecord whose instances' storePath are
//   the images' files.
// SOMSG_FILM_FILES, SOMSG_VIEW_FILES: std::vector<std::string>*, DICOM file paths.
// SOMSG_LOGIN_REQUIRED: HWND, the owner of the login dialog (may be null); handled by the host.
// Everything passed belongs to the sender and is valid only during the call.
constexpr int SOMSG_REMOTE_DIAGNOSIS = 0x10004;
constexpr int SOMSG_SHARE_STUDY = 0x10005;
constexpr int SOMSG_STUDY_REPORT = 0x10006;
constexpr int SOMSG_STUDY_FILM = 0x10007;
constexpr int SOMSG_FILM_FILES = 0x40001;
constexpr int SOMSG_VIEW_FILES = 0x50001;
constexpr int SOMSG_LOGIN_REQUIRED = 0x60001;

// Plug-in keys.
constexpr const wchar_t* SOPLUGIN_TESSALY = L"Tessaly";  // 2D viewer
constexpr const wchar_t* SOPLUGIN_CORVIDE = L"Corvide";  // 3D viewer
constexpr const wchar_t* SOPLUGIN_TABRISK = L"Tabrisk";  // study database
constexpr const wchar_t* SOPLUGIN_SEVRANE = L"Sevrane";  // report
constexpr const wchar_t* SOPLUGIN_QUILLON = L"Quillon";  // remote diagnosis
constexpr const wchar_t* SOPLUGIN_BRENVIK = L"Brenvik";  // film

// Commands (ISOExecuter::SendCommand), compared whole and case-sensitively by the receivers.
// "LOADDIR": const char*, a folder ("Tessaly", "Corvide"); true when it names an existing folder.
// "LOADFILES": const char*, file paths joined by '|' ("Corvide").
// "OPEN_SR_FILEG": SROpenRequest* ("Sevrane").
// "CASELIB_DIALOG": CaseLibRequest* ("Sevrane"); always false.
// "SR_PICTURE": SRPictureData* ("Sevrane"); always false.
constexpr const char* SOCMD_LOADDIR = "LOADDIR";
constexpr const char* SOCMD_LOADFILES = "LOADFILES";
constexpr const char* SOCMD_OPEN_SR_FILEG = "OPEN_SR_FILEG";
constexpr const char* SOCMD_CASELIB_DIALOG = "CASELIB_DIALOG";
constexpr const char* SOCMD_SR_PICTURE = "SR_PICTURE";

// Data of "OPEN_SR_FILEG".
struct SROpenRequest {
  SODcmSR* sr = nullptr;  // the sender's document, destroyed right after the call; the receiver opens a copy
  std::string path;       // where saving writes the report back; empty: into the local store
  bool readOnly = false;  // value controls disabled
  bool modified = false;  // opened as unsaved
};

// Data of "CASELIB_DIALOG"; the receiver fills the last three fields.
struct CaseLibRequest {
  HWND owner = nullptr;  // owner of the case library dialog; null: the report plug-in's window
  std::string reserved1;
  std::string reserved2;
  bool append = false;  // true: append the texts to the report's own; false: replace them
  std::wstring finding;
  std::wstring conclusion;
};

// Data of "SR_PICTURE".
struct SRPictureData {
  std::string text;           // Study Instance UID of the image the picture was taken from
  HBITMAP bitmap = nullptr;   // the sender's; the receiver keeps its own copy
};
