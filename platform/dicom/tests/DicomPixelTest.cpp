#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DcmJpeg2000.h"
#include "DicomFixtures.h"
#include "SODcmFile.h"
#include "SODcmUtil.h"
#include "TestSupport.h"

namespace fx = orvanta::fixtures;
using orvanta::test::MakeTempDir;

namespace {

const int16_t* Grey(const DcmImageInputData& d) { return reinterpret_cast<const int16_t*>(d.data.data); }

DcmImageInputData Decode(const std::filesystem::path& path, unsigned long frame = 0) {
  SODcmFile file;
  EXPECT_TRUE(file.LoadFile(path.c_str(), false)) << path;
  DcmImageInputData d;
  EXPECT_TRUE(SODcmUtil::GetImageInputData(file.GetDataset(), d, frame)) << path;
  return d;
}

// A record of given grey values (rows x columns), intercept 0, slope 1.
DcmImageInputData GreyRecord(int rows, int columns, const std::vector<int16_t>& values) {
  DcmImageInputData d;
  d.type = DCM_PIXEL_GRAY16;
  d.rows = static_cast<unsigned short>(rows);
  d.columns = static_cast<unsigned short>(columns);
  d.data.Resize(static_cast<uint32_t>(values.size() * 2));
  std::memcpy(d.data.data, values.data(), values.size() * 2);
  return d;
}

// A one-frame grey image with explicit bits; `words` are the stored 16-bit words.
std::filesystem::path WriteGrey16(const std::filesystem::path& folder, const char* name, int rows, int columns,
                                  int bitsStored, int highBit, int pixelRepresentation, const std::vector<Uint16>& words,
                                  const char* intercept = "0", const char* slope = "1",
                                  const char* photometric = "MONOCHROME2") {
  DcmFileFormat ff;
  DcmDataset* ds = ff.getDataset();
  ds->putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
  ds->putAndInsertString(DCM_SOPInstanceUID, fx::NewUid().c_str());
  ds->putAndInsertUint16(DCM_SamplesPerPixel, 1);
  ds->putAndInsertString(DCM_PhotometricInterpretation, photometric);
  ds->putAndInsertUint16(DCM_Rows, static_cast<Uint16>(rows));
  ds->putAndInsertUint16(DCM_Columns, static_cast<Uint16>(columns));
  ds->putAndInsertUint16(DCM_BitsAllocated, 16);
  ds->putAndInsertUint16(DCM_BitsStored, static_cast<Uint16>(bitsStored));
  ds->putAndInsertUint16(DCM_HighBit, static_cast<Uint16>(highBit));
  ds->putAndInsertUint16(DCM_PixelRepresentation, static_cast<Uint16>(pixelRepresentation));
  ds->putAndInsertString(DCM_RescaleIntercept, intercept);
  ds->putAndInsertString(DCM_RescaleSlope, slope);
  ds->putAndInsertUint16Array(DCM_PixelData, words.data(), words.size());
  std::filesystem::path path = folder / name;
  EXPECT_TRUE(ff.saveFile(path.c_str(), EXS_LittleEndianExplicit).good());
  return path;
}

}  // namespace

TEST(DicomPixel, CtFrameDecodesIdenticallyFromEveryTransferSyntax) {
  auto dir = MakeTempDir("syntax");
  const fx::Syntax syntaxes[] = {fx::Syntax::ExplicitLittle, fx::Syntax::ImplicitLittle, fx::Syntax::ExplicitBig,
                                 fx::Syntax::Rle, fx::Syntax::JpegLossless, fx::Syntax::JpegLsLossless};
  for (fx::Syntax syntax : syntaxes) {
    fx::CtSeriesOptions options;
    options.slices = 3;
    options.syntax = syntax;
    auto series = fx::WriteCtSeries(dir / std::to_string(int(syntax)), options);
    DcmImageInputData d = Decode(series.files[2]);
    ASSERT_EQ(d.type, DCM_PIXEL_GRAY16);
    ASSERT_EQ(d.rows, 128);
    ASSERT_EQ(d.columns, 128);
    EXPECT_EQ(d.intercept, -1024);
    EXPECT_EQ(d.slope, 1);
    int wrong = 0;
    for (int r = 0; r < 128; ++r)
      for (int c = 0; c < 128; ++c) wrong += Grey(d)[r * 128 + c] != fx::CtStoredValue(2, r, c, 128, 128);
    EXPECT_EQ(wrong, 0) << "syntax " << int(syntax);
  }
}

