// The active-object stack, the static file callbacks and the class unit's
// counted entry points.
#include "handlers/active_stack.h"

#include <atomic>
#include <deque>
#include <stack>

#include "platform/stack_slot.h"

namespace RegexClass {
namespace detail {
namespace {

using ObjectStack = std::stack<RegularExpression*, std::deque<RegularExpression*>>;

ObjectStack* CurrentStack() { return static_cast<ObjectStack*>(GetStackSlot()); }

}  // namespace

void FreeStackOfEndingThread(void* stack) { delete static_cast<ObjectStack*>(stack); }

ActiveObjectGuard::ActiveObjectGuard(RegularExpression& re) {
  re.AllocateStack();
  ObjectStack* stack = CurrentStack();
  if (stack == nullptr) return;
  stack->push(&re);
  pushed_ = true;
}

ActiveObjectGuard::~ActiveObjectGuard() {
  if (!pushed_) return;
  ObjectStack* stack = CurrentStack();
  if (stack != nullptr && !stack->empty()) stack->pop();
}

RegularExpression* TopActiveObject() {
  ObjectStack* stack = CurrentStack();
  return (stack == nullptr || stack->empty()) ? nullptr : stack->top();
}

}  // namespace detail

void RegularExpression::AllocateStack() {
  if (detail::GetStackSlot() != nullptr) return;
  auto* stack = new detail::ObjectStack();
  if (!detail::SetStackSlot(stack)) delete stack;
}

void RegularExpression::DeallocateStack() {
  auto* stack = detail::CurrentStack();
  if (stack == nullptr || !stack->empty()) return;
  detail::SetStackSlot(nullptr);
  delete stack;
}

bool RegularExpression::FindFilesCallback(const char* fileName) {
  RegularExpression* top = detail::TopActiveObject();
  return top != nullptr && top->ThisFindFilesCallback(fileName);
}

bool RegularExpression::GrepFilesCallback(const char* fileName, const FileMatch& match) {
  RegularExpression* top = detail::TopActiveObject();
  return top != nullptr && top->ThisGrepFilesCallback(fileName, match);
}

bool RegularExpression::MergeFilesCallback(const char* fileName, const FileMatch& match) {
  RegularExpression* top = detail::TopActiveObject();
  return top != nullptr && top->ThisMergeFilesCallback(fileName, match);
}

}  // namespace RegexClass

namespace {
std::atomic<int> classUnitCounter{0};
}  // namespace

namespace Regularexpressionclass {
void Initialize() {
  if (classUnitCounter.fetch_sub(1) == 0) RegexClass::detail::InitializeClassUnit();
}
void Finalize() {
  if (classUnitCounter.fetch_add(1) == -1) RegexClass::detail::FinalizeClassUnit();
}
}  // namespace Regularexpressionclass
