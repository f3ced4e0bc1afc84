// Ravelin: regular expressions over 8-bit text and over files on disk.
//
// ============================================================================
//  GUIDE
// ============================================================================
//
// One class, RegexClass::RegularExpression, does everything. Over strings
// it works in two styles: matches as values, and events.
//
// VALUES (additions): compile once, ask for matches as results that view the
// subject you pass (keep it alive while you use them):
//
//   RegexClass::RegularExpression re("(?<user>\\w+)@(\\w+)");
//   if (re.ParseExpression() != 0)              // compile and check (else
//     std::cerr << re.GetExpressionError();     // the first use compiles)
//   bool whole = re.FullMatch("anna@example").has_value();      // as MatchAll
//   if (auto m = re.Find(text))                                 // as Search
//     std::cout << (*m)[0] << " user " << m->Group("user") << " host "
//               << (*m)[2] << " at " << m->Position(0) << "\n";
//   for (const RegexClass::MatchResult& m : re.FindAll(text))   // as Grep
//     std::cout << m.Line() << ": " << m[0] << "\n";
//   std::string a = re.Replace(text, "$2:$1");                  // a format
//   std::string b = re.Replace(text, [](const RegexClass::MatchResult& m) {
//     return std::string(m[1]) + " at " + std::string(m[2]);    // a callable
//   });
//
// Find, FullMatch, FindAll and Replace are const: several threads may use
// one object at once (see "matches as values" in the class). They are linear
// in the subject plus its matches on every path, prefilter included, and copy
// nothing but what Replace returns: a match's prefix and suffix are views.
//
// EVENTS: give an object an expression, compile options, match options and
// the inputs of the job, hang handlers on the events you want to hear, and
// call an operation:
//
//   RegexClass::RegularExpression re;
//   re.SetExpression("(\\w+)@(\\w+)");
//   re.SetStringToMatch("mail anna@example or bob@host");
//   re.SetOnGrepping([](RegexClass::RegularExpression& r,
//                       const RegexClass::REMatchInfo& m, unsigned line,
//                       unsigned lineStart, bool& goOn) {
//     std::cout << m[0].text << " at " << m[0].position << "\n";
//   });
//   unsigned n = re.Grep();            // 2
//
// STRINGS: Match / MatchAll (anchored), Search (first match), Grep (every
// match), Format (the current match through the format string), Merge
// (search and replace over the whole subject). Each match vector an event
// gets holds a copy of the suffix (the whole rest of the subject), so a Grep,
// Merge or Search with a handler costs O(subject) per match: a handler walk
// over many matches is quadratic. Without a handler Grep and Merge are
// linear; for the matches themselves use the value style above.
//
// FILES: FindFiles (files holding a match), GrepFiles (every match in every
// file), ChangeFiles (search and replace inside files). A file pattern
// is a path whose last component may hold the wildcards * ? and [...];
// directory recursion applies the same last component at every depth. Files
// are visited files first, then subdirectories, each in byte-wise name order;
// links to directories are not followed; a file reached twice (through links)
// is searched, reported and changed once; files that cannot be read are
// skipped and listed (GetSkippedFiles). Each file is read whole before it is
// searched, so one that another process shrinks meanwhile is searched as it
// was read. ChangeFiles never loses data: each changed file is written to a
// temporary file in its own directory, flushed to disk and renamed over the
// original, so a crash leaves every file wholly old or wholly new; another
// writer's change is never overwritten in silence (see ChangeFiles).
//
// HANDLERS may be any callable with the event's arguments (a capturing
// lambda, a functor, a std::function) as well as a plain function or a
// member function bound to its object (Closure). A file walk that collects
// its matches:
//
//   std::vector<std::string> todo;
//   re.SetExpression("TODO:? *(.*)");
//   re.SetFilesToMatch("src/*.cpp");
//   re.SetDirectoryRecursion(true);
//   re.SetOnGreppingFiles([&todo](RegexClass::RegularExpression&,
//                                 std::string file,
//                                 const RegexClass::REMatchInfo& m,
//                                 unsigned line, bool&) {
//     todo.push_back(file + ":" + std::to_string(line) + ": " + m[1].text);
//   });
//   re.GrepFiles();
//
// SETTINGS: operator<< and operator>> write and read a text record of the
// option sets, the two switches and the five strings.
//
// ERRORS are values. Nothing is thrown by the library: a bad expression gives
// a result code (ParseExpression) and the engine's message
// (GetExpressionError); a search the engine cannot finish (too complex for the
// subject) counts as "no further match" and leaves its reason in
// GetLastSearchError; file changes that fail are listed by
// GetChangeFilesErrors. Only std::bad_alloc and exceptions thrown by your own
// handlers or streams leave an operation.
//
// COMPILATION is lazy and remembered: the first operation that needs the
// expression compiles it, once per change of the expression or of the compile
// options, and the outcome (success or failure) is kept until the next change.
//
// THREADS: use an object from one thread at a time, except for the const
// value operations (Find, FullMatch, FindAll, Replace), which several threads
// may call on one object at once while none changes it. With libravelin.so
// distinct objects may run on distinct threads at once, file operations
// included. libravelinsolo.so is for programs that use the library
// from one thread.
//
// THE ENGINE is Boost.Regex. How compile option words map onto it:
//   - Normal (the default) and words holding EscapeInLists and NoCollate: Perl
//     syntax, leftmost-first matching.
//   - Extended: POSIX extended syntax, leftmost-longest matching, with
//     back-references.
//   - Basic (and any word with BkParens): POSIX basic syntax, leftmost-longest.
//   - Literal: the whole expression is plain text.
//   Icase, NewlineAlt, NoCollate, EscapeInLists and BkRefs added to or taken
//   from these four words keep their meaning exactly (without EscapeInLists a
//   backslash inside [...] is an ordinary character; without BkRefs \1 is the
//   digit 1). Intervals and CharClasses may be taken from any of them, and
//   in Basic, BkPlusQm with BkVbar may stand for LimitedOps (then \+ \? and
//   \| are the operators). A word the engine cannot
//   express (for example BkVbar without BkParens) fails to compile with
//   result code UnsupportedOptions and a message saying so; it is never
//   approximated.
//   Two engine faults are kept away: a repeat that follows
//   a possessive repeat across an empty \Q\E or a free-spacing # comment
//   (a++\Q\E+) fails to compile with code 13 (a bad repeat), as Perl
//   refuses it, where the engine alone crashes or loops; and a pattern that
//   starts with a lazy bounded repeat (.{1,3}?bA) finds the leftmost match,
//   which the engine alone skips.

#ifndef RAVELIN_REGULAREXPRESSION_H
#define RAVELIN_REGULAREXPRESSION_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <iosfwd>
#include <iterator>
#include <locale>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stack>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(RAVELIN_BUILDING)
#define RAVELIN_API __attribute__((visibility("default")))
#else
#define RAVELIN_API
#endif

