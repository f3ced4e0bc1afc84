#include "options/translate.h"

#include <cstdio>

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
  return t;
}

}  // namespace detail
}  // namespace RegexClass
