#include "analysis/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tavi {
namespace {

std::string Failure(const std::string& path, const std::string& what, int err) {
    return path + ": " + what + " (" + std::strerror(err) + ")";
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& nativePath) {
    // The open itself must not block on a FIFO; the flag is cleared once the file is known.
    int fd = open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        int err = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = err;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, "rb");
    if (!file) close(fd);
    return file;
}

bool ReadRegularFile(const std::string& nativePath, std::string& bytes, std::string& error, size_t maxBytes) {
    bytes.clear();
    std::FILE* file = OpenRegularFile(nativePath);
    if (!file) {
        error =
            errno == EINVAL ? nativePath + ": is not a regular file" : Failure(nativePath, "cannot be opened", errno);
        return false;
    }
    char buffer[65536];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, file)) {
        if (n > maxBytes - bytes.size()) {
            std::fclose(file);
            error = nativePath + ": is larger than " + std::to_string(maxBytes) + " bytes";
            return false;
        }
        bytes.append(buffer, n);
    }
    bool failed = std::ferror(file) != 0;
    int err = errno;
    std::fclose(file);
    if (failed) error = Failure(nativePath, "cannot be read", err);
    return !failed;
}

bool WriteFileAtomically(const std::string& nativePath, std::string_view bytes, std::string& error) {
    struct stat target {};
    const bool replacing = stat(nativePath.c_str(), &target) == 0;
    if (replacing && S_ISDIR(target.st_mode)) {
        error = nativePath + ": is a folder";
        return false;
    }
    std::string name = nativePath + ".tmp-XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0) {
        error = Failure(nativePath, "cannot be created", errno);
        return false;
    }
    auto fail = [&](int err) {
        error = Failure(nativePath, "cannot be written", err);
        if (fd >= 0) close(fd);
        unlink(name.c_str());
        return false;
    };
    // A replaced file keeps its mode; a new one gets the usual permissions.
    mode_t mode = target.st_mode & 07777;
    if (!replacing) {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0) return fail(errno);
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) return fail(errno);
        if (n > 0) done += static_cast<size_t>(n);
    }
    if (fsync(fd) != 0 || close(std::exchange(fd, -1)) != 0 || rename(name.c_str(), nativePath.c_str()) != 0)
        return fail(errno);
    return true;
}

}  // namespace tavi
