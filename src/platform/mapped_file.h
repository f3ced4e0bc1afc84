// Reading files for a search: opening a regular file without the risk of
// blocking on a FIFO, and a read-only mapping of a large file. Tests can
// make mapping fail (Call::Map); opening takes Call::Open faults.
#ifndef RAVELIN_PLATFORM_MAPPED_FILE_H
#define RAVELIN_PLATFORM_MAPPED_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix_file.h"

namespace RegexClass {
namespace detail {

// Opens path for reading and checks that it is a regular file (a link is
// followed). Never blocks on a FIFO or a device: such a file is refused with
// EINVAL. Invalid, with *err, on failure; *st holds the file's status on
// success.
UniqueFd OpenRegularFile(const std::string& path, FileStat* st, int* err);

// A read-only private mapping of the start of a file, unmapped on
// destruction. Move-only. CAVEAT: a file truncated by another process while
// it is mapped makes reading past its new end fault (SIGBUS); the walk only
// maps files at or above its size threshold.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps the first size bytes of fd (size > 0), advising sequential reading.
  // Invalid, with *err, on failure. The descriptor may be closed afterwards.
  static MappedFile Map(int fd, std::uint64_t size, int* err);

  bool Valid() const { return data_ != nullptr; }
  const char* Data() const { return static_cast<const char*>(data_); }
  std::size_t Size() const { return size_; }

 private:
  void Unmap();
  void* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_PLATFORM_MAPPED_FILE_H