TEST(DicomPixel, StoredBitsAreMaskedShiftedAndSignExtended) {
  auto dir = MakeTempDir("bits");
  struct Case {
    int bitsStored, highBit, pixelRepresentation;
    Uint16 word;
    int expected;
  };
  const Case cases[] = {
      {12, 11, 0, 0xF123, 0x123},  // garbage above the stored bits is dropped
      {12, 11, 1, 0x0FFF, -1},     // 12-bit two's complement
      {12, 11, 1, 0xA800, -2048},  // smallest 12-bit value, garbage above
      {12, 11, 1, 0x07FF, 2047},
      {12, 15, 0, 0x1230, 0x123},  // stored bits at the top of the word
      {16, 15, 1, 0x8000, -32768},
      {8, 7, 1, 0xFF80, -128},
  };
  for (const Case& c : cases) {
    auto path = WriteGrey16(dir, "bits.dcm", 1, 1, c.bitsStored, c.highBit, c.pixelRepresentation, {c.word});
    DcmImageInputData d = Decode(path);
    double value = 0;
    ASSERT_TRUE(SODcmUtil::GetImagePixelValue(d, 0, 0, value));
    EXPECT_EQ(value, c.expected) << std::hex << c.word << " stored " << std::dec << c.bitsStored;
  }
}

TEST(DicomPixel, UnsignedValuesAboveSignedRangeKeepTheirModalityValue) {
  auto dir = MakeTempDir("unsigned");
  auto path = WriteGrey16(dir, "u16.dcm", 1, 4, 16, 15, 0, {0, 32767, 40000, 65535}, "-10", "2");
  DcmImageInputData d = Decode(path);
  const double expected[] = {-10, 65524, 79990, 131060};
  for (int x = 0; x < 4; ++x) {
    double value = 0;
    ASSERT_TRUE(SODcmUtil::GetImagePixelValue(d, x, 0, value));
    EXPECT_DOUBLE_EQ(value, expected[x]) << x;
  }
  // Values the signed range holds are not moved.
  auto small = Decode(WriteGrey16(dir, "small.dcm", 1, 2, 16, 15, 0, {5, 32767}));
  EXPECT_EQ(small.intercept, 0);
  EXPECT_EQ(Grey(small)[1], 32767);
}

TEST(DicomPixel, EightBitWindowMatchesDcm2pnm) {
  if (std::system("command -v dcm2pnm > /dev/null") != 0) GTEST_SKIP() << "dcm2pnm not installed";
  auto dir = MakeTempDir("window");
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.columns = 126;  // rows are then padded to 128 bytes
  auto series = fx::WriteCtSeries(dir, options);
  std::string pgm = (dir / "ref.pgm").string();
  ASSERT_EQ(std::system(("dcm2pnm --write-raw-pnm +Ww 40 400 '" + series.files[0].string() + "' '" + pgm + "'").c_str()), 0);
  std::ifstream in(pgm, std::ios::binary);
  std::string magic;
  int width = 0, height = 0, maxValue = 0;
  in >> magic >> width >> height >> maxValue;
  in.get();
  ASSERT_EQ(magic, "P5");
  ASSERT_EQ(width, 126);
  std::vector<unsigned char> reference(size_t(width) * height);
  in.read(reinterpret_cast<char*>(reference.data()), reference.size());

  DcmImageInputData d = Decode(series.files[0]);
  const int stride = 128;
  std::vector<unsigned char> bits(size_t(stride) * d.rows, 0xAB);
  ASSERT_TRUE(SODcmUtil::SetBitmapData8Bits(bits.data(), d, 40, 400, false, false));
  int worst = 0;
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) worst = std::max(worst, std::abs(bits[r * stride + c] - reference[r * width + c]));
    EXPECT_EQ(bits[r * stride + 126], 0);
    EXPECT_EQ(bits[r * stride + 127], 0);
  }
  EXPECT_LE(worst, 1);
}

