#include "io.h"

#include <unistd.h>

#include <cstdio>

#include "system.h"

namespace ravelin_cli {

bool ReadStandardInput(std::string& out, std::string& error) {
  const int code = ReadStandardInputBytes(out);
  if (code == 0) return true;
  error = "cannot read standard input: " + ErrorText(static_cast<unsigned long>(code));
  return false;
}

void Complain(const std::string& message) {
  std::string line = "ravelin: " + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

Output::Output() {
  // Larger writes than the stream's default when the output goes to a file
  // or a pipe; a terminal keeps its line buffering.
  static bool buffered = false;
  if (!buffered && isatty(STDOUT_FILENO) != 1) std::setvbuf(stdout, nullptr, _IOFBF, std::size_t{64} << 10);
  buffered = true;
}

// Only the calling thread writes standard output: the unlocked calls.
void Output::Write(std::string_view text) { fwrite_unlocked(text.data(), 1, text.size(), stdout); }

void Output::Put(char c) { fputc_unlocked(c, stdout); }

void Output::Number(std::int64_t n) { std::fprintf(stdout, "%lld", static_cast<long long>(n)); }

void Output::Flush() { std::fflush(stdout); }

bool Output::Finish() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

Progress::Progress() : enabled_(isatty(STDERR_FILENO) == 1), last_(std::chrono::steady_clock::now()) {}

void Progress::Update(unsigned long files, unsigned long matches) {
  if (!enabled_) return;
  // Reading the clock on every match would cost more than the match; look
  // every 64 calls.
  if ((++calls_ & 63) != 1) return;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  std::fprintf(stderr, "\rravelin: %lu file%s, %lu match%s", files, files == 1 ? "" : "s", matches,
               matches == 1 ? "" : "es");
  std::fflush(stderr);
  shown_ = true;
}

void Progress::Clear() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace ravelin_cli
