// The manual page of ravelin: the commands and the rules in prose, and the
// flags from the table, one paragraph each.
#include <cstddef>
#include <string>

#include "flags.h"
#include "help.h"

namespace ravelin_cli {
namespace {

const char kBefore[] = R"(.SH NAME
ravelin \- regular expressions over text and files, from the shell
.SH SYNOPSIS
.B ravelin
[\fIOPTIONS\fR] \fICOMMAND\fR \fIARGS\fR...
.br
.B ravelin help
[\fICOMMAND\fR]
.SH DESCRIPTION
.B ravelin
runs the operations of the Ravelin library (libravelin.so) on a subject
string or on files: match, search, grep, search and replace of a string, and
find, grep and search and replace over the files named by a wildcard
file pattern.
Options may stand before or after the command;
.B \-\-
ends the options.
.PP
The string commands read their subject from standard input, or from
\fB\-\-subject\fR \fITEXT\fR or \fB\-\-input\fR \fIFILE\fR.
Subjects and files are handled as bytes: NUL bytes and newlines inside a
match are printed as they are.
.SH COMMANDS
.TP
.BI match " PATTERN"
Anchored match at the start of the subject.
.TP
.BI match-all " PATTERN"
Match of the whole subject.
.TP
.BI search " PATTERN"
First match anywhere in the subject.
.IP
These three print the match vector, one entry a line, as
\fIINDEX\fB:\fIPOSITION\fB:\fITEXT\fR: entry 0 is the whole match, then one
entry per parenthesised sub-expression, then the text before the match
(prefix) and the text after it (suffix).
\fIPOSITION\fR is a byte offset in the subject, \-1 for a sub-expression that
took no part and for an empty prefix or suffix.
.TP
.BI grep " PATTERN"
Every match, one a line: \fILINE\fB:\fIOFFSET\fB:\fITEXT\fR, with the line of
the match (1 + the newlines before it) and its byte offset in the subject.
.TP
.BI merge " PATTERN FORMAT"
The subject with every match replaced by \fIFORMAT\fR, printed exactly,
nothing added.
The text between matches is kept (as
.BR sed (1)
does) unless \fB\-\-no\-copy\fR is given.
In \fIFORMAT\fR, \fB$&\fR is the match, \fB$1\fR..\fB$9\fR (or
\fB\e1\fR..\fB\e9\fR) the sub-expressions, \fB${10}\fR a later one,
\fB$$\fR a dollar sign; \fB\en\fR, \fB\et\fR and \fB\exHH\fR are bytes.
An empty \fIFORMAT\fR deletes the matches; with \fB\-F\fR the
\fIFORMAT\fR is plain text.
The matches replaced are those of Perl's \fBs///g\fR, not those of
\fBsed\fR: after a match, an empty match right where it ended is replaced
too, so \fBecho abxxc | ravelin merge 'x*' \-\fR gives \fB\-a\-b\-\-c\-\fR
where \fBsed 's/x*/\-/g'\fR gives \fB\-a\-b\-c\-\fR.
.TP
.BI find-files " PATTERN \fR[\fIPATH\fR...]"
The names of the files that hold a match, one a line.
.TP
.BI grep-files " PATTERN \fR[\fIPATH\fR...]"
The lines that hold a match, each once, as
.BR grep (1)
prints them: \fITEXT\fR, or \fIFILE\fB:\fITEXT\fR when several files are
searched (several \fIPATH\fRs, a directory, a file pattern, or \fB\-r\fR),
with \fB\-n\fR the line number and with \fB\-b\fR the byte offset of the line
before the text; context lines (\fB\-A\fR, \fB\-B\fR, \fB\-C\fR) take
\fB\-\fR for \fB:\fR, and \fB\-\-\fR stands between groups that do not
touch.
\fB\-o \-n \-b\fR prints each match alone, \fIFILE\fB:\fILINE\fB:\fIOFFSET\fB:\fITEXT\fR.
On a terminal the matches are coloured (grep's default colours).
Matches never span lines (see \fB\-U\fR); with \fB\-U\fR a match that
spans lines prints each line it touches once, and \fB\-o\fR prints it whole.
A binary file (one holding a NUL byte) that matches is reported as
"\fIFILE\fB: binary file matches\fR" on standard error; \fB\-a\fR prints its
lines.
.TP
.BI change-files " PATTERN FORMAT \fR[\fIPATH\fR...]"
Replaces every match inside the files by \fIFORMAT\fR, as \fBmerge\fR does.
Prints nothing, or with \fB\-\-stats\fR the number of replacements and of
files changed.
Before it writes anything, \fBchange-files\fR finds every file that holds a
match and changes none of them when any is read-only (no write permission
bit at all, or not writable by this user), is itself a backup (its name
carries the backup extension, or ends with the suffix of \fB\-\-suffix\fR),
or, with \fB\-\-backup\fR or \fB\-\-suffix\fR, would have its
backup overwrite something: a file that exists already, another file of the
run, or the backup of an earlier file of the run (\fBa.txt\fR and
\fBa.md\fR are both saved as \fBa.bak\fR).
Each such file is named on standard error with the reason, and the status
is 2.
With \fB\-\-keep\-going\fR the other files are changed and the blocked ones
named.
A binary file is blocked the same way unless \fB\-uuu\fR or \fB\-\-binary\fR
is given, a file with several hard links (named with their count: a new file
would leave the other names with the old text), and a file inside a
\fB.git\fR, \fB.hg\fR or \fB.svn\fR folder always.
A file whose new bytes would equal its old is not rewritten, and is not
counted as changed; the settings record that \fB\-\-save\fR or \fB\-\-load\fR
names is never changed by the run.
The files are found by one walk and changed by another that takes only
them, opening each through the directories it walked: a directory swapped
for a link meanwhile is not entered, and a file not found again where the
first walk found it is named and left (status 2).
.IP
\fB\-\-dry\-run\fR changes nothing and prints a unified diff of every file
the run would change (\fB\-\-\- a/\fIPATH\fR, \fB+++ b/\fIPATH\fR, three
lines of context, as \fBdiff \-u\fR; a name holding a control character,
a quote or a backslash is quoted with C escapes, as git does; \fBpatch
\-p1\fR applies it); the status is 0 when something would change and 1 when nothing would.
\fB\-\-interactive\fR shows each file's diff and asks on standard error, reading
the answer from standard input: \fBy\fR changes the file, \fBn\fR leaves it,
\fBa\fR changes it and every file after it, \fBq\fR (or the end of the input)
leaves it and every file after it.
Both show what the run writes: the file's bytes merged as \fBmerge\fR would
(an empty file stays empty, as with \fBsed\fR).
\fB\-\-interactive\fR shows the bytes the run holds, locked, while it asks.
.IP
Each file that could not be changed is reported on standard error as one line:
the file, the kind of problem (OpenFailed, TempCreateFailed, ReadFailed,
WriteFailed, TextChanged, BackupFailed, ReplaceFailed, AttributesFailed,
SearchFailed), the byte position concerned and the system's error text; the
other files are still changed.
When a temporary file could not be made or written, the line names the file
left unchanged, with the temporary file in parentheses.
.IP
SIGINT, SIGTERM and SIGHUP stop \fBchange-files\fR between two files: the
file being written is finished, the others are left as they are, and the
status is 128 + the signal.
A second signal stops it at once; its temporary file is removed.
.PP
Files are searched with the normal (Perl) syntax, or as plain text with
\fB\-\-syntax literal\fR or \fB\-F\fR; of the other compile options only
icase applies to finding matches in files (the others shape the replacement
of \fBchange-files\fR), and a note on standard error says so when others are
set.
.PP
A missing path, and each file or directory that could not be opened or
read, is named on standard error with the system's reason
(\fB\-s\fR silences these), as is each file whose search the engine gave up
(too complex for the text); the status is then 2, after the results.
)";

const char kAfter[] = R"(.SH FILES SEARCHED
The file commands take any number of \fIPATH\fRs: files, directories and file
patterns; with none, the current directory (names are then printed without
a leading ./).
A \fIPATH\fR that exists is used as it is, even when its name holds
\fB*\fR, \fB?\fR or \fB[\fR (\fBpages/[id].js\fR); only one that names
nothing is read as a file pattern.
\fB\-\fR is standard input (named \fB(standard input)\fR), and a FIFO,
\fB/dev/stdin\fR, a process substitution or a device named as a \fIPATH\fR
is read to its end and searched as a file is; a walk never opens them.
With no \fIPATH\fR and without \fB\-r\fR (which, as with \fBgrep \-r\fR,
means the current directory), \fBfind-files\fR and \fBgrep-files\fR search
standard input when it is a pipe or a regular file, as
.BR rg (1)
does, and the current directory when it is a terminal or \fB/dev/null\fR:
a script whose input is a pipe (a CI job, \fBxargs\fR, \fBparallel\fR)
gives a \fIPATH\fR, or \fB</dev/null\fR, to search the current directory.
\fBchange-files\fR refuses \fB\-\fR and FIFOs (status 2, nothing changed)
and with no \fIPATH\fR always works on the current directory.
Walking a directory, they leave out, as
.BR rg (1)
does: what \fB.gitignore\fR files (inside a git work tree), \fB.ignore\fR
files and \fB.git/info/exclude\fR exclude, with git's meaning of a pattern
(a deeper file overrides one above it, \fB!\fR brings a name back, a
trailing \fB/\fR means a directory, a \fB/\fR elsewhere anchors it,
\fB**\fR spans directories), read in the directories walked and those above
them; hidden files and directories (names starting with a dot, unless the
file pattern itself starts with one); binary files; and always the
\fB.git\fR, \fB.hg\fR and \fB.svn\fR folders.
A file that a \fIPATH\fR names itself is always searched.
.SH FILE PATTERNS
A file pattern is a path whose last component may hold the wildcards
\fB*\fR, \fB?\fR and \fB[...]\fR: \fBdocs/*.txt\fR names the regular files of
\fBdocs\fR that end in .txt, \fB*.txt\fR those of the current directory.
A path without wildcards names one file, or every file of a directory.
With \fB\-r\fR the last component is matched in every directory below, at any
depth.
Within a directory, files come first, in byte order of their names, then each
subdirectory, in byte order, depth first.
Links to files that a walk meets are passed by unless \fB\-\-follow\fR is
given (the library's own walk searches them); a \fIPATH\fR that names a link
is followed; links to directories are not followed.
Names beginning with a dot are hidden (see above): \fB\-uu\fR makes them
ordinary names, that \fB*\fR matches and \fB\-r\fR enters.
Files that cannot be read are passed by, named on standard error.
Temporary files of an update (\fB.ravelin\-\fR and six characters) are
passed by: a later run never changes one that a killed run left.
.SH SAFETY OF CHANGE-FILES
Each changed file is written to a temporary file created exclusively in its
own directory, given the file's permissions, flushed to disk and renamed over
the file; the backup is made the same way before the file is replaced.
Every replacement is checked against the file's content when it is written:
a file that changed since it was searched is left as it is and reported.
A kill at any moment leaves each file wholly old or wholly new, never half
written.
.SH EXIT STATUS
.TP
.B 0
Something matched, or was changed.
.TP
.B 1
Nothing matched (also when a wildcard names no file).
.TP
.B 2
An error: an unknown option or command or a missing argument (with the usage
line), a pattern that does not compile (with the engine's message and the
pattern), an input or record that cannot be read, a failed write, a search
the engine gave up (too complex for the subject; what was found before is
printed), a missing path or a file or directory that could not be read, or,
for \fBchange-files\fR, any file that could not be changed or a refused run.
.TP
.B 128 + signal
\fBchange-files\fR was stopped by SIGINT (130), SIGTERM (143) or SIGHUP
(129).
.PP
On a terminal, \fBchange-files\fR shows a
progress line on standard error (files and matches so far); never when
standard error is not a terminal.
.SH EXAMPLES
.nf
echo 'anna@example, bob@host' | ravelin merge '(\ew+)@(\ew+)' '$2:$1'
ravelin grep '[0-9]+' \-\-input notes.txt
ravelin \-r grep\-files 'TODO|FIXME' 'src/*.cpp'
ravelin grep\-files \-r \-n \-C 2 \-g '*.h' \-g '!test/' 'std::regex'
ravelin \-r \-i find\-files colour docs
ravelin change\-files \-r \-\-dry\-run \-w old_name new_name src | less
ravelin \-r \-\-backup bak \-\-stats change\-files 'colou?r' 'hue' 'docs/*.txt'
ravelin \-\-save todo.rv \-r grep\-files 'TODO' src
ravelin \-\-load todo.rv grep\-files
.fi
.SH SEE ALSO
.BR grep (1),
.BR sed (1),
.BR rg (1),
.BR patch (1),
.BR perl (1)
)";

// A flag's names in roff: \fB\-m\fR, \fB\-\-max\-count\fR \fINUM\fR.
std::string RoffNames(const Flag& flag) {
  const auto bold = [](const std::string& name) {
    std::string escaped;
    for (char c : name) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
    return "\\fB" + escaped + "\\fR";
  };
  std::string names;
  if (flag.shortName != 0) names = bold(std::string("-") + flag.shortName) + ", ";
  names += bold(std::string("--") + flag.longName);
  if (flag.valueName != nullptr) {
    const std::string value = std::string("\\fI") + flag.valueName + "\\fR";
    names += flag.optionalValue ? "[=" + value + "]" : " " + value;
  }
  for (const std::string& alias : Words(flag.aliases)) names += ", " + bold("--" + alias);
  return names;
}

}  // namespace

std::string ManualPage(const char* version) {
  std::string page = std::string(".TH RAVELIN 1 \"\" \"Ravelin ") + version + "\" \"User Commands\"\n" + kBefore;
  page += ".SH OPTIONS\n";
  std::size_t flagCount = 0;
  std::size_t sectionCount = 0;
  const Flag* flags = Flags(&flagCount);
  const FlagSection* sections = FlagSections(&sectionCount);
  for (std::size_t s = 0; s < sectionCount; ++s) {
    std::string title = sections[s].title;
    if (!title.empty() && title.back() == ':') title.pop_back();
    page += ".SS \"" + title + "\"\n";
    for (std::size_t f = 0; f < flagCount; ++f) {
      const Flag& flag = flags[f];
      if (flag.section != static_cast<int>(s)) continue;
      page += ".TP\n" + RoffNames(flag) + "\n" + flag.manual + "\n";
      if (flag.commands != sections[s].commands && flag.commands != kAllCommands)
        page += "For " + CommandsInWords(flag.commands) + ".\n";
    }
  }
  return page + kAfter;
}

}  // namespace ravelin_cli