namespace RegexClass {

class RegularExpression;

namespace detail {
class CompiledExpression;  // the engine's compiled form; internal
struct MatchView;          // one match of the engine over a buffer; internal
struct Internals;          // the library's own helpers that reach private state
struct ChangeRun;          // the state of a running ChangeFiles; internal
struct EventFunctions;     // the callables set as handlers; internal
struct MatchData;          // the match a MatchResult shares; internal
class MatchCursor;         // the walk behind a MatchRange; internal
struct ValueAccess;        // the value operations' reach into the class; internal

// True for F that a setter of an event takes as a callable: one the event's
// std::function can hold that is neither the plain handler (a captureless
// lambda converts to it, and so keeps setting the plain slot) nor a closure.
template <class F, class Plain, class Bound, class Function>
constexpr bool kEventCallable = !std::is_convertible<F, Plain>::value && !std::is_same<std::decay_t<F>, Bound>::value &&
                                std::is_constructible<Function, F>::value;
}  // namespace detail

// One entry of a match vector.
struct RAVELIN_API REMatch {
  std::string text;       // the bytes covered; empty when not taking part
  std::int64_t position;  // byte offset from the start of the subject or
                          // file; -1 when the entry did not take part
};

// A match vector. From a string operation: entry 0 the whole match, 1..n-1
// the sub-expressions in the order of their opening parentheses, then the
// prefix and the suffix. From a file event: one entry per mark only.
// The suffix text is copied per reported match: a handler walk over n matches copies O(n * subject) bytes.
using REMatchInfo = std::vector<REMatch>;

// The match reported to a file callback: what the file walk knows of the
// current match. Valid only inside the callback that receives it.
class RAVELIN_API FileMatch {
 public:
  // Number of marks, the whole match included.
  unsigned Marks() const;
  // Text of mark i; "" when it did not take part or i is out of range.
  std::string What(unsigned i) const;
  // Byte offset of mark i from the start of the file; -1 when it did not
  // take part or i is out of range.
  std::int64_t Position(unsigned i) const;
  // Line of the match: 1 + the number of '\n' bytes before it.
  unsigned Line() const;

  // Built by the file walk only.
  FileMatch(const detail::MatchView& view, unsigned line) : view_(&view), line_(line) {}

 private:
  friend struct detail::Internals;
  const detail::MatchView* view_;
  unsigned line_;
};

// A bound handler: a target object and one of its member functions. Empty
// when default-constructed; set when its function part is not null.
//   RegularExpression::OnGreppingClosure c(&myTarget, &MyTarget::OnHit);
// The target is not owned: it must outlive every operation that may call it.
template <class Signature>
class Closure;

template <class... Args>
class Closure<void(RegularExpression&, Args...)> {
 public:
  Closure() = default;
  template <class T>
  Closure(T* target, void (T::*method)(RegularExpression&, Args...)) : target_(target) {
    static_assert(sizeof(method) <= sizeof(method_), "member function pointer too large");
    if (method != nullptr) {
      std::memcpy(method_, &method, sizeof(method));
      invoke_ = &Invoke<T>;
    }
  }
  // True when the function part is set.
  explicit operator bool() const { return invoke_ != nullptr; }
  // The target object, or null.
  void* GetTarget() const { return target_; }
  // Calls the member function on the target. REQUIRES: *this is set.
  void operator()(RegularExpression& re, Args... args) const { invoke_(*this, re, args...); }
  // Same target and same member function.
  bool operator==(const Closure& other) const {
    return target_ == other.target_ && invoke_ == other.invoke_ &&
           std::memcmp(method_, other.method_, sizeof(method_)) == 0;
  }
  bool operator!=(const Closure& other) const { return !(*this == other); }

 private:
  template <class T>
  static void Invoke(const Closure& self, RegularExpression& re, Args... args) {
    void (T::*method)(RegularExpression&, Args...);
    std::memcpy(&method, self.method_, sizeof(method));
#if defined(__GNUC__) && !defined(__clang__)
// GCC cannot see that a copied member pointer to a non-virtual function
// never reads the target's vtable, and warns about a class without one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
    (static_cast<T*>(self.target_)->*method)(re, args...);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
  }
  void* target_ = nullptr;
  void (*invoke_)(const Closure&, RegularExpression&, Args...) = nullptr;
  alignas(void*) unsigned char method_[2 * sizeof(void*)] = {};
};

// Addition. One match, as a value: a view over a subject the caller keeps
// alive (Find, FullMatch, FindAll, Replace). Texts are string_views into
// that subject: nothing of it is copied, and they dangle once it goes. A
// default-constructed result holds no match (Size() 0). Copies share the
// match and are cheap.
class RAVELIN_API MatchResult {
 public:
  MatchResult() = default;
  // Number of marks, the whole match (0) included.
  std::size_t Size() const;
  // Text of mark i; "" when it did not take part or i is out of range.
  std::string_view operator[](std::size_t i) const;
  // True when mark i took part in the match.
  bool Matched(std::size_t i) const;
  // Byte offset of mark i from the start of the subject; -1 when it did not
  // take part or i is out of range.
  std::int64_t Position(std::size_t i) const;
  // Text of the named sub-expression (?<name>...): of the leftmost group of
  // that name that took part; "" when none did or no group has that name.
  std::string_view Group(std::string_view name) const;
  // The text from the end of the previous match (or the start of the
  // subject, or of the search) to this match, as the events' prefix entry.
  std::string_view Prefix() const;
  // The text from the end of this match to the end of the subject.
  std::string_view Suffix() const;
  // Line of the match (1 + the '\n' bytes before its first byte) and the
  // offset of that line's first byte, as the events count them.
  unsigned Line() const;
  std::int64_t LineStart() const;
  // This match through a format (Perl-like: $& $1 ${name} $` $' ...), as
  // Format does; "" for an empty format or no match.
  std::string Format(std::string_view format) const;

 private:
  friend struct detail::ValueAccess;
  std::shared_ptr<detail::MatchData> data_;
};

// Addition. The matches of FindAll, found one step at a time as the range is
// walked (an input range: walk it once). The MatchResult an iterator gives
// holds until the next step; copy it to keep it. The range holds the
// compiled expression, but the object that made it must outlive it (a
// search the engine gives up on is recorded there), as must the subject.
class RAVELIN_API MatchRange {
 public:
  class RAVELIN_API iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = MatchResult;
    using difference_type = std::ptrdiff_t;
    using pointer = const MatchResult*;
    using reference = const MatchResult&;
    // The end of every range.
    iterator() = default;
    reference operator*() const { return *current_; }
    pointer operator->() const { return current_; }
    iterator& operator++();
    void operator++(int) { ++*this; }
    bool operator==(const iterator& other) const { return current_ == other.current_; }
    bool operator!=(const iterator& other) const { return current_ != other.current_; }

   private:
    friend class MatchRange;
    explicit iterator(detail::MatchCursor* cursor);
    detail::MatchCursor* cursor_ = nullptr;
    const MatchResult* current_ = nullptr;  // null at the end
  };
  MatchRange(MatchRange&& other) noexcept;
  MatchRange& operator=(MatchRange&& other) noexcept;
  ~MatchRange();
  // Starts the walk (again, from the first match, when called again).
  iterator begin();
  iterator end() const { return iterator(); }

 private:
  friend struct detail::ValueAccess;
  explicit MatchRange(std::unique_ptr<detail::MatchCursor> cursor);
  std::unique_ptr<detail::MatchCursor> cursor_;  // null when there is nothing to walk
};

class RAVELIN_API RegularExpression {
 public:
  // ---------------------------------------------------------------- options
  // Compile options. One signed byte each, as the settings record stores
  // them. Basic, Extended and Normal are combinations of the others and are
  // kept consistent by AddExpressionOption and DeleteExpressionOption.
  enum Options : signed char {
    EscapeInLists = 0,  // backslash escapes inside [...]
    CharClasses = 1,    // [[:name:]] classes inside [...]
    Intervals = 2,      // bounded repeats {m,n}
    LimitedOps = 3,     // + ? | are plain characters
    NewlineAlt = 4,     // a newline separates alternatives
    BkPlusQm = 5,       // \+ and \? are the operators
    BkBraces = 6,       // \{ \} delimit intervals
    BkParens = 7,       // \( \) group
    BkRefs = 8,         // back-references \1..\9
    BkVbar = 9,         // \| is alternation
    Literal = 10,       // the whole expression is plain text
    Icase = 11,         // case-insensitive
    NoCollate = 12,     // ranges are not collated by the locale
    Basic = 13,         // CharClasses Intervals LimitedOps BkBraces BkParens BkRefs
    Extended = 14,      // CharClasses Intervals BkRefs
    Normal = 15         // EscapeInLists CharClasses Intervals BkRefs NoCollate
  };

