#pragma once

// Film and print enumerations of basic print management; SODcmConvert turns them into the
// DICOM strings and back. Each is an int underneath, so a number read from a file or a setting is
// a value the range checks can refuse.

enum SODcmFilmSizeID : int {
  FILMSIZE_8INX10IN = 0,
  FILMSIZE_14INX17IN = 1,
  FILMSIZE_8_5INX11IN = 2,
  FILMSIZE_10INX12IN = 3,
  FILMSIZE_10INX14IN = 4,
  FILMSIZE_11INX14IN = 5,
  FILMSIZE_11INX17IN = 6,
  FILMSIZE_14INX14IN = 7,
  FILMSIZE_24CMX24CM = 8,
  FILMSIZE_24CMX30CM = 9,
  FILMSIZE_A4 = 10,
  FILMSIZE_A3 = 11,
};

enum SODcmFilmOrientation : int {
  FILMORIENT_LANDSCAPE = 0,
  FILMORIENT_PORTRAIT = 1,
};

// Kept in the film file's private attribute; 1 prints in colour (print type 1).
enum SODcmFilmFormat : int {
  FILMFORMAT_GRAYSCALE = 0,
  FILMFORMAT_COLOR = 1,
};

enum SODcmMediumType : int {
  MEDIUM_BLUE_FILM = 0,
  MEDIUM_CLEAR_FILM = 1,
  MEDIUM_MAMMO_BLUE_FILM = 2,
  MEDIUM_MAMMO_CLEAR_FILM = 3,
  MEDIUM_PAPER = 4,
};

enum SODcmPrintPriority : int {
  PRIORITY_HIGH = 0,
  PRIORITY_LOW = 1,
  PRIORITY_MED = 2,
};

enum SODcmMagnificationType : int {
  MAGNIFY_BILINEAR = 0,
  MAGNIFY_CUBIC = 1,
  MAGNIFY_NONE = 2,
  MAGNIFY_REPLICATE = 3,
};

// Execution status of a print job; 3 and 4 are what a finished job keeps.
enum SODcmPrintStatus : int {
  PRINTSTATUS_PENDING = 0,
  PRINTSTATUS_QUEUED = 1,
  PRINTSTATUS_PRINTING = 2,
  PRINTSTATUS_DONE = 3,
  PRINTSTATUS_FAILURE = 4,
};
