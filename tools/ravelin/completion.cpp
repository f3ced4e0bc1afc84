// The completion scripts of ravelin for bash and zsh, from the flag table:
// every flag with its names, its values, and (bash) the commands it is for.
#include <cstddef>
#include <functional>
#include <string>

#include "flags.h"
#include "help.h"

namespace ravelin_cli {
namespace {

// Every spelling of a flag as the shell sees it: -m --max-count; for a flag
// whose value may be left out, its values written on (--color=auto).
std::string Spellings(const Flag& flag) {
  std::string words;
  const auto add = [&words](const std::string& w) { words += (words.empty() ? "" : " ") + w; };
  if (flag.shortName != 0) add(std::string("-") + flag.shortName);
  std::vector<std::string> longs = Words(flag.aliases);
  longs.insert(longs.begin(), flag.longName);
  for (const std::string& name : longs) {
    add("--" + name);
    if (flag.optionalValue)
      for (const std::string& choice : Words(flag.choices)) add("--" + name + "=" + choice);
  }
  return words;
}

// The spellings of the flags meant for any of commands.
std::string SpellingsFor(CommandSet commands) {
  std::size_t count = 0;
  const Flag* flags = Flags(&count);
  std::string words;
  for (std::size_t f = 0; f < count; ++f)
    if ((flags[f].commands & commands) != 0) words += (words.empty() ? "" : " ") + Spellings(flags[f]);
  return words;
}

// The lines of a script that speak of each command in turn.
std::string EachCommand(const std::function<std::string(const CommandShape&)>& line) {
  std::size_t count = 0;
  const CommandShape* commands = Commands(&count);
  std::string lines;
  for (std::size_t c = 0; c < count; ++c) lines += line(commands[c]);
  return lines;
}

// A text inside '[...]' of a zsh _arguments spec, itself in single quotes.
std::string ZshText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      if (c == '[' || c == ']' || c == ':' || c == '\\') out += '\\';
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string BashCompletion() {
  std::size_t count = 0;
  const Flag* flags = Flags(&count);
  std::string script =
      "# bash completion for ravelin (written by ravelin --generate bash)\n"
      "_ravelin() {\n"
      "  local cur prev words cword\n"
      "  if declare -F _init_completion >/dev/null; then\n"
      "    _init_completion || return\n"
      "  else\n"
      "    cur=${COMP_WORDS[COMP_CWORD]}\n"
      "    prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
      "  fi\n"
      "  local commands=\"" +
      EachCommand([](const CommandShape& c) { return std::string(c.name) + " "; }) +
      "help\"\n"
      "  case $prev in\n";
  // The value after a flag that takes one: its choices, a file, or nothing
  // to offer.
  for (std::size_t f = 0; f < count; ++f) {
    const Flag& flag = flags[f];
    if (flag.valueName == nullptr || flag.optionalValue) continue;
    std::string pattern = flag.shortName != 0 ? std::string("-") + flag.shortName + "|" : std::string();
    pattern += std::string("--") + flag.longName;
    const std::string choices = flag.choices == nullptr ? std::string() : flag.choices;
    if (choices == "<file>") {
      script += "    " + pattern + ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
    } else if (!choices.empty()) {
      script += "    " + pattern + ") COMPREPLY=($(compgen -W \"" + choices + "\" -- \"$cur\")); return ;;\n";
    } else {
      script += "    " + pattern + ") return ;;\n";
    }
  }
  script +=
      "    help) COMPREPLY=($(compgen -W \"${commands% help}\" -- \"$cur\")); return ;;\n"
      "  esac\n"
      "  local w have=\"\"\n"
      "  for w in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
      "    case \" $commands \" in *\" $w \"*) have=$w ;; esac\n"
      "  done\n"
      "  if [[ $cur == -* ]]; then\n"
      "    local options\n"
      "    case $have in\n";
  // Once the command is known, only the flags it takes.
  script += EachCommand([](const CommandShape& c) {
    return "      " + std::string(c.name) + ") options=\"" + SpellingsFor(Bit(c.command)) + "\" ;;\n";
  });
  script += "      *) options=\"" + SpellingsFor(kAllCommands) +
            "\" ;;\n"
            "    esac\n"
            "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
            "    return\n"
            "  fi\n"
            "  if [ -z \"$have\" ]; then\n"
            "    COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
            "  else\n"
            "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
            "  fi\n"
            "}\n"
            "complete -o filenames -F _ravelin ravelin\n";
  return script;
}

std::string ZshCompletion() {
  std::string script =
      "#compdef ravelin\n"
      "# zsh completion for ravelin (written by ravelin --generate zsh)\n"
      "local -a commands\n"
      "commands=(\n";
  script +=
      EachCommand([](const CommandShape& c) { return "  '" + std::string(c.name) + ":" + ZshText(c.summary) + "'\n"; });
  script += "  'help:the help of one command'\n)\n_arguments -s -S \\\n";
  std::size_t count = 0;
  const Flag* flags = Flags(&count);
  for (std::size_t f = 0; f < count; ++f) {
    const Flag& flag = flags[f];
    std::vector<std::string> names;
    if (flag.shortName != 0) names.push_back(std::string("-") + flag.shortName);
    names.push_back(std::string("--") + flag.longName);
    for (const std::string& alias : Words(flag.aliases)) names.push_back("--" + alias);
    // The value: -m+ takes -m2 or -m 2, --max-count= either form, and =-
    // an optional one.
    std::string suffixShort, suffixLong, value;
    if (flag.valueName != nullptr) {
      suffixShort = "+";
      suffixLong = flag.optionalValue ? "=-" : "=";
      const std::string choices = flag.choices == nullptr ? std::string() : flag.choices;
      const std::string action = choices == "<file>" ? "_files" : choices.empty() ? "" : "(" + choices + ")";
      value = std::string(flag.optionalValue ? "::" : ":") + ZshText(flag.valueName) + ":" + action;
    }
    std::string group, spelled;
    for (const std::string& name : names) {
      group += (group.empty() ? "" : " ") + name;
      spelled += (spelled.empty() ? "" : ",") + name + (name[1] == '-' ? suffixLong : suffixShort);
    }
    std::string spec = flag.repeatable ? "'*'" : names.size() > 1 ? "'(" + group + ")'" : "";
    spec += names.size() > 1 ? "{" + spelled + "}" : "'" + spelled + "'";
    script += "  " + spec + "'[" + ZshText(flag.summary) + "]" + value + "' \\\n";
  }
  script +=
      "  '1:command:->command' \\\n"
      "  '*::argument:_files'\n"
      "case $state in\n"
      "  command) _describe -t commands 'ravelin command' commands ;;\n"
      "esac\n";
  return script;
}

}  // namespace ravelin_cli