TEST(DicomPixel, WindowRowsArePaddedToFourBytes) {
  DcmImageInputData d = GreyRecord(2, 5, {0, 100, 200, 300, 400, 400, 300, 200, 100, 0});
  std::vector<unsigned char> bits(16, 0xAB);
  ASSERT_TRUE(SODcmUtil::SetBitmapData8Bits(bits.data(), d, 200.5, 401, false, false));
  const unsigned char expected[16] = {0, 64, 128, 191, 255, 0, 0, 0, 255, 191, 128, 64, 0, 0, 0, 0};
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(bits[i], expected[i], 1) << i;
}

TEST(DicomPixel, Monochrome1InvertAndZeroWidth) {
  DcmImageInputData d = GreyRecord(1, 3, {-100, 0, 100});
  struct Case {
    bool monochrome1, invert;
    double width;
    unsigned char low, high;
  };
  const Case cases[] = {
      {false, false, 200, 0, 255},
      {true, false, 200, 255, 0},  // MONOCHROME1 shows low values bright
      {true, true, 200, 0, 255},   // and the user's invert turns it back
      {false, true, 200, 255, 0},
      {false, false, 0, 0, 255},   // no window: the frame's own range
  };
  for (const Case& c : cases) {
    d.monochrome1 = c.monochrome1;
    unsigned char bits[4] = {};
    ASSERT_TRUE(SODcmUtil::SetBitmapData8Bits(bits, d, 0, c.width, c.invert, false));
    EXPECT_EQ(bits[0], c.low);
    EXPECT_EQ(bits[2], c.high);
    EXPECT_NEAR(bits[1], 128, 1);
  }
  // Stored values ignore the rescale.
  d.monochrome1 = false;
  d.intercept = 1000;
  unsigned char bits[4] = {};
  ASSERT_TRUE(SODcmUtil::SetBitmapData8Bits(bits, d, 0, 200, false, true));
  EXPECT_EQ(bits[0], 0);
  EXPECT_EQ(bits[2], 255);
  DcmImageInputData colour;
  colour.type = DCM_PIXEL_RGB24;
  EXPECT_FALSE(SODcmUtil::SetBitmapData8Bits(bits, colour, 0, 200, false, false));
}

TEST(DicomPixel, ColourWindowingIsTheIndexedWindowThroughThePalette) {
  // Every stored value, in rows of 256 written 260 pixels apart.
  std::vector<int16_t> values(65536);
  for (int i = 0; i < 65536; ++i) values[i] = static_cast<int16_t>(i - 32768);
  DcmImageInputData d = GreyRecord(256, 256, values);
  uint32_t grey[256], hot[256];
  for (uint32_t i = 0; i < 256; ++i) {
    grey[i] = 0xFF000000u | 0x010101u * i;
    hot[i] = 0xFF000000u | (i << 16) | ((i * 7 & 255) << 8) | (255 - i);
  }
  struct Case {
    double center, width, slope, intercept;
    bool invert, monochrome1, stored;
    const uint32_t* palette;
  };
  const Case cases[] = {
      {40, 400, 1, -1024, false, false, false, grey},  {40, 400, 1, -1024, false, false, false, hot},
      {40, 400, 1, -1024, true, false, false, grey},   {40, 400, 1, -1024, false, true, false, hot},
      {-600, 1500, 0.5, 0, false, false, false, hot},  {0, 1, 1, 0, false, false, false, grey},
      {100.5, 1, -2, 0, true, false, false, grey},     {0, 0, 1, 0, false, false, false, hot},
      {300, 2000, 1, -1024, false, false, true, grey}, {40, 400, 1, -1024, false, false, false, grey},
  };
  std::vector<unsigned char> levels(256 * 256);
  std::vector<uint32_t> colours(260 * 256, 0xABABABABu);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.center << "/" << c.width << " slope " << c.slope << " invert "
                                    << c.invert << " mono1 " << c.monochrome1 << " stored " << c.stored);
    d.slope = c.slope;
    d.intercept = c.intercept;
    d.monochrome1 = c.monochrome1;
    ASSERT_TRUE(SODcmUtil::SetBitmapData8Bits(levels.data(), d, c.center, c.width, c.invert, c.stored));
    ASSERT_TRUE(SODcmUtil::SetBitmapData32Bits(colours.data(), 260, d, c.center, c.width, c.invert, c.stored,
                                               c.palette));
    int wrong = 0;
    for (int r = 0; r < 256; ++r)
      for (int x = 0; x < 256; ++x) wrong += colours[r * 260 + x] != c.palette[levels[r * 256 + x]];
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(colours[256], 0xABABABABu);  // past the columns nothing is written
  }
  EXPECT_FALSE(SODcmUtil::SetBitmapData32Bits(colours.data(), 255, d, 0, 100, false, false, grey));
  DcmImageInputData colour;
  colour.type = DCM_PIXEL_RGB24;
  EXPECT_FALSE(SODcmUtil::SetBitmapData32Bits(colours.data(), 260, colour, 0, 100, false, false, grey));
}

