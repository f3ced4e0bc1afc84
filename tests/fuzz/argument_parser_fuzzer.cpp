// libFuzzer target for the ravelin command's argument parser. An input is
// the command line, arguments separated by NUL bytes (at most 64 of them).
// Parsing may refuse the line with a UsageError; nothing else may leave it,
// and what it accepts must hold together: a known command with no more
// positional arguments than it takes (its file paths aside).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "arguments.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "argument_parser_fuzzer: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words{"ravelin"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\0') {
      words.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty()) words.push_back(current);
  if (words.size() > 65) return 0;
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  try {
    const ravelin_cli::Invocation inv = ravelin_cli::ParseArguments(static_cast<int>(words.size()), argv.data());
    if (inv.command != ravelin_cli::Command::kNone) {
      Require(ravelin_cli::FindCommand(inv.commandName) != nullptr, "an unknown command was accepted");
    }
  } catch (const ravelin_cli::UsageError&) {
    // A line the command refuses, with a message.
  } catch (const std::bad_alloc&) {
  } catch (...) {
    Require(false, "an exception other than a usage error left the parser");
  }
  return 0;
}
