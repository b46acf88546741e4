#include "frames/VideoSource.h"

#include <algorithm>
#include <list>

#include "base/Error.h"
#include "base/Files.h"
#include "frames/AviSource.h"

namespace frames {

namespace {

std::shared_ptr<px::MappedFile> MapVideo(const std::string& path) {
  auto file = std::make_shared<px::MappedFile>();
  if (!file->open(path) || file->size() == 0) throw px::PelinoxaError(avierr::OpenFile);
  return file;
}

VideoBytes BytesOf(const std::shared_ptr<px::MappedFile>& file) {
  return VideoBytes{file->data(), file->size(), file};
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
  if (!AviContainer::LooksLikeAvi(bytes.data, bytes.size)) return MakeFfmpegContainerSource(std::move(bytes));
  AviContainer avi = AviContainer::Parse(bytes.data, bytes.size);
  AviRawLayout layout;
  if (DescribeRawFormat(avi.format, layout))
    return std::make_unique<AviRawSource>(std::move(bytes), std::move(avi), std::move(layout));
  return MakeAviCodecSource(std::move(bytes), std::move(avi));
}

std::unique_ptr<VideoSource> OpenVideo(const std::string& path) { return OpenVideoBytes(BytesOf(MapVideo(path))); }

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
  std::shared_ptr<VideoSource> source = OpenVideoBytes(BytesOf(file));
  cache.push_front(CacheEntry{path, std::move(file), source});
  while (cache.size() > kCapacity) cache.pop_back();
  return source;
}

void VideoSourceCache::Forget(const std::string& path) {
  Cache().remove_if([&](const CacheEntry& e) { return e.path == path; });
}

void VideoSourceCache::Clear() { Cache().clear(); }

}  // namespace frames