TEST(DicomPixel, AutomaticWindowLeavesPaddingOut) {
  // Air -1000 to bone 2000 span the window; padding at -2000 (and up to -1500 by range) stays
  // out of it, also once the frame is zoomed for display.
  auto dir = MakeTempDir("padding");
  struct Case {
    fx::PaddedCtOptions options;
    int low, high;                // padding in the record
    unsigned char air, water;     // -1000 and 40 HU shown
  };
  const Case cases[] = {
      {{-2000, 0, true, "value.dcm"}, -2000, -2000, 0, 88},
      {{-2000, -1500, true, "range.dcm"}, -2000, -1500, 0, 88},
      {{-2000, 0, false, "none.dcm"}, 1, 0, 64, 130},  // no padding declared: every value counts
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.name);
    DcmImageInputData d = Decode(fx::WritePaddedCt(dir, c.options));
    EXPECT_EQ(d.paddingLow, c.low);
    EXPECT_EQ(d.paddingHigh, c.high);
    DcmImageInputData zoomed;
    ASSERT_TRUE(SODcmUtil::ZoomImagePixelData(d, zoomed, 128, 128));
    for (const DcmImageInputData* record : {&d, &zoomed}) {
      const int k = record->columns / 64, stride = (record->columns + 3) & ~3;
      std::vector<unsigned char> bits(size_t(stride) * record->rows);
      ASSERT_TRUE(SODcmUtil::SetBitmapData8Bits(bits.data(), *record, 0, 0, false, false));
      auto shown = [&](int row, int column) { return bits[size_t(row * k) * stride + column * k]; };
      EXPECT_EQ(shown(31, 31), 255);  // bone
      EXPECT_EQ(shown(31, 6), c.air);
      EXPECT_EQ(shown(0, 0), 0);      // padding
      EXPECT_NEAR(shown(31, 41), c.water, 1);
    }
  }
}

TEST(DicomPixel, Monochrome1FileIsMarked) {
  auto dir = MakeTempDir("mono1");
  DcmImageInputData d = Decode(WriteGrey16(dir, "m1.dcm", 1, 1, 12, 11, 0, {7}, "0", "1", "MONOCHROME1"));
  EXPECT_TRUE(d.monochrome1);
}

TEST(DicomPixel, ZoomAndPixelValue) {
  DcmImageInputData d = GreyRecord(2, 2, {0, 100, 200, 300});
  d.intercept = -1024;
  DcmImageInputData big;
  ASSERT_TRUE(SODcmUtil::ZoomImagePixelData(d, big, 4, 4));
  EXPECT_EQ(big.rows, 4);
  EXPECT_EQ(big.columns, 4);
  EXPECT_EQ(big.intercept, -1024);
  EXPECT_EQ(Grey(big)[0], 0);
  EXPECT_EQ(Grey(big)[15], 300);
  EXPECT_EQ(Grey(big)[1], 25);  // a quarter of the way from the first to the second column
  DcmImageInputData small;
  ASSERT_TRUE(SODcmUtil::ZoomImagePixelData(d, small, 1, 1));
  EXPECT_EQ(Grey(small)[0], 150);
  EXPECT_FALSE(SODcmUtil::ZoomImagePixelData(d, small, 0, 4));
  double value = 0;
  ASSERT_TRUE(SODcmUtil::GetImagePixelValue(d, 1, 1, value));
  EXPECT_EQ(value, 300 - 1024);
  EXPECT_FALSE(SODcmUtil::GetImagePixelValue(d, 2, 0, value));
  EXPECT_FALSE(SODcmUtil::GetImagePixelValue(d, -1, 0, value));
  short buffer[4];
  EXPECT_FALSE(SODcmUtil::GetImagePixelData(d, buffer, 3));
  ASSERT_TRUE(SODcmUtil::GetImagePixelData(d, buffer, 4));
  EXPECT_EQ(buffer[3], 300);
}

