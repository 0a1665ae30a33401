#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DcmImageInputData.h"
#include "SODcmImageProject.h"

class SODcmDataset;
class SODcmSR;
struct HGDIOBJ__;  // HBITMAP of the window layer

class SODcmUtil {
 public:
  // Decodes frame `frame` of the dataset's pixel data (native, RLE, JPEG, JPEG-LS or JPEG 2000)
  // into `out`: grey data as type 2 with the frame's rescale values, colour data as type 9.
  // Only that frame is read from the file. False, with `out` cleared, when the frame does not
  // exist, the pixel data are shorter than the header says or the data cannot be decoded.
  static bool GetImageInputData(SODcmDataset* dataset, DcmImageInputData& out, unsigned long frame);

  // Decoded grey values of a grey record; false for other types.
  static bool GetImagePixelData(const DcmImageInputData& input, DcmImagePixelData& out);
  // The same into the caller's buffer of `capacity` values; false when it is too small.
  static bool GetImagePixelData(const DcmImageInputData& input, short* buffer, unsigned capacity);
  // Colour words 0x00RRGGBB of a colour record (type 9 or 10); false for grey.
  static bool GetImagePixelData(const DcmImageInputData& input, DcmImagePixelDataRGB& out);

  // Resamples `input` to columns x rows (bilinear) into `out`; false for empty input or sizes.
  static bool ZoomImagePixelData(const DcmImageInputData& input, DcmImageInputData& out, int columns,
                                 int rows);

  // Windows a grey record into 8-bit indices, one byte per pixel, rows padded to a multiple of
  // four bytes (`bits` must hold rows x that stride). Values are rescaled first unless
  // `storedValues`; a width below 1 windows the frame's min..max. MONOCHROME1 records are shown
  // inverted relative to MONOCHROME2, and `invert` inverts again. False for colour or empty data.
  static bool SetBitmapData8Bits(unsigned char* bits, const DcmImageInputData& input, double center,
                                 double width, bool invert, bool storedValues);
  // The window a width below 1 stands for, in modality values: the frame's min..max with padding
  // left out. False for colour or empty data.
  static bool GetAutomaticWindow(const DcmImageInputData& input, double& center, double& width);
  // The same window, each 8-bit index then given as colours[index]: rows of 32-bit pixels
  // `stride` pixels apart (at least the columns). The same image as SetBitmapData8Bits drawn
  // through a 256-entry palette, without the 8-bit step. One table per window and palette maps
  // every stored value; the calling thread keeps the last few, so the frames of a series shown
  // with one window share theirs.
  static bool SetBitmapData32Bits(uint32_t* bits, size_t stride, const DcmImageInputData& input,
                                  double center, double width, bool invert, bool storedValues,
                                  const uint32_t colours[256]);

  // The modality value (rescaled) of the pixel at column x, row y of a grey record.
  static bool GetImagePixelValue(const DcmImageInputData& input, int x, int y, double& value);

  // The text of a Basic Text SR: its content tree as lines of UTF-8.
  static bool GetSRContentUTF8(SODcmDataset* dataset, std::string& text);
  // That text cut into pages: "Times New Roman" at 24 pixels in a 728 x 964 area, as many
  // characters per page as fit (at least one). Needs the application's font database; without a
  // QGuiApplication the whole text is one page.
  static std::vector<std::wstring> GetSRPages(const std::string& utf8);
  // Draws page `page` of those pages, black on white, into a 728 x 964 grey record (values 0 to
  // 255). False without a QGuiApplication, for a document without text or a page past the end.
  static bool GetImagePixelDataOfSR(SODcmDataset* dataset, DcmImageInputData& out, int page);

  static bool ImageToPatientCoords(const SODcmImageProject& project, const SOPointF& image,
                                   SOPoint3F& patient);
  static bool PatientToImageCoords(const SODcmImageProject& project, const SOPoint3F& patient,
                                   SOPointF& image);
  static bool ImageNormalVector(const SODcmImageProject& project, SOPoint3F& normal);

  // A new, unfinished Basic Text SR for the study of the image at `imagePath`: patient and study
  // attributes copied, new Series and SOP Instance UIDs, PARTIAL and UNVERIFIED, content date and
  // time now. False when the image cannot be read or has no Study Instance UID.
  static bool CreateSR(SODcmSR& sr, const char* imagePath);

  // A thumbnail of frame 0 of the image at `path`: a 32-bit bitmap of width x height with the
  // image fitted in (aspect kept, centred on black), grey images through their first window or,
  // without one, their own range. The caller deletes it (DeleteObject); null when unreadable.
  static HGDIOBJ__* CreateBitmap(const char* path, int width, int height);

  // A new UID: "2.25." and a random 128-bit number.
  static std::string GenerateUID();
  // Today as "YYYYMMDD" and now as "HHMMSS", local time.
  static std::string GetCurrentDcmDate();
  static std::string GetCurrentDcmTime();
};
