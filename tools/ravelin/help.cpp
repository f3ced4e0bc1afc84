#include "help.h"

#include <cstddef>

#include "flags.h"

namespace ravelin_cli {
namespace {

// The help page around the flags: the commands before, the exit status after.
const char kHelpHead[] = R"(usage: ravelin [OPTIONS] COMMAND ARGS...
       ravelin help COMMAND      (or COMMAND --help): one command, with examples

Regular expressions over text and files, with the Ravelin library.

Commands on a subject (standard input, --subject TEXT or --input FILE):
  match PATTERN          anchored match at the start of the subject
  match-all PATTERN      match of the whole subject
  search PATTERN         first match anywhere
      These print the match vector, one entry a line, INDEX:POSITION:TEXT:
      the whole match, each sub-expression, then the prefix and the suffix.
  grep PATTERN           every match, one a line: LINE:OFFSET:TEXT
  merge PATTERN FORMAT   the subject with every match replaced by FORMAT
                         ($& the match, $1..$9 or \1..\9 the groups)
Commands on files (PATH: a file, a directory, or a file pattern whose last
part may hold * ? [...]; a PATH that exists is taken as it is, wildcard
characters and all; - is standard input, and a FIFO or device named is read;
several may be given; none is the current directory, but for find-files and
grep-files without -r standard input when it is a pipe or a file, as ripgrep
has it: a script with piped input gives a PATH, -r or </dev/null):
  find-files PATTERN [PATH...]       names of the files holding a match
  grep-files PATTERN [PATH...]       the lines holding a match, as grep:
                                     FILE:TEXT (-n FILE:LINE:TEXT; -o -n -b
                                     FILE:LINE:OFFSET:MATCH, one a match)
  change-files PATTERN FORMAT [PATH...]
                                     replace every match inside the files
      change-files refuses - and FIFOs, and with no PATH works on the
      current directory whatever standard input is.
      change-files first finds every file holding a match and changes
      nothing when one of them is read-only, is itself a backup, has
      several hard links, or would have its backup collide with another
      file; it says which and why. A file whose new bytes equal its old is
      not rewritten; the --save or --load record is never changed.
      SIGINT, SIGTERM or SIGHUP stop it between two files (a second one at
      once), with no temporary file left and status 128 + the signal.

)";
const char kHelpTail[] = R"(Exit status: 0 when something matched or was changed, 1 when nothing did,
2 on an error: for the file commands also a missing path, a file or
directory that could not be read, a search the engine gave up, and for
change-files a file that could not be changed or a refused run; 128 + the
signal when a signal stopped change-files.
Files are searched with the normal (Perl) syntax or as plain text (literal);
of the other compile options only Icase applies to finding matches in files.
merge and change-files replace as Perl's s///g does: after a match, an empty
match right where it ended is replaced too (echo abxxc | ravelin merge 'x*' -
gives -a-b--c-, where sed gives -a-b-c-).
Matches never span lines unless -U is given; grep-files then prints each
line a match touches once.
)";

