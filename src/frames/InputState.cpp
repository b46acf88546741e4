#include "frames/InputState.h"

namespace frames {

const char* KindCaptionPrefix(InputKind k) {
  switch (k) {
    case ikAvi: return "Pelinoxa processing AVI: ";
    case ikBmp: return "Pelinoxa processing BMP: ";
    case ikFits: return "Pelinoxa processing FIT: ";
    case ikJpeg: return "Pelinoxa processing JPG: ";
    case ikTiff: return "Pelinoxa processing TIF: ";
  }
  return "Pelinoxa processing BMP: ";
}

const char* KindPluralPrefix(InputKind k) {
  switch (k) {
    case ikAvi: return "Pelinoxa processing AVI: ";
    case ikBmp: return "Pelinoxa processing BMPs: ";
    case ikFits: return "Pelinoxa processing FITs: ";
    case ikJpeg: return "Pelinoxa processing JPGs: ";
    case ikTiff: return "Pelinoxa processing TIFs: ";
  }
  return "Pelinoxa processing BMPs: ";
}

}  // namespace frames
