// SPDX-License-Identifier: GPL-3.0-or-later
// A local attacker for tests, run as another user: waits until the file PATH holds the
// bytes of the file TRIGGER at byte OFFSET (a clone's completion has begun on it), then
// puts a symbolic link to TARGET in its place, as anyone who may write PATH's folder can.
//   vantrel_pathswapper PATH TARGET TRIGGER OFFSET
// Exits 0 once it has swapped, 1 when it gave up after two minutes, 2 on bad arguments.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    if (argc != 5)
        return 2;
    const std::string path = argv[1];
    int trigger = open(argv[3], O_RDONLY | O_CLOEXEC);
    std::vector<char> wanted(4096);
    ssize_t size = trigger < 0 ? -1 : read(trigger, wanted.data(), wanted.size());
    int watched = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (size <= 0 || watched < 0)
        return 2;
    wanted.resize(static_cast<std::size_t>(size));
    const off_t offset = std::strtoll(argv[4], nullptr, 10);

    std::vector<char> seen(wanted.size());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (std::chrono::steady_clock::now() < deadline) {
        if (pread(watched, seen.data(), seen.size(), offset) == size && seen == wanted) {
            const std::string aside = path + ".old";
            return rename(path.c_str(), aside.c_str()) == 0 && symlink(argv[2], path.c_str()) == 0 ? 0 : 1;
        }
    }
    return 1;
}
