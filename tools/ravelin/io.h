// What ravelin reads and writes around the library: the subject, standard
// output, messages on standard error and the progress line.
#ifndef RAVELIN_TOOLS_IO_H
#define RAVELIN_TOOLS_IO_H

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace ravelin_cli {

// The whole of standard input.
bool ReadStandardInput(std::string& out, std::string& error);

// "ravelin: " + message + newline on standard error, bytes as they are.
void Complain(const std::string& message);

// Standard output, written as bytes: no translation, NUL bytes and newlines
// inside matched text pass through.
class Output {
 public:
  // The first one made sets up standard output, before anything is written.
  Output();
  void Write(std::string_view text);
  void Put(char c);
  void Number(std::int64_t n);
  // Hands what is buffered to the system, so that a message on standard
  // error comes after the lines before it.
  void Flush();
  // Flushes; false when a write failed (a full disk, a closed pipe).
  bool Finish();
};

// A line on standard error that shows how far a file command has come. It is
// shown only when standard error is a terminal, is redrawn at most ten times
// a second, and is wiped by Clear.
class Progress {
 public:
  Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() { Clear(); }

  bool Enabled() const { return enabled_; }
  // No line from now on (a run that talks with the user on the terminal).
  void Disable() {
    Clear();
    enabled_ = false;
  }
  // Redraws the line when enough time has passed since the last drawing.
  void Update(unsigned long files, unsigned long matches);
  // Removes the line, if one is shown.
  void Clear();

 private:
  bool enabled_;
  bool shown_ = false;
  unsigned calls_ = 0;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_IO_H
