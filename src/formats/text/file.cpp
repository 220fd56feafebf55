#include "formats/text/file.hpp"

#include "formats/text/quote.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace rillway::formats {

namespace {

// The whole text is held in memory and then parsed, so a file is refused past this size rather
// than read until memory runs out; a device such as /dev/zero never ends on its own. A real
// project of this size would take hours to analyse.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;

ReadError os_error(int code) {
    return ReadError{std::generic_category().message(code) + " (os error " + std::to_string(code) +
                     ")"};
}

// Closes the descriptor on every path out of read_utf8_file.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::variant<std::string, ReadError> read_utf8_file(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        return ReadError{"file name contained an unexpected NUL byte"};
    }
    // Opened without blocking so that a FIFO nobody writes to cannot hang the call at open();
    // reading then blocks as usual, and such a FIFO simply reads as empty.
    FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) return os_error(errno);
    const int flags = ::fcntl(file.fd, F_GETFL);
    if (flags < 0 || ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK) < 0) return os_error(errno);
    struct stat info {};
    if (::fstat(file.fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uintmax_t>(info.st_size) > kMaxFileBytes) {
        return os_error(EFBIG);
    }
    std::string bytes;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return os_error(errno);  // a directory fails here with EISDIR
        }
        if (got == 0) break;
        if (bytes.size() + static_cast<std::size_t>(got) > kMaxFileBytes) return os_error(EFBIG);
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    if (!is_valid_utf8(bytes)) return ReadError{"stream did not contain valid UTF-8"};
    return bytes;
}

}  // namespace rillway::formats