  // Addition. The bits an option puts in the compile flag word that
  // GetFlagOptions gives, as a settings record keeps it; a combination puts
  // all of its members' bits. The one statement of the layout.
  static constexpr unsigned OptionWord(Options o) {
    constexpr unsigned bits[16] = {0x1,   0x2,   0x4,    0x8,    0x10,   0x20,  0x40,  0x80,
                                   0x100, 0x200, 0x1000, 0x2000, 0x4000, 0x1CE, 0x106, 0x4107};
    return o >= 0 && o < 16 ? bits[o] : 0U;
  }

  // Match options; the flag word bits are the engine's match flags.
  enum Matches : signed char {
    MatchDefault = 0,        // no restriction
    MatchNotBol = 1,         // the subject does not start a line
    MatchNotEol = 2,         // the subject does not end a line
    MatchNotBob = 3,         // the subject does not start the buffer
    MatchNotEob = 4,         // the subject does not end the buffer
    MatchNotBow = 5,         // the subject does not start a word
    MatchNotEow = 6,         // the subject does not end a word
    MatchNotDotNewline = 7,  // . does not match a newline
    MatchNotDotNull = 8,     // . does not match NUL
    MatchAny = 9,            // any match will do
    MatchNotNull = 10,       // an empty match is not accepted
    MatchContinuous = 11     // a match must begin where the search begins
  };
  // Addition. The bit a match option puts in the match flag word
  // (GetMatchFlags); MatchDefault puts none.
  static constexpr unsigned MatchWord(Matches m) {
    constexpr unsigned bits[12] = {0, 0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x400, 0x800, 0x1000};
    return m >= 0 && m < 12 ? bits[m] : 0U;
  }

  // Result code of a compilation whose option word the engine cannot express.
  static constexpr unsigned char UnsupportedOptions = 200;

  // Addition. Every result code ParseExpression gives, by name: 0, the
  // engine's codes (Boost.Regex's regex_constants::error_type, same values)
  // and the library's own. Compare with static_cast<unsigned char>(...).
  // The engine's 12 (out of memory: std::bad_alloc leaves the call
  // instead), 14, 16 (unused by the engine), 15 and 19 (never given by a
  // compilation) do not occur.
  enum class ParseResult : unsigned char {
    Ok = 0,                    // compiled and usable
    EmptyExpression = 1,       // ours: the expression is "" (the engine's "no match" code)
    BadPattern = 2,            // a construct in a wrong place, e.g. | twice in a conditional
    BadCollatingElement = 3,   // [[.name.]] names no collating element
    BadClassName = 4,          // [[:name:]] or \p{name} names no class
    BadEscape = 5,             // an escape that is unknown or ends the expression
    BadBackReference = 6,      // \N names a group that does not exist
    UnmatchedBracket = 7,      // a [ without its ]
    UnmatchedParenthesis = 8,  // a ( or \( without its partner, or a ) alone
    UnmatchedBrace = 9,        // a { or \{ without its }
    BadRepeatRange = 10,       // {m,n} with n < m, or not numbers
    BadRange = 11,             // a class range whose end is below its start
    BadRepeat = 13,            // a repeat with nothing to repeat; ours too: a repeat the
                               // engine would misread after a possessive repeat
    EmptyPart = 17,            // an empty pattern or alternative where the syntax forbids one
    TooComplex = 18,           // nesting deeper than the engine takes
    BadPerlExtension = 20,     // a (?...) sequence the engine does not know
    Unknown = 21,              // the engine's own inconsistency
    UnsupportedOptions = 200,  // ours (the constant above): an option word the engine cannot
                               // express, or a pattern it cannot search reliably
  };

  // ------------------------------------------------------- file change records
  // What went wrong with one file of ChangeFiles.
  enum ProblemKind : unsigned char {
    OpenFailed = 0,        // the file cannot be opened for reading
    TempCreateFailed = 1,  // the temporary file cannot be created (fileName: its intended name;
                           // text: the file left unchanged)
    ReadFailed = 2,        // a read from the file failed, or the file ended before a recorded
                           // match (position: where; errorCode 0 for the early end)
    WriteFailed = 3,       // a write to the temporary file failed (fileName: temporary, position:
                           // where; text: the file left unchanged)
    TextChanged = 4,       // the file no longer holds the matched text (position, text: the match),
                           // or another writer changed it after it was searched (position, text:
                           // its first match); the other writer's contents are kept
    BackupFailed = 5,      // the backup copy could not be made (fileName: backup name)
    ReplaceFailed = 6,     // the temporary file could not replace the file
    AttributesFailed = 7,  // the mode could not be given (file untouched), or the owner or
                           // group could not be kept (file replaced, set-ID bits dropped)
    SearchFailed = 8       // the engine could not search the file to its end; file untouched
  };

  struct FileChangeProblem {
    std::string fileName;  // the file concerned (see ProblemKind)
    ProblemKind problem = OpenFailed;
    unsigned long position = 0;   // a byte offset, per kind; 0 where none
    std::string text;             // TextChanged: the expected text; SearchFailed: the
                                  // engine's reason; TempCreateFailed, WriteFailed: the
                                  // file left unchanged; else ""
    unsigned long errorCode = 0;  // errno of the failing call; 0 for TextChanged
  };

  // The replacements pending for the file that ChangeFiles is rewriting.
  struct MergeFileInformation {
    struct GrepInformation {
      std::uint64_t position = 0;  // byte offset of the match in the file
      std::string text;            // the matched bytes
      std::string replacement;     // the bytes that replace them
    };
    std::string fileName;                          // "" when nothing is pending
    std::vector<GrepInformation> grepInformation;  // ascending, non-overlapping
  };
  using GrepInformation = MergeFileInformation::GrepInformation;

  // The expression and match flags a ChangeFiles run started with.
  struct MergeSave {
    std::shared_ptr<const detail::CompiledExpression> savedExpression;
    unsigned matchFlags = 0;
  };

