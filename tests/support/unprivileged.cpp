#include "support/unprivileged.h"

#include <grp.h>
#include <unistd.h>

namespace ravelin_test {

bool BecomeUnprivileged() { return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0; }

}  // namespace ravelin_test
