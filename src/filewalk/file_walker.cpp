// Placeholder: the walk itself arrives with its own change.
#include "filewalk/file_walker.h"

#include "engine/engine.h"

namespace RegexClass {
namespace detail {

FileWalker::FileWalker() = default;
FileWalker::~FileWalker() = default;

unsigned FileWalker::SetExpression(const std::string& text, bool icase) {
  compiled_ = CompiledExpression::CompileForFiles(text, icase);
  return compiled_->Code();
}

unsigned FileWalker::FindFiles(FindCallback, const std::string&, bool, unsigned) { return 0; }

unsigned FileWalker::GrepFiles(GrepCallback, const std::string&, bool, unsigned, FailureCallback) { return 0; }

}  // namespace detail
}  // namespace RegexClass
