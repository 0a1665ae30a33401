#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <gtest/gtest.h>
#include <dcmtk/oflog/oflog.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "DicomFixtures.h"
#include "SODcmFile.h"
#include "SODcmUtil.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;
using orvanta::test::MakeTempDir;

namespace {

std::string Sop(SODcmFile& file) {
  std::string uid;
  file.GetDataset()->GetString(0x00080018, uid);
  return uid;
}

std::string TransferSyntax(const fs::path& path) {
  DcmFileFormat ff;
  OFString uid;
  if (ff.loadFile(path.c_str()).good()) ff.getMetaInfo()->findAndGetOFString(DCM_TransferSyntaxUID, uid);
  return uid.c_str();
}

int PixelAt(SODcmFile& file, int index) {
  DcmImageInputData d;
  if (!SODcmUtil::GetImageInputData(file.GetDataset(), d, 0)) return -99999;
  return reinterpret_cast<const int16_t*>(d.data.data)[index];
}

std::string Dump(DcmFileFormat& format) {
  std::ostringstream out;
  format.print(out);
  return out.str();
}

// A dump less the empty (0000,0000) element that zero bytes parse into.
std::string WithoutZeroElement(std::string dump) {
  const std::string line = "\n(0000,0000) ?? (no value available)";
  if (const size_t at = dump.find(line); at != std::string::npos) dump.erase(at, dump.find('\n', at + 1) - at);
  return dump;
}

// What the code under test writes on stderr.
class StderrCapture {
 public:
  explicit StderrCapture(const fs::path& file) : file_(file) {
    std::fflush(stderr);
    saved_ = ::dup(2);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 2);
    ::close(fd);
  }
  ~StderrCapture() { Stop(); }
  std::string Stop() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      ::dup2(saved_, 2);
      ::close(saved_);
      saved_ = -1;
    }
    std::ifstream in(file_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  fs::path file_;
  int saved_ = -1;
};

size_t FilesIn(const fs::path& dir) {
  size_t n = 0;
  for (auto it = fs::directory_iterator(dir); it != fs::directory_iterator(); ++it) ++n;
  return n;
}

}  // namespace

TEST(DicomFile, LoadFailureKeepsThePreviousContent) {
  auto dir = MakeTempDir("load");
  fx::CtSeriesOptions options;
  options.slices = 1;
  auto series = fx::WriteCtSeries(dir, options);
  SODcmFile file;
  ASSERT_TRUE(file.LoadFile(series.files[0].c_str()));
  std::ofstream(dir / "garbage.dcm") << "not a DICOM file at all";
  EXPECT_FALSE(file.LoadFile((dir / "garbage.dcm").c_str()));
  EXPECT_FALSE(file.LoadFile((dir / "missing.dcm").c_str()));
  EXPECT_FALSE(file.LoadFile(nullptr));
  EXPECT_EQ(Sop(file), series.sopUids[0]);
  EXPECT_EQ(fs::path(file.GetFilePath()), series.files[0]);
}

TEST(DicomFile, ParsesEveryEncodingAsDcmtksLoadFileDoes) {
  // The same elements, the same values left on disk, and the same values once all are read.
  for (const char* name : {"CT_small.dcm", "MR_small_implicit.dcm", "MR_small_bigendian.dcm", "ExplVR_BigEndNoMeta.dcm",
                           "image_dfl.dcm", "MR_small_RLE.dcm", "SC_rgb_small_odd_jpeg.dcm", "no_meta.dcm",
                           "UN_sequence.dcm", "nested_priv_SQ.dcm", "rtplan_truncated.dcm"}) {
    SCOPED_TRACE(name);
    fs::path path = orvanta::test::PydicomFile(name);
    if (path.empty()) GTEST_SKIP() << "pydicom test files not installed";
    DcmFileFormat plain;
    const bool plainLoaded = plain.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 4096, ERM_autoDetect).good();
    SODcmFile file;
    ASSERT_EQ(file.LoadFile(path.c_str()), plainLoaded);
    if (!plainLoaded) continue;
    EXPECT_EQ(Dump(*file.GetFileFormat()), Dump(plain));
    EXPECT_EQ(file.GetFileFormat()->loadAllDataIntoMemory().good(), plain.loadAllDataIntoMemory().good());
    EXPECT_EQ(Dump(*file.GetFileFormat()), Dump(plain));
  }
}

