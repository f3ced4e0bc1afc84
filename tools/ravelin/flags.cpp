#include "flags.h"

#include <algorithm>
#include <iterator>

namespace ravelin_cli {
namespace {

using Value = const std::string&;

long Number(Value option, Value value) {
  if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos || value.size() > 9)
    throw UsageError("option '" + option + "' needs a number, not '" + value + "'");
  return std::stol(value);
}

std::string Extension(Value option, Value value, const char* what) {
  const std::string fault = BackupExtensionFault(value, what);
  if (!fault.empty()) throw UsageError(option + " '" + value + "': " + fault);
  return value;
}

void CompileOption(Invocation& inv, Value value, bool add) {
  RegularExpression::Options o;
  if (!LookUpCompileOption(value, o)) throw UsageError("unknown compile option '" + value + "'");
  inv.compileOptions.push_back({add, o});
}

void MatchOption(Invocation& inv, Value value, bool add) {
  RegularExpression::Matches m;
  if (!LookUpMatchOption(value, m)) throw UsageError("unknown match option '" + value + "'");
  inv.matchOptions.push_back({add, m});
}

enum Section { kWhichFiles, kGrepOutput, kPatterns, kChangeFiles, kEvery };

const FlagSection kSections[] = {
    {"Which files (the three file commands), as ripgrep has it:",
     "Left out unless a PATH names them: what .gitignore (in a git work tree), .ignore and .git/info/exclude "
     "exclude, hidden files and directories (names starting with '.'), binary files (holding a NUL byte); "
     "always: .git, .hg and .svn folders.",
     kFileCommands},
    {"grep-files output (grep's letters and meanings):", nullptr, Bit(Command::kGrepFiles)},
    {"Patterns (the three file commands):", nullptr, kFileCommands},
    {"change-files:", nullptr, Bit(Command::kChangeFiles)},
    {"Other options (before or after the command; -- ends them):", nullptr, kAllCommands},
};

constexpr CommandSet kGrepFiles = Bit(Command::kGrepFiles);
constexpr CommandSet kChange = Bit(Command::kChangeFiles);
constexpr CommandSet kMerge = Bit(Command::kMerge);
constexpr const char* kCompileOptionNames =
    "EscapeInLists CharClasses Intervals LimitedOps NewlineAlt BkPlusQm BkBraces BkParens BkRefs BkVbar Literal "
    "Icase NoCollate Basic Extended Normal";
constexpr const char* kMatchOptionNames =
    "Default NotBol NotEol NotBob NotEob NotBow NotEow NotDotNewline NotDotNull Any NotNull Continuous";

// clang-format off
const Flag kFlags[] = {
    // Which files.
    {'r', "recursive", "", nullptr, false, false, kFileCommands, true, kWhichFiles,
     "descend into subdirectories", nullptr,
     "Apply the file pattern in every directory below as well.",
     nullptr, [](Invocation& inv, Value, Value) { inv.recursive = true; }},
    {'g', "glob", "", "GLOB", false, true, kFileCommands, false, kWhichFiles,
     "only files matching GLOB; -g '!GLOB' leaves them out",
     "(matched below each PATH, as a .gitignore line)",
     "Only files that \\fIGLOB\\fR matches; \\fB!\\fIGLOB\\fR leaves out the files and directories it matches.\n"
     "Globs are matched below each \\fIPATH\\fR as lines of a .gitignore; the last one that matches decides, and "
     "a file a \\fIGLOB\\fR keeps is kept whatever the ignore files and the hidden-file rule say.",
     nullptr, [](Invocation& inv, Value v, Value) { inv.globs.push_back(v); }},
    {'u', "unrestricted", "", nullptr, false, true, kFileCommands, false, kWhichFiles,
     "ignore files are not honoured; -uu also hidden files, -uuu also binary files",
     "(change-files changes binary files only so)",
     "Leave out fewer files: once, ignore files are not honoured (\\fB\\-\\-no\\-ignore\\fR); twice (\\fB\\-uu\\fR), "
     "hidden files are taken too (\\fB\\-\\-hidden\\fR); three times (\\fB\\-uuu\\fR), binary files too "
     "(\\fB\\-\\-binary\\fR).",
     nullptr, [](Invocation& inv, Value, Value) { ++inv.unrestricted; }},
    {0, "no-ignore", "", nullptr, false, false, kFileCommands, false, kWhichFiles,
     "ignore files are not honoured", nullptr,
     "Do not honour ignore files (.gitignore, .ignore, .git/info/exclude).",
     nullptr, [](Invocation& inv, Value, Value) { inv.noIgnore = true; }},
    {0, "hidden", "", nullptr, false, false, kFileCommands, false, kWhichFiles,
     "take hidden files and directories", nullptr,
     "Take names starting with a dot, files and directories.",
     nullptr, [](Invocation& inv, Value, Value) { inv.hidden = true; }},
    {0, "follow", "", nullptr, false, false, kFileCommands, false, kWhichFiles,
     "follow links to files met in a walk",
     "(as a PATH that names a link is; else they are passed by, as grep -r and rg do; change-files names such a "
     "link when it leads outside every PATH and holds a match)",
     "Follow links to files met in a walk, as a \\fIPATH\\fR that names a link is followed.\n"
     "Without it such links are passed by, as \\fBgrep \\-r\\fR and \\fBrg\\fR pass them by; \\fBchange-files\\fR "
     "names those that lead to a file outside every \\fIPATH\\fR and hold a match.\n"
     "Links to directories are never followed.",
     nullptr, [](Invocation& inv, Value, Value) { inv.follow = true; }},
    {0, "binary", "", nullptr, false, false, kFileCommands, false, kWhichFiles,
     "search binary files met in a walk; change-files changes them", nullptr,
     "Search binary files met in a walk; \\fBchange-files\\fR: change binary files.\n"
     "A binary file holds a NUL byte. \\fBfind-files\\fR and \\fBgrep-files \\-l\\fR or \\fB\\-q\\fR read a file "
     "only as far as its first match (line by line), so for them a NUL byte after it does not count.",
     nullptr, [](Invocation& inv, Value, Value) { inv.binary = true; }},
    {'j', "threads", "", "NUM", false, false, kFileCommands, false, kWhichFiles,
     "read and search NUM files at once",
     "(default: the number of processors, up to 8; output and changes come in the same order whatever NUM)",
     "Read and search \\fINUM\\fR files at once (default: one per processor, up to 8; \\fB\\-j 1\\fR searches on "
     "one thread). Output, messages and the order in which \\fBchange-files\\fR changes files are the same "
     "whatever \\fINUM\\fR.",
     nullptr, [](Invocation& inv, Value v, Value o) {
       inv.threads = Number(o, v);
       if (inv.threads == 0) throw UsageError("option '" + o + "' needs a number of threads from 1");
     }},

    {'s', "no-messages", "", nullptr, false, false, kFileCommands, false, kWhichFiles,
     "no messages about missing or unreadable files (the status stays 2)", nullptr,
     "No messages about missing or unreadable files and directories; the status is 2 all the same.",
     nullptr, [](Invocation& inv, Value, Value) { inv.noMessages = true; }},

    // grep-files output.
    {'n', "line-number", "", nullptr, false, false, kGrepFiles, false, kGrepOutput,
     "the line number", nullptr,
     "Print the line number before each line.",
     nullptr, [](Invocation& inv, Value, Value) { inv.lineNumbers = true; }},
    {'b', "byte-offset", "", nullptr, false, false, kGrepFiles, false, kGrepOutput,
     "the byte offset of the line (with -o, of the match)", nullptr,
     "Print the byte offset of the line (with \\fB\\-o\\fR, of the match) before it.",
     nullptr, [](Invocation& inv, Value, Value) { inv.byteOffsets = true; }},
    {'H', "with-filename", "", nullptr, false, false, kGrepFiles, false, kGrepOutput,
     "always print the file name", nullptr,
     "Always print the file name.",
     nullptr, [](Invocation& inv, Value, Value) { inv.withFileName = true, inv.noFileName = false; }},
    {'h', "no-filename", "", nullptr, false, false, kGrepFiles, false, kGrepOutput,
     "never print the file name", nullptr,
     "Never print the file name.",
     nullptr, [](Invocation& inv, Value, Value) { inv.noFileName = true, inv.withFileName = false; }},
    {'o', "only-matching", "", nullptr, false, false, kGrepFiles, false, kGrepOutput,
     "each match alone", nullptr,
     "Print each non-empty match alone on its line.",
     nullptr, [](Invocation& inv, Value, Value) { inv.onlyMatching = true; }},
    {'v', "invert-match", "", nullptr, false, false, kGrepFiles, false, kGrepOutput,
     "the lines without a match", nullptr,
     "Select the lines without a match.",
     nullptr, [](Invocation& inv, Value, Value) { inv.invert = true; }},
    {'l', "files-with-matches", "", nullptr, false, false, kGrepFiles, false, kGrepOutput,
     "the names of the files with a selected line", nullptr,
     "Print the names of the files with a selected line.",
     nullptr, [](Invocation& inv, Value, Value) { inv.filesWith = true; }},
    {'L', "files-without-match", "", nullptr, false, false, kGrepFiles, false, kGrepOutput,
     "the names of the files without one",
     "(status 0, as grep, when a line was selected, not when a file is listed)",
     "Print the names of the files without a selected line.\n"
     "As with GNU grep 3.5 and later, the status is 0 when a line was selected (not when a file was listed).",
     nullptr, [](Invocation& inv, Value, Value) { inv.filesWithout = true; }},
    {'m', "max-count", "", "NUM", false, false, kGrepFiles, false, kGrepOutput,
     "stop a file after NUM selected lines", nullptr,
     "Stop reading a file after \\fINUM\\fR selected lines.",
     nullptr, [](Invocation& inv, Value v, Value o) { inv.maxCount = Number(o, v); }},
    {'A', "after-context", "", "NUM", false, false, kGrepFiles, false, kGrepOutput,
     "NUM lines after each selected line", nullptr,
     "Print \\fINUM\\fR lines of context after each selected line.",
     nullptr, [](Invocation& inv, Value v, Value o) { inv.after = Number(o, v); }},
    {'B', "before-context", "", "NUM", false, false, kGrepFiles, false, kGrepOutput,
     "NUM lines before each selected line", nullptr,
     "Print \\fINUM\\fR lines of context before each selected line.",
     nullptr, [](Invocation& inv, Value v, Value o) { inv.before = Number(o, v); }},
    {'C', "context", "", "NUM", false, false, kGrepFiles, false, kGrepOutput,
     "NUM lines around each selected line", nullptr,
     "Print \\fINUM\\fR lines of context before and after each selected line.",
     nullptr, [](Invocation& inv, Value v, Value o) { inv.before = inv.after = Number(o, v); }},
    {'q', "quiet", "silent", nullptr, false, false, kGrepFiles, false, kGrepOutput,
     "print nothing; status 0 at the first match", nullptr,
     "Print nothing; stop at the first selected line, status 0.",
     nullptr, [](Invocation& inv, Value, Value) { inv.quiet = true; }},
    {'a', "text", "", nullptr, false, false, kFileCommands, false, kGrepOutput,
     "binary files as text (else \"binary file matches\")", nullptr,
     "Search binary files and print their lines as text.",
     nullptr, [](Invocation& inv, Value, Value) { inv.text = true; }},
    {0, "color", "colour", "WHEN", true, false, kGrepFiles, false, kGrepOutput,
     "colour the matches: auto, always or never",
     "(auto, the default: on a terminal, unless NO_COLOR is set or TERM is dumb)",
     "\\fBauto\\fR (the default, also \\fB\\-\\-color\\fR alone: colour when standard output is a terminal, TERM "
     "is not dumb and NO_COLOR is unset or empty), \\fBalways\\fR, \\fBnever\\fR.",
     "auto always never", [](Invocation& inv, Value v, Value) {
       if (v.empty()) return void(inv.color = "auto");
       if (v != "auto" && v != "always" && v != "never") throw UsageError("--color '" + v + "': auto, always or never");
       inv.color = v;
     }},

    // Patterns.
    {'w', "word-regexp", "", nullptr, false, false, kFileCommands, false, kPatterns,
     "the match is a whole word", nullptr,
     "The match must be a whole word: no word character on either side.",
     nullptr, [](Invocation& inv, Value, Value) { inv.wordRegexp = true; }},
    {'x', "line-regexp", "", nullptr, false, false, kFileCommands, false, kPatterns,
     "the match is a whole line", nullptr,
     "The match must be a whole line.",
     nullptr, [](Invocation& inv, Value, Value) { inv.lineRegexp = true; }},

    // change-files.
    {0, "dry-run", "", nullptr, false, false, kChange, false, kChangeFiles,
     "print a unified diff of every file it would change; write nothing",
     "(--- a/PATH, +++ b/PATH, for patch -p1; status 0 when something would change, 1 when nothing)",
     "Change nothing; print the unified diff of every file the run would change (see \\fBchange-files\\fR).",
     nullptr, [](Invocation& inv, Value, Value) { inv.dryRun = true; }},
    {0, "interactive", "", nullptr, false, false, kChange, false, kChangeFiles,
     "show each file's diff and ask",
     "y (change it), n (not), a (this one and all after), q (none from here on)",
     "Show each file's diff and ask whether to change it (see \\fBchange-files\\fR).",
     nullptr, [](Invocation& inv, Value, Value) { inv.interactive = true; }},
    {0, "backup", "", "EXT", false, false, kChange, true, kChangeFiles,
     "save each file first, its last extension replaced by EXT",
     "notes.txt -> notes.bak with --backup bak; README -> README.bak, .bashrc -> .bashrc.bak; EXT may not hold "
     "'/', be blank, . or ..",
     "Before a file is replaced, save it under its name with the extension of its last component replaced by "
     "\\fIEXT\\fR (notes.txt becomes notes.bak with \\fB\\-\\-backup bak\\fR), or \\fIEXT\\fR appended when that "
     "component has no extension or only a leading dot (v1.0/README becomes v1.0/README.EXT, and .bashrc becomes "
     ".bashrc.EXT).\nAn \\fIEXT\\fR that holds \\fB/\\fR, is blank, or is \\fB.\\fR or \\fB..\\fR is refused.",
     nullptr, [](Invocation& inv, Value v, Value o) { inv.backup.Set(Extension(o, v, "an extension")); }},
    {0, "suffix", "", "SUFFIX", false, false, kChange, false, kChangeFiles,
     "save each file first under its name with SUFFIX appended",
     "as sed -i.bak: util.c -> util.c.bak with --suffix .bak, util.c~ with --suffix '~'; the same rules as EXT; "
     "not with --backup; not saved by --save",
     "Before a file is replaced, save it under its whole name with \\fISUFFIX\\fR appended, as \\fBsed "
     "\\-i.bak\\fR does (util.c becomes util.c.bak with \\fB\\-\\-suffix .bak\\fR, util.c~ with \\fB\\-\\-suffix "
     "'~'\\fR), so that files differing only in their extension keep backups of their own.\n"
     "A file whose name ends with \\fISUFFIX\\fR counts as a backup.\n"
     "\\fISUFFIX\\fR follows the rules of \\fIEXT\\fR and does not go together with \\fB\\-\\-backup\\fR; it "
     "replaces the backup extension of a loaded record for this run, and \\fB\\-\\-save\\fR does not write it.",
     nullptr, [](Invocation& inv, Value v, Value o) { inv.suffix.Set(Extension(o, v, "a suffix")); }},
    {0, "keep-going", "", nullptr, false, false, kChange, false, kChangeFiles,
     "change the files that can be changed safely, leave the others and name them (status 2)", nullptr,
     "When some files holding a match cannot be changed safely, change the others instead of none; the blocked "
     "ones are named and the status is 2.",
     nullptr, [](Invocation& inv, Value, Value) { inv.keepGoing = true; }},
    {0, "stats", "", nullptr, false, false, kChange, false, kChangeFiles,
     "print replacements and files changed", nullptr,
     "Print the number of replacements and of files changed.",
     nullptr, [](Invocation& inv, Value, Value) { inv.stats = true; }},

    // Every command.
    {'U', "multiline", "", nullptr, false, false, kAllCommands, false, kEvery,
     "search the subject or file as a whole; a match may span lines",
     "as the library does, . \\s [^x] match a newline, $ matches before \\r and \\f too. Without it every "
     "command works line by line, as grep and sed: no match holds a newline, ^ and $ are the line's ends; match "
     "and match-all take the first line. Not saved in a settings record.",
     "Search each subject or file as a whole, as the library does by default: \\fB.\\fR, \\fB\\es\\fR and "
     "\\fB[^x]\\fR match a newline, \\fB^\\fR and \\fB$\\fR match around every line end (before a \\fB\\er\\fR or "
     "\\fB\\ef\\fR too), and a match may span lines.\n"
     "Without it every command works line by line, as\n.BR grep (1)\nand\n.BR sed (1)\ndo: each line (the bytes "
     "between two newlines, without them) is searched as a subject of its own, so no match holds a newline, "
     "\\fB^\\fR and \\fB$\\fR are the line's ends only, look-around stops there, and an empty match may stand at "
     "the end of each line.\nPositions, line numbers and the prefix and suffix of a match are counted in the "
     "whole subject or file either way; \\fBmatch\\fR and \\fBmatch-all\\fR take the first line as their "
     "subject.\nNot part of a saved settings record.",
     nullptr, [](Invocation& inv, Value, Value) { inv.multiline = true; }},
    {'i', "ignore-case", "", nullptr, false, false, kAllCommands, false, kEvery,
     "ignore case (the Icase option)", nullptr,
     "Ignore case (the Icase compile option).",
     nullptr, [](Invocation& inv, Value, Value) { inv.ignoreCase = true; }},
    {0, "syntax", "", "S", false, false, kAllCommands, false, kEvery,
     "normal (Perl, the default; also called perl), extended, basic, literal", nullptr,
     "\\fBnormal\\fR or \\fBperl\\fR (Perl syntax, leftmost match; the default), \\fBextended\\fR (POSIX "
     "extended, leftmost-longest, like \\fBgrep \\-E\\fR), \\fBbasic\\fR (POSIX basic, like \\fBgrep\\fR), or "
     "\\fBliteral\\fR (the pattern is plain text).",
     "normal perl extended basic literal", [](Invocation& inv, Value v, Value) {
       if (v != "normal" && v != "perl" && v != "extended" && v != "basic" && v != "literal")
         throw UsageError("unknown syntax '" + v + "' (normal or perl, extended, basic or literal)");
       inv.syntax.Set(v == "perl" ? std::string("normal") : v);
     }},
    {'F', "fixed-strings", "", nullptr, false, false, kAllCommands, false, kEvery,
     "the pattern is plain text (--syntax literal), and so is the FORMAT", nullptr,
     "The pattern is plain text: \\fB\\-\\-syntax literal\\fR; so is the \\fIFORMAT\\fR of \\fBmerge\\fR and "
     "\\fBchange-files\\fR (\\fB$\\fR and \\fB\\e\\fR stand for themselves).",
     nullptr, [](Invocation& inv, Value, Value) { inv.syntax.Set("literal"); }},
    {0, "option", "", "NAME", false, true, kAllCommands, false, kEvery,
     "add a compile option (Icase, NewlineAlt, Literal...)", nullptr,
     "Add a compile option: EscapeInLists, CharClasses, Intervals, LimitedOps, NewlineAlt, BkPlusQm, BkBraces, "
     "BkParens, BkRefs, BkVbar, Literal, Icase, NoCollate, Basic, Extended, Normal (case does not matter).\n"
     "A set of options the engine cannot express is refused with a message.",
     kCompileOptionNames, [](Invocation& inv, Value v, Value) { CompileOption(inv, v, true); }},
    {0, "no-option", "", "NAME", false, true, kAllCommands, false, kEvery,
     "remove a compile option", nullptr,
     "Remove a compile option (the names of \\fB\\-\\-option\\fR).",
     kCompileOptionNames, [](Invocation& inv, Value v, Value) { CompileOption(inv, v, false); }},
    {0, "match-option", "", "NAME", false, true, kAllCommands, false, kEvery,
     "add a match option (NotBol, NotDotNewline, NotNull...)", nullptr,
     "Add a match option: Default, NotBol, NotEol, NotBob, NotEob, NotBow, NotEow, NotDotNewline, NotDotNull, "
     "Any, NotNull, Continuous (case does not matter; a \\fBMatch\\fR prefix may be written).",
     kMatchOptionNames, [](Invocation& inv, Value v, Value) { MatchOption(inv, v, true); }},
    {0, "no-match-option", "", "NAME", false, true, kAllCommands, false, kEvery,
     "remove a match option", nullptr,
     "Remove a match option (the names of \\fB\\-\\-match\\-option\\fR).",
     kMatchOptionNames, [](Invocation& inv, Value v, Value) { MatchOption(inv, v, false); }},
    {'c', "count", "count-lines", nullptr, false, false, kAllCommands, false, kEvery,
     "print only the count the operation returns",
     "matches (grep, merge), 0 or 1 (match, search), files (find-files), replacements (change-files); "
     "grep-files: selected lines per file, FILE:COUNT (or COUNT for one file)",
     "\\fBgrep-files\\fR: the number of selected lines of each file, as \\fIFILE\\fB:\\fICOUNT\\fR (\\fICOUNT\\fR "
     "alone for one file), as\n.BR grep (1)\nprints it.\nThe other commands print only the count their operation "
     "returns: matches for \\fBgrep\\fR and \\fBmerge\\fR, files for \\fBfind-files\\fR, replacements for "
     "\\fBchange-files\\fR, 1 or 0 for \\fBmatch\\fR, \\fBmatch-all\\fR and \\fBsearch\\fR.",
     nullptr, [](Invocation& inv, Value, Value) { inv.count = true; }},
    {0, "no-copy", "", nullptr, false, false, kMerge, true, kEvery,
     "merge: print only the replaced matches", nullptr,
     "\\fBmerge\\fR: drop the text outside the matches.",
     nullptr, [](Invocation& inv, Value, Value) { inv.copy = 0; }},
    {0, "copy", "", nullptr, false, false, kMerge, true, kEvery,
     "merge: keep the text between matches (the default)", nullptr,
     "\\fBmerge\\fR: keep the text outside the matches (the default).",
     nullptr, [](Invocation& inv, Value, Value) { inv.copy = 1; }},
    {0, "subject", "", "TEXT", false, false, kSubjectCommands, false, kEvery,
     "the subject of the string commands", nullptr,
     "The subject of the string commands (it wins over \\fB\\-\\-input\\fR).",
     nullptr, [](Invocation& inv, Value v, Value) { inv.subject.Set(v); }},
    {0, "input", "", "FILE", false, false, kSubjectCommands, false, kEvery,
     "read the subject from FILE", nullptr,
     "Read the subject of the string commands from \\fIFILE\\fR.",
     "<file>", [](Invocation& inv, Value v, Value) { inv.inputFile.Set(v); }},
    {0, "load", "", "FILE", false, false, kAllCommands, false, kEvery,
     "start from the settings record in FILE", nullptr,
     "Start from the settings record in \\fIFILE\\fR (written by \\fB\\-\\-save\\fR, or by a program with the "
     "library's \\fBoperator<<\\fR): options, the recursion and copy switches, pattern, file pattern, format and "
     "backup extension.\nArguments and options given on the command line replace what it holds; the arguments it "
     "supplies may be left out.\nThe subject always comes from \\fB\\-\\-subject\\fR, \\fB\\-\\-input\\fR or "
     "standard input.",
     "<file>", [](Invocation& inv, Value v, Value) { inv.loadFile.Set(v); }},
    {0, "save", "", "FILE", false, false, kAllCommands, false, kEvery,
     "write the settings of this run to FILE", nullptr,
     "Write the settings of this run to \\fIFILE\\fR, in the library's record format, before the command runs.\n"
     "With it, the flags the record keeps (\\fB\\-r\\fR, \\fB\\-\\-backup\\fR, \\fB\\-\\-copy\\fR, "
     "\\fB\\-\\-no\\-copy\\fR) are taken with any command.",
     "<file>", [](Invocation& inv, Value v, Value) { inv.saveFile.Set(v); }},
    {0, "help", "", nullptr, false, false, kAllCommands, false, kEvery,
     "this page; COMMAND --help or help COMMAND: that command", nullptr,
     "Print a usage page; \\fICOMMAND\\fB \\-\\-help\\fR or \\fBravelin help\\fI COMMAND\\fR, the usage of that "
     "command with examples and its flags.",
     nullptr, [](Invocation& inv, Value, Value) { inv.help = true; }},
    {0, "version", "", nullptr, false, false, kAllCommands, false, kEvery,
     "the version", nullptr,
     "Print the version.",
     nullptr, [](Invocation& inv, Value, Value) { inv.version = true; }},
    {0, "generate", "", "KIND", false, false, kAllCommands, false, kEvery,
     "print the manual page (man) or a completion script (bash, zsh)", nullptr,
     "Print this manual page (\\fBman\\fR), or the completion script for \\fBbash\\fR or \\fBzsh\\fR, and exit.",
     "man bash zsh", [](Invocation& inv, Value v, Value) {
       if (v != "man" && v != "bash" && v != "zsh") throw UsageError("--generate '" + v + "': man, bash or zsh");
       inv.generate = v;
     }},
};
// clang-format on

}  // namespace

