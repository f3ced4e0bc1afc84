#include "system.h"

#include <ravelin/RegularExpression.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

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

}  // namespace

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

std::string SignalText(int sig) {
  const char* text = strsignal(sig);
  return text == nullptr ? "signal " + std::to_string(sig) : std::string(text);
}

}  // namespace ravelin_cli
