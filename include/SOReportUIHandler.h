#pragma once

// Binding of a report template page to a report document (Wendrel): value controls name the
// attribute they show in their user data ("gggg,eeee", group and element in hexadecimal with one
// separator character), pictures show the document's images. UI thread of the page's window.

#include <cstdint>
#include <string>
#include <vector>

class SODcmSR;

namespace DuiLib {
class CContainerUI;
class CControlUI;
class CPictureUI;
}  // namespace DuiLib

// Told of every change the user makes in a bound control.
class ISOReportUIHandlerCallback {
 public:
  ISOReportUIHandlerCallback() = default;
  ISOReportUIHandlerCallback(const ISOReportUIHandlerCallback&) = default;
  ISOReportUIHandlerCallback& operator=(const ISOReportUIHandlerCallback&) = default;
  virtual void OnControlValueChanged(unsigned int tag, const wchar_t* text) = 0;

 protected:
  ~ISOReportUIHandlerCallback() = default;
};

class SOReportUIHandler {
 public:
  SOReportUIHandler() = default;
  SOReportUIHandler(const SOReportUIHandler&) = default;
  SOReportUIHandler& operator=(const SOReportUIHandler&) = default;
  ~SOReportUIHandler() = default;

  // Attaches to the page (borrowed); with bindEvents the user's changes in its bound controls are
  // reported. Collects the page's pictures in document order.
  void InitUI(DuiLib::CContainerUI* container, bool bindEvents);
  // Fills every bound control, then every image box, from the document. Nothing is reported.
  bool SetDcmSR(SODcmSR* document);
  // Empties every bound control; the pictures stay.
  bool ClearUI();
  // The first control bound to the tag shows the text.
  bool SetValue(unsigned long tag, const wchar_t* text);
  // The text the first control bound to the tag shows.
  bool GetValue(unsigned long tag, std::wstring& text);
  // Enables or disables the editable value controls (labels stay as they are).
  bool EnableUI(bool enable);
  int GetImageBoxCount();
  // Image box `index` shows the encoded image (JPEG, PNG, BMP).
  bool SetImageBox(int index, unsigned char* bytes, long length);
  void RegisterCallback(ISOReportUIHandlerCallback* callback);
  void UnRegisterCallback(ISOReportUIHandlerCallback* callback);

  // The tag a control's user data names; false for empty user data (the control is unbound).
  static bool ParseTag(const wchar_t* text, unsigned long& tag);

 private:
  DuiLib::CControlUI* FindControl(unsigned long tag);
  DuiLib::CControlUI* FindControl(unsigned short group, unsigned short element);
  DuiLib::CControlUI* FindControl(DuiLib::CContainerUI* container, unsigned short group, unsigned short element);
  void FindPictureUIList(DuiLib::CContainerUI* container);
  void BindControlEvents(DuiLib::CContainerUI* container);
  bool OnControlEvent(void* param);
  void TriggerCallback(unsigned long tag, const wchar_t* text);
  bool EnableUI(DuiLib::CContainerUI* container, bool enable);
  bool SetDcmSR(DuiLib::CContainerUI* container, SODcmSR* document);
  void PutValue(DuiLib::CControlUI* control, unsigned long tag, const std::wstring& text);

  static void SetControlValue_PatientSex(DuiLib::CControlUI* control, const wchar_t* value);
  static bool GetControlValue_PatientSex(DuiLib::CControlUI* control, std::wstring& value);
  // The age pair around `control`: the number edit and the unit combo (either may be null).
  static void GetControlUI_PatientAge(DuiLib::CControlUI* control, DuiLib::CControlUI*& edit,
                                      DuiLib::CControlUI*& combo);
  static void SetControlValue_PatientAge(DuiLib::CControlUI* control, const wchar_t* value);
  static bool GetControlValue_PatientAge(DuiLib::CControlUI* control, std::wstring& value);
  static void SetControlValue_Date(DuiLib::CControlUI* control, const wchar_t* value);
  static bool GetControlValue_Date(DuiLib::CControlUI* control, std::wstring& value);

  DuiLib::CContainerUI* m_pContainer = nullptr;
  std::vector<DuiLib::CPictureUI*> m_pictures;
  std::vector<ISOReportUIHandlerCallback*> m_callbacks;
  uint32_t m_nFilling = 0;  // fills in progress: control events are ignored meanwhile
};
