#pragma once
// Streams a file into a temporary file beside its target and renames it over the target on
// commit, so a failed or abandoned write never destroys the previous file (the same idea as
// px::WriteFileAtomic, for writers that produce their bytes piece by piece).
#include <cstddef>
#include <cstdint>
#include <string>

namespace formats {

class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const std::string& path);  // throws px::PelinoxaError
  ~AtomicFileWriter();                                  // removes the temporary file unless committed
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  void write(const void* data, size_t size);  // appends
  void commit();                             // closes and renames over the target

 private:
  [[noreturn]] void fail(const std::string& what);
  std::string path_, temp_;
  int fd_ = -1;
};

}  // namespace formats
