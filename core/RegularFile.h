#pragma once
// Opening a file for reading only when it is a regular file, for the log and status readers;
// and standard input as a log, where it is a file or a pipe.

#include "core/LogScanner.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include "core/Utf8.h"
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace vrx {

namespace file {
#ifdef _WIN32
// 64-bit sizes, and binary mode: a text-mode read would turn the CR LF that ends a log line
// into a bare LF. Names are UTF-8, and go to Windows as UTF-16, so that any name opens.
using Status = struct _stat64;
inline std::wstring wideName(const char* name)
{
    const std::u16string wide = utf8ToUtf16(name);
    return std::wstring(wide.begin(), wide.end());
}
inline int status(const char* name, Status* info) { return ::_wstat64(wideName(name).c_str(), info); }
inline int status(int fd, Status* info) { return ::_fstat64(fd, info); }
// Open for reading in binary mode, shared for writing, renaming and deleting too: a log stays
// open while it is shown, and the program that writes it, or the user, must still be able to
// replace or remove it meanwhile (RegularFileWindows.cpp).
int openForReading(const char* name);
inline std::int64_t read(int fd, char* data, size_t size)
{
    return ::_read(fd, data, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
}
inline std::int64_t seek(int fd, std::int64_t offset, int whence) { return ::_lseeki64(fd, offset, whence); }
inline bool waitForInput(int) { return false; }
inline int close(int fd) { return ::_close(fd); }
#else
using Status = struct stat;
inline int status(const char* name, Status* info) { return ::stat(name, info); }
inline int status(int fd, Status* info) { return ::fstat(fd, info); }
inline int openForReading(const char* name) { return ::open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); }
inline std::int64_t read(int fd, char* data, size_t size) { return ::read(fd, data, size); }
inline std::int64_t seek(int fd, std::int64_t offset, int whence) { return ::lseek(fd, offset, whence); }
// A pipe the caller left non-blocking has nothing yet: wait until it has (or ends).
inline bool waitForInput(int fd)
{
    pollfd wanted{fd, POLLIN, 0};
    return ::poll(&wanted, 1, -1) >= 0 || errno == EINTR;
}
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

// The system's reason for an errno value as a sentence of a message (with its full stop).
inline std::string systemSentence(int error)
{
    return std::string(std::strerror(error)) + '.';
}

// A file opened for reading only when it is a regular file. Anything else is refused before it
// is read: a FIFO or a device such as /dev/zero would block or never end. The file is opened
// without blocking, so that even a FIFO put in place after the check cannot hold the program.
//
// A descriptor open already (standard input) is taken as the caller gave it: a regular file
// is read from where it stands (the caller's position, not its start), a pipe as it comes;
// anything else (a terminal, a device) is refused. It is not closed.
class RegularFile : public ScanInput {
public:
    struct DescriptorTag {};
    static constexpr DescriptorTag Descriptor{};

    RegularFile(DescriptorTag, int fd)
    {
        file::Status info {};
        m_borrowed = true;
        if (file::status(fd, &info) != 0) {
            m_error = errno;
            return;
        }
        m_mode = info.st_mode;
        if (S_ISREG(info.st_mode)) {
            const std::int64_t at = file::seek(fd, 0, SEEK_CUR);
            m_seekable = at >= 0;
            m_offset = std::max<std::int64_t>(at, 0);
            m_size = info.st_size;
        } else if (!S_ISFIFO(info.st_mode)
#ifdef S_ISSOCK
                   && !S_ISSOCK(info.st_mode)
#endif
        ) {
            return;
        }
        m_fd = fd;
    }

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
        m_seekable = true;
    }
    ~RegularFile() override
    {
        if (m_fd >= 0 && !m_borrowed)
            file::close(m_fd);
    }
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const override { return m_fd >= 0; }
    // Hands the open descriptor over to the caller, who closes it; the object is closed then.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return m_borrowed ? -1 : fd;
    }
    int error() const { return m_error; }       // errno of a failed stat or open, else 0
    bool notRegular() const { return !isOpen() && m_error == 0; }
    bool isFolder() const { return S_ISDIR(m_mode); }
    std::string kind() const { return fileKind(m_mode); }
    std::int64_t size() const { return m_size; }
    // Why it was not opened, one sentence for a message.
    std::string openFailure() const override
    {
        if (isFolder())
            return "It is a folder.";
        if (notRegular() && m_borrowed)
            return "It is " + kind() + ", not a file or a pipe.";
        if (notRegular())
            return "It is " + kind() + ", not a regular file.";
        return systemSentence(m_error);
    }

    // Bytes read, 0 at the end, -1 on an error (errno set).
    std::int64_t read(char* data, size_t size) override
    {
        std::int64_t got;
        for (;;) {
            got = file::read(m_fd, data, size);
            if (got >= 0)
                break;
            if (errno == EINTR)
                continue;
            if ((errno == EAGAIN || errno == EWOULDBLOCK) && !m_seekable && file::waitForInput(m_fd))
                continue;
            break;
        }
        if (got > 0)
            m_offset += got;
        return got;
    }
    // Bytes left to the end of a regular file as it was when opened; 0 for a pipe.
    std::int64_t remaining() const override { return std::max<std::int64_t>(0, m_size - m_offset); }
    // Whether it can be read again from an earlier place: a regular file, not a pipe.
    bool seekable() const override { return m_seekable; }
    // Where the next read starts, counted from the file's start for a regular file, from where
    // reading began for a pipe.
    std::int64_t offset() const override { return m_offset; }
    // Reads on from an earlier (or later) place of a regular file; false with errno set.
    bool seekTo(std::int64_t offset) override
    {
        if (!m_seekable || file::seek(m_fd, offset, SEEK_SET) < 0)
            return false;
        m_offset = offset;
        return true;
    }

private:
    int m_fd = -1;
    int m_error = 0;
    mode_t m_mode = 0;
    std::int64_t m_size = 0;
    std::int64_t m_offset = 0;
    bool m_seekable = false;
    bool m_borrowed = false;
};

} // namespace vrx
