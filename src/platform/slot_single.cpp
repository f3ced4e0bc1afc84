// Solo library: one process-wide pointer holds the active-object stack.
#include "platform/stack_slot.h"
#include "ravelin/RegularExpression.h"

namespace {

void* processStack = nullptr;

}  // namespace

namespace RegexClass {
namespace detail {

bool WorkerThreadsAllowed() { return false; }

void* GetStackSlot() { return processStack; }

bool SetStackSlot(void* value) {
  processStack = value;
  return true;
}

void InitializeClassUnit() {}
void FinalizeClassUnit() {}

}  // namespace detail
}  // namespace RegexClass

namespace {

// Runs the class unit's entry points when the library is loaded and unloaded.
struct LibraryFrame {
  LibraryFrame() { Regularexpressionclass::Initialize(); }
  ~LibraryFrame() { Regularexpressionclass::Finalize(); }
};
LibraryFrame frame;

}  // namespace