TEST(DicomFile, ZerosAfterTheDatasetAreNotParsedNorLogged) {
  // The dataset ends where a file's trailing zeros begin, also where the last value itself ends
  // in zeros; a value made only of zeros that ends the file is still read whole.
  auto dir = MakeTempDir("zeros");
  fx::MrImageOptions blank;
  blank.blank = true;
  blank.name = "blank.dcm";
  const fs::path mr = fx::WriteMrImage(dir), empty = fx::WriteMrImage(dir, blank);
  struct Case {
    fs::path file, plain;
  } cases[] = {
      {fx::WriteZeroPaddedCopy(mr, dir / "padded.dcm"), mr},
      {fx::WriteZeroPaddedCopy(mr, dir / "few.dcm", 1030), mr},
      {empty, empty},
      {fx::WriteZeroPaddedCopy(empty, dir / "blank_padded.dcm", 4096), empty},
  };
  // DCMTK's own level is the library's, whatever the process asks of the others.
  OFLog::configure(OFLogger::TRACE_LOG_LEVEL);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.filename().string());
    DcmFileFormat plain;
    ASSERT_TRUE(plain.loadFile(c.plain.c_str()).good());
    SODcmFile file;
    StderrCapture capture(dir / "stderr.txt");
    ASSERT_TRUE(file.LoadFile(c.file.c_str()));
    EXPECT_EQ(capture.Stop(), "");
    if (c.file.filename() == "blank_padded.dcm") {
      // The pixels of zeros run into the padding: read the slow way, but read right.
      EXPECT_EQ(PixelAt(file, 256 * 256 - 1), 0);
      continue;
    }
    EXPECT_EQ(Dump(*file.GetFileFormat()), Dump(plain));
    ASSERT_TRUE(file.GetFileFormat()->loadAllDataIntoMemory().good());
    ASSERT_TRUE(plain.loadAllDataIntoMemory().good());
    EXPECT_EQ(Dump(*file.GetFileFormat()), Dump(plain));
  }
  OFLog::configure(OFLogger::ERROR_LOG_LEVEL);
}

TEST(DicomFile, AByteAfterZerosIsNeverLost) {
  // Zeros are only the end of a file when every one of them is. One byte that is not zero, wherever
  // it sits among them (first, at the edges of the loader's blocks and pages, near the end), and
  // everything DCMTK reads is read, but for the empty element it makes of zeros.
  auto dir = MakeTempDir("stray");
  const fs::path mr = fx::WriteMrImage(dir);
  const auto start = fs::file_size(mr);
  const fs::path padded = fx::WriteZeroPaddedCopy(mr, dir / "padded.dcm", 140000);
  const auto size = fs::file_size(padded);
  for (const uintmax_t at : {start, start + 1, uintmax_t(262143), uintmax_t(262144), size - 4097, size - 4096,
                             size - 1025, size - 2}) {
    SCOPED_TRACE(at);
    const fs::path stray = dir / "stray.dcm";
    fs::copy_file(padded, stray, fs::copy_options::overwrite_existing);
    {
      std::fstream out(stray, std::ios::in | std::ios::out | std::ios::binary);
      out.seekp(std::streamoff(at));
      out.put('\x01');
    }
    DcmFileFormat plain;
    const bool plainLoaded = plain.loadFile(stray.c_str()).good();
    SODcmFile file;
    ASSERT_EQ(file.LoadFile(stray.c_str()), plainLoaded);
    if (plainLoaded) EXPECT_EQ(WithoutZeroElement(Dump(*file.GetFileFormat())), WithoutZeroElement(Dump(plain)));
  }
}

