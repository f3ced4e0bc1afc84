// Threads library: the active-object stack lives in thread-specific data.
#include <pthread.h>

#include <atomic>
#include <new>

#include "platform/stack_slot.h"
#include "ravelin/RegularExpression.h"

// Owns one thread-specific data key. A failed pthread_key_create leaves it
// without a key: reads give null and writes do nothing. A thread that ends
// with a stack has it freed by the key's destructor, so threads that ran file
// operations leave nothing behind.
class RegularExpressionTLSStack {
 public:
  RegularExpressionTLSStack() { valid_ = pthread_key_create(&key_, &RegexClass::detail::FreeStackOfEndingThread) == 0; }
  ~RegularExpressionTLSStack() {
    if (valid_) pthread_key_delete(key_);
  }
  RegularExpressionTLSStack(const RegularExpressionTLSStack&) = delete;
  RegularExpressionTLSStack& operator=(const RegularExpressionTLSStack&) = delete;

  bool SetValue(void* value) { return valid_ && pthread_setspecific(key_, value) == 0; }
  void* GetValue() const { return valid_ ? pthread_getspecific(key_) : nullptr; }

 private:
  pthread_key_t key_{};
  bool valid_ = false;
};

namespace {

// Constructed by the class unit's acting Initialize, destroyed by its acting
// Finalize: the key exists exactly while the library is loaded.
alignas(RegularExpressionTLSStack) unsigned char tlsStorage[sizeof(RegularExpressionTLSStack)];
RegularExpressionTLSStack* tlsStack = nullptr;

std::atomic<int> tlsUnitCounter{0};

}  // namespace

namespace RegexClass {
namespace detail {

bool WorkerThreadsAllowed() { return true; }

void* GetStackSlot() { return tlsStack != nullptr ? tlsStack->GetValue() : nullptr; }

bool SetStackSlot(void* value) { return tlsStack != nullptr && tlsStack->SetValue(value); }

void InitializeClassUnit() { tlsStack = new (tlsStorage) RegularExpressionTLSStack(); }

void FinalizeClassUnit() {
  if (tlsStack != nullptr) tlsStack->~RegularExpressionTLSStack();
  tlsStack = nullptr;
}

}  // namespace detail
}  // namespace RegexClass

// The stack unit has no data of its own: its entry points only count.
namespace Regularexpressiontlsstack {
void Initialize() { tlsUnitCounter.fetch_sub(1); }
void Finalize() { tlsUnitCounter.fetch_add(1); }
}  // namespace Regularexpressiontlsstack

namespace {

// Runs the unit entry points when the library is loaded and unloaded.
struct LibraryFrame {
  LibraryFrame() {
    Regularexpressiontlsstack::Initialize();
    Regularexpressionclass::Initialize();
  }
  ~LibraryFrame() {
    Regularexpressiontlsstack::Finalize();
    Regularexpressionclass::Finalize();
  }
};
LibraryFrame frame;

}  // namespace
