#pragma once
// Opening a file for reading only when it is a regular file, for the log and status readers.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vrx {

namespace file {
#ifdef _WIN32
// 64-bit sizes, and binary mode: a text-mode read would turn the CR LF that ends a log line
// into a bare LF.
using Status = struct _stat64;
inline int status(const char* name, Status* info) { return ::_stat64(name, info); }
inline int status(int fd, Status* info) { return ::_fstat64(fd, info); }
inline int openForReading(const char* name) { return ::_open(name, _O_RDONLY | _O_BINARY | _O_NOINHERIT); }
inline std::int64_t read(int fd, char* data, size_t size)
{
    return ::_read(fd, data, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
}
inline int close(int fd) { return ::_close(fd); }
#else
using Status = struct stat;
inline int status(const char* name, Status* info) { return ::stat(name, info); }
inline int status(int fd, Status* info) { return ::fstat(fd, info); }
inline int openForReading(const char* name) { return ::open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); }
inline std::int64_t read(int fd, char* data, size_t size) { return ::read(fd, data, size); }
inline int close(int fd) { return ::close(fd); }
#endif
} // namespace file

// What a file that is no regular file is, for messages.
inline std::string fileKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe)";
    if (S_ISCHR(mode))
        return "a character device";
#ifdef S_ISBLK
    if (S_ISBLK(mode))
        return "a block device";
#endif
#ifdef S_ISSOCK
    if (S_ISSOCK(mode))
        return "a socket";
#endif
    return "no regular file";
}

// The system's sentence for an errno value.
inline std::string systemReason(int error)
{
    return std::string(std::strerror(error)) + '.';
}

// A file opened for reading only when it is a regular file. Anything else is refused before it
// is read: a FIFO or a device such as /dev/zero would block or never end. The file is opened
// without blocking, so that even a FIFO put in place after the check cannot hold the program.
class RegularFile {
public:
    explicit RegularFile(const std::string& path)
    {
        const char* name = path.c_str();
        file::Status info {};
        if (file::status(name, &info) != 0) {
            m_error = errno;
            return;
        }
        if (!S_ISREG(info.st_mode)) {
            m_mode = info.st_mode;
            return;
        }
        do
            m_fd = file::openForReading(name);
        while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        if (file::status(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            m_mode = info.st_mode;
            file::close(m_fd);
            m_fd = -1;
            return;
        }
        m_size = info.st_size;
    }
    ~RegularFile()
    {
        if (m_fd >= 0)
            file::close(m_fd);
    }
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int error() const { return m_error; }       // errno of a failed stat or open, else 0
    bool notRegular() const { return !isOpen() && m_error == 0; }
    bool isFolder() const { return S_ISDIR(m_mode); }
    std::string kind() const { return fileKind(m_mode); }
    std::int64_t size() const { return m_size; }
    // Why it was not opened, one sentence for a message.
    std::string openFailure() const
    {
        if (isFolder())
            return "It is a folder.";
        if (notRegular())
            return "It is " + kind() + ", not a regular file.";
        return systemReason(m_error);
    }

    // Bytes read, 0 at the end, -1 on an error (errno set).
    std::int64_t read(char* data, size_t size)
    {
        std::int64_t got;
        do
            got = file::read(m_fd, data, size);
        while (got < 0 && errno == EINTR);
        if (got > 0)
            m_offset += got;
        return got;
    }
    std::int64_t remaining() const { return std::max<std::int64_t>(0, m_size - m_offset); }

private:
    int m_fd = -1;
    int m_error = 0;
    mode_t m_mode = 0;
    std::int64_t m_size = 0;
    std::int64_t m_offset = 0;
};

} // namespace vrx
