// Conversions, projection, colour tables and the image pixel module.

#include <gtest/gtest.h>

#include <cmath>
#include <cctype>
#include <cstring>
#include <set>
#include <filesystem>
#include <string>

#include "DcmColors.h"
#include "DicomFixtures.h"
#include "SODcmConvert.h"
#include "SODcmFile.h"
#include "SODcmGetSet.h"
#include "SODcmUtil.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

TEST(DicomValues, AgesDatesAndTimes) {
  struct AgeCase {
    const char* text;
    bool ok;
    int number;
    const char* unit;
  };
  const AgeCase ages[] = {{"045Y", true, 45, "Y"}, {"003M", true, 3, "M"}, {"12W", true, 12, "W"},
                          {"7 d", true, 7, "D"},   {"54", true, 54, "Y"},   {"", false, 0, ""},
                          {"Y", false, 0, ""},     {"1234Y", false, 0, ""}, {"45X", false, 0, ""}};
  for (const AgeCase& c : ages) {
    SODcmAge age{-1, "?"};
    EXPECT_EQ(SODcmConvert::Convert(c.text, age), c.ok) << c.text;
    EXPECT_EQ(age.number, c.ok ? c.number : -1) << c.text;
    EXPECT_EQ(age.unit, c.ok ? c.unit : "?") << c.text;
  }
  std::string text;
  ASSERT_TRUE(SODcmConvert::Convert(SODcmAge{5, "M"}, text));
  EXPECT_EQ(text, "005M");
  EXPECT_FALSE(SODcmConvert::Convert(SODcmAge{1000, "Y"}, text));

  struct DateCase {
    const char* text;
    bool ok;
    SODate date;
  };
  const DateCase dates[] = {{"20240229", true, {2024, 2, 29}}, {"2024.03.01", true, {2024, 3, 1}},
                            {"2024-12-31", true, {2024, 12, 31}}, {"2024/01/02", true, {2024, 1, 2}},
                            {"20230229", false, {}},              {"20241301", false, {}},
                            {"2024-01/02", false, {}},            {"2024012", false, {}},
                            {nullptr, false, {}}};
  for (const DateCase& c : dates) {
    SODate date{1, 1, 1};
    EXPECT_EQ(SODcmConvert::Convert(c.text, date), c.ok) << (c.text ? c.text : "null");
    EXPECT_EQ(date, (c.ok ? c.date : SODate{1, 1, 1}));
  }
  ASSERT_TRUE(SODcmConvert::Convert(SODate{987, 6, 5}, text));
  EXPECT_EQ(text, "09870605");

  struct TimeCase {
    const char* text;
    bool ok;
    SOTime time;
  };
  const TimeCase times[] = {{"101530", true, {10, 15, 30, 0}},     {"101530.123456", true, {10, 15, 30, 123}},
                            {"1015", true, {10, 15, 0, 0}},        {"10", true, {10, 0, 0, 0}},
                            {"10:15:30", true, {10, 15, 30, 0}},   {"241530", false, {}},
                            {"106030", false, {}},                 {"10153", false, {}},
                            {"101530.1234567", false, {}}};
  for (const TimeCase& c : times) {
    SOTime time{1, 1, 1, 1};
    EXPECT_EQ(SODcmConvert::Convert(c.text, time), c.ok) << c.text;
    EXPECT_EQ(time, (c.ok ? c.time : SOTime{1, 1, 1, 1})) << c.text;
  }
  ASSERT_TRUE(SODcmConvert::Convert(SOTime{9, 8, 7, 50}, text));
  EXPECT_EQ(text, "090807.050");
}

