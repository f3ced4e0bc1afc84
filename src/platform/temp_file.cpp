#include "platform/temp_file.h"

#include <cerrno>
#include <utility>

namespace RegexClass {
namespace detail {

const char kTempFilePrefix[] = ".ravelin-";

void RemoveLiveTempFiles() {}

TempFile::TempFile(TempFile&& other) noexcept
    : fd_(std::move(other.fd_)), name_(std::move(other.name_)), created_(other.created_) {
  other.created_ = false;
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    Discard();
    fd_ = std::move(other.fd_);
    name_ = std::move(other.name_);
    created_ = other.created_;
    other.created_ = false;
  }
  return *this;
}

bool TempFile::Create(const std::string& dir, int* err) {
  Discard();
  fd_ = CreateTempFile(dir, kTempFilePrefix, &name_, err);
  created_ = fd_.Valid();
  return created_;
}

bool TempFile::KeepAs(const std::string& target, int* err) {
  fd_.Reset();
  if (!created_) {
    if (err != nullptr) *err = EBADF;
    return false;
  }
  if (!Rename(name_, target, err)) return false;
  created_ = false;
  return true;
}

void TempFile::Discard() {
  fd_.Reset();
  if (!created_) return;
  created_ = false;
  Unlink(name_, nullptr);
}

}  // namespace detail
}  // namespace RegexClass
