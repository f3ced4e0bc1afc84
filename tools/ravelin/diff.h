// The unified diff that change-files --dry-run and --interactive show: what
// a file becomes, as `diff -u` writes it and `patch -p1` applies it.
#ifndef RAVELIN_TOOLS_DIFF_H
#define RAVELIN_TOOLS_DIFF_H

#include <cstdint>
#include <string>
#include <vector>

namespace ravelin_cli {

// One replacement: length bytes at position of the old text became
// replacementLength bytes of the new one.
struct Edit {
  std::uint64_t position;
  std::uint64_t length;
  std::uint64_t replacementLength;
};

// The diff of oldText into newText, with three lines of context, headed
// "--- a/NAME" and "+++ b/NAME" (quoted as git quotes a name holding a
// control character, a quote or a backslash); "" when they are the same. The edits, in
// order and apart, say where the texts differ, so that the work is linear
// in the text; when they do not account for newText exactly, the diff is
// made from the common beginning and end alone (one hunk, still exact).
std::string UnifiedDiff(const std::string& name, const std::string& oldText, const std::string& newText,
                        std::vector<Edit> edits);

}  // namespace ravelin_cli

#endif  // RAVELIN_TOOLS_DIFF_H
