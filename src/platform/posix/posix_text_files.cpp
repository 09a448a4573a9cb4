// SPDX-License-Identifier: MIT
#include "posix_text_files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nalvexa {

namespace {

std::string Reason() { return std::strerror(errno); }

bool WriteAll(int fd, const std::string& text, off_t at)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::pwrite(fd, text.data() + done, text.size() - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, std::string& text)
{
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        text.append(buffer, static_cast<size_t>(n));
    }
}

// The file a path names, through any symbolic links, even one that points
// to a file not yet made.
std::string Target(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        char link[PATH_MAX];
        ssize_t n = ::readlink(current.c_str(), link, sizeof link - 1);
        if (n < 0) return current;
        link[n] = '\0';
        if (link[0] == '/') {
            current = link;
        } else {
            size_t slash = current.rfind('/');
            current = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + link;
        }
    }
    return current;
}

void MakeFolders(const std::string& file)
{
    for (size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1))
        ::mkdir(file.substr(0, slash).c_str(), 0777);
}

// Overwrites the file where it is; on failure puts the old content back.
bool RewriteInPlace(const std::string& target, const std::string& text, std::string& reason)
{
    int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        reason = Reason();
        return false;
    }
    std::string old;
    bool ok = ReadAll(fd, old);
    if (ok && !WriteAll(fd, text, 0)) {
        reason = Reason();
        WriteAll(fd, old, 0);  // the old bytes fit where they were
        [[maybe_unused]] int r = ::ftruncate(fd, static_cast<off_t>(old.size()));
        ok = false;
    } else if (!ok) {
        reason = Reason();
    }
    if (ok && (::ftruncate(fd, static_cast<off_t>(text.size())) != 0 || ::fsync(fd) != 0)) {
        reason = Reason();
        ok = false;
    }
    ::close(fd);
    return ok;
}

}  // namespace

ITextFiles::ReadResult PosixTextFiles::read(const std::string& path, std::string& text, std::string& reason) const
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return ReadResult::Missing;
        reason = Reason();
        return ReadResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        reason = std::strerror(EISDIR);
        return ReadResult::Failed;
    }
    text.clear();
    bool ok = ReadAll(fd, text);
    if (!ok) reason = Reason();
    ::close(fd);
    return ok ? ReadResult::Ok : ReadResult::Failed;
}

bool PosixTextFiles::replace(const std::string& path, const std::string& text, std::string& reason)
{
    const std::string target = Target(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists) MakeFolders(target);
    // A new file in its place would not ask the old one's permission: a file
    // that nobody may write, or that we may not, is left as it is.
    if (exists && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        reason = std::strerror(EACCES);
        return false;
    }

    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = folder + (slash == std::string::npos ? "/." : ".") + name + ".XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        if (exists && (errno == EACCES || errno == EPERM || errno == EROFS)) return RewriteInPlace(target, text, reason);
        reason = Reason();
        return false;
    }
    bool ok = WriteAll(fd, text, 0) && ::fsync(fd) == 0;
    if (ok && exists) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        if (ok && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // We may write the file but not give a new one its owner: write it where it is.
            ::close(fd);
            ::unlink(temp.c_str());
            return RewriteInPlace(target, text, reason);
        }
    } else if (ok) {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::fchmod(fd, 0666 & ~mask) == 0;
    }
    if (!ok) reason = Reason();
    ::close(fd);
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        reason = Reason();
        ok = false;
    }
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace nalvexa