TEST(DicomValues, FilmEnumerationsRoundTrip) {
  auto roundTrip = [](auto first, int count) {
    using Enum = decltype(first);
    for (int i = 0; i < count; ++i) {
      std::string text;
      ASSERT_TRUE(SODcmConvert::Convert(static_cast<Enum>(i), text)) << i;
      Enum back = static_cast<Enum>(-1);
      ASSERT_TRUE(SODcmConvert::Convert(text.c_str(), back)) << text;
      EXPECT_EQ(back, static_cast<Enum>(i));
    }
    std::string text = "unchanged";
    EXPECT_FALSE(SODcmConvert::Convert(static_cast<Enum>(count), text));
    EXPECT_EQ(text, "unchanged");
    Enum value = first;
    EXPECT_FALSE(SODcmConvert::Convert("NO SUCH VALUE", value));
  };
  roundTrip(FILMSIZE_8INX10IN, 12);
  roundTrip(FILMORIENT_LANDSCAPE, 2);
  roundTrip(FILMFORMAT_GRAYSCALE, 2);
  roundTrip(MEDIUM_BLUE_FILM, 5);
  roundTrip(PRIORITY_HIGH, 3);
  roundTrip(MAGNIFY_BILINEAR, 4);
  roundTrip(PRINTSTATUS_PENDING, 5);
  std::string text;
  ASSERT_TRUE(SODcmConvert::Convert(FILMSIZE_14INX17IN, text));
  EXPECT_EQ(text, "14INX17IN");
  ASSERT_TRUE(SODcmConvert::Convert(PRINTSTATUS_FAILURE, text));
  EXPECT_EQ(text, "FAILURE");
}

TEST(DicomValues, ProjectionRoundTripsOnAnObliquePlane) {
  SODcmImageProject p;
  p.rows = 256;
  p.columns = 200;
  // Rows run along (1, 1, 0)/sqrt2, columns along (0, 0, -1); spacing 0.7 between rows, 0.4 between columns.
  const double s = std::sqrt(0.5);
  const double orientation[6] = {s, s, 0, 0, 0, -1};
  std::copy(orientation, orientation + 6, p.orientation);
  p.position[0] = -100;
  p.position[1] = 20;
  p.position[2] = 50;
  p.spacing[0] = 0.7;
  p.spacing[1] = 0.4;
  SOPoint3F patient;
  ASSERT_TRUE(SODcmUtil::ImageToPatientCoords(p, SOPointF{10, 0}, patient));
  EXPECT_NEAR(patient.x, -100 + 10 * 0.4 * s, 1e-4);
  EXPECT_NEAR(patient.y, 20 + 10 * 0.4 * s, 1e-4);
  ASSERT_TRUE(SODcmUtil::ImageToPatientCoords(p, SOPointF{0, 10}, patient));
  EXPECT_NEAR(patient.z, 50 - 10 * 0.7, 1e-4);
  for (SOPointF image : {SOPointF{0, 0}, SOPointF{199, 255}, SOPointF{37.5f, 12.25f}}) {
    SOPointF back;
    ASSERT_TRUE(SODcmUtil::ImageToPatientCoords(p, image, patient));
    ASSERT_TRUE(p.PatientToImageCoords(patient, back));
    EXPECT_NEAR(back.x, image.x, 1e-3);
    EXPECT_NEAR(back.y, image.y, 1e-3);
  }
  // A point off the plane projects along the normal.
  SOPoint3F normal;
  ASSERT_TRUE(SODcmUtil::ImageNormalVector(p, normal));
  EXPECT_NEAR(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z, 1, 1e-6);
  EXPECT_NEAR(normal.x * s + normal.y * s, 0, 1e-6);
  ASSERT_TRUE(p.ImageToPatientCoords(SOPointF{20, 30}, patient));
  SOPoint3F off{patient.x + 5 * normal.x, patient.y + 5 * normal.y, patient.z + 5 * normal.z};
  SOPointF back;
  ASSERT_TRUE(SODcmUtil::PatientToImageCoords(p, off, back));
  EXPECT_NEAR(back.x, 20, 1e-3);
  EXPECT_NEAR(back.y, 30, 1e-3);
  SODcmImageProject degenerate;
  std::fill(degenerate.orientation, degenerate.orientation + 6, 0.0);
  EXPECT_FALSE(degenerate.PatientToImageCoords(off, back));
  EXPECT_FALSE(degenerate.ImageNormalVector(normal));
}