TEST(DicomPixel, RgbImageAndClipFrames) {
  auto dir = MakeTempDir("rgb");
  for (auto syntax : {fx::Syntax::ExplicitLittle, fx::Syntax::Rle, fx::Syntax::JpegLossless}) {
    DcmImageInputData d = Decode(fx::WriteRgbImage(dir / std::to_string(int(syntax)), 48, 64, syntax));
    ASSERT_EQ(d.type, DCM_PIXEL_RGB24) << int(syntax);
    const unsigned char* p = d.data.data + (10 * 64 + 63) * 3;  // row 10, last column
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(p[1], 10 * 255 / 47);
    EXPECT_EQ(p[2], 128);
    DcmImagePixelDataRGB words;
    ASSERT_TRUE(SODcmUtil::GetImagePixelData(d, words));
    EXPECT_EQ(words.data[10 * 64 + 63], (255ul << 16) | (unsigned long)(10 * 255 / 47) << 8 | 128);
  }
  auto clip = fx::WriteRgbClip(dir, 30, 48, 64);
  SODcmFile file;
  ASSERT_TRUE(file.LoadFile(clip.c_str()));
  DcmImageInputData d;
  ASSERT_TRUE(SODcmUtil::GetImageInputData(file.GetDataset(), d, 29));
  EXPECT_EQ(d.data.data[0], (29 % 64) * 255 / 63);  // frame 29 shifts the pattern by 29 columns
  EXPECT_FALSE(SODcmUtil::GetImageInputData(file.GetDataset(), d, 30));
  EXPECT_EQ(d.type, DCM_PIXEL_NONE);
}

TEST(DicomPixel, EnhancedCtTakesRescaleFromTheSharedGroups) {
  auto dir = MakeTempDir("enhanced");
  auto path = fx::WriteEnhancedCt(dir);
  DcmImageInputData d = Decode(path, 11);
  EXPECT_EQ(d.intercept, -1024);
  EXPECT_EQ(Grey(d)[32 * 64 + 32], fx::CtStoredValue(11, 32, 32, 64, 64));
}

TEST(DicomPixel, HostileFilesFailCleanly) {
  auto dir = MakeTempDir("hostile");
  auto files = fx::WriteHostileFiles(dir);
  for (size_t k = 0; k < files.size(); ++k) {
    auto kind = fx::Hostile(k);
    SODcmFile file;
    bool loaded = file.LoadFile(files[k].c_str(), false);
    DcmImageInputData d;
    bool decoded = loaded && SODcmUtil::GetImageInputData(file.GetDataset(), d, 0);
    bool damaged = kind == fx::Hostile::TruncatedPixelData || kind == fx::Hostile::AbsurdDimensions ||
                   kind == fx::Hostile::TruncatedHeader;
    EXPECT_EQ(decoded, !damaged) << files[k];
    if (!decoded) {
      EXPECT_EQ(d.type, DCM_PIXEL_NONE);
    }
    if (loaded && kind != fx::Hostile::AbsurdDimensions) {
      EXPECT_FALSE(SODcmUtil::GetImageInputData(file.GetDataset(), d, 1)) << files[k];
    }
    SODcmFile all;
    if (all.LoadFile(files[k].c_str(), true)) {
      EXPECT_FALSE(damaged && SODcmUtil::GetImageInputData(all.GetDataset(), d, 0));
    }
  }
  DcmImageInputData none;
  EXPECT_FALSE(SODcmUtil::GetImageInputData(nullptr, none, 0));
}

namespace {

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

}  // namespace

TEST(DicomPixel, LargeMultiFrameFileReadsOnlyTheAskedFrame) {
  auto dir = MakeTempDir("large");
  fx::EnhancedCtOptions options;
  options.frames = 200;
  options.rows = 512;
  options.columns = 512;  // 100 MB of pixel data
  auto path = fx::WriteEnhancedCt(dir, options);
  long before = ResidentKiB();
  SODcmFile file;
  ASSERT_TRUE(file.LoadFile(path.c_str(), false));
  DcmImageInputData d;
  ASSERT_TRUE(SODcmUtil::GetImageInputData(file.GetDataset(), d, 150));
  EXPECT_EQ(Grey(d)[256 * 512 + 256], fx::CtStoredValue(150, 256, 256, 512, 512));
  EXPECT_LT(ResidentKiB() - before, 30 * 1024) << "KiB grown while reading one frame";
}

