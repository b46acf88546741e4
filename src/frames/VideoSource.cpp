#include "frames/VideoSource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <list>

#include "base/Error.h"
#include "base/Files.h"
#include "frames/AviSource.h"
#include "frames/FileCheck.h"
#include "frames/MapGuard.h"
#include "frames/SerSource.h"

namespace frames {

namespace {

std::string Named(const std::string& text, const std::string& path) { return text + " (\"" + path + "\")"; }

// Keeps the mapping guarded for as long as a source reads it.
struct GuardedFile {
  std::shared_ptr<px::MappedFile> file;
  int slot = -1;
  ~GuardedFile() { UnguardMapping(slot); }
};

std::shared_ptr<px::MappedFile> MapVideo(const std::string& path) {
  const std::string reason = UnreadableFileReason(path);
  if (!reason.empty()) throw px::PelinoxaError(Named(std::string(avierr::OpenFile) + ": " + reason, path));
  auto file = std::make_shared<px::MappedFile>();
  if (!file->open(path))
    throw px::PelinoxaError(Named(std::string(avierr::OpenFile) + ": " + std::strerror(errno), path));
  if (file->size() == 0) throw px::PelinoxaError(Named(std::string(avierr::OpenFile) + ": the file is empty", path));
  return file;
}

VideoBytes BytesOf(const std::shared_ptr<px::MappedFile>& file) {
  auto guarded = std::make_shared<GuardedFile>();
  guarded->file = file;
  guarded->slot = GuardMapping(file->data(), file->size());
  VideoBytes b{file->data(), file->size(), guarded};
  b.path = file->path();
  b.guardSlot = guarded->slot;
  return b;
}

// Reads of a mapped file run under a MappedReadScope, so a file shortened meanwhile gives an
// error for the frame, not a crash.
class GuardedSource final : public VideoSource {
 public:
  explicit GuardedSource(std::unique_ptr<VideoSource> inner) : inner_(std::move(inner)) {}
  int32_t startFrame() const override { return inner_->startFrame(); }
  int32_t frameCount() const override { return inner_->frameCount(); }
  bool hasData(int32_t frame) const override { return inner_->hasData(frame); }
  int width() const override { return inner_->width(); }
  int height() const override { return inner_->height(); }
  void decodeFrame(int32_t frame, ui::Bitmap24& out) override {
    MappedReadScope scope;
    inner_->decodeFrame(frame, out);
    if (scope.caught()) throw px::PelinoxaError(avierr::Shrunk);
  }
  std::string describe() const override { return inner_->describe(); }
  int sampleBits() const override { return inner_->sampleBits(); }
  bool decodeDeep(int32_t frame, formats::TTIFFBitMap& out) override {
    MappedReadScope scope;
    const bool done = inner_->decodeDeep(frame, out);
    if (scope.caught()) throw px::PelinoxaError(avierr::Shrunk);
    return done;
  }
  void setDebayerMethod(DebayerMethod m) override { inner_->setDebayerMethod(m); }
  std::string warnings() const override { return inner_->warnings(); }
  bool knowsColour() const override { return inner_->knowsColour(); }

 private:
  std::unique_ptr<VideoSource> inner_;
};

std::unique_ptr<VideoSource> OpenMapped(const std::shared_ptr<px::MappedFile>& file) {
  const std::string& path = file->path();
  try {
    MappedReadScope scope;
    std::unique_ptr<VideoSource> source = OpenVideoBytes(BytesOf(file));
    if (scope.caught()) throw px::PelinoxaError(avierr::Shrunk);
    return std::make_unique<GuardedSource>(std::move(source));
  } catch (const px::PelinoxaError& e) {
    throw px::PelinoxaError(Named(e.what(), path));
  }
}

struct CacheEntry {
  std::string path;
  std::shared_ptr<px::MappedFile> file;  // identity of the file as opened
  std::shared_ptr<VideoSource> source;
};

std::list<CacheEntry>& Cache() {
  static std::list<CacheEntry> entries;  // most recently used first
  return entries;
}

}  // namespace

std::unique_ptr<VideoSource> OpenAviNative(VideoBytes bytes) {
  AviContainer avi = AviContainer::Parse(bytes.data, bytes.size);
  AviRawLayout layout;
  if (!DescribeRawFormat(avi.format, layout)) throw px::PelinoxaError(avierr::StartDecompression);
  return std::make_unique<AviRawSource>(std::move(bytes), std::move(avi), std::move(layout));
}

std::unique_ptr<VideoSource> OpenVideoBytes(VideoBytes bytes) {
  if (!bytes.data || bytes.size == 0) throw px::PelinoxaError(avierr::OpenFile);
  if (LooksLikeSer(bytes.data, bytes.size)) {
    SerLayout layout = ParseSer(bytes.data, bytes.size);
    return std::make_unique<SerSource>(std::move(bytes), std::move(layout));
  }
  if (!AviContainer::LooksLikeAvi(bytes.data, bytes.size)) return MakeFfmpegContainerSource(std::move(bytes));
  AviContainer avi = AviContainer::Parse(bytes.data, bytes.size);
  AviRawLayout layout;
  if (DescribeRawFormat(avi.format, layout))
    return std::make_unique<AviRawSource>(std::move(bytes), std::move(avi), std::move(layout));
  return MakeAviCodecSource(std::move(bytes), std::move(avi));
}

std::unique_ptr<VideoSource> OpenVideo(const std::string& path) { return OpenMapped(MapVideo(path)); }

size_t LiveSize(const VideoBytes& bytes) {
  if (bytes.path.empty()) return bytes.size;
  struct stat st;
  if (::stat(bytes.path.c_str(), &st) != 0 || st.st_size < 0) return 0;
  return std::min(bytes.size, static_cast<size_t>(st.st_size));
}

std::shared_ptr<VideoSource> VideoSourceCache::Get(const std::string& path) {
  auto& cache = Cache();
  for (auto it = cache.begin(); it != cache.end(); ++it) {
    if (it->path != path) continue;
    if (it->file->sameFileAs(path)) {
      cache.splice(cache.begin(), cache, it);
      return cache.front().source;
    }
    cache.erase(it);  // the file changed on disk
    break;
  }
  auto file = MapVideo(path);
  std::shared_ptr<VideoSource> source = OpenMapped(file);
  cache.push_front(CacheEntry{path, std::move(file), source});
  while (cache.size() > kCapacity) cache.pop_back();
  return source;
}

void VideoSourceCache::Forget(const std::string& path) {
  Cache().remove_if([&](const CacheEntry& e) { return e.path == path; });
}

void VideoSourceCache::Clear() { Cache().clear(); }

}  // namespace frames
