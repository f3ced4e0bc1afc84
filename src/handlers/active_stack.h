// The stack of objects running a file operation on the calling thread.
#ifndef RAVELIN_HANDLERS_ACTIVE_STACK_H
#define RAVELIN_HANDLERS_ACTIVE_STACK_H

#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

// Pushes an object for the length of a file operation and pops it on every
// way out, exceptions included. Active() is false when the thread has no
// stack slot; the operation then does not start.
class ActiveObjectGuard {
 public:
  explicit ActiveObjectGuard(RegularExpression& re);
  ~ActiveObjectGuard();
  ActiveObjectGuard(const ActiveObjectGuard&) = delete;
  ActiveObjectGuard& operator=(const ActiveObjectGuard&) = delete;
  bool Active() const { return pushed_; }

 private:
  bool pushed_ = false;
};

// The object on top of the calling thread's stack, or null.
RegularExpression* TopActiveObject();

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_HANDLERS_ACTIVE_STACK_H
