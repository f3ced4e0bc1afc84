#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace RegexClass {
namespace detail {
namespace {

void Fail(int* err, int value) {
  if (err != nullptr) *err = value;
}

}  // namespace

UniqueFd OpenRegularFile(const std::string& path, FileStat* st, int* err) {
  if (FaultInjected(Call::Open, err)) return UniqueFd();
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  // It changes nothing for a regular file.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Fail(err, errno);
    return UniqueFd();
  }
  UniqueFd file(fd);
  if (!Fstat(file.Get(), st, err)) return UniqueFd();
  if (!st->IsRegular()) {
    Fail(err, EINVAL);
    return UniqueFd();
  }
  return file;
}

MappedFile::~MappedFile() { Unmap(); }

MappedFile::MappedFile(MappedFile&& other) noexcept : data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
  other.size_ = 0;
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Unmap();
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

void MappedFile::Unmap() {
  if (data_ != nullptr) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

MappedFile MappedFile::Map(int fd, std::uint64_t size, int* err) {
  MappedFile result;
  if (FaultInjected(Call::Map, err)) return result;
  if (size == 0 || size > std::numeric_limits<std::size_t>::max()) {
    Fail(err, EINVAL);
    return result;
  }
  std::size_t length = static_cast<std::size_t>(size);
  void* p = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
  if (p == MAP_FAILED) {
    Fail(err, errno);
    return result;
  }
  ::madvise(p, length, MADV_SEQUENTIAL);  // advice only; a refusal changes nothing
  result.data_ = p;
  result.size_ = length;
  return result;
}

}  // namespace detail
}  // namespace RegexClass
