#include "Output.h"

#include "Plan.h"
#include "Worker.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace camtag::front {

bool PendingOutput::Begin(const std::string& path, bool folder, std::string* error) {
    path_ = path;
    folder_ = folder;
    const std::string where = FolderOf(path);
    if (!MakeFolders(where, error))
        return false;
    const std::string name = FileNameOf(path);
    const size_t dot = name.rfind('.');
    const std::string ext = folder || dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    std::string pattern = where + "/." + StemOf(name) + ".camtag-XXXXXX" + ext;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    bool made;
    if (folder) {
        made = mkdtemp(buffer.data()) != nullptr;
    } else {
        const int fd = mkstemps(buffer.data(), static_cast<int>(ext.size()));
        made = fd >= 0;
        if (made)
            close(fd);
    }
    if (!made) {
        *error = path + ": cannot write in " + where + ": " + std::strerror(errno);
        return false;
    }
    temporary_ = buffer.data();
    // The finished output gets the permissions any new file of the user's gets, not the
    // private ones of a temporary name.
    const mode_t mask = umask(0);
    umask(mask);
    chmod(temporary_.c_str(), (folder ? 0777 : 0666) & ~mask);
    return true;
}

bool PendingOutput::Commit(bool replace, std::string* error) {
    if (folder_ && replace) {
        // An earlier run's frames (the plan allowed nothing else in the folder).
        DIR* dir = opendir(path_.c_str());
        while (dir) {
            dirent* entry = readdir(dir);
            if (!entry)
                break;
            if (std::strncmp(entry->d_name, "frame-", 6) == 0)
                unlink((path_ + "/" + entry->d_name).c_str());
        }
        if (dir)
            closedir(dir);
    }
    int rc;
    if (folder_) {
        // rename() replaces an empty folder only.
        rc = rename(temporary_.c_str(), path_.c_str());
    } else if (replace) {
        rc = rename(temporary_.c_str(), path_.c_str());
    } else {
        rc = renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && errno == EINVAL) { // a file system without it
            rc = link(temporary_.c_str(), path_.c_str());
            if (rc == 0)
                unlink(temporary_.c_str());
        }
    }
    if (rc != 0) {
        *error = path_ + ": " +
                 (errno == EEXIST || errno == ENOTEMPTY
                      ? std::string("appeared while rendering; left as it is")
                      : std::string(std::strerror(errno)));
        return false;
    }
    temporary_.clear();
    return true;
}

void PendingOutput::Discard() {
    if (temporary_.empty())
        return;
    if (folder_)
        RemoveTree(temporary_);
    else
        unlink(temporary_.c_str());
    temporary_.clear();
}

bool PendingOutput::MakeFolders(const std::string& folder, std::string* error) {
    struct stat st;
    if (stat(folder.c_str(), &st) == 0)
        return true;
    if (folder != "." && folder != "/" && !MakeFolders(FolderOf(folder), error))
        return false;
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        *error = folder + ": cannot make the folder: " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, got);
    std::fclose(f);
    return text;
}

bool WriteOutput(const std::string& path, const std::string& text, bool replace,
                 std::string* error) {
    PendingOutput output;
    if (!output.Begin(path, false, error))
        return false;
    FILE* f = std::fopen(output.temporary().c_str(), "wb");
    const bool written = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (!f || std::fclose(f) != 0 || !written) {
        *error = path + ": cannot write the file";
        return false;
    }
    return output.Commit(replace, error);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    return parts;
}

} // namespace camtag::front
