// The reader behind the prefilter. It understands the Perl syntax group as
// the engine parses it and nothing more: basic syntax, POSIX extended rules,
// free-spacing mode, newline alternation, recursion, conditionals, \G, \K
// and similar make the pattern unreadable.
#include "prefilter/pattern_reader.h"

#include <bitset>
#include <cctype>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "engine/engine.h"

namespace RegexClass {
namespace detail {
namespace {

using Bytes = std::bitset<256>;
using rc = boost::regbase;  // syntax flags

// Case folding in effect: off, on, or not known (either).
enum class Fold { Off, On, Either };
// What a '.' does with '\n': as the match flags say, always matches it,
// never matches it, or not known.
enum class Dot { AsFlags, Always, Never, Either };

struct Scope {
  Fold entryFold, fold;
  Dot entryDot, dot;
  bool modified = false;    // an inline modifier changed fold or dot here
  bool lookaround = false;  // the group's text is not scanned for
  bool repeats = false;     // holds a repeat or an alternation
};

class Reader {
 public:
  explicit Reader(const boost::regex& e) : pattern_(e.str()), flags_(e.flags()), loc_(e.getloc()) {}

  ScannerPattern Read();

 private:
  bool Fail(const char* why) {
    if (why_.empty()) why_ = why;
    return false;
  }
  bool Suppressed() const { return suppressed_ > 0; }
  void Emit(const std::string& s) {
    if (!Suppressed()) out_ += s;
  }
  // The bytes the engine matches with the one-character item `atom`.
  bool Probe(const std::string& atom, Fold fold, Bytes& set);
  bool ProbeOne(const std::string& atom, bool icase, Bytes& set);
  // Adds a one-character item to the scanner's text.
  bool Atom(const std::string& atom);
  bool Literal(char c);
  bool EmitSet(const Bytes& set);
  bool Item(const Bytes& set);
  bool Escape();
  bool Class();
  bool OpenGroup();
  bool Quantifier();
  bool WordBoundaryKnown();