TEST(DicomPixel, FramesOfOneFileDecodeFromSeveralThreads) {
  auto dir = MakeTempDir("threads");
  for (auto syntax : {fx::Syntax::Rle, fx::Syntax::ExplicitLittle}) {
    fx::EnhancedCtOptions options;
    options.frames = 16;
    options.syntax = syntax;
    auto path = fx::WriteEnhancedCt(dir / std::to_string(int(syntax)), options);
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(path.c_str(), false));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] {
        for (int round = 0; round < 8; ++round)
          for (int f = 0; f < 16; ++f) {
            DcmImageInputData d;
            int frame = (f + t * 5) % 16;
            if (!SODcmUtil::GetImageInputData(file.GetDataset(), d, frame) ||
                Grey(d)[20 * 64 + 40] != fx::CtStoredValue(frame, 20, 40, 64, 64))
              ++wrong;
          }
      });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong, 0) << "syntax " << int(syntax);
  }
}

TEST(DicomPixel, CompressedFrameClaimingAHugeImageAllocatesNothing) {
  auto dir = MakeTempDir("huge");
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.syntax = fx::Syntax::Rle;
  auto series = fx::WriteCtSeries(dir, options);
  SODcmFile file;
  ASSERT_TRUE(file.LoadFile(series.files[0].c_str(), true));
  ASSERT_TRUE(file.GetDataset()->SetUint16(0x00280010, 20000));
  ASSERT_TRUE(file.GetDataset()->SetUint16(0x00280011, 20000));  // 800 MB claimed over a few KB
  long before = ResidentKiB();
  DcmImageInputData d;
  EXPECT_FALSE(SODcmUtil::GetImageInputData(file.GetDataset(), d, 0));
  EXPECT_LT(ResidentKiB() - before, 64 * 1024);
}

TEST(DicomPixel, Jpeg2000DeclaringAnotherImageIsRefusedBeforeDecoding) {
  // Mutants of a real 512 x 512 JPEG 2000 CT whose codestream header claims another image: the
  // first would have the decoder allocate 34 GB. Each is refused from the header alone.
  const auto original = orvanta::test::PydicomFile("693_J2KI.dcm");
  if (original.empty()) GTEST_SKIP() << "pydicom test files not installed";
  std::string bytes;
  {
    std::ifstream in(original, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const size_t soc = bytes.find("\xFF\x4F\xFF\x51");
  ASSERT_NE(soc, std::string::npos);
  auto dir = MakeTempDir("j2k");
  struct Mutant {
    const char* name;
    size_t offset;  // from the codestream's start
    std::string value;
    uint32_t width, height;
    uint64_t tiles;
  };
  const Mutant mutants[] = {
      {"unchanged", 8, std::string("\0\0\x02\0", 4), 512, 512, 1},
      {"wide", 8, std::string("\x01\0\x02\0", 4), 0x01000200, 512, 32769},
      {"tall", 12, std::string("\0\0\x04\0", 4), 512, 1024, 2},
      {"tiny tiles", 24, std::string("\0\0\0\x01\0\0\0\x01", 8), 512, 512, 512 * 512},
  };
  for (const Mutant& m : mutants) {
    SCOPED_TRACE(m.name);
    std::string mutated = bytes;
    mutated.replace(soc + m.offset, m.value.size(), m.value);
    DcmJ2KSize size;
    ASSERT_TRUE(ReadJpeg2000Size(reinterpret_cast<const uint8_t*>(mutated.data()) + soc, mutated.size() - soc, size));
    EXPECT_EQ(size.width, m.width);
    EXPECT_EQ(size.height, m.height);
    EXPECT_EQ(size.tiles, m.tiles);
    const auto path = dir / (std::string(m.name) + ".dcm");
    std::ofstream(path, std::ios::binary) << mutated;
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(path.c_str()));
    const long before = ResidentKiB();
    DcmImageInputData d;
    EXPECT_EQ(SODcmUtil::GetImageInputData(file.GetDataset(), d, 0), std::string(m.name) == "unchanged");
    EXPECT_LT(ResidentKiB() - before, 64 * 1024);
  }
}