  // Addition. Why a file operation passed a path by (GetSkippedFiles).
  enum SkipReason : unsigned char {
    NotFound = 0,     // the file pattern names a file or directory that does not exist
    Unreadable = 1,   // a file or directory that could not be opened or read (errorCode)
    SearchGaveUp = 2  // the engine could not search the file to its end (text: its reason)
  };
  // Addition. How a backup name is made from saveExtension (SetBackupNaming).
  enum class BackupNaming : unsigned char {
    Extension,  // the extension of the last path component replaced (the default)
    Suffix      // saveExtension appended to the whole name, as it is
  };
  // Addition. One path a file operation passed by.
  struct SkippedFile {
    std::string fileName;  // as the walk names it (the file pattern, for NotFound)
    SkipReason reason = NotFound;
    unsigned long errorCode = 0;  // errno of the failing call; 0 for SearchGaveUp
    std::string text;             // SearchGaveUp: the engine's reason; else ""
  };
  // Addition. What ChangeFiles did with one file (FileFilter::FileChanged).
  enum class ChangeOutcome : unsigned char {
    Replaced,      // the file holds its new contents
    SameText,      // every replacement equals the text it replaces: not rewritten
    LeftUnchanged  // a problem left the file as it was
  };
  // Addition. Chooses what FindFiles, GrepFiles and ChangeFiles walk into
  // and search, and hears when each file is done: the place for ignore
  // rules, globs and tests of a file's contents. Every call comes on the
  // calling thread. EnterDirectory, LeaveDirectory and TakeFile come as the
  // walk lists the tree; SearchFile and FileDone come with the file's
  // results, in walk order (with file threads, some files later than the
  // listing); SearchBytes alone may come on another thread. Names are as
  // the walk hands them over. An exception a call throws ends the operation
  // and reaches its caller; SearchBytes must not throw.
  class FileFilter {
   public:
    virtual ~FileFilter() = default;
    // A directory below the file pattern's own, before the walk opens it
    // (with recursion). False passes it by, with nothing reported.
    virtual bool EnterDirectory(const std::string& name);
    // The walk has left a directory EnterDirectory let it into (even one it
    // then could not open), unless the operation ended first.
    virtual void LeaveDirectory(const std::string& name);
    // A file whose name the file pattern matches, before it is opened.
    // False passes it by, with nothing reported.
    virtual bool TakeFile(const std::string& name);
    // A test of a file's bytes alone, as read, before it is searched: false
    // passes it by as SearchFile does (and saves its search). The one call
    // that may come on a worker thread, for several files at once: it must
    // not change the filter. When FindFiles reads a file in parts (see
    // FindFiles), it is asked of each part as it comes, before that part is
    // searched.
    virtual bool SearchBytes(const char* first, const char* last) const;
    // Addition. What the walk knows of a file it has opened: a link's
    // target is searched as the link's name (the walk follows links to
    // files), and link tells the filter so.
    struct FileFacts {
      bool link = false;              // its entry is a symbolic link, or no longer the file opened
      unsigned long long device = 0;  // the file opened (a link's target)
      unsigned long long inode = 0;
      unsigned long long links = 0;  // its hard links
    };
    // Addition. The file as opened and read, after SearchBytes and before
    // SearchFile, with its facts: false passes it by as SearchFile does.
    virtual bool TakeOpenedFile(const std::string& name, const FileFacts& facts);
    // The bytes of the file as read, before any of its matches is reported.
    // False passes it by: no match reported, nothing changed, no FileDone.
    virtual bool SearchFile(const std::string& name, const char* first, const char* last);
    // Every match of the file has been reported (matches: how many; FindFiles
    // 0 or 1), or a handler stopped the operation within it, or the engine
    // gave up on it. Follows every SearchFile that returned true. [first,
    // last) are its bytes as read. False ends the walk.
    virtual bool FileDone(const std::string& name, const char* first, const char* last, unsigned matches);
    // Addition. The engine gave up searching the file part-way (reason: its
    // message, as SkippedFile::text has it): the matches reported before were
    // found, and the rest of the file is unknown. Comes before its FileDone.
    virtual void SearchStopped(const std::string& name, const std::string& reason);
    // Addition. What ChangeFiles did with a file it took a match of, or
    // recorded a problem for, once it is done with the file and before its
    // FileDone: replaced (problem: null, or the AttributesFailed of an owner
    // or group it could not keep), left as it is because every replacement
    // equals the text it replaces (problem: null), or left unchanged (problem:
    // why; the same entry GetChangeFilesErrors lists, valid during the call).
    // replacements: the matches replaced in it, as ChangeFiles counts them,
    // for Replaced and SameText; 0 for LeftUnchanged. A file ChangeFiles ends
    // the run at (a backup, a read-only file, a handler that stops at its
    // first match) is not told.
    virtual void FileChanged(const std::string& name, ChangeOutcome outcome, const FileChangeProblem* problem,
                             unsigned long replacements);

   protected:
    FileFilter() = default;
    FileFilter(const FileFilter&) = default;
    FileFilter& operator=(const FileFilter&) = default;
  };
  // --------------------------------------------------------------- handlers
  // Plain handlers; the first argument is the object raising the event. A
  // bool& argument is the go-on flag, preset to true: set it false to stop.
  using OnMatchingHandler = void (*)(RegularExpression&, const REMatchInfo&, unsigned line, unsigned lineStart);
  using OnSearchingHandler = void (*)(RegularExpression&, const REMatchInfo&, unsigned line, unsigned lineStart);
  using OnGreppingHandler = void (*)(RegularExpression&, const REMatchInfo&, unsigned line, unsigned lineStart,
                                     bool& goOn);
  using OnMergingHandler = void (*)(RegularExpression&, const REMatchInfo&, unsigned line, unsigned lineStart,
                                    bool& goOn);
  using OnGreppingFilesHandler = void (*)(RegularExpression&, std::string fileName, const REMatchInfo&, unsigned line,
                                          bool& goOn);
  using OnFindFilesHandler = void (*)(RegularExpression&, std::string fileName, bool& goOn);
  using OnChangingFilesHandler = void (*)(RegularExpression&, std::string fileName, const REMatchInfo&, unsigned line,
                                          bool& goOn);

  // Bound handlers with the same arguments.
  using OnMatchingClosure = Closure<void(RegularExpression&, const REMatchInfo&, unsigned, unsigned)>;
  using OnSearchingClosure = Closure<void(RegularExpression&, const REMatchInfo&, unsigned, unsigned)>;
  using OnGreppingClosure = Closure<void(RegularExpression&, const REMatchInfo&, unsigned, unsigned, bool&)>;
  using OnMergingClosure = Closure<void(RegularExpression&, const REMatchInfo&, unsigned, unsigned, bool&)>;
  using OnGreppingFilesClosure = Closure<void(RegularExpression&, std::string, const REMatchInfo&, unsigned, bool&)>;
  using OnFindFilesClosure = Closure<void(RegularExpression&, std::string, bool&)>;
  using OnChangingFilesClosure = Closure<void(RegularExpression&, std::string, const REMatchInfo&, unsigned, bool&)>;

  // Addition. Any callable with the same arguments: a capturing lambda, a
  // functor, a std::function. The object owns a copy of it.
  using OnMatchingFunction = std::function<void(RegularExpression&, const REMatchInfo&, unsigned, unsigned)>;
  using OnSearchingFunction = std::function<void(RegularExpression&, const REMatchInfo&, unsigned, unsigned)>;
  using OnGreppingFunction = std::function<void(RegularExpression&, const REMatchInfo&, unsigned, unsigned, bool&)>;
  using OnMergingFunction = std::function<void(RegularExpression&, const REMatchInfo&, unsigned, unsigned, bool&)>;
  using OnGreppingFilesFunction =
      std::function<void(RegularExpression&, std::string, const REMatchInfo&, unsigned, bool&)>;
  using OnFindFilesFunction = std::function<void(RegularExpression&, std::string, bool&)>;
  using OnChangingFilesFunction =
      std::function<void(RegularExpression&, std::string, const REMatchInfo&, unsigned, bool&)>;

