// The file a walk is searching, as the callbacks of ChangeFiles see it: where
// it lies, its open (and, when changing, locked) descriptor, its status when
// it was opened, and the bytes that were searched.
#ifndef RAVELIN_FILEWALK_FILE_IN_HAND_H
#define RAVELIN_FILEWALK_FILE_IN_HAND_H

#include <string>

#include "platform/posix_file.h"

namespace RegexClass {
namespace detail {

struct FileInHand {
  int directoryFd = -1;                      // the directory holding the entry, or AT_FDCWD
  const std::string* entryName = nullptr;    // its name relative to directoryFd
  const std::string* displayName = nullptr;  // its name as the user would type it
  int fd = -1;                               // open for reading; locked while changing
  FileStat status;                           // taken when it was opened, before the read
  const char* first = nullptr;               // the bytes read
  const char* last = nullptr;
  // Set by whoever replaced the file while in hand: the identity of the new
  // file, so that the walk knows it when another name leads to it.
  mutable bool replaced = false;
  mutable FileStat replacement;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEWALK_FILE_IN_HAND_H
