// The few calls ravelin makes to the operating system itself, beside those
// the library makes: file checks before change-files writes anything, and
// the signals that stop a run between two files.
#ifndef RAVELIN_TOOLS_SYSTEM_H
#define RAVELIN_TOOLS_SYSTEM_H

#include <string>

namespace ravelin_cli {

// True when a file of that name (or a link, even a dangling one) exists.
bool PathExists(const std::string& path);
// True when this process may write the file (write permission as the
// kernel judges it for the real user; root may write nearly anything).
bool WritableByUs(const std::string& path);
// The system's text for an errno value.
std::string ErrorText(unsigned long code);

// Catches SIGINT, SIGTERM and SIGHUP while an object lives. The first of
// them is only noted: the run asks StopSignal() at each file boundary and
// ends there. A second one removes the temporary files of the update in
// flight and ends the process at once with status 128 + signal. The previous
// dispositions come back when the object goes.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The first signal caught, or 0.
  static int StopSignal();
};

// "Interrupt", "Terminated", "Hangup": the system's name for a signal.
std::string SignalText(int sig);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_SYSTEM_H
