// The help pages, the manual page and the completion scripts of ravelin,
// written from the flag table (flags.h) and the commands' own texts.
#ifndef RAVELIN_TOOLS_HELP_H
#define RAVELIN_TOOLS_HELP_H

#include <cstddef>
#include <string>

namespace ravelin_cli {

// "usage: ravelin [OPTIONS] COMMAND ARGS..." and the help page.
const char* UsageLine();
std::string HelpText();
// The help of one command: its usage, what it does, two or three examples,
// and its flags. "" for an unknown command.
std::string CommandHelp(const std::string& command);

// The manual page, in roff; the completion scripts for bash and zsh.
std::string ManualPage(const char* version);
std::string BashCompletion();
std::string ZshCompletion();

// text as lines of at most width columns: the first starts at column (text
// already on it), the others at indent. Ends with a newline.
std::string Wrap(const std::string& text, std::size_t column, std::size_t indent, std::size_t width);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_HELP_H
