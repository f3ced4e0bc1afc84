#include "system.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <ravelin/RegularExpression.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <csignal>
#include <cstdlib>

#include <cerrno>
#include <cstring>
#include <memory>

namespace ravelin_cli {
namespace {

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

volatile sig_atomic_t caughtSignal = 0;
struct sigaction previous[kStopSignalCount];

extern "C" void OnStopSignal(int sig) {
  if (caughtSignal != 0) {
    // Asked twice: no waiting for the file boundary. Only async-signal-safe
    // calls from here on.
    RegexClass::RegularExpression::RemoveTemporaryFiles();
    _exit(128 + sig);
  }
  caughtSignal = sig;
}

// Closes a descriptor when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

EntryKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::kFile;
  if (S_ISDIR(mode)) return EntryKind::kDirectory;
  return EntryKind::kOther;
}

}  // namespace

PathFacts Examine(const std::string& path) {
  PathFacts facts;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return facts;
  facts.kind = KindOf(st.st_mode);
  facts.device = static_cast<std::uint64_t>(st.st_dev);
  facts.inode = static_cast<std::uint64_t>(st.st_ino);
  return facts;
}

namespace {

// Reads what is left of fd to its end into out. 0, or the errno of the
// failing call.
int ReadToEnd(int fd, std::string& out) {
  out.clear();
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
  char block[65536];
  for (;;) {
    const ssize_t n = read(fd, block, sizeof block);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    out.append(block, static_cast<std::size_t>(n));
  }
}

}  // namespace

int ReadFileBytes(const std::string& path, std::string& out) {
  out.clear();
  Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  return ReadToEnd(fd.get(), out);
}

int ReadStandardInputBytes(std::string& out) { return ReadToEnd(STDIN_FILENO, out); }

std::string ResolvedPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string result(resolved);
  free(resolved);
  return result;
}

bool IsTerminal(int fd) { return isatty(fd) == 1; }

bool StandardInputIsData() {
  struct stat st;
  if (fstat(STDIN_FILENO, &st) != 0) return false;
  return S_ISFIFO(st.st_mode) || S_ISREG(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool WritableByUs(const std::string& path) { return access(path.c_str(), W_OK) == 0; }

std::string ErrorText(unsigned long code) { return std::strerror(static_cast<int>(code)); }

StopSignals::StopSignals() {
  caughtSignal = 0;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = &OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : kStopSignals) sigaddset(&action.sa_mask, sig);
  action.sa_flags = SA_RESTART;
  for (int k = 0; k < kStopSignalCount; ++k) {
    sigaction(kStopSignals[k], &action, &previous[k]);
    // A signal ignored when we started (nohup, a background job of a shell
    // without job control) stays ignored.
    if (previous[k].sa_handler == SIG_IGN) sigaction(kStopSignals[k], &previous[k], nullptr);
  }
}

StopSignals::~StopSignals() {
  for (int k = 0; k < kStopSignalCount; ++k) sigaction(kStopSignals[k], &previous[k], nullptr);
}

int StopSignals::StopSignal() { return caughtSignal; }

int StopSignals::ReadAnswer(std::string& line) {
  line.clear();
  sigset_t stops;
  sigemptyset(&stops);
  for (int sig : kStopSignals) sigaddset(&stops, sig);
  for (;;) {
    // The stop signals are held from the test of the flag until ppoll lets
    // them in, so one cannot slip between the two; a signal taken by another
    // thread is seen at the next timeout.
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &stops, &old);
    if (caughtSignal != 0) {
      pthread_sigmask(SIG_SETMASK, &old, nullptr);
      return -1;
    }
    struct pollfd input = {STDIN_FILENO, POLLIN, 0};
    const struct timespec tick = {0, 200 * 1000 * 1000};
    const int ready = ppoll(&input, 1, &tick, &old);
    const int error = errno;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (ready < 0 && error != EINTR) return -1;
    if (ready <= 0) continue;
    char c = 0;
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) return line.empty() ? 0 : 1;
    if (c == '\n') return 1;
    line += c;
  }
}

std::string SignalText(int sig) {
  const char* text = strsignal(sig);
  return text == nullptr ? "signal " + std::to_string(sig) : std::string(text);
}

}  // namespace ravelin_cli