struct CommandHelpText {
  const char* name;
  const char* text;
};
const CommandHelpText kCommandHelp[] = {
    {"match", R"(usage: ravelin match PATTERN [--subject TEXT | --input FILE]
Anchored match at the start of the subject; prints the match vector,
INDEX:POSITION:TEXT, entry 0 the match, then the groups, prefix, suffix.
The first line is the subject (-U: the whole subject).
Examples:
  ravelin match '(\w+)@(\w+)' --subject 'anna@example, bob@host'
  echo 2024-05-01 | ravelin match '(\d+)-(\d+)'
)"},
    {"match-all", R"(usage: ravelin match-all PATTERN [--subject TEXT | --input FILE]
Match of the whole subject; prints the match vector as match does.
The first line is the subject (-U: the whole subject).
Examples:
  ravelin match-all '[a-z]+' --subject abc
  ravelin match-all --syntax extended 'a|ab' --subject ab
)"},
    {"search", R"(usage: ravelin search PATTERN [--subject TEXT | --input FILE]
First match anywhere in the subject; prints the match vector. Line by
line: no match holds a newline (-U: across lines).
Examples:
  ravelin search 'b(c)' --subject abcd
  ravelin search -i 'error' --input build.log
)"},
    {"grep", R"(usage: ravelin grep PATTERN [--subject TEXT | --input FILE]
Every match of the subject, one a line: LINE:OFFSET:TEXT. Line by line
(-U: matches may span lines).
Examples:
  ravelin grep '[0-9]+' --input notes.txt
  printf 'one\ntwo\n' | ravelin grep o
  ravelin grep --count 'x' --subject xax
)"},
    {"merge", R"(usage: ravelin merge PATTERN FORMAT [--subject TEXT | --input FILE]
The subject with every match replaced by FORMAT ($& the match, $1..$9 or
\1..\9 the groups; an empty FORMAT deletes the matches; with -F the FORMAT
is plain text); --no-copy prints only the replaced matches. Line by line:
no match holds a newline, $ is the line's end (-U: the whole subject, as
the library searches it). An empty match right after a match is replaced
too, as Perl's s///g does (sed does not): 'x*' over abxxc gives -a-b--c-.
Examples:
  echo 'anna@example, bob@host' | ravelin merge '(\w+)@(\w+)' '$2:$1'
  ravelin merge --no-copy '\d+' '<$&>' --input notes.txt
)"},
    {"find-files", R"(usage: ravelin find-files [OPTIONS] PATTERN [PATH...]
The names of the files holding a match, one a line, in walk order. PATH: a
file, a directory or a file pattern (docs/*.txt), - for standard input;
none is the current directory, or without -r standard input when it is a
pipe or a file. Ignore files, hidden and binary files are left out unless a PATH
names them (-u, -uu, -uuu); -r descends, -g GLOB filters, -w, -x, -i, -F.
Line by line (-U: matches may span lines).
Examples:
  ravelin find-files -r colour docs
  ravelin find-files -r -g '*.h' -g '!test/' 'TODO|FIXME'
  ravelin find-files -r -uu grey 'sample-tree/*.txt'
)"},
    {"grep-files", R"(usage: ravelin grep-files [OPTIONS] PATTERN [PATH...]
The lines holding a match, as grep prints them: FILE:TEXT, the file name
when there are several files or -r; -n line numbers, -b byte offsets, -o
each match alone (-o -n -b: FILE:LINE:OFFSET:MATCH), -A/-B/-C context,
-c (--count: FILE:COUNT), -l, -L, -v, -m NUM, -q, -w, -x, -i, -F, -a,
--color. PATH: a file, a directory or a file pattern, - for standard input
(named as grep names it); none is the current directory, or without -r
standard input when it is a pipe or a file (a script gives a PATH or
</dev/null). Ignore files, hidden and binary files are left out unless a PATH names them (-u,
-uu, -uuu); -g GLOB includes, -g '!GLOB' excludes. Line by line, as grep (-U:
a match may span lines; each line it touches is printed once).
Examples:
  ravelin grep-files -r -n -C 2 'TODO|FIXME' src
  ravelin grep-files -r -l -g '*.cpp' 'std::regex'
  ravelin grep-files -o -n -b 'neighbou?r' 'docs/*.txt'
)"},
    {"change-files", R"(usage: ravelin change-files [OPTIONS] PATTERN FORMAT [PATH...]
Replaces every match inside the files by FORMAT, as merge does, each file
written safely (a temporary file renamed over it). Nothing is changed when a
file holding a match is read-only, a backup, has several hard links, or would
have its backup collide (--keep-going changes the others). Links met in a
walk are not written through (--follow follows them). Binary files and
version-control folders are never changed (--binary for binary files).
--dry-run prints the unified diff instead (status 0: something would change,
1: nothing); --interactive asks y/n/a/q for each file after showing its diff;
--backup EXT keeps the old file with its extension replaced (notes.txt ->
notes.bak), --suffix SUFFIX with SUFFIX appended (util.c -> util.c.bak with
--suffix .bak); --stats counts.
Line by line: no match holds a newline, so ' *// TODO.*' ends at the line's
end (-U: the whole file, matches may span lines); empty matches are replaced
as merge replaces them (Perl's rule). -F: pattern and FORMAT are plain text;
-c prints the number of replacements.
Examples:
  ravelin change-files -r --dry-run 'colou?r' hue docs | less
  ravelin change-files -r --backup bak --stats 'gr[ae]y' silver 'docs/*.txt'
  ravelin change-files -r --suffix .orig 'old_(\w+)' 'new_$1' src
  ravelin change-files -r --interactive -w old_name new_name src
)"},
};

// The column the flags' texts start in, and the width of the page.
constexpr std::size_t kTextColumn = 27;
constexpr std::size_t kWidth = 79;

}  // namespace

