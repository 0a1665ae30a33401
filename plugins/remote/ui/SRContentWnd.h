#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RemoteUI.h"

class SODcmSR;

// Told of every value the user changes in the content panel.
class ISRContentCallback {
 public:
  virtual void OnContentValueChanged(DWORD tag, const wchar_t* text) = 0;

 protected:
  ~ISRContentCallback() = default;
};

// The value controls of a consultation report bound to a report document. Controls name the
// attribute they show in their user data ("gggg,eeee", hexadecimal, one separator character);
// the page is laid out in the skin's "attributePanel". The plug-in keeps its own binding: it
// loads no report template, shows no images, writes single values as plain texts, and a date
// control reports nothing when it loses the focus. UI thread only.
class CSRContentWnd : public DuiLib::WndDialog {
 public:
  const wchar_t* GetWindowClassName() const override { return L"CSRContentWnd"; }
  void InitWindow() override;

  // Appended unless already registered; borrowed.
  void AddListener(ISRContentCallback* listener);
  // The user's changes in the container's bound value controls are reported from now on.
  void BindEvents(DuiLib::CContainerUI* container);
  // Fills every bound control of the container from the document; nothing is reported.
  bool FillFromSR(DuiLib::CContainerUI* container, SODcmSR* sr);
  // Enables or disables the editable value controls (labels stay as they are).
  void EnableUI(DuiLib::CContainerUI* container, bool enable);
  // The first control bound to the tag shows the text; false for a null text, no panel, no
  // control with the tag, or a date control given a text that is no DICOM date (it keeps its
  // day then).
  bool SetValue(DWORD tag, const wchar_t* text);
  // The page of value controls ("attributePanel"); null before the window initialised.
  DuiLib::CContainerUI* AttributePanel() const { return panel_; }

  // The tag a control's user data names; false for empty user data (the control is unbound).
  static bool ParseTag(const wchar_t* text, DWORD& tag);
  // The document's value of a tag: the report's own fields through the report accessors,
  // every other tag as the dataset's text.
  static bool ReadDocument(SODcmSR& sr, DWORD tag, std::wstring& text);
  static bool WriteDocument(SODcmSR& sr, DWORD tag, const wchar_t* text);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/report_content.xml"; }

 private:
  bool OnControlEvent(void* param);
  void Report(DWORD tag, const wchar_t* text);
  void Fill(DuiLib::CContainerUI* container, SODcmSR* sr);

  int32_t filling_ = 0;  // fills in progress: control events are ignored meanwhile
  std::vector<ISRContentCallback*> listeners_;
  DuiLib::CContainerUI* panel_ = nullptr;
};