  // ------------------------------------------------- construction and copying
  // Defaults: options { EscapeInLists CharClasses Intervals BkRefs NoCollate
  // Normal } (word 0x4107), match options { MatchDefault }, the global
  // locale, empty strings, both switches off, no handlers.
  RegularExpression();
  // Copies options, strings, switches, handlers and the compiled state; the
  // copy gets the global locale and no results or problems.
  RegularExpression(const RegularExpression& other);
  // Like the copy, but the target keeps its own locale and working state.
  RegularExpression& operator=(const RegularExpression& other);
  // Addition. Moves: the target ends as the copy (or the assignment) would,
  // and takes the strings, option sets and callables over instead of copying
  // them. The source is left with empty strings and option sets, no
  // callables and nothing compiled: assign to it before using it again.
  RegularExpression(RegularExpression&& other) noexcept;
  RegularExpression& operator=(RegularExpression&& other) noexcept;
  // Releases the calling thread's active-object stack if it is empty.
  virtual ~RegularExpression();
  // Equal option sets, strings (byte-wise) and switches; ignores the locale,
  // the compiled state, handlers and results.
  bool operator==(const RegularExpression& other) const;
  bool operator!=(const RegularExpression& other) const { return !(*this == other); }

  // ------------------------------------------------------------- properties
  // Setters store the value and nothing else (SetExpression also marks the
  // compiled form stale). Getters return copies.
  std::string GetExpression() const;
  void SetExpression(const std::string& text);
  // Addition. The same from a view, or from a C string (null stores "").
  void SetExpression(std::string_view text);
  void SetExpression(const char* text) { SetExpression(text != nullptr ? std::string_view(text) : std::string_view()); }
  std::string GetStringToMatch() const;  // subject of the string operations
  void SetStringToMatch(const std::string& text);
  // Addition. The same from a view, or from a C string (null stores "").
  void SetStringToMatch(std::string_view text);
  void SetStringToMatch(const char* text) {
    SetStringToMatch(text != nullptr ? std::string_view(text) : std::string_view());
  }
  std::string GetFilesToMatch() const;  // file pattern
  void SetFilesToMatch(const std::string& spec);
  // Addition. The same from a view, or from a C string (null stores "").
  void SetFilesToMatch(std::string_view spec);
  void SetFilesToMatch(const char* spec) {
    SetFilesToMatch(spec != nullptr ? std::string_view(spec) : std::string_view());
  }
  std::string GetFormatString() const;  // format of Format, Merge, ChangeFiles
  void SetFormatString(const std::string& format);
  // Addition. The same from a view, or from a C string (null stores "").
  void SetFormatString(std::string_view format);
  void SetFormatString(const char* format) {
    SetFormatString(format != nullptr ? std::string_view(format) : std::string_view());
  }
  std::string GetSaveExtension() const;  // backup extension of ChangeFiles; "" = none
  void SetSaveExtension(const std::string& extension);
  // Addition. The same from a view, or from a C string (null stores "").
  void SetSaveExtension(std::string_view extension);
  void SetSaveExtension(const char* extension) {
    SetSaveExtension(extension != nullptr ? std::string_view(extension) : std::string_view());
  }
  // Addition. Why ChangeFiles refuses to back files up with extension (as
  // an extension or as a suffix): "cannot hold '/'" or a NUL byte, "cannot
  // be empty or blank", "cannot be '.'" or "'..'", each of which would put
  // a backup elsewhere than beside its file or over it. "" when it can be
  // used, and for "" (no backup).
  static std::string SaveExtensionFault(const std::string& extension);
  bool GetDirectoryRecursion() const;  // file operations descend into subdirectories
  void SetDirectoryRecursion(bool on);
  bool GetMergeCopy() const;  // Merge copies the text outside the matches
  void SetMergeCopy(bool on);
  std::locale GetLocale() const;  // takes effect at the next compilation
  void SetLocale(const std::locale& loc);
  // Addition. FindFiles and GrepFiles read and search up to this many files
  // at once on worker threads of their own (libravelin.so only); handlers
  // still run on the calling thread, in walk order, with the same results.
  // 1 (the default) searches on the calling thread. Not part of the settings
  // record.
  unsigned GetFileThreads() const;
  void SetFileThreads(unsigned threads);
  // Addition. The filter of the file operations (not owned; null, the
  // default, takes every file and directory). Copies share it. Not part of
  // the settings record.
  FileFilter* GetFileFilter() const;
  void SetFileFilter(FileFilter* filter);
  // Addition. Line-bounded matching, off by default. When on, Grep, Merge,
  // Search, FindFiles, GrepFiles and ChangeFiles find matches as if each line
  // (the bytes between two '\n', without them) were a subject of its own: no
  // match holds a '\n', ^ $ \A \z are the line's ends (and ^ $ match
  // nowhere else: not around a \r or \f, as they do in a whole subject,
  // so x$ does not match in "x\r\n", as with grep and sed), look-around stops
  // there, and the empty-match rule applies per line (x* in "ab\ncd" matches
  // 6 times). Bytes after a final '\n' are no line, so an empty subject or
  // file holds none. Positions, lines, line starts, prefixes and suffixes are
  // reported as without it (offsets from the start of the subject or file).
  // Match and MatchAll take the first line (the bytes before the first '\n')
  // as their subject. MatchNotBol, MatchNotBob and MatchNotEol, MatchNotEob
  // speak of the first and the last line only. ChangeFiles still writes what
  // Merge gives. Copied with the object; not part of the settings record.
  bool GetLineBounded() const;
  void SetLineBounded(bool on);
  // Addition. The rule of BackupFile, ReplaceExtension, BackupNameOf and so
  // of every backup ChangeFiles and MergeUpdateFile make. Extension, the
  // default, is the rule ReplaceExtension describes. Suffix appends
  // saveExtension to the file's name ("util.c" with ".bak" -> "util.c.bak",
  // with "~" -> "util.c~"), so that files differing only in their extension
  // get backups of their own; BackupFile is then true for a name whose last
  // path component ends with saveExtension (ignoring case) and is longer
  // than it. Copied with the object; not part of the settings record.
  BackupNaming GetBackupNaming() const;
  void SetBackupNaming(BackupNaming naming);

  // ---------------------------------------------------------- option sets
  // Adds o; adding or completing a combination keeps Basic, Extended and
  // Normal consistent. Marks the compiled form stale when the set changed.
  void AddExpressionOption(Options o);
  // Removes o and the combinations that no longer hold.
  void DeleteExpressionOption(Options o);
  bool IsExpressionOption(Options o) const;
  // Empties the set; the compiled form stays as it is.
  void ClearExpressionOptions();
  // The compile flag word of the set (0x4107 for the defaults).
  unsigned GetFlagOptions();
  unsigned GetFlagOptions() const;  // Addition.
  // MatchDefault displaces the restrictions 1-8 and they displace it.
  void AddMatchOption(Matches m);
  // Removing the last restriction puts MatchDefault back.
  void DeleteMatchOption(Matches m);
  bool IsMatchOption(Matches m) const;
  void ClearMatchOptions();
  // The match flag word of the set (0 for the defaults).
  unsigned GetMatchFlags();
  unsigned GetMatchFlags() const;  // Addition.

  // ----------------------------------------------------------- compilation
  // 0 when the expression is compiled and usable, else the engine's error
  // code (1 for an empty expression, UnsupportedOptions for an option word
  // the engine cannot express); every code is named in ParseResult. Compiles
  // only when the expression or the options changed since the last attempt.
  unsigned char ParseExpression();
  // The low 8 bits of an engine result.
  unsigned char ConvertREXResult(unsigned int code);
  // The engine's message for the last failed compilation, or "".
  std::string GetExpressionError() const;
  // Number of parenthesised sub-expressions; compiles when needed. 0 when the
  // expression does not compile.
  unsigned NumberOfSubexpressions();
  // The same without compiling: 0 until compiled.
  unsigned NumberOfSubexpressions() const;
  // Why the last search of a string operation stopped early (the engine gave
  // up: too complex or out of stack), or "" when it ran to its end.
  std::string GetLastSearchError() const;

