#include "options/translate.h"

#include <cstdio>
#include <vector>

namespace RegexClass {
namespace detail {
namespace {

using boost::regex;

struct Rewrite {
  bool digitsForBackrefs;  // \1..\9 stand for the digits themselves
  bool literalBackslashInLists;
  bool literalClassesInLists;  // [: inside a list is plain text
  bool literalBraces;          // { } are plain text (Perl group only)
  bool perlGroup;
};

// Copies a bracket list starting at p (just after '['), rewriting it so that
// Boost, with escapes in lists on, reads it as the option word asks.
const char* CopyList(const char* p, const char* last, const Rewrite& rw, std::string& out) {
  if (p < last && *p == '^') out += *p++;
  if (p < last && *p == ']') out += *p++;
  while (p < last) {
    char c = *p;
    if (c == ']') {
      out += c;
      return p + 1;
    }
    if (c == '[' && p + 1 < last && (p[1] == ':' || p[1] == '=' || p[1] == '.')) {
      if (p[1] == ':' && rw.literalClassesInLists) {
        out += "\\[";
        ++p;
        continue;
      }
      const char kind = p[1];
      const char* q = p + 2;
      while (q + 1 < last && !(q[0] == kind && q[1] == ']')) ++q;
      if (q + 1 >= last) {  // unterminated: leave it to the engine
        out.append(p, last);
        return last;
      }
      out.append(p, q + 2);
      p = q + 2;
      continue;
    }
    if (c == '\\') {
      if (rw.literalBackslashInLists) {
        out += "\\\\";
        ++p;
        continue;
      }
      out += c;
      ++p;
      if (p < last) out += *p++;
      continue;
    }
    out += c;
    ++p;
  }
  return p;
}

std::string RewritePattern(const char* p, const char* last, const Rewrite& rw) {
  std::string out;
  out.reserve(static_cast<std::size_t>(last - p) + 8);
  while (p < last) {
    char c = *p;
    if (c == '\\' && p + 1 < last) {
      char n = p[1];
      if (rw.digitsForBackrefs && n >= '1' && n <= '9') {
        out += n;
        p += 2;
        continue;
      }
      if (rw.perlGroup && n == 'Q') {  // quoted run: copy through \E
        const char* q = p + 2;
        while (q + 1 < last && !(q[0] == '\\' && q[1] == 'E')) ++q;
        const char* end = (q + 1 < last) ? q + 2 : last;
        out.append(p, end);
        p = end;
        continue;
      }
      if (rw.perlGroup && p + 2 < last && p[2] == '{' &&
          (n == 'x' || n == 'p' || n == 'P' || n == 'g' || n == 'k' || n == 'N')) {
        const char* q = p + 3;
        while (q < last && *q != '}') ++q;
        const char* end = (q < last) ? q + 1 : last;
        out.append(p, end);
        p = end;
        continue;
      }
      out += c;
      out += n;
      p += 2;
      continue;
    }
    if (c == '[') {
      out += c;
      p = CopyList(p + 1, last, rw, out);
      continue;
    }
    if (rw.literalBraces && (c == '{' || c == '}')) {
      out += '\\';
      out += c;
      ++p;
      continue;
    }
    out += c;
    ++p;
  }
  return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Where a free-spacing comment ends: at the engine's line separators.
bool IsSeparator(char c) { return c == '\n' || c == '\r' || c == '\f'; }

// Reads a pattern of the Perl group (escapes on in lists, Perl extensions
// on) as the engine's parser does, far enough to tell its repeats from its
// literal text, and finds a repeat that follows a possessive one.
//
// The engine wraps a possessive repeat in an atomic group after the fact and
// does not record where that group starts. It refuses a repeat right after
// one (a+++), skipping blanks in free-spacing mode and (?#...) comments to
// see it, but an empty \Q\E or a free-spacing # comment in between hides the
// second repeat from that check: the engine then splices it in at a stale
// place and builds a program that crashes or loops while compiling. Perl
// refuses all these forms, so the reader reports them and the caller refuses
// the pattern before the engine sees it.
class PossessiveReader {
 public:
  explicit PossessiveReader(const std::string& s) : s_(s), n_(s.size()) {}

  // The offset of a repeat that follows a possessive repeat, or npos.
  std::size_t Find() {
    freeSpacing_.assign(1, false);
    std::size_t i = 0;
    while (i < n_) {
      const char c = s_[i];
      if (freeSpacing_.back() && c == '#') {
        i = SkipComment(i);
      } else if (c == '\\') {
        i = SkipEscape(i);
      } else if (c == '[') {
        i = SkipList(i + 1);
      } else if (c == '(') {
        i = OpenGroup(i + 1);
      } else if (c == ')') {
        if (freeSpacing_.size() > 1) freeSpacing_.pop_back();
        ++i;
      } else if (c == '*' || c == '+' || c == '?') {
        const std::size_t bad = AfterRepeat(i + 1, &i);
        if (bad != std::string::npos) return bad;
      } else if (c == '{') {
        const std::size_t end = Bound(i + 1);
        if (end == 0) {
          ++i;  // not a bound: a literal brace
          continue;
        }
        const std::size_t bad = AfterRepeat(end, &i);
        if (bad != std::string::npos) return bad;
      } else {
        ++i;
      }
    }
    return std::string::npos;
  }

 private:
  std::size_t SkipComment(std::size_t i) const {
    while (i < n_ && !IsSeparator(s_[i])) ++i;
    return i < n_ ? i + 1 : n_;
  }

  // i is on a backslash.
  std::size_t SkipEscape(std::size_t i) const {
    if (i + 1 >= n_) return n_;
    const char k = s_[i + 1];
    i += 2;
    if (k == 'Q') {  // quoted up to \E or the end
      const std::size_t end = s_.find("\\E", i);
      return end == std::string::npos ? n_ : end + 2;
    }
    if (k == 'c') return i < n_ ? i + 1 : n_;  // \c takes any one character
    if (i < n_ && s_[i] == '{' && (k == 'x' || k == 'p' || k == 'P' || k == 'g' || k == 'k' || k == 'N')) {
      const std::size_t end = s_.find('}', i);
      return end == std::string::npos ? n_ : end + 1;
    }
    return i;
  }

  // i is just after '['.
  std::size_t SkipList(std::size_t i) const {
    if (i < n_ && s_[i] == '^') ++i;
    if (i < n_ && s_[i] == ']') ++i;
    while (i < n_) {
      const char c = s_[i];
      if (c == ']') return i + 1;
      if (c == '[' && i + 1 < n_ && (s_[i + 1] == ':' || s_[i + 1] == '=' || s_[i + 1] == '.')) {
        const char close[] = {s_[i + 1], ']', '\0'};
        const std::size_t end = s_.find(close, i + 2);
        if (end != std::string::npos) {
          i = end + 2;
          continue;
        }
      }
      i += c == '\\' ? 2 : 1;
    }
    return n_;
  }

  // i is just after '('. Follows free-spacing mode in and out of groups.
  std::size_t OpenGroup(std::size_t i) {
    bool spacing = freeSpacing_.back();
    if (i < n_ && s_[i] == '*') {  // a verb, (*NAME)
      const std::size_t end = s_.find(')', i);
      return end == std::string::npos ? n_ : end + 1;
    }
    if (i < n_ && s_[i] == '?') {
      ++i;
      if (i < n_ && s_[i] == '#') {  // a comment, up to the first ')'
        const std::size_t end = s_.find(')', i);
        return end == std::string::npos ? n_ : end + 1;
      }
      if (i + 1 < n_ && (s_[i] == '+' || s_[i] == '-') && s_[i + 1] >= '0' && s_[i + 1] <= '9') {
        ++i;  // a relative recursion, (?+1) or (?-1)
      } else {
        // Inline options: (?imsx-imsx) for the rest of the group, or (?imsx-imsx:...).
        std::size_t j = i;
        bool on = true, x = spacing;
        while (j < n_ && (s_[j] == 'i' || s_[j] == 'm' || s_[j] == 's' || s_[j] == 'x' || (s_[j] == '-' && on))) {
          if (s_[j] == '-') on = false;
          if (s_[j] == 'x') x = on;
          ++j;
        }
        if (j < n_ && s_[j] == ')') {
          freeSpacing_.back() = x;
          return j + 1;
        }
        if (j < n_ && s_[j] == ':') {
          spacing = x;
          i = j + 1;
        }
      }
    }
    freeSpacing_.push_back(spacing);
    return i;
  }

  // Reads a bound {m}, {m,} or {m,n} from just after '{' as the engine does
  // (blanks allowed around the numbers). Returns the offset after '}', or 0
  // when the brace is literal text.
  std::size_t Bound(std::size_t i) const {
    auto blanks = [&] {
      while (i < n_ && IsSpace(s_[i])) ++i;
    };
    auto digits = [&] {
      const std::size_t from = i;
      while (i < n_ && s_[i] >= '0' && s_[i] <= '9') ++i;
      return i > from;
    };
    blanks();
    if (!digits()) return 0;
    blanks();
    if (i < n_ && s_[i] == ',') {
      ++i;
      blanks();
      digits();
      blanks();
    }
    return (i < n_ && s_[i] == '}') ? i + 1 : 0;
  }

  // i is just after a repeat. Reads its lazy and possessive marks, sets
  // *next past them, and returns the offset of a further repeat that
  // follows a possessive one across blanks and comments, or npos.
  std::size_t AfterRepeat(std::size_t i, std::size_t* next) const {
    const bool spacing = freeSpacing_.back();
    if (spacing) {
      while (i < n_ && IsSpace(s_[i])) ++i;
    }
    if (i < n_ && s_[i] == '?') ++i;
    const bool possessive = i < n_ && s_[i] == '+';
    if (possessive) ++i;
    *next = i;
    if (!possessive) return std::string::npos;
    while (i < n_) {
      if (spacing && IsSpace(s_[i])) {
        ++i;
      } else if (spacing && s_[i] == '#') {
        i = SkipComment(i);
      } else if (s_.compare(i, 3, "(?#") == 0) {
        const std::size_t end = s_.find(')', i);
        i = end == std::string::npos ? n_ : end + 1;
      } else if (s_.compare(i, 4, "\\Q\\E") == 0) {
        i += 4;
      } else {
        break;
      }
    }
    if (i < n_ && (s_[i] == '*' || s_[i] == '+' || s_[i] == '?' || s_[i] == '{')) return i;
    return std::string::npos;
  }

  const std::string& s_;
  const std::size_t n_;
  std::vector<bool> freeSpacing_;  // per open group: free-spacing mode on
};

Translation Unsupported(unsigned word, const char* why) {
  Translation t;
  t.supported = false;
  t.flags = regex::no_except;
  char text[200];
  std::snprintf(text, sizeof text, "The compile options 0x%X cannot be expressed by the engine: %s.", word, why);
  t.problem = text;
  return t;
}

}  // namespace

Translation TranslateOptions(const char* first, const char* last, unsigned word, bool extendedRules) {
  Translation t;
  t.flags = regex::no_except;
  if (word & kIcase) t.flags |= regex::icase;
  if (word & kLiteral) {  // the whole text is literal; nothing else applies
    t.flags |= regex::literal;
    t.pattern.assign(first, last);
    return t;
  }
  if (word & kNewlineAlt) t.flags |= regex::newline_alt;
  if (!(word & kNoCollate)) t.flags |= regex::collate;

  Rewrite rw{};
  rw.digitsForBackrefs = !(word & kBkRefs);
  rw.literalBackslashInLists = !(word & kEscapeInLists);

  if (word & kBkParens) {
    // POSIX basic: \( \) groups, leftmost-longest matching.
    t.flags |= regex::basic_syntax_group;
    if (!(word & kCharClasses)) t.flags |= regex::no_char_classes;
    if (!(word & kIntervals)) {
      t.flags |= regex::no_intervals;
    } else if (!(word & kBkBraces)) {
      return Unsupported(word, "bounds in plain braces with groups in backslash-parentheses");
    }
    if (!(word & kLimitedOps)) {
      if (!(word & kBkPlusQm)) return Unsupported(word, "plain + and ? operators with groups in backslash-parentheses");
      if (!(word & kBkVbar)) return Unsupported(word, "plain | alternation with groups in backslash-parentheses");
      t.flags |= regex::bk_plus_qm | regex::bk_vbar;
    }
  } else {
    // Perl group: Perl rules, or POSIX extended rules for Extended words.
    if (word & (kLimitedOps | kBkPlusQm | kBkBraces | kBkVbar)) {
      return Unsupported(word, "LimitedOps, BkPlusQm, BkBraces or BkVbar without BkParens");
    }
    if (extendedRules) t.flags |= regex::no_perl_ex;
    rw.perlGroup = true;
    rw.literalClassesInLists = !(word & kCharClasses);
    rw.literalBraces = !(word & kIntervals);
  }

  const bool rewrite =
      rw.digitsForBackrefs || rw.literalBackslashInLists || rw.literalClassesInLists || rw.literalBraces;
  if (rewrite) {
    t.pattern = RewritePattern(first, last, rw);
  } else {
    t.pattern.assign(first, last);
  }
  if (!extendedRules) {  // possessive repeats exist only under Perl rules
    if (PossessiveReader(t.pattern).Find() != std::string::npos) {
      t.engineError = boost::regex_constants::error_badrepeat;
      t.problem = "A repeat operator cannot follow a possessive repeat.";
    }
  }
  return t;
}

}  // namespace detail
}  // namespace RegexClass
