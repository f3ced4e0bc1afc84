#include "commands.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "change_files.h"
#include "file_searches.h"
#include "io.h"
#include "setup.h"
#include "subject_commands.h"

namespace ravelin_cli {

int RunCommand(const Invocation& invocation) {
  Output out;
  Setup setup;
  if (!SetUp(invocation, setup)) return kTrouble;
  int status = kFound;
  switch (invocation.command) {
    case Command::kMatch:
    case Command::kMatchAll:
    case Command::kSearch:
    case Command::kGrep:
    case Command::kMerge:
      status = RunSubjectCommand(invocation, setup.re, out);
      break;
    case Command::kFindFiles:
      status = FindFiles(invocation, setup, out);
      break;
    case Command::kGrepFiles:
      status = GrepFiles(invocation, setup, out);
      break;
    case Command::kChangeFiles:
      status = ChangeFiles(invocation, setup, out);
      break;
    case Command::kNone:
      return kTrouble;
  }
  // A string operation whose search the engine gave up (too complex for
  // the subject) has printed an incomplete answer.
  if (!IsFileCommand(invocation.command) && !setup.re.GetLastSearchError().empty()) {
    Complain("the search stopped early: " + setup.re.GetLastSearchError());
    status = kTrouble;
  }
  if (!out.Finish()) {
    Complain(std::string("cannot write standard output: ") + std::strerror(errno));
    return kTrouble;
  }
  return status;
}

}  // namespace ravelin_cli