  // --------------------------------------------------------- match results
  // The current match as a vector (see REMatchInfo): inside OnMatching,
  // OnSearching, OnGrepping and OnMerging handlers. Empty when no match is
  // current.
  REMatchInfo GetMatchingInformation();
  // Forgets the stored result of Match, MatchAll or Search.
  void ResetMatches();

  // ---------------------------------------------------------------- events
  // A plain setter given a non-null handler clears the bound slot of the same
  // event; a bound setter given a set closure clears the plain slot. The
  // plain handler is called first when both could be.
  // Addition: each event also takes any callable with its arguments (a
  // capturing lambda, a functor, a std::function) through the same setter,
  // and SetOn...Function and GetOn...Function set and give it as a
  // std::function. A set callable clears the plain and bound slots, and a
  // set plain or bound handler clears the callable; an empty one clears
  // nothing else. A captureless lambda still sets the plain slot. A callable
  // is called where a plain handler would be (on the calling thread), and
  // what it throws reaches the caller as a plain handler's exception does.
  // Copies of the object copy its callables; a callable that replaces
  // itself runs to its end.
  void SetOnMatching(OnMatchingHandler h);
  OnMatchingHandler GetOnMatching() const;
  void SetOnMatchingClosure(const OnMatchingClosure& c);
  OnMatchingClosure GetOnMatchingClosure() const;
  template <class F, std::enable_if_t<
                         detail::kEventCallable<F, OnMatchingHandler, OnMatchingClosure, OnMatchingFunction>, int> = 0>
  void SetOnMatching(F&& f) {  // Addition.
    SetOnMatchingFunction(OnMatchingFunction(std::forward<F>(f)));
  }
  void SetOnMatchingFunction(OnMatchingFunction f);  // Addition.
  OnMatchingFunction GetOnMatchingFunction() const;  // Addition.
  void SetOnSearching(OnSearchingHandler h);
  OnSearchingHandler GetOnSearching() const;
  void SetOnSearchingClosure(const OnSearchingClosure& c);
  OnSearchingClosure GetOnSearchingClosure() const;
  template <
      class F,
      std::enable_if_t<detail::kEventCallable<F, OnSearchingHandler, OnSearchingClosure, OnSearchingFunction>, int> = 0>
  void SetOnSearching(F&& f) {  // Addition.
    SetOnSearchingFunction(OnSearchingFunction(std::forward<F>(f)));
  }
  void SetOnSearchingFunction(OnSearchingFunction f);  // Addition.
  OnSearchingFunction GetOnSearchingFunction() const;  // Addition.
  void SetOnGrepping(OnGreppingHandler h);
  OnGreppingHandler GetOnGrepping() const;
  void SetOnGreppingClosure(const OnGreppingClosure& c);
  OnGreppingClosure GetOnGreppingClosure() const;
  template <class F, std::enable_if_t<
                         detail::kEventCallable<F, OnGreppingHandler, OnGreppingClosure, OnGreppingFunction>, int> = 0>
  void SetOnGrepping(F&& f) {  // Addition.
    SetOnGreppingFunction(OnGreppingFunction(std::forward<F>(f)));
  }
  void SetOnGreppingFunction(OnGreppingFunction f);  // Addition.
  OnGreppingFunction GetOnGreppingFunction() const;  // Addition.
  void SetOnMerging(OnMergingHandler h);
  OnMergingHandler GetOnMerging() const;
  void SetOnMergingClosure(const OnMergingClosure& c);
  OnMergingClosure GetOnMergingClosure() const;
  template <class F,
            std::enable_if_t<detail::kEventCallable<F, OnMergingHandler, OnMergingClosure, OnMergingFunction>, int> = 0>
  void SetOnMerging(F&& f) {  // Addition.
    SetOnMergingFunction(OnMergingFunction(std::forward<F>(f)));
  }
  void SetOnMergingFunction(OnMergingFunction f);  // Addition.
  OnMergingFunction GetOnMergingFunction() const;  // Addition.
  void SetOnGreppingFiles(OnGreppingFilesHandler h);
  OnGreppingFilesHandler GetOnGreppingFiles() const;
  void SetOnGreppingFilesClosure(const OnGreppingFilesClosure& c);
  OnGreppingFilesClosure GetOnGreppingFilesClosure() const;
  template <
      class F,
      std::enable_if_t<
          detail::kEventCallable<F, OnGreppingFilesHandler, OnGreppingFilesClosure, OnGreppingFilesFunction>, int> = 0>
  void SetOnGreppingFiles(F&& f) {  // Addition.
    SetOnGreppingFilesFunction(OnGreppingFilesFunction(std::forward<F>(f)));
  }
  void SetOnGreppingFilesFunction(OnGreppingFilesFunction f);  // Addition.
  OnGreppingFilesFunction GetOnGreppingFilesFunction() const;  // Addition.
  void SetOnFindFiles(OnFindFilesHandler h);
  OnFindFilesHandler GetOnFindFiles() const;
  void SetOnFindFilesClosure(const OnFindFilesClosure& c);
  OnFindFilesClosure GetOnFindFilesClosure() const;
  template <
      class F,
      std::enable_if_t<detail::kEventCallable<F, OnFindFilesHandler, OnFindFilesClosure, OnFindFilesFunction>, int> = 0>
  void SetOnFindFiles(F&& f) {  // Addition.
    SetOnFindFilesFunction(OnFindFilesFunction(std::forward<F>(f)));
  }
  void SetOnFindFilesFunction(OnFindFilesFunction f);  // Addition.
  OnFindFilesFunction GetOnFindFilesFunction() const;  // Addition.
  void SetOnChangingFiles(OnChangingFilesHandler h);
  OnChangingFilesHandler GetOnChangingFiles() const;
  void SetOnChangingFilesClosure(const OnChangingFilesClosure& c);
  OnChangingFilesClosure GetOnChangingFilesClosure() const;
  template <
      class F,
      std::enable_if_t<
          detail::kEventCallable<F, OnChangingFilesHandler, OnChangingFilesClosure, OnChangingFilesFunction>, int> = 0>
  void SetOnChangingFiles(F&& f) {  // Addition.
    SetOnChangingFilesFunction(OnChangingFilesFunction(std::forward<F>(f)));
  }
  void SetOnChangingFilesFunction(OnChangingFilesFunction f);  // Addition.
  OnChangingFilesFunction GetOnChangingFilesFunction() const;  // Addition.

  // ------------------------------------------------------ string operations
  // True when the expression matches stringToMatch from its first byte on;
  // raises OnMatching with the match, line 1 and line start 0.
  bool Match();
  // True when the expression matches the whole of stringToMatch (any way of
  // matching that reaches the last byte counts, not only the first found).
  bool MatchAll();
  // True when the expression matches anywhere; raises OnSearching once.
  bool Search();
  // Number of matches reported to OnGrepping (or found, with no handler), in
  // string order; 0 for an empty subject. The handler may stop the walk. An
  // empty match may not follow another at the same place, and one at the very
  // end counts: x* in "ab" matches 3 times. The walk runs over a copy of the
  // subject with the handlers set when it started.
  unsigned Grep();
  // out = the current match formatted by formatString (Perl-like: $& $1 ...),
  // or "" when no match is current or the format is empty.
  void Format(std::string& out) const;
  // out = stringToMatch with every match replaced by its formatted text; the
  // text between matches is kept when mergeCopy is set. "" when the format,
  // the subject or the expression is empty or the expression does not compile.
  // Matches as Grep finds them. An OnMerging handler that clears go-on leaves
  // that match and all after it unreplaced; otherwise the text is the same.
  void Merge(std::string& out);

