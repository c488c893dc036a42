#pragma once

// Whether another program still writes a file, asked without holding anything: a read lease
// is refused while any process has the file open for writing, and one that is granted is
// given back at once, so that no writer ever waits for it.
namespace modFSO::detail
{

enum class WriterState {
    None, // nobody has the file open for writing
    Writing, // some process has it open for writing
    Unknown, // the file system offers no leases, or the file is another user's
};

// fd: the file, opened read-only.
WriterState writerState(int fd);

} // namespace modFSO::detail
