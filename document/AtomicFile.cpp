#include "document/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tavi {

bool WriteFileAtomically(const std::string& nativePath, std::string_view bytes, std::string& error) {
    struct stat target;
    if (stat(nativePath.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
        error = "it is a folder";
        return false;
    }
    std::string pattern = nativePath + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    auto fail = [&](int err) {
        error = std::strerror(err);
        close(fd);
        unlink(name.data());
        return false;
    };
    // A new file gets the usual permissions; a replaced one keeps its own.
    mode_t mode = 0666;
    if (stat(nativePath.c_str(), &target) == 0) {
        mode = target.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }
    if (fchmod(fd, mode) != 0) return fail(errno);
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (fsync(fd) != 0) return fail(errno);
    if (close(fd) != 0) {
        int err = errno;
        unlink(name.data());
        error = std::strerror(err);
        return false;
    }
    if (rename(name.data(), nativePath.c_str()) != 0) {
        error = std::strerror(errno);
        unlink(name.data());
        return false;
    }
    return true;
}

bool ReadWholeFile(const std::string& nativePath, std::string& bytes, std::string& error) {
    bytes.clear();
    // Only a regular file: a FIFO must not block the open, a device must not read forever.
    int fd = open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        error = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    char buffer[65536];
    while (true) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            close(fd);
            return false;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

}  // namespace tavi
