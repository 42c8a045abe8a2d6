// The freedesktop.org trash, written here rather than through GIO: a rename into a trash on the
// item's own volume, after its info file. Native byte paths in, native byte paths out.
#pragma once

#include <functional>
#include <string>

namespace ordalix::platform::posix {

struct TrashOutcome {
    std::string item; // the item inside the trash's files folder
    std::string info; // its .trashinfo file
    int error = 0;
    std::string reason; // a French sentence, the system's text after it
};

// Moves a file, link or whole folder into the trash of its own volume: the home trash for the
// volume of $XDG_DATA_HOME, a top-directory trash on any other. Never copies, never deletes:
// when no trash there can take it, the item stays and `outcome` tells why.
// `beforeMove`, when given, learns where the item will go (item, then info file) once its info
// file is written and before the item moves, so that a caller can note it ahead of the move.
// It returns false when it could not note it: the info file is taken back, the item stays, and
// the call fails with EIO, since an undo would not know where the item went.
using BeforeTrashMove = std::function<bool(const std::string& item, const std::string& info)>;
bool moveToTrash(const std::string& path, TrashOutcome& outcome,
                 const BeforeTrashMove& beforeMove = {});

} // namespace ordalix::platform::posix
