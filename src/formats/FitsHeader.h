#pragma once
// The primary header of a single-image FITS file: the few values this program reads, and the
// channel a file belongs to by its name.
#include <cstddef>
#include <cstdint>
#include <string>

namespace formats {

struct FitsHeader {
  int64_t naxis1 = 0;      // columns
  int64_t naxis2 = 0;      // rows
  int bitpix = 0;          // 16 and 32 are read; 0 when absent or out of range
  int64_t bzero = 0;       // rounded half to even
  size_t dataOffset = 0;   // first data byte: the 2880-byte block after the one holding END
};

// Reads the header cards of a FITS file held in memory (80-byte cards). A card whose first six
// characters are "NAXIS1", "NAXIS2", "BITPIX" or "BZERO " gives a value; the last occurrence
// wins; all other cards are ignored. The value is read from the text after the first "=" up to
// a "/" comment (free format) or, failing that, up to column 30 (fixed format), so cards with
// "=" in column 8 or 9 both work. The END card ends the header.
// Throws px::PelinoxaError for a value that is not a number or a header without an END card.
FitsHeader ReadFitsHeader(const uint8_t* data, size_t size);

enum FitsChannel : int { FitsRed = 0, FitsGreen = 1, FitsBlue = 2, FitsLuminance = 3 };

// The channel by the file's name: "_R", "_G", "_B", "_L" just before the extension (any case),
// overridden by ".red", ".green", ".blue" or ".luminance" anywhere in the name (any case);
// any other name gives FitsGreen.
int FitsChannelFromName(const std::string& path);

}  // namespace formats