std::string Wrap(const std::string& text, std::size_t column, std::size_t indent, std::size_t width) {
  std::string out;
  std::size_t at = column;
  for (const std::string& word : Words(text.c_str())) {
    if (at > indent && at + 1 + word.size() > width) {
      out += "\n" + std::string(indent, ' ');
      at = indent;
    } else if (at > indent) {
      out += ' ';
      ++at;
    }
    out += word;
    at += word.size();
  }
  return out + "\n";
}

const char* UsageLine() { return "usage: ravelin [OPTIONS] COMMAND ARGS...   (ravelin --help lists the commands)"; }

std::string HelpText() {
  std::size_t flagCount = 0;
  std::size_t sectionCount = 0;
  const Flag* flags = Flags(&flagCount);
  const FlagSection* sections = FlagSections(&sectionCount);
  std::string page = kHelpHead;
  for (std::size_t s = 0; s < sectionCount; ++s) {
    page += std::string(sections[s].title) + "\n";
    for (std::size_t f = 0; f < flagCount; ++f) {
      const Flag& flag = flags[f];
      if (flag.section != static_cast<int>(s)) continue;
      std::string row = "  " + FlagNames(flag, true);
      if (row.size() < kTextColumn) {
        row.resize(kTextColumn, ' ');
      } else {
        row += "\n" + std::string(kTextColumn, ' ');
      }
      std::string text = flag.summary;
      if (flag.more != nullptr) text += std::string(flag.more[0] == '(' ? " " : ": ") + flag.more;
      page += row + Wrap(text, kTextColumn, kTextColumn, kWidth);
    }
    if (sections[s].notes != nullptr) page += "      " + Wrap(sections[s].notes, 6, 6, kWidth);
  }
  return page + kHelpTail;
}

std::string CommandHelp(const std::string& command) {
  const CommandShape* shape = FindCommand(command);
  if (shape == nullptr) return std::string();
  std::string help;
  for (const CommandHelpText& h : kCommandHelp)
    if (command == h.name) help = h.text;
  // Its own flags from the table, then a word on those of every command.
  std::size_t flagCount = 0;
  const Flag* flags = Flags(&flagCount);
  std::string names;
  for (std::size_t f = 0; f < flagCount; ++f) {
    const Flag& flag = flags[f];
    if ((flag.commands & Bit(shape->command)) == 0 || flag.commands == kAllCommands) continue;
    names += (names.empty() ? "" : " ") +
             (flag.shortName != 0 ? std::string("-") + flag.shortName : std::string("--") + flag.longName);
  }
  const std::string intro = "Flags (ravelin --help tells what each does): ";
  return help + Wrap(intro + names + (names.empty() ? "" : ";") + " and those of every command.", 0, 2, kWidth);
}

}  // namespace ravelin_cli
