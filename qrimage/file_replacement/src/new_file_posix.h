// What a new file of the library's is made with (POSIX): a file without a
// name while it is written, where it can be named afterwards, and the mode
// open(2) would give it.
#pragma once

#include <sys/types.h>

namespace qrimage {

// Whether a file made with O_TMPFILE can be given a name afterwards: the
// process's /proc is the kernel's (a file system someone else may have put
// over it is never trusted), so that /proc/self/fd/N is the file itself.
// Learnt once a process. Thread-safe.
bool UnnamedFilesCanBeNamed() noexcept;

// Gives the unnamed file `fd` (made with O_TMPFILE, not O_EXCL) the name
// `name` in `folder`. Returns 0, or -1 with errno set (EEXIST when the name
// is taken: a name is never replaced here).
int NameUnnamedFile(int fd, int folder, const char* name) noexcept;

// The mode open(2) with `requested` gives a new file in `folder`: the mode
// of an unnamed file made there for the purpose and dropped at once, so that
// the umask and the folder's default ACL count as they would; where the file
// system cannot make one, `requested` less the process's umask (below).
// Thread-safe.
mode_t NewFileMode(int folder, mode_t requested) noexcept;

// The process's umask, learnt once a process in a thread of its own whose
// umask is a copy (unshare(CLONE_FS)), so that reading it (umask(2) can only
// read it by setting it) never gives a file made meanwhile by another thread
// the wrong mode. /proc's "Umask:" line is never read: a file someone else
// may have put over /proc could lie. 0177 (the caller's alone: narrower than
// asked, never wider) when it cannot be learnt. Thread-safe.
mode_t ProcessUmask() noexcept;

}  // namespace qrimage
