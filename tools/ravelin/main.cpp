// ravelin: every operation of the Ravelin library from the shell.
//
//   ravelin [OPTIONS] COMMAND ARGS...
//
// The command line is read by arguments.cpp with the flag table of flags.cpp
// (which also writes the help, manual page and completions, see help.h) and
// run by commands.cpp (setup.cpp readies it, one file per command family runs
// it, printers.cpp prints); the
// bytes in and out are handled by io.cpp. Exit status as grep has it: 0 found,
// 1 not found, 2 trouble.
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "arguments.h"
#include "commands.h"
#include "exit_status.h"
#include "help.h"
#include "io.h"

#ifndef RAVELIN_VERSION
#define RAVELIN_VERSION "2.1.1"
#endif

int main(int argc, char** argv) {
  using namespace ravelin_cli;
  try {
    const Invocation invocation = ParseArguments(argc, argv);
    std::string page;
    if (invocation.help) {
      page = invocation.helpTopic.empty() ? HelpText() : CommandHelp(invocation.helpTopic);
    } else if (invocation.version) {
      page = "ravelin " RAVELIN_VERSION "\n";
    } else if (invocation.generate == "man") {
      page = ManualPage(RAVELIN_VERSION);
    } else if (invocation.generate == "bash") {
      page = BashCompletion();
    } else if (invocation.generate == "zsh") {
      page = ZshCompletion();
    } else {
      return RunCommand(invocation);
    }
    std::fputs(page.c_str(), stdout);
    return std::fflush(stdout) == 0 ? kFound : kTrouble;
  } catch (const UsageError& e) {
    Complain(e.what());
    std::fprintf(stderr, "%s\n", UsageLine());
    return kTrouble;
  } catch (const std::bad_alloc&) {
    Complain("out of memory");
    return kTrouble;
  } catch (const std::exception& e) {
    Complain(e.what());
    return kTrouble;
  }
}