  // ---------------------------------------------------- matches as values
  // Addition. The string operations as values, over a subject given to the
  // call (stringToMatch, the current match and the events are left alone).
  // They honour the compile options, the match options and line-bounded
  // matching as the operations above do, and compile lazily as they do.
  // Results view the subject (see MatchResult): keep it alive while you use
  // them. Every one is linear in the subject plus its matches, through the
  // prefilter where it applies; nothing copies a suffix.
  // An expression that does not compile (ParseExpression,
  // GetExpressionError say why) yields no match. A search the engine gives
  // up on (GetLastSearchError says why; "" after one that ran to its end)
  // yields no further match: Find and FullMatch none, FindAll ends there as
  // Grep does, and Replace gives the subject unchanged, never a partly
  // replaced or shortened text.
  //
  // Threads: these five are const. Several threads may call them on one
  // object at once, with libravelin.so, as long as no thread changes the
  // object (no setter, no other operation, no assignment) meanwhile; before
  // the first compilation too: the lazy compilation runs once, under a lock
  // of the object's held only while compiling (later calls see the compiled
  // form through an atomic flag and take no lock), and a give-up reason is
  // recorded under the same lock. Copying the object reads its compiled form
  // without the lock: copy it only once it has compiled (or from the thread
  // that owns it). With libravelinsolo.so use one thread.
  //
  // An object of default options with this expression.
  explicit RegularExpression(std::string_view expression);
  // The first match, as Search finds it.
  [[nodiscard]] std::optional<MatchResult> Find(std::string_view subject) const;
  // The match of the whole subject, as MatchAll finds it.
  [[nodiscard]] std::optional<MatchResult> FullMatch(std::string_view subject) const;
  // Every match, as Grep reports them (same order, positions, prefixes and
  // lines; none for an empty subject), found as the range is walked:
  //   for (const RegexClass::MatchResult& m : re.FindAll(text)) ...
  [[nodiscard]] MatchRange FindAll(std::string_view subject) const;
  // The subject with every match replaced by format applied to it (as
  // Format) and the text between matches copied: Merge with mergeCopy on,
  // except that an empty format deletes the matches.
  [[nodiscard]] std::string Replace(std::string_view subject, std::string_view format) const;
  // The same with the text a callable returns for each match: anything
  // called with a const MatchResult& that returns something a
  // std::string_view can be made from (std::string, const char*, ...).
  // The callable's exceptions reach the caller.
  template <class F, typename std::enable_if<
                         std::is_invocable<F&, const MatchResult&>::value &&
                             std::is_convertible<std::invoke_result_t<F&, const MatchResult&>, std::string_view>::value,
                         int>::type = 0>
  [[nodiscard]] std::string Replace(std::string_view subject, F&& callable) const {
    using Callable = std::remove_reference_t<F>;
    if constexpr (std::is_function<Callable>::value) {
      // A function named as such: called through a pointer to it.
      Callable* const function = &callable;
      return Replace(subject, function);
    } else {
      const ReplaceCallback call = [](const void* context, const MatchResult& match, std::string& out) {
        decltype(auto) text = (*static_cast<Callable*>(const_cast<void*>(context)))(match);
        const std::string_view view = text;
        out.append(view.data(), view.size());
      };
      return ReplaceCalling(subject, call, static_cast<const void*>(std::addressof(callable)));
    }
  }

 private:
  friend struct detail::ValueAccess;
  using ReplaceCallback = void (*)(const void* context, const MatchResult& match, std::string& out);
  std::string ReplaceCalling(std::string_view subject, ReplaceCallback call, const void* context) const;
  // The compiled form for the const operations: compiles under valueMutex
  // when expressionParsed is not yet set; null for an empty expression.
  std::shared_ptr<const detail::CompiledExpression> CompiledForValues() const;
  // Records the outcome of a const operation's search in lastSearchError.
  void NoteValueSearch(const std::string& failure) const;
  // Held while a const operation compiles or records a give-up reason.
  mutable std::mutex valueMutex;

 public:
  // -------------------------------------------------------- file operations
  // Number of files named by filesToMatch that hold a match; raises
  // OnFindFiles once per such file. Only the expression text and Icase take
  // part. 0 when the expression or the file pattern is empty or the
  // expression does not compile. With line-bounded matching and none of
  // MatchNotBol, MatchNotBob, MatchNotEol, MatchNotEob (which speak of the
  // first and last line), a file over 64 KiB is read in parts and only as
  // far as its first match: the file filter then sees the bytes read.
  unsigned FindFiles();
  // Number of matches in the files, each raised as OnGreppingFiles with one
  // entry per mark. With no handler the matches are only counted.
  unsigned GrepFiles();
  // Replaces every match in the files by formatString merged with it; returns
  // the number of replacements written. What a file becomes equals Merge
  // (mergeCopy on) over its old bytes: each replacement is the format applied
  // to the match where it stands, context and match options included. 0, and
  // nothing written, when the expression does not compile under the object's
  // options (UnsupportedOptions included). A file holding the save extension
  // or a read-only file ends the run. Problems: GetChangeFilesErrors.
  // Each file is locked (flock) from before it is read until it is replaced,
  // so runs of this library take turns per file; its new contents are written
  // as its matches are reported (memory does not grow with their number) and
  // it is replaced after its last match, only if it is still the file read
  // (same inode, size, modification and change times): otherwise it is left
  // as the other writer made it (TextChanged, with the position and text of
  // the first replaced match that the file as it now is no longer holds; of
  // the first match when it cannot be read or holds them all). A writer that
  // keeps the old file open, or writes in the instant between that check and
  // the rename, writes to the old file. Owner, group, mode and extended attributes (POSIX
  // ACLs included) are kept; a backup (saveExtension) is made the same way
  // beside the file and is never written over a backup made earlier in the
  // same run (BackupFailed, EEXIST); a save extension holding '/', blank, "."
  // or ".." changes nothing (BackupFailed, EINVAL). Names of the form
  // .ravelin-XXXXXX (a temporary file left by a killed run) are never
  // searched. A handler that throws leaves the files written so far and drops
  // the file being written. Addition: a file whose every replacement equals
  // the text it replaces is not rewritten (no new inode, no backup); its
  // replacements still count.
  unsigned ChangeFiles();
  // The problems of the last ChangeFiles, or null when there were none. The
  // pointer is valid until the next ChangeFiles or the object's destruction.
  const std::vector<FileChangeProblem>* GetChangeFilesErrors() const;

  // Addition. What the last FindFiles, GrepFiles or ChangeFiles passed by, in
  // walk order: missing paths, unreadable files and directories, searches the
  // engine gave up on. Empty when it passed nothing by. Valid until the next
  // file operation or the object's destruction.
  const std::vector<SkippedFile>& GetSkippedFiles() const;
  // Member callbacks of the file walk; the static callbacks forward to the
  // object on top of the calling thread's active-object stack.
  bool ThisFindFilesCallback(const char* fileName);
  bool ThisGrepFilesCallback(const char* fileName, const FileMatch& match);
  bool ThisMergeFilesCallback(const char* fileName, const FileMatch& match);
  static bool FindFilesCallback(const char* fileName);
  static bool GrepFilesCallback(const char* fileName, const FileMatch& match);
  static bool MergeFilesCallback(const char* fileName, const FileMatch& match);

  // The calling thread's stack of objects running a file operation: created
  // by AllocateStack if missing, freed by DeallocateStack only when empty.
  void AllocateStack();
  void DeallocateStack();

