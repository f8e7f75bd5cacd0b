#include "system/device_users.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace meridan {

std::string groupName(gid_t group)
{
    std::vector<char> buffer(4096);
    struct group entry = {};
    struct group *found = nullptr;
    while (::getgrgid_r(group, &entry, buffer.data(), buffer.size(), &found) == ERANGE
            && buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (found == nullptr || found->gr_name == nullptr || *found->gr_name == '\0')
        return std::to_string(group);
    return found->gr_name;
}

std::string permissionAdvice(gid_t group)
{
    if (group == 0)
        return "only root may open it: give it a group of its own with a udev rule (the README "
               "shows one), then add your user to that group";
    const std::string name = groupName(group);
    return "it belongs to the group " + name + ": add your user to it (sudo usermod -aG " + name
            + " $USER), then log in again";
}

std::vector<std::string> processesHolding(const std::string &path)
{
    struct stat wanted = {};
    if (::stat(path.c_str(), &wanted) != 0 || !S_ISCHR(wanted.st_mode))
        return {};
    const std::string self = std::to_string(::getpid());
    std::vector<std::string> holders;
    // Iterated with error codes throughout: a process may end, or hide its descriptors, at any
    // moment.
    std::error_code error;
    for (std::filesystem::directory_iterator process("/proc", error), end; !error && process != end;
            process.increment(error)) {
        const std::string pid = process->path().filename().string();
        if (pid == self || !std::all_of(pid.begin(), pid.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c));
            }))
            continue;
        std::error_code unreadable;
        for (std::filesystem::directory_iterator fd(process->path() / "fd", unreadable);
                !unreadable && fd != end; fd.increment(unreadable)) {
            struct stat opened = {};
            if (::stat(fd->path().c_str(), &opened) != 0 || !S_ISCHR(opened.st_mode)
                    || opened.st_rdev != wanted.st_rdev)
                continue;
            std::string name;
            std::getline(std::ifstream(process->path() / "comm"), name);
            holders.push_back(
                    (name.empty() ? std::string("a program") : name) + " (pid " + pid + ")");
            break;
        }
    }
    return holders;
}

} // namespace meridan
