// What one file's copy costs the kernel, by way of copying: the plain create-and-copy of
// `cp`, the same with the modification time kept, and the two ways of writing a file that
// can never be seen half-written (an unnamed file linked in when complete, and a hidden name
// renamed when complete). Each copies every plain file of SOURCE into an empty DESTINATION.
//
//   copy-primitives WAY SOURCE DESTINATION     WAY: plain | plain-time | unnamed | hidden
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

std::vector<std::string> plainFiles(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir))
            if (entry->d_name[0] != '.' && entry->d_type == DT_REG)
                names.emplace_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

void keepTime(int out, const struct stat &st)
{
    const timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out, times);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: copy-primitives plain|plain-time|unnamed|hidden SOURCE DESTINATION\n");
        return 2;
    }
    const std::string way = argv[1], source = argv[2], destination = argv[3];
    const auto names = plainFiles(source);
    const auto start = std::chrono::steady_clock::now();
    for (const auto &name : names) {
        const std::string from = source + "/" + name, to = destination + "/" + name;
        const std::string hidden = destination + "/.copy-" + name + ".part";
        struct stat st {
        };
        const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
        fstat(in, &st);
        int out = -1;
        if (way == "unnamed")
            out = open(destination.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
        else if (way == "hidden")
            out = open(hidden.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
        else
            out = open(to.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
        copy_file_range(in, nullptr, out, nullptr, st.st_size, 0);
        if (way != "plain")
            keepTime(out, st);
        if (way == "unnamed") {
            const std::string self = "/proc/self/fd/" + std::to_string(out);
            linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW);
        } else if (way == "hidden") {
            renameat2(AT_FDCWD, hidden.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
        }
        close(out);
        close(in);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%s: %zu files in %.3f s\n", way.c_str(), names.size(), took.count());
    return 0;
}
