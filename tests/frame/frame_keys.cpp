// Loads a library with dlopen and watches the thread-specific keys it creates
// and deletes, through interposed pthread_key_create and pthread_key_delete.
//
//   frame_keys <library> <keys>
//
// <keys> is 1 for the threads library (one key from load to unload, and the
// stack-unit entry points exported) and 0 for the solo library (no key, no
// stack-unit entry points). Extra Initialize/Finalize pairs made by the host
// in between must not act. Exit status 0 when every check holds.
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<int> created{0};
std::atomic<int> deleted{0};
pthread_key_t lastCreated{};
pthread_key_t lastDeleted{};

using KeyCreate = int (*)(pthread_key_t*, void (*)(void*));
using KeyDelete = int (*)(pthread_key_t);

int failures = 0;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "FAILED: %s\n", what);
  ++failures;
}

using EntryPoint = void (*)();

EntryPoint Entry(void* library, const char* name) { return reinterpret_cast<EntryPoint>(dlsym(library, name)); }

}  // namespace

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): our own names for the C library's
extern "C" int pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) noexcept {
  static const auto real = reinterpret_cast<KeyCreate>(dlsym(RTLD_NEXT, "pthread_key_create"));
  if (real == nullptr) return EAGAIN;
  const int rc = real(key, destructor);
  if (rc == 0) {
    lastCreated = *key;
    ++created;
  }
  return rc;
}

extern "C" int pthread_key_delete(pthread_key_t key) noexcept {
  static const auto real = reinterpret_cast<KeyDelete>(dlsym(RTLD_NEXT, "pthread_key_delete"));
  if (real == nullptr) return EINVAL;
  const int rc = real(key);
  if (rc == 0) {
    lastDeleted = key;
    ++deleted;
  }
  return rc;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <library> <keys: 0 or 1>\n", argv[0]);
    return 2;
  }
  const char* path = argv[1];
  const bool threads = std::strcmp(argv[2], "1") == 0;

  const int created0 = created, deleted0 = deleted;
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  Check(created - created0 == (threads ? 1 : 0), "load creates one key (threads) or none (solo)");
  Check(deleted == deleted0, "load deletes no key");
  const pthread_key_t key = lastCreated;

  const EntryPoint classInit = Entry(library, "_ZN22Regularexpressionclass10InitializeEv");
  const EntryPoint classFini = Entry(library, "_ZN22Regularexpressionclass8FinalizeEv");
  const EntryPoint stackInit = Entry(library, "_ZN25Regularexpressiontlsstack10InitializeEv");
  const EntryPoint stackFini = Entry(library, "_ZN25Regularexpressiontlsstack8FinalizeEv");
  Check(classInit != nullptr && classFini != nullptr, "class-unit entry points exported");
  Check((stackInit != nullptr) == threads && (stackFini != nullptr) == threads,
        "stack-unit entry points exported by the threads library only");
  if (classInit == nullptr || classFini == nullptr) return 1;

  // The host's own nested pairs: counted, never acting.
  classInit();
  if (stackInit != nullptr) stackInit();
  classInit();
  Check(created - created0 == (threads ? 1 : 0), "a host's Initialize creates no second key");
  classFini();
  if (stackFini != nullptr) stackFini();
  classFini();
  Check(deleted == deleted0, "a host's Finalize deletes nothing early");
  if (threads) Check(pthread_setspecific(key, nullptr) == 0, "the key is still valid before unload");

  const int created1 = created;
  Check(dlclose(library) == 0, "dlclose");
  Check(dlopen(path, RTLD_NOW | RTLD_NOLOAD) == nullptr, "the library is really unloaded");
  Check(created == created1, "unload creates no key");
  Check(deleted - deleted0 == (threads ? 1 : 0), "unload deletes the one key (threads) or none (solo)");
  if (threads) {
    Check(lastDeleted == key, "the key deleted is the key created");
    Check(pthread_setspecific(key, nullptr) == EINVAL, "the key is gone after unload");
  }

  // A second load starts afresh: the counters of the first run are gone.
  const int created2 = created, deleted2 = deleted;
  library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  Check(library != nullptr, "second dlopen");
  if (library != nullptr) {
    Check(created - created2 == (threads ? 1 : 0), "a second load creates its key again");
    dlclose(library);
    Check(deleted - deleted2 == (threads ? 1 : 0), "a second unload deletes it again");
  }

  if (failures != 0) return 1;
  std::printf("%s: keys created and deleted as expected\n", path);
  return 0;
}
