#include "formats/Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "base/Error.h"
#include "base/Files.h"

namespace formats {

namespace {

using px::PelinoxaError;

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to the
// call site, which turns the message into an exception once no libjpeg frame is left.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  jpeg_progress_mgr progress;
};

extern "C" void JpegErrorExit(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, e->message);
  std::longjmp(e->jump, 1);
}

// Warnings that mean the picture is incomplete or damaged are errors for us; the others
// (extraneous bytes between markers and the like) and trace messages are ignored.
extern "C" void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  int code = cinfo->err->msg_code;
  if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC) JpegErrorExit(cinfo);
  cinfo->err->num_warnings++;
}

// Progressive files may hold any number of scans, each a full pass over the picture; real
// encoders use a dozen or so. Many more are a denial of service, not a picture.
constexpr int MaxJpegScans = 500;

extern "C" void JpegProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > MaxJpegScans) {
      auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
      std::snprintf(e->message, sizeof e->message, "too many scans (more than %d)", MaxJpegScans);
      std::longjmp(e->jump, 1);
    }
  }
}

void InitErrors(ErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = JpegErrorExit;
  err.pub.emit_message = JpegEmitMessage;
  err.message[0] = '\0';
  std::memset(&err.progress, 0, sizeof err.progress);
}

enum class Status { Ok, LibraryError, Cmyk, TooLarge };

// Only trivially destructible locals here: a longjmp may leave this frame.
Status DecodeCore(jpeg_decompress_struct* cinfo, ErrorManager* err, const uint8_t* data, size_t size,
                  ui::Bitmap24& out) {
  if (setjmp(err->jump)) return Status::LibraryError;
  err->progress.progress_monitor = JpegProgress;
  cinfo->progress = &err->progress;
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(cinfo, TRUE);
  if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) return Status::Cmyk;
  if (int64_t(cinfo->image_width) * cinfo->image_height > MaxJpegPixels) return Status::TooLarge;
  cinfo->out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(cinfo);
  const int w = int(cinfo->output_width), h = int(cinfo->output_height);
  if (out.width() != w || out.height() != h) out.reset(w, h);
  JSAMPROW rows[16];
  while (cinfo->output_scanline < cinfo->output_height) {
    int n = 0;
    for (unsigned y = cinfo->output_scanline; y < cinfo->output_height && n < 16; ++y, ++n) rows[n] = out.row(int(y));
    jpeg_read_scanlines(cinfo, rows, JDIMENSION(n));
  }
  jpeg_finish_decompress(cinfo);
  return Status::Ok;
}

Status EncodeCore(jpeg_compress_struct* cinfo, ErrorManager* err, const ui::Bitmap24& pic, int quality,
                  unsigned char** buffer, unsigned long* length) {
  if (setjmp(err->jump)) return Status::LibraryError;
  jpeg_mem_dest(cinfo, buffer, length);
  cinfo->image_width = JDIMENSION(pic.width());
  cinfo->image_height = JDIMENSION(pic.height());
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pic.row(int(cinfo->next_scanline)));
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return Status::Ok;
}

}  // namespace

void DecodeJpegInto(const uint8_t* data, size_t size, ui::Bitmap24& out) {
  ErrorManager err;
  InitErrors(err);
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = &err.pub;
  if (setjmp(err.jump)) throw PelinoxaError(std::string("JPEG error: ") + err.message);
  jpeg_create_decompress(&cinfo);
  struct Guard {
    jpeg_decompress_struct* c;
    ~Guard() { jpeg_destroy_decompress(c); }
  } guard{&cinfo};
  switch (DecodeCore(&cinfo, &err, data, size, out)) {
    case Status::Ok: return;
    case Status::Cmyk: throw PelinoxaError("CMYK JPEG files are not supported");
    case Status::TooLarge:
      throw PelinoxaError("JPEG image too large: " + std::to_string(cinfo.image_width) + " x " +
                          std::to_string(cinfo.image_height) + " pixels");
    case Status::LibraryError: break;
  }
  throw PelinoxaError(std::string("JPEG error: ") + err.message);
}

ui::Bitmap24 DecodeJpeg(const uint8_t* data, size_t size) {
  ui::Bitmap24 out;
  DecodeJpegInto(data, size, out);
  return out;
}

ui::Bitmap24 ReadJpegFile(const std::string& path) {
  px::MappedFile file(path);
  return DecodeJpeg(file.data(), file.size());
}

std::vector<uint8_t> EncodeJpeg(const ui::Bitmap24& picture, int quality) {
  if (picture.empty()) throw PelinoxaError("There is no image to write");
  ErrorManager err;
  InitErrors(err);
  jpeg_compress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = &err.pub;
  if (setjmp(err.jump)) throw PelinoxaError(std::string("JPEG error: ") + err.message);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long length = 0;
  struct Guard {
    jpeg_compress_struct* c;
    unsigned char** b;
    ~Guard() {
      jpeg_destroy_compress(c);
      std::free(*b);
    }
  } guard{&cinfo, &buffer};
  if (EncodeCore(&cinfo, &err, picture, quality, &buffer, &length) != Status::Ok)
    throw PelinoxaError(std::string("JPEG error: ") + err.message);
  return std::vector<uint8_t>(buffer, buffer + length);
}

void SaveJpegFile(const std::string& path, const ui::Bitmap24& picture, int quality) {
  std::vector<uint8_t> bytes = EncodeJpeg(picture, quality);
  px::WriteFileAtomic(path, bytes.data(), bytes.size());
}

}  // namespace formats
