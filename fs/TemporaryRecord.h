#pragma once

#include <QByteArray>
#include <QString>
#include <sys/stat.h>

// The hidden temporaries this program made, so that a later run removes only those: a copy
// that was killed before it could remove its temporary leaves it behind, and a file that
// merely looks like one (the user's, or another program's) must never go.
//
// The record is a small file of the user's (under the XDG state folder) with one line per
// temporary: the folder and the file, each by device and inode, and the name. A line is
// written before the temporary gets any data; the clean-up of a folder removes the entries
// that still match and that no running copy holds, and forgets the lines whose file is gone.
namespace modFSO::detail
{

// The record's file: $XDG_STATE_HOME/TessaroLite/temporaries, ~/.local/state/... without it.
QString temporaryRecordPath();

// Notes a temporary; false when the record cannot be written (the temporary is then left
// alone by every clean-up).
bool recordTemporary(int folder, const QByteArray &name, const struct stat &file);

// Removes the recorded temporaries of the folder that no copy holds any more.
void removeRecordedTemporaries(int folder);

} // namespace modFSO::detail