TEST(DicomValues, ColourTablesMatchTheWellKnownPalettes) {
  const std::vector<unsigned char>* tables[] = {&DcmColors::HotIron, &DcmColors::PET, &DcmColors::HotMetalBlue,
                                                &DcmColors::PET20Step};
  for (const auto* table : tables) {
    ASSERT_EQ(table->size(), 768u);
    EXPECT_EQ((*table)[0] + (*table)[1] + (*table)[2], 0);  // every palette starts black
  }
  fs::path root = orvanta::test::PydicomTestFiles();
  if (root.empty()) GTEST_SKIP() << "python3-pydicom palettes not installed";
  const char* files[] = {"hotiron.dcm", "pet.dcm", "hotmetalblue.dcm", "pet20step.dcm"};
  for (int k = 0; k < 4; ++k) {
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile((root.parent_path() / "palettes" / files[k]).c_str()));
    int worst = 0;
    for (int channel = 0; channel < 3; ++channel) {
      const unsigned char* bytes = nullptr;
      unsigned long count = 0;
      ASSERT_TRUE(file.GetDataset()->GetUint8Array(0x00281201 + channel, bytes, count));
      ASSERT_EQ(count, 256u);  // 8-bit entries, two to a word
      for (int i = 0; i < 256; ++i) worst = std::max(worst, std::abs(int((*tables[k])[i * 3 + channel]) - bytes[i]));
    }
    EXPECT_LE(worst, 2) << files[k];
  }
}

TEST(DicomValues, ImagePixelModuleRoundTrips) {
  std::vector<unsigned char> pixels(2 * 3 * 4 * 2);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 7);
  SODcmImagePixel module;
  module.samplesPerPixel = 1;
  module.photometric = PHOTOMETRIC_MONOCHROME2;
  module.rows = 3;
  module.columns = 4;
  module.bitsAllocated = 8;
  module.bitsStored = 8;
  module.highBit = 7;
  module.numberOfFrames = 2;
  module.pixelData = SOData<unsigned char>(pixels.data(), static_cast<uint32_t>(3 * 4 * 2));
  SODcmDataset ds;
  ASSERT_TRUE(SODcmGetSet::Set(ds, module));
  SODcmImagePixel back;
  ASSERT_TRUE(SODcmGetSet::Get(ds, back));
  EXPECT_EQ(back.photometric, PHOTOMETRIC_MONOCHROME2);
  EXPECT_EQ(back.rows, 3);
  EXPECT_EQ(back.columns, 4);
  EXPECT_EQ(back.numberOfFrames, 2);
  EXPECT_EQ(back.pixelRepresentation, 0);
  ASSERT_EQ(back.pixelData.count, 24u);
  EXPECT_FALSE(back.pixelData.owned);
  EXPECT_EQ(std::memcmp(back.pixelData.data, pixels.data(), 24), 0);
  DcmImageInputData frame;
  ASSERT_TRUE(SODcmUtil::GetImageInputData(&ds, frame, 1));
  EXPECT_EQ(reinterpret_cast<const int16_t*>(frame.data.data)[0], pixels[12]);
  module.pixelData.count = 23;  // one byte short
  SODcmDataset refused;
  EXPECT_FALSE(SODcmGetSet::Set(refused, module));
  EXPECT_FALSE(SODcmGetSet::Get(refused, back));
}

TEST(DicomValues, GeneratedUidsAreValidAndDistinct) {
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    std::string uid = SODcmUtil::GenerateUID();
    ASSERT_LE(uid.size(), 64u);
    ASSERT_EQ(uid.rfind("2.25.", 0), 0u);
    // Components are digits without leading zeros.
    for (size_t start = 0; start < uid.size();) {
      size_t end = std::min(uid.find('.', start), uid.size());
      ASSERT_GT(end, start) << uid;
      ASSERT_TRUE(end - start == 1 || uid[start] != '0') << uid;
      for (size_t k = start; k < end; ++k) ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(uid[k]))) << uid;
      start = end + 1;
    }
    EXPECT_TRUE(seen.insert(uid).second) << uid;
  }
  EXPECT_EQ(SODcmUtil::GetCurrentDcmDate().size(), 8u);
  EXPECT_EQ(SODcmUtil::GetCurrentDcmTime().size(), 6u);
}
