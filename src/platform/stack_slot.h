// Where the calling thread's active-object stack lives: a thread-specific
// slot in the threads library, one process-wide pointer in the solo library.
// Each library links exactly one implementation.
#ifndef RAVELIN_PLATFORM_STACK_SLOT_H
#define RAVELIN_PLATFORM_STACK_SLOT_H

namespace RegexClass {
namespace detail {

// The calling thread's stack pointer; null when it has none or no slot exists.
void* GetStackSlot();
// Stores the pointer; false (and nothing stored) when no slot exists.
bool SetStackSlot(void* value);
// Frees a stack that a thread still holds when it ends (it is empty then:
// pushes and pops pair within each file operation).
void FreeStackOfEndingThread(void* stack);
// True in the threads library: file operations may search ahead on worker
// threads. The solo library keeps every operation on the calling thread.
bool WorkerThreadsAllowed();
// The work of the class unit's acting Initialize and Finalize.
void InitializeClassUnit();
void FinalizeClassUnit();

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_PLATFORM_STACK_SLOT_H