TEST(DicomFile, FlushedSavesWriteTheToolkitsOwnEncoding) {
  // Flushed saves go through a writer of their own: deflated data must reach the file whole.
  auto dir = MakeTempDir("encodings");
  for (const char* name : {"CT_small.dcm", "MR_small_bigendian.dcm", "image_dfl.dcm", "MR_small_RLE.dcm"}) {
    SCOPED_TRACE(name);
    fs::path path = orvanta::test::PydicomFile(name);
    if (path.empty()) GTEST_SKIP() << "pydicom test files not installed";
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(path.c_str(), true));
    fs::path expected = dir / (std::string(name) + ".expected"), saved = dir / name;
    ASSERT_TRUE(file.GetFileFormat()->saveFile(expected.c_str()).good());
    ASSERT_TRUE(file.SaveFile(saved.c_str(), true));
    EXPECT_TRUE(orvanta::test::FileBytes(expected) == orvanta::test::FileBytes(saved));
  }
}

TEST(DicomFile, SavingOverItsOwnSourceKeepsThePixels) {
  auto dir = MakeTempDir("self");
  fx::CtSeriesOptions options;
  options.slices = 1;
  auto series = fx::WriteCtSeries(dir, options);
  const char* path = series.files[0].c_str();
  SODcmFile file;
  ASSERT_TRUE(file.LoadFile(path, false));  // pixel data stay on disk
  ASSERT_TRUE(file.GetDataset()->SetString(0x00100010, "Renamed^Patient"));
  ASSERT_TRUE(file.SaveFile(path, true));
  EXPECT_EQ(FilesIn(dir), 1u);  // no temporary file left behind
  SODcmFile back;
  ASSERT_TRUE(back.LoadFile(path, true));
  std::string name;
  ASSERT_TRUE(back.GetDataset()->GetString(0x00100010, name));
  EXPECT_EQ(name, "Renamed^Patient");
  EXPECT_EQ(PixelAt(back, 64 * 128 + 64), fx::CtStoredValue(0, 64, 64, 128, 128));
  // The first object still reads its pixels after the file under it was replaced.
  EXPECT_EQ(PixelAt(file, 64 * 128 + 64), fx::CtStoredValue(0, 64, 64, 128, 128));
}

TEST(DicomFile, FailedSaveLeavesTheOldFile) {
  auto dir = MakeTempDir("fail");
  fx::CtSeriesOptions options;
  options.slices = 1;
  auto series = fx::WriteCtSeries(dir / "in", options);
  SODcmFile file;
  ASSERT_TRUE(file.LoadFile(series.files[0].c_str(), true));
  // The target is a folder: the rename fails after the data were written.
  fs::create_directories(dir / "target.dcm" / "inside");
  EXPECT_FALSE(file.SaveFile((dir / "target.dcm").c_str()));
  EXPECT_TRUE(fs::is_directory(dir / "target.dcm" / "inside"));
  EXPECT_FALSE(file.SaveFile((dir / "no" / "such" / "folder.dcm").c_str()));
  // A read-only folder cannot take the temporary file; the good file there stays as it was.
  fs::path locked = dir / "locked";
  fs::create_directories(locked);
  fs::copy_file(series.files[0], locked / "good.dcm");
  auto before = fs::file_size(locked / "good.dcm");
  ::chmod(locked.c_str(), 0555);
  if (::access((locked / "x").c_str(), W_OK) != 0 && geteuid() != 0) {
    EXPECT_FALSE(file.SaveFile((locked / "good.dcm").c_str()));
    EXPECT_EQ(fs::file_size(locked / "good.dcm"), before);
  }
  ::chmod(locked.c_str(), 0755);
  EXPECT_EQ(FilesIn(dir), 3u);  // in, target.dcm, locked: no temporary files
}

