// The tests about permissions run as root in CI, for whom every file is
// readable and writable: they drop to an ordinary user in a child process.
#ifndef RAVELIN_TESTS_SUPPORT_UNPRIVILEGED_H
#define RAVELIN_TESTS_SUPPORT_UNPRIVILEGED_H

namespace ravelin_test {

// Makes this process user and group 65534 with no other groups, as
// `setpriv --reuid=65534 --regid=65534 --clear-groups` does; false when it
// cannot. Call it in a child: there is no way back.
bool BecomeUnprivileged();

}  // namespace ravelin_test

#endif  // RAVELIN_TESTS_SUPPORT_UNPRIVILEGED_H