  // ------------------------------------------------------ file update steps
  // Writes the replacements pending in mergeFileInformation into their file:
  // a temporary file beside it (beside a link's target; the link stays a
  // link) takes the new contents and the file's owner, group, mode and
  // extended attributes (POSIX ACLs included), is flushed and renamed over
  // the file, after the backup (saveExtension) has been made the same way;
  // before the backup and before the rename the file must still be the one
  // read (otherwise TextChanged, naming the first pending replacement). A
  // file with several hard links gets a new inode: its other names keep the
  // old contents. Records failures; afterwards nothing is pending.
  void MergeUpdateFile();
  // Closes both descriptors (each if >= 0), removes tempName (if not
  // empty) and forgets the pending replacements.
  void MergeFileCleanup(int readFd, int writeFd, const std::string& tempName);
  // The current offset of a descriptor; 0 when it cannot be read.
  unsigned long GetFilePointer(int fd) const;
  // True when the extension of fileName's last path component (the text
  // after its last '.', or the whole component when it has no dot or only a
  // leading one) equals saveExtension, ignoring case; false when
  // saveExtension is empty.
  bool BackupFile(const std::string& fileName) const;
  // True when the file has no write bit at all, or cannot be examined.
  bool ReadOnlyFile(const std::string& fileName) const;
  // The backup name of the pending file (within ChangeFiles, of the file
  // whose matches are being reported, so a handler hears its backup name):
  // the rule of BackupNameOf, applied also when saveExtension is empty (a
  // name without a dot, "" with nothing pending, gets ".").
  std::string ReplaceExtension() const;

  // Addition. The name ChangeFiles saves fileName under: the extension of its
  // last path component replaced by saveExtension, or saveExtension appended
  // when that component has no dot or only a leading one ("v1.0/README" ->
  // "v1.0/README.bak", ".bashrc" -> ".bashrc.bak", "notes.txt" ->
  // "notes.bak"). "" when saveExtension is empty.
  std::string BackupNameOf(const std::string& fileName) const;
  // Addition. Removes every temporary file that a file update of this process
  // has open, without waiting for it to finish. Async-signal-safe: meant for a
  // signal handler that ends the process right after (_exit), so that an
  // interrupted ChangeFiles leaves nothing behind.
  static void RemoveTemporaryFiles();
  // --------------------------------------------------------------- settings
  // Version written at the head of every settings record.
  static std::int32_t StreamVersion;

 private:
  friend RAVELIN_API std::ostream& operator<<(std::ostream& os, RegularExpression& re);
  friend RAVELIN_API std::ostream& operator<<(std::ostream& os, const RegularExpression& re);
  friend RAVELIN_API std::istream& operator>>(std::istream& is, RegularExpression& re);
  friend struct detail::Internals;

  MergeFileInformation mergeFileInformation;
  std::uint32_t changeCount = 0;
  std::set<Options> expressionOptions;
  std::set<Matches> matchOptions;
  std::locale locale;
  std::string expression;
  std::string stringToMatch;
  std::string filesToMatch;
  std::string formatString;
  std::string saveExtension;
  bool directoryRecursion = false;
  bool mergeCopy = false;
  unsigned fileThreads = 1;
  FileFilter* fileFilter = nullptr;
  bool lineBounded = false;
  BackupNaming backupNaming = BackupNaming::Extension;
  // Atomic: the const operations read it without a lock (see Find).
  mutable std::atomic<bool> expressionParsed{false};
  // Immutable once built; shared by copies and by MergeSave records.
  mutable std::shared_ptr<const detail::CompiledExpression> compiledExpression;
  // The match of a running Match, MatchAll or Search; null otherwise. Owned
  // by the running operation.
  const detail::MatchView* matchResults = nullptr;
  // The match a running Grep or Merge is reporting; null otherwise.
  const detail::MatchView* lastGrepMatch = nullptr;
  std::string mergeResult;
  std::uint64_t mergePosition = 0;
  std::vector<FileChangeProblem> changeFilesErrors;
  std::stack<MergeSave, std::deque<MergeSave>> mergeSaveStack;
  // ChangeFiles: the run in progress on this object (the innermost, when a
  // handler starts another); null when none. Owned by the running call.
  detail::ChangeRun* changeRun = nullptr;
  mutable std::string lastSearchError;  // const operations write it under valueMutex
  std::vector<SkippedFile> skippedFiles;
  // The match vector GrepFiles hands its handlers, reused from match to
  // match; in use while a handler runs.
  REMatchInfo grepFilesInfo;
  bool grepFilesInfoInUse = false;
  // The expression as the file operations search with it (its text and
  // Icase), compiled once and kept until either changes.
  std::shared_ptr<const detail::CompiledExpression> FileExpression();
  std::shared_ptr<const detail::CompiledExpression> fileExpression;
  std::string fileExpressionText;
  bool fileExpressionIcase = false;
  // ChangeFiles with no run of its own in hand: queues the match.
  bool QueueMergeFilesMatch(const char* fileName, const FileMatch& match);

  OnMatchingHandler onMatching = nullptr;
  OnSearchingHandler onSearching = nullptr;
  OnGreppingHandler onGrepping = nullptr;
  OnGreppingFilesHandler onGreppingFiles = nullptr;
  OnFindFilesHandler onFindFiles = nullptr;
  OnMergingHandler onMerging = nullptr;
  OnChangingFilesHandler onChangingFiles = nullptr;
  OnMatchingClosure onMatchingClosure;
  OnSearchingClosure onSearchingClosure;
  OnGreppingClosure onGreppingClosure;
  OnGreppingFilesClosure onGreppingFilesClosure;
  OnFindFilesClosure onFindFilesClosure;
  OnMergingClosure onMergingClosure;
  OnChangingFilesClosure onChangingFilesClosure;
  // The callables set as handlers; null until the first is set.
  std::unique_ptr<detail::EventFunctions> eventFunctions;
  // What a move leaves in its source: empty strings and option sets, nothing compiled.
  void LeaveMovedFrom() noexcept;
};

// Writes the settings record of re (options, switches, five strings): plain
// text, numbers as the stream formats them, each string whole behind its
// length. No line end follows: put white space between records that share a
// stream. Handlers, locale and results are not written.
RAVELIN_API std::ostream& operator<<(std::ostream& os, RegularExpression& re);
// Addition. The same record, of a const object.
RAVELIN_API std::ostream& operator<<(std::ostream& os, const RegularExpression& re);
// Reads one settings record into re; every byte of every string comes back,
// NUL bytes included, and the expression is compiled anew at its next use.
// The version number is not checked. The first extraction that fails ends the
// read and leaves the stream failed (or throws, if the stream was told to):
// the fields before it are replaced, an option set being read holds the
// elements read so far, a string cut short the bytes read so far, and every
// other field keeps its value. Memory grows only with the bytes the stream
// actually holds, whatever the record claims.
RAVELIN_API std::istream& operator>>(std::istream& is, RegularExpression& re);

}  // namespace RegexClass

// Counted unit entry points. The library calls them itself at load and
// unload; a host that calls them pairs each Initialize with one Finalize, and
// only the outermost pair acts.
namespace Regularexpressionclass {
RAVELIN_API void Initialize();
RAVELIN_API void Finalize();
}  // namespace Regularexpressionclass

// Threads library (libravelin.so) only.
namespace Regularexpressiontlsstack {
RAVELIN_API void Initialize();
RAVELIN_API void Finalize();
}  // namespace Regularexpressiontlsstack

#endif  // RAVELIN_REGULAREXPRESSION_H