TEST(DicomFile, SaveWithoutKeepingTheSyntaxDecompresses) {
  auto dir = MakeTempDir("syntax");
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.syntax = fx::Syntax::JpegLsLossless;
  auto series = fx::WriteCtSeries(dir, options);
  SODcmFile file;
  ASSERT_TRUE(file.LoadFile(series.files[0].c_str()));
  fs::path kept = dir / "kept.dcm", plain = dir / "plain.dcm";
  ASSERT_TRUE(file.SaveFile(kept.c_str()));
  EXPECT_EQ(TransferSyntax(kept), "1.2.840.10008.1.2.4.80");
  ASSERT_TRUE(file.SaveFile(plain.c_str(), false));
  EXPECT_EQ(TransferSyntax(plain), "1.2.840.10008.1.2.1");
  SODcmFile back;
  ASSERT_TRUE(back.LoadFile(plain.c_str()));
  EXPECT_EQ(PixelAt(back, 70 * 128 + 50), fx::CtStoredValue(0, 70, 50, 128, 128));
  EXPECT_EQ(fs::path(file.GetFilePath()), plain);
}

TEST(DicomFile, NewAndReceivedObjectsHaveNoPath) {
  SODcmFile file;
  EXPECT_STREQ(file.GetFilePath(), "");
  auto* dataset = new DcmDataset;
  dataset->putAndInsertString(DCM_SOPInstanceUID, "1.2.3.4");
  file.TakeDataset(dataset);
  EXPECT_EQ(Sop(file), "1.2.3.4");
  EXPECT_STREQ(file.GetFilePath(), "");
  SODcmFile copy;
  copy.CopyFrom(file);
  ASSERT_TRUE(file.GetDataset()->SetString(0x00080018, "9.9"));
  EXPECT_EQ(Sop(copy), "1.2.3.4");
}

TEST(DicomFile, HostileValuesLoadAndStayAsTheyAre) {
  auto dir = MakeTempDir("hostile");
  struct Case {
    fx::Hostile kind;
    const char* sop;
  };
  const Case cases[] = {{fx::Hostile::UidWithDotDot, "1.2.3.."},
                        {fx::Hostile::UidWithSlash, "/tmp/x"},
                        {fx::Hostile::MissingUids, nullptr}};
  for (const Case& c : cases) {
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(fx::WriteHostileFile(dir, c.kind).c_str()));
    std::string uid = "none";
    EXPECT_EQ(file.GetDataset()->GetString(0x00080018, uid), c.sop != nullptr);
    EXPECT_EQ(uid, c.sop ? c.sop : "none");
  }
  SODcmFile file;
  ASSERT_TRUE(file.LoadFile(fx::WriteHostileFile(dir, fx::Hostile::OverlongStrings).c_str()));
  std::wstring name;
  ASSERT_TRUE(file.GetDataset()->GetString(0x00100010, name));
  EXPECT_EQ(name.size(), 5000u);
  EXPECT_FALSE(file.LoadFile(fx::WriteHostileFile(dir, fx::Hostile::TruncatedHeader).c_str()));
}

TEST(DicomFile, PixelsOfAFileReplacedUnderAnOpenObjectAreRefusedNotMisread) {
  auto dir = MakeTempDir("replaced");
  fx::CtSeriesOptions options;
  options.slices = 1;
  auto series = fx::WriteCtSeries(dir, options);
  std::string path = series.files[0].string();
  SODcmFile reader;
  ASSERT_TRUE(reader.LoadFile(path.c_str(), false));  // pixels stay on disk
  // Another object stores a longer header over the same path: the pixels move.
  SODcmFile writer;
  ASSERT_TRUE(writer.LoadFile(path.c_str(), true));
  ASSERT_TRUE(writer.GetDataset()->SetString(0x00081030, std::string(501, 'D')));
  ASSERT_TRUE(writer.SaveFile(path.c_str()));
  DcmImageInputData d;
  EXPECT_FALSE(SODcmUtil::GetImageInputData(reader.GetDataset(), d, 0));
  // Loaded again, the file reads right.
  ASSERT_TRUE(reader.LoadFile(path.c_str(), false));
  EXPECT_EQ(PixelAt(reader, 64 * 128 + 64), fx::CtStoredValue(0, 64, 64, 128, 128));
}