std::vector<std::string> Words(const char* text) {
  std::vector<std::string> words;
  const std::string s = text == nullptr ? std::string() : std::string(text);
  for (std::size_t k = 0; k < s.size();) {
    const std::size_t end = std::min(s.find(' ', k), s.size());
    if (end > k) words.push_back(s.substr(k, end - k));
    k = end + 1;
  }
  return words;
}

const Flag* Flags(std::size_t* size) {
  *size = std::size(kFlags);
  return kFlags;
}

const FlagSection* FlagSections(std::size_t* size) {
  *size = std::size(kSections);
  return kSections;
}

std::string FlagNames(const Flag& flag, bool withValue) {
  std::string names;
  if (flag.shortName != 0) names = std::string("-") + flag.shortName + ", ";
  names += std::string("--") + flag.longName;
  if (withValue && flag.valueName != nullptr)
    names += flag.optionalValue ? std::string("[=") + flag.valueName + "]" : std::string(" ") + flag.valueName;
  for (const std::string& alias : Words(flag.aliases)) names += ", --" + alias;
  return names;
}

std::string CommandsInWords(CommandSet commands) {
  if (commands == kFileCommands) return "the file commands";
  if (commands == kSubjectCommands) return "the string commands";
  std::string words;
  for (unsigned c = 0; c < 32; ++c) {
    if ((commands & (1U << c)) == 0) continue;
    const char* name = CommandName(static_cast<Command>(c));
    if (name == nullptr) continue;
    words += (words.empty() ? "" : ", ") + std::string(name);
  }
  return words;
}

}  // namespace ravelin_cli
