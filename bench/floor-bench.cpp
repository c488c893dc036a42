// The floor under a copy run: the system calls the run makes for each file it copies, in a
// plain loop, with no pipeline, no log and no window around them. What the run costs beyond
// this program is the program's own; what this program costs beyond `cp -a` is the price of the
// run's safety: the read lease that asks whether another program still writes the file, the
// unnamed file that gets its name only when it is whole, the look at the source's name before
// the naming, and, with --durable, one flush of the destination's file system for every batch
// of files before any of them is named. Like `cp -a`, it asks for the file's extended
// attributes (there are none to copy in the benchmarks' files).
//
//   floor-bench SOURCE DESTINATION [THREADS] [--durable]
//
// Copies the plain files of SOURCE (no hidden names) into DESTINATION, which must exist, in
// name order, split into THREADS (default 1) runs of neighbouring files that go side by side.
// Nothing is checked but the calls' results: any failure ends the program with status 1.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

constexpr off_t ChunkBytes = 1024 * 1024;
// As many files as the run lets wait, unnamed, for one flush.
constexpr size_t BatchFiles = 512;

std::vector<std::string> plainFiles(int folder)
{
    std::vector<std::string> names;
    DIR *dir = ::fdopendir(::dup(folder));
    if (!dir)
        return names;
    while (const struct dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.' && entry->d_type == DT_REG)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool copyRange(int in, int out, off_t size)
{
    off_t from = 0;
    off_t to = 0;
    while (from < size) {
        const ssize_t moved = ::copy_file_range(in, &from, out, &to, std::min(size - from, ChunkBytes), 0);
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved <= 0)
            return false;
    }
    return true;
}

// One file's data in an unnamed file, as the run prepares it when all goes well; the
// descriptor of the copy, or -1.
int prepare(int source, int destination, const char *name, struct stat &before)
{
    const int in = ::openat(source, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0 || ::fstat(in, &before) != 0 || ::fcntl(in, F_SETLEASE, F_RDLCK) != 0
        || ::fcntl(in, F_SETLEASE, F_UNLCK) != 0)
        return -1;
    const int out = ::openat(destination, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, before.st_mode & 0777);
    if (out < 0 || !copyRange(in, out, before.st_size))
        return -1;
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    return ::flistxattr(in, nullptr, 0) >= 0 && ::futimens(out, times) == 0 && ::close(in) == 0 ? out : -1;
}

// The look at the source's name, then the name.
bool name(int source, int destination, const char *name, const struct stat &before, int out)
{
    struct stat after;
    const bool same = ::fstatat(source, name, &after, AT_SYMLINK_NOFOLLOW) == 0
        && after.st_ino == before.st_ino && after.st_mtim.tv_nsec == before.st_mtim.tv_nsec
        && after.st_size == before.st_size;
    return same && ::linkat(out, "", destination, name, AT_EMPTY_PATH) == 0 && ::close(out) == 0;
}

bool copyFiles(int source, int destination, const std::vector<std::string> &names, size_t first, size_t end,
    bool durable)
{
    struct Prepared {
        const char *name;
        struct stat before;
        int out;
    };
    std::vector<Prepared> batch;
    for (size_t i = first; i < end; i += batch.size()) {
        batch.clear();
        for (size_t k = i; k < end && batch.size() < (durable ? BatchFiles : 1); ++k) {
            Prepared file {names[k].c_str(), {}, -1};
            file.out = prepare(source, destination, file.name, file.before);
            if (file.out < 0)
                return false;
            batch.push_back(file);
        }
        if (durable && ::syncfs(destination) != 0)
            return false;
        for (const Prepared &file : batch) {
            if (!name(source, destination, file.name, file.before, file.out))
                return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto durableAt = std::find(args.begin(), args.end(), "--durable");
    const bool durable = durableAt != args.end();
    if (durable)
        args.erase(durableAt);
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: floor-bench SOURCE DESTINATION [THREADS] [--durable]\n");
        return 2;
    }
    const int source = ::open(args[0].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int destination = ::open(args[1].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int threads = args.size() == 3 ? std::max(1, std::atoi(args[2].c_str())) : 1;
    if (source < 0 || destination < 0) {
        std::perror("floor-bench");
        return 1;
    }
    const std::vector<std::string> names = plainFiles(source);
    std::vector<char> failed(size_t(threads), 0);
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        running.emplace_back([&, t] {
            const size_t first = names.size() * size_t(t) / size_t(threads);
            const size_t end = names.size() * size_t(t + 1) / size_t(threads);
            failed[size_t(t)] = !copyFiles(source, destination, names, first, end, durable);
        });
    }
    for (std::thread &thread : running)
        thread.join();
    if (std::find(failed.begin(), failed.end(), 1) != failed.end()) {
        std::fprintf(stderr, "floor-bench: a copy failed: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