  const std::string pattern_;
  const boost::regex::flag_type flags_;
  const std::locale loc_;
  std::size_t i_ = 0;
  std::string out_;
  std::vector<Scope> scopes_;
  int suppressed_ = 0;
  bool lastQuantifiable_ = false;  // the last item may take a quantifier
  // Shapes on which the engine may give up (its state budget) where a
  // search from fewer start positions would not: a repeated group that
  // itself repeats or alternates, and adjacent unbounded repeats of
  // overlapping sets (a*a*c). The prefilter leaves them to the plain search,
  // so that such failures stay as they are.
  bool lastIsGroup_ = false;
  bool lastGroupRepeats_ = false;
  Bytes lastSet_;
  bool runBefore_ = false;  // the item before the last was an unbounded repeat
  bool run_ = false;
  Bytes runSet_;
  int wordKnown_ = -1;  // -1 not asked yet
  std::map<std::pair<std::string, bool>, Bytes> probes_;
  ScannerPattern result_;
  std::string why_;
};

bool Reader::ProbeOne(const std::string& atom, bool icase, Bytes& set) {
  const auto key = std::make_pair(atom, icase);
  const auto found = probes_.find(key);
  if (found != probes_.end()) {
    set = found->second;
    return true;
  }
  boost::regex probe;
  probe.imbue(loc_);
  boost::regex::flag_type f = (flags_ & (rc::collate | rc::no_escape_in_lists | rc::literal)) | rc::no_except;
  std::string text = atom;
  if (flags_ & rc::literal) {
    if (icase) f |= rc::icase;
  } else {
    text = (icase ? "(?i:" : "(?-i:") + atom + ")";
  }
  probe.assign(text.data(), text.data() + text.size(), f);
  if (probe.status() != 0) return Fail("an item the engine reads differently alone");
  set.reset();
  std::string failure;
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    if (SafeMatch(&c, &c + 1, probe, boost::match_default, &failure)) set.set(static_cast<std::size_t>(b));
    // A byte the engine gave up on might match: the set would be too small.
    if (!failure.empty()) return Fail("an item the engine gives up on");
  }
  if (set.none()) return Fail("an item that matches no single byte");
  probes_.emplace(key, set);
  return true;
}

bool Reader::Probe(const std::string& atom, Fold fold, Bytes& set) {
  if (fold != Fold::Either) return ProbeOne(atom, fold == Fold::On, set);
  Bytes other;
  if (!ProbeOne(atom, true, set) || !ProbeOne(atom, false, other)) return false;
  set |= other;
  return true;
}

bool Reader::EmitSet(const Bytes& set) {
  char hex[16];
  if (set.count() == 1) {
    for (int b = 0; b < 256; ++b) {
      if (set.test(static_cast<std::size_t>(b))) {
        std::snprintf(hex, sizeof hex, "\\x%02x", b);
        Emit(hex);
      }
    }
    return true;
  }
  std::string text = "[";
  for (int b = 0; b < 256;) {
    if (!set.test(static_cast<std::size_t>(b))) {
      ++b;
      continue;
    }
    int end = b;
    while (end + 1 < 256 && set.test(static_cast<std::size_t>(end) + 1)) ++end;
    std::snprintf(hex, sizeof hex, "\\x%02x", b);
    text += hex;
    if (end > b) {
      std::snprintf(hex, sizeof hex, "-\\x%02x", end);
      text += hex;
    }
    b = end + 1;
  }
  text += "]";
  Emit(text);
  return true;
}

bool Reader::Atom(const std::string& atom) {
  Bytes set;
  if (!Probe(atom, scopes_.back().fold, set)) return false;
  return Item(set);
}

bool Reader::Item(const Bytes& set) {
  if (set.test('\n')) result_.newlineOutsideDot = true;
  lastQuantifiable_ = true;
  lastIsGroup_ = false;
  lastSet_ = set;
  runBefore_ = run_;
  run_ = false;
  return EmitSet(set);
}

bool Reader::Literal(char c) {
  if (scopes_.back().fold == Fold::Off) {
    Bytes set;
    set.set(static_cast<unsigned char>(c));
    return Item(set);
  }
  std::string atom(1, c);
  if (!(flags_ & rc::literal) && std::string("\\^$.[|()*+?{}]").find(c) != std::string::npos) atom = "\\" + atom;
  if (!(flags_ & rc::literal) && c == '\0') atom = "\\x00";
  return Atom(atom);
}

bool Reader::WordBoundaryKnown() {
  if (wordKnown_ < 0) {
    Bytes word, ascii;
    for (int b = 0; b < 256; ++b) {
      if (std::isalnum(b) != 0 || b == '_') ascii.set(static_cast<std::size_t>(b));
    }
    wordKnown_ = (ProbeOne("\\w", false, word) && word == ascii) ? 1 : 0;
    why_.clear();
  }
  return wordKnown_ == 1;
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool Reader::Escape() {
  // i_ is on the backslash.
  const std::size_t n = pattern_.size();
  if (i_ + 1 >= n) return Fail("a trailing backslash");
  const char c = pattern_[i_ + 1];
  const std::size_t start = i_;
  i_ += 2;
  auto through = [&](char close) {
    while (i_ < n && pattern_[i_] != close) ++i_;
    if (i_ >= n) return false;
    ++i_;
    return true;
  };
  switch (c) {
    case 'b':
    case '<':
    case '>':
      lastQuantifiable_ = false;
      if (WordBoundaryKnown()) Emit("\\b");
      return true;
    case 'B':
    case 'A':
    case '`':
    case 'z':
    case 'Z':
    case '\'':
      lastQuantifiable_ = false;
      return true;  // an assertion: dropping it only widens the scanner's matches
    case 'Q': {
      const std::size_t end = pattern_.find("\\E", i_);
      const std::size_t stop = end == std::string::npos ? n : end;
      for (; i_ < stop; ++i_) {
        if (!Literal(pattern_[i_])) return false;
      }
      if (end != std::string::npos) i_ = end + 2;
      return true;
    }
    case 'x':
      if (i_ < n && pattern_[i_] == '{') {
        if (!through('}')) return Fail("an unterminated \\x{");
      } else {
        for (int k = 0; k < 2 && i_ < n && IsHex(pattern_[i_]); ++k) ++i_;
      }
      return Atom(pattern_.substr(start, i_ - start));
    case 'c':
      if (i_ >= n) return Fail("a trailing \\c");
      ++i_;
      return Atom(pattern_.substr(start, i_ - start));
    case 'p':
    case 'P':
      if (i_ < n && pattern_[i_] == '{') {
        if (!through('}')) return Fail("an unterminated property");
      } else if (i_ < n) {
        ++i_;
      }
      return Atom(pattern_.substr(start, i_ - start));
    case 'N':
      if (i_ < n && pattern_[i_] == '{' && through('}')) return Atom(pattern_.substr(start, i_ - start));
      return Fail("\\N without a name");
    case 'w':
    case 'W':
    case 's':
    case 'S':
    case 'd':
    case 'D':
    case 'l':
    case 'u':
    case 'h':
    case 'H':
    case 'v':
    case 'V':
    case 'a':
    case 'e':
    case 'f':
    case 'n':
    case 'r':
    case 't':
      return Atom(pattern_.substr(start, 2));
    case 'g':
    case 'k': {
      if (i_ < n && (pattern_[i_] == '{' || pattern_[i_] == '<' || pattern_[i_] == '\'')) {
        const char close = pattern_[i_] == '{' ? '}' : pattern_[i_] == '<' ? '>' : '\'';
        if (!through(close)) return Fail("an unterminated back-reference");
      } else if (c == 'g') {
        if (i_ < n && pattern_[i_] == '-') ++i_;
        if (i_ >= n || !std::isdigit(static_cast<unsigned char>(pattern_[i_]))) return Fail("a bare \\g");
        while (i_ < n && std::isdigit(static_cast<unsigned char>(pattern_[i_]))) ++i_;
      } else {
        return Fail("a bare \\k");
      }
      return Fail("a back-reference");
    }
    default:
      break;
  }
  if (c >= '1' && c <= '9') {
    if (flags_ & rc::no_bk_refs) return Fail("a digit escape without back-references");
    return Fail("a back-reference");
  }
  if (std::isalnum(static_cast<unsigned char>(c)) != 0) return Fail("an escape the reader does not know");
  return Literal(c);
}

bool Reader::Class() {
  // i_ is on the '['.
  const std::size_t n = pattern_.size();
  const bool escapes = !(flags_ & rc::no_escape_in_lists);
  std::size_t j = i_ + 1;
  if (j < n && pattern_[j] == '^') ++j;
  if (j < n && pattern_[j] == ']') ++j;
  while (j < n && pattern_[j] != ']') {
    const char c = pattern_[j];
    if (c == '[' && j + 1 < n && (pattern_[j + 1] == ':' || pattern_[j + 1] == '=' || pattern_[j + 1] == '.')) {
      if (pattern_[j + 1] != ':') return Fail("a collating element or equivalence class");
      const std::size_t close = pattern_.find(":]", j + 2);
      if (close == std::string::npos) return Fail("an unterminated character class name");
      j = close + 2;
      continue;
    }
    if (c == '\\' && escapes) {
      if (j + 1 >= n) return Fail("a trailing backslash in a list");
      const char k = pattern_[j + 1];
      if (k == 'Q' || k == 'E') return Fail("quoting inside a list");
      j += 2;
      if ((k == 'x' || k == 'p' || k == 'P' || k == 'N') && j < n && pattern_[j] == '{') {
        const std::size_t close = pattern_.find('}', j);
        if (close == std::string::npos) return Fail("an unterminated brace in a list");
        j = close + 1;
      }
      continue;
    }
    ++j;
  }
  if (j >= n) return Fail("an unterminated list");
  const std::string atom = pattern_.substr(i_, j + 1 - i_);
  i_ = j + 1;
  return Atom(atom);
}

bool Reader::OpenGroup() {
  // i_ is on the '('.
  const std::size_t n = pattern_.size();
  Scope outer = scopes_.back();
  Scope inner{outer.fold, outer.fold, outer.dot, outer.dot, false, outer.lookaround};
  ++i_;
  if (i_ < n && pattern_[i_] == '*') return Fail("a verb");
  if (i_ < n && pattern_[i_] == '?') {
    ++i_;
    if (i_ >= n) return Fail("an unterminated group");
    const char c = pattern_[i_];
    if (c == ':' || c == '>' || c == '|') {
      ++i_;
    } else if (c == '=' || c == '!') {
      ++i_;
      inner.lookaround = true;
    } else if (c == '<' && i_ + 1 < n && (pattern_[i_ + 1] == '=' || pattern_[i_ + 1] == '!')) {
      i_ += 2;
      inner.lookaround = true;
    } else if (c == '#') {
      const std::size_t close = pattern_.find(')', i_);
      if (close == std::string::npos) return Fail("an unterminated comment");
      i_ = close + 1;
      lastQuantifiable_ = false;
      return true;
    } else if (c == '<' || c == '\'' || (c == 'P' && i_ + 1 < n && pattern_[i_ + 1] == '<')) {
      if (c == 'P') ++i_;
      const char close = pattern_[i_] == '<' ? '>' : '\'';
      const std::size_t end = pattern_.find(close, i_ + 1);
      if (end == std::string::npos) return Fail("an unterminated group name");
      i_ = end + 1;
    } else {
      // Inline modifiers: (?imsx-imsx) or (?imsx-imsx:...).
      bool on = true;
      Fold fold = outer.fold;
      Dot dot = outer.dot;
      bool any = false;
      while (i_ < n && pattern_[i_] != ')' && pattern_[i_] != ':') {
        const char m = pattern_[i_++];
        any = true;
        if (m == '-') {
          on = false;
        } else if (m == 'i') {
          fold = on ? Fold::On : Fold::Off;
        } else if (m == 's') {
          dot = on ? Dot::Always : Dot::Never;
        } else if (m == 'x') {
          if (on) return Fail("free-spacing mode");
        } else if (m != 'm') {
          return Fail("a group kind the reader does not know");
        }
      }
      if (i_ >= n || !any) return Fail("a group kind the reader does not know");
      if (pattern_[i_] == ')') {
        ++i_;
        Scope& here = scopes_.back();
        here.fold = fold;
        here.dot = dot;
        here.modified = true;
        lastQuantifiable_ = false;
        return true;
      }
      ++i_;  // ':'
      inner.fold = inner.entryFold = fold;
      inner.dot = inner.entryDot = dot;
    }
  }
  if (inner.lookaround) {
    ++suppressed_;
  } else {
    Emit("(?:");
  }
  scopes_.push_back(inner);
  lastQuantifiable_ = false;
  run_ = false;
  return true;
}

bool Reader::Quantifier() {
  // i_ is on * + ? or {.
  const std::size_t n = pattern_.size();
  if (!lastQuantifiable_) return Fail("a repeat of something the scanner does not see");
  std::string q;
  const char c = pattern_[i_];
  bool unbounded = c == '*' || c == '+';
  if (c == '{') {
    std::size_t j = i_ + 1;
    const std::size_t digits = j;
    while (j < n && std::isdigit(static_cast<unsigned char>(pattern_[j]))) ++j;
    if (j == digits) return Fail("a brace that is not a repeat");
    if (j < n && pattern_[j] == ',') {
      ++j;
      unbounded = j < n && pattern_[j] == '}';
      while (j < n && std::isdigit(static_cast<unsigned char>(pattern_[j]))) ++j;
    }
    if (j >= n || pattern_[j] != '}') return Fail("a brace that is not a repeat");
    q = pattern_.substr(i_, j + 1 - i_);
    i_ = j + 1;
  } else {
    q = std::string(1, c);
    ++i_;
  }
  if (i_ < n && (pattern_[i_] == '?' || pattern_[i_] == '+')) ++i_;  // lazy or possessive: same language
  scopes_.back().repeats = true;
  if (unbounded && lastIsGroup_ && lastGroupRepeats_) return Fail("a repeated group that repeats");
  if (unbounded && !lastIsGroup_) {
    if (runBefore_ && (runSet_ & lastSet_).any()) return Fail("adjacent repeats of overlapping sets");
    run_ = true;
    runSet_ = lastSet_;
  }
  Emit(q);
  lastQuantifiable_ = false;
  return true;
}

ScannerPattern Reader::Read() {
  const auto main = flags_ & rc::main_option_type;
  const auto refused = rc::basic_syntax_group | rc::no_perl_ex | rc::mod_x | rc::newline_alt;
  if ((main & rc::basic_syntax_group) || (flags_ & refused)) {
    result_.why = "a syntax the reader does not know";
    return result_;
  }
  const Fold fold = (flags_ & rc::icase) ? Fold::On : Fold::Off;
  const Dot dot = (flags_ & rc::mod_s) ? Dot::Always : (flags_ & rc::no_mod_s) ? Dot::Never : Dot::AsFlags;
  scopes_.push_back(Scope{fold, fold, dot, dot, false, false});
  const std::size_t n = pattern_.size();
  bool ok = true;
  if (flags_ & rc::literal) {
    for (; ok && i_ < n; ++i_) ok = Literal(pattern_[i_]);
  }
  while (ok && i_ < n && !(flags_ & rc::literal)) {
    const char c = pattern_[i_];
    switch (c) {
      case '\\':
        ok = Escape();
        break;
      case '[':
        ok = Class();
        break;
      case '(':
        ok = OpenGroup();
        break;
      case ')': {
        if (scopes_.size() < 2) {
          ok = Fail("an unbalanced parenthesis");
          break;
        }
        const Scope closed = scopes_.back();
        scopes_.pop_back();
        ++i_;
        if (closed.repeats) scopes_.back().repeats = true;
        run_ = false;
        if (closed.lookaround) {
          --suppressed_;
          lastQuantifiable_ = false;
        } else {
          Emit(")");
          lastQuantifiable_ = true;
          lastIsGroup_ = true;
          lastGroupRepeats_ = closed.repeats;
        }
        break;
      }
      case '|': {
        Scope& here = scopes_.back();
        if (here.modified) {
          if (here.fold != here.entryFold) here.fold = Fold::Either;
          if (here.dot != here.entryDot) here.dot = Dot::Either;
        } else {
          here.fold = here.entryFold;
          here.dot = here.entryDot;
        }
        here.repeats = true;
        Emit("|");
        ++i_;
        lastQuantifiable_ = false;
        break;
      }
      case '*':
      case '+':
      case '?':
      case '{':
        ok = Quantifier();
        break;
      case '^':
      case '$':
        ++i_;
        lastQuantifiable_ = false;  // line anchors: dropped
        break;
      case '.': {
        const Dot d = scopes_.back().dot;
        if (d == Dot::Always || d == Dot::Either) result_.dotAlways = true;
        if (d == Dot::AsFlags) result_.dotUnlessFlag = true;
        if (Suppressed() && d != Dot::Never) result_.newlineOutsideDot = true;
        Emit("[\\x00-\\xff]");
        lastQuantifiable_ = true;
        ++i_;
        break;
      }
      default:
        ok = Literal(c);
        ++i_;
        break;
    }
  }
  if (ok && scopes_.size() != 1) ok = Fail("an unbalanced parenthesis");
  if (!ok) {
    result_.why = why_;
    return result_;
  }
  result_.readable = true;
  result_.text = out_;
  return result_;
}

}  // namespace

ScannerPattern ReadPattern(const boost::regex& e) {
  if (e.empty() || e.status() != 0) {
    ScannerPattern none;
    none.why = "not compiled";
    return none;
  }
  return Reader(e).Read();
}

}  // namespace detail
}  // namespace RegexClass
