#include "PrinterForm.h"

#include <gtest/gtest.h>

namespace {

PrinterForm Filled() {
  PrinterRecord p;
  p.name = "Dry 胶片";
  p.ip = "192.168.1.20";
  p.port = 104;
  p.calledAE = "DRYVIEW";
  p.callingAE = "ORVANTA";
  return FormOf(p);
}

TEST(PrinterForm, TheFirstMissingOrWrongFieldGivesItsMessage) {
  struct Case {
    void (*spoil)(PrinterForm&);
    const wchar_t* message;
  } cases[] = {
      {[](PrinterForm& f) { f.name.clear(), f.ip.clear(); }, L"The printer name must not be empty!"},
      {[](PrinterForm& f) { f.ip.clear(), f.port.clear(); }, L"The IP address must not be empty!"},
      {[](PrinterForm& f) { f.port.clear(), f.calledAE.clear(); }, L"The port must not be empty!"},
      {[](PrinterForm& f) { f.port = L"abc"; }, L"The port must be between 1 and 65535!"},
      {[](PrinterForm& f) { f.port = L"0"; }, L"The port must be between 1 and 65535!"},
      {[](PrinterForm& f) { f.port = L"70000"; }, L"The port must be between 1 and 65535!"},
      {[](PrinterForm& f) { f.calledAE.clear(), f.callingAE.clear(); }, L"The printer AE title must not be empty!"},
      {[](PrinterForm& f) { f.calledAE = L"TOO_LONG_AE_TITLE"; }, L"The AE title is not valid!"},
      {[](PrinterForm& f) { f.callingAE.clear(); }, L"The local AE title must not be empty!"},
      {[](PrinterForm& f) { f.callingAE = L"A\\B"; }, L"The AE title is not valid!"},
      {[](PrinterForm& f) { f.filmOrient = L"SIDEWAYS"; }, L"Unknown error!"},
      {[](PrinterForm& f) { f.filmFormat.clear(), f.headerRatio.clear(); }, L"Unknown error!"},
      {[](PrinterForm& f) { f.headerRatio.clear(), f.dpi.clear(); }, L"The header size ratio is not valid!"},
      {[](PrinterForm& f) { f.headerRatio = L"0"; }, L"The header size ratio is not valid!"},
      {[](PrinterForm& f) { f.headerRatio = L"-2"; }, L"The header size ratio is not valid!"},
      {[](PrinterForm& f) { f.dpi.clear(), f.priority.clear(); }, L"The DPI must not be empty!"},
      {[](PrinterForm& f) { f.medium = L"GLASS"; }, L"Unknown error!"},
      {[](PrinterForm& f) { f.magnification.clear(); }, L"Unknown error!"},
  };
  for (const Case& c : cases) {
    PrinterForm form = Filled();
    c.spoil(form);
    PrinterRecord untouched;
    untouched.name = "kept";
    PrinterRecord read = untouched;
    const wchar_t* message = ReadPrinterForm(form, read);
    ASSERT_NE(message, nullptr) << c.message;
    EXPECT_STREQ(message, c.message);
    EXPECT_EQ(read, untouched);
  }
}

TEST(PrinterForm, ReadsBackWhatItShowsWithTheRatioInPercentAndCapped) {
  PrinterForm form = Filled();
  PrinterRecord read;
  ASSERT_EQ(ReadPrinterForm(form, read), nullptr);
  EXPECT_EQ(read.name, "Dry 胶片");
  EXPECT_EQ(read.port, 104);
  EXPECT_EQ(read.medium, 0);  // shown empty: the printer's own
  EXPECT_EQ(FormOf(read).headerRatio, L"1.30");

  struct {
    const wchar_t* text;
    double ratio;
  } ratios[] = {{L"1.3", 0.013}, {L"50", 0.3}, {L"30", 0.3}, {L"5", 0.05}};
  for (const auto& r : ratios) {
    form.headerRatio = r.text;
    ASSERT_EQ(ReadPrinterForm(form, read), nullptr);
    EXPECT_DOUBLE_EQ(read.headerSizeRatio, r.ratio) << r.text;
  }
  form.medium = L"BLUE FILM";
  form.filmSize = L"A3";
  ASSERT_EQ(ReadPrinterForm(form, read), nullptr);
  EXPECT_EQ(read.medium, 3);
  EXPECT_EQ(read.filmSize, 12);
}

}  // namespace
