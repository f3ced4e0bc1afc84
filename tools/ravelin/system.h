// The few calls ravelin makes to the operating system itself, beside those
// the library makes: file checks before change-files writes anything, and
// the signals that stop a run between two files.
#ifndef RAVELIN_TOOLS_SYSTEM_H
#define RAVELIN_TOOLS_SYSTEM_H

#include <cstdint>
#include <string>

namespace ravelin_cli {

// What a path is, links followed.
enum class EntryKind { kMissing, kFile, kDirectory, kOther };

struct PathFacts {
  EntryKind kind = EntryKind::kMissing;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};
// stat(2) of the path, links followed; kMissing when it cannot be examined.
PathFacts Examine(const std::string& path);

// The whole of a file, read through a descriptor that is always closed.
// 0, or the errno of the failing call.
int ReadFileBytes(const std::string& path, std::string& out);
// The rest of standard input, read the same way. 0, or the errno.
int ReadStandardInputBytes(std::string& out);

// The absolute path with links resolved (realpath), or "" when it cannot be
// found.
std::string ResolvedPath(const std::string& path);

// True when the descriptor is a terminal.
bool IsTerminal(int fd);
// True when standard input is a pipe or a regular file: input that a
// script or another command hands over. False for a terminal, a character
// device such as /dev/null, a socket or a closed descriptor.
bool StandardInputIsData();

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

  // One line of standard input (without its newline), the answer to a
  // question: 1 with a line, 0 at the end of the input, -1 when a stop
  // signal came first (or the input could not be read). A signal does not
  // wait for the answer, as it would not wait for a file.
  static int ReadAnswer(std::string& line);
};

// "Interrupt", "Terminated", "Hangup": the system's name for a signal.
std::string SignalText(int sig);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_SYSTEM_H
