#include "platform/temp_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>
#include <csignal>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace RegexClass {
namespace detail {

const char kTempFilePrefix[] = ".ravelin-";

namespace {

// The temporary files in flight: a fixed table a signal handler can walk
// without locks or allocation. A slot is claimed (Filling), filled, then
// published (Live); the handler only reads Live slots. A file that finds no
// free slot is still removed on every normal way out.
enum SlotState : int { Free = 0, Filling = 1, Live = 2 };
struct Slot {
  std::atomic<int> state{Free};
  int dirFd = -1;
  char leaf[32] = {};
};
constexpr int kSlots = 64;
Slot slots[kSlots];

int Publish(int dirFd, const std::string& leaf) {
  if (leaf.size() >= sizeof(Slot::leaf)) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = Free;
    if (!slots[i].state.compare_exchange_strong(expected, Filling)) continue;
    slots[i].dirFd = dirFd;
    std::memcpy(slots[i].leaf, leaf.c_str(), leaf.size() + 1);
    slots[i].state.store(Live);
    return i;
  }
  return -1;
}

void Withdraw(int slot) {
  if (slot >= 0) slots[slot].state.store(Free);
}

// Holds back every signal of the calling thread for its lifetime.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    held_ = pthread_sigmask(SIG_BLOCK, &all, &previous_) == 0;
  }
  ~SignalsHeld() {
    if (held_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
  bool held_ = false;
};

}  // namespace

bool IsTempFileName(const char* name) {
  const std::size_t prefix = sizeof(kTempFilePrefix) - 1;
  if (std::strncmp(name, kTempFilePrefix, prefix) != 0) return false;
  const char* rest = name + prefix;
  for (int i = 0; i < 6; ++i) {
    const char c = rest[i];
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum) return false;
  }
  return rest[6] == '\0';
}

void RemoveLiveTempFiles() {
  for (Slot& slot : slots) {
    if (slot.state.load() == Live) ::unlinkat(slot.dirFd, slot.leaf, 0);
  }
}

bool TempFile::Create(const std::string& dir, int* err) {
  Discard();
  const std::string shown = dir.empty() ? std::string(".") : dir;
  std::string leaf;
  UniqueFd parent = OpenParentAt(AT_FDCWD, shown + "/.", &leaf, err);
  if (!parent.Valid()) {
    name_ = shown + "/" + kTempFilePrefix + "XXXXXX";
    return false;
  }
  return CreateAt(parent.Get(), shown, err);
}

bool TempFile::CreateAt(int dirFd, const std::string& shownDir, int* err) {
  Discard();
  const std::string prefix = shownDir.empty() ? std::string() : shownDir + "/";
  dir_ = Duplicate(dirFd, err);
  if (!dir_.Valid()) {
    name_ = prefix + kTempFilePrefix + "XXXXXX";
    return false;
  }
  {
    // A signal handler that removes the files in flight must not come
    // between the file's creation and its entry in the list: signals wait
    // for the two steps.
    SignalsHeld held;
    fd_ = CreateTempFileAt(dir_.Get(), kTempFilePrefix, &leaf_, err);
    if (fd_.Valid()) slot_ = Publish(dir_.Get(), leaf_);
  }
  name_ = prefix + leaf_;
  if (!fd_.Valid()) {
    dir_.Reset();
    return false;
  }
  return true;
}

bool TempFile::KeepAs(const std::string& target, int* err) { return KeepAsAt(AT_FDCWD, target, err); }

bool TempFile::KeepAsAt(int targetDir, const std::string& leaf, int* err) {
  fd_.Reset();
  if (!dir_.Valid()) {
    if (err != nullptr) *err = EBADF;
    return false;
  }
  if (!RenameAt(dir_.Get(), leaf_, targetDir, leaf, err)) return false;
  Forget();
  return true;
}

void TempFile::Discard() {
  fd_.Reset();
  if (!dir_.Valid()) return;
  UnlinkAt(dir_.Get(), leaf_, nullptr);
  Forget();
}

void TempFile::Forget() {
  Withdraw(slot_);
  slot_ = -1;
  dir_.Reset();
}

}  // namespace detail
}  // namespace RegexClass
