#include "cli/OutputFile.h"

#include "platform/NativePath.h"
#include "platform/SystemReason.h"

#include <QList>
#include <QString>

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrx {

namespace {

// Temporaries the signal handler removes: a fixed table, since a handler may neither allocate
// nor take locks.
struct TemporarySlot {
    char path[PATH_MAX];
    volatile std::sig_atomic_t used;
};
std::array<TemporarySlot, 4> temporaries{};

int registerTemporary(const QByteArray& path)
{
    for (size_t i = 0; i < temporaries.size(); ++i) {
        if (!temporaries[i].used && size_t(path.size()) < sizeof temporaries[i].path) {
            std::memcpy(temporaries[i].path, path.constData(), size_t(path.size()) + 1);
            temporaries[i].used = 1;
            return int(i);
        }
    }
    return -1;
}

void unregisterTemporary(const QByteArray& path)
{
    for (TemporarySlot& slot : temporaries) {
        if (slot.used && path == slot.path)
            slot.used = 0;
    }
}

extern "C" void removeTemporariesAndDie(int signal)
{
    for (TemporarySlot& slot : temporaries) {
        if (slot.used)
            ::unlink(slot.path);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Writes all bytes, resuming after signals and partial writes; false with errno set.
bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += done;
        size -= size_t(done);
    }
    return true;
}

// No write permission bit at all: read-only for everyone, root included. Root passes every
// permission check of the system, so the bits themselves decide, as they do for a user.
bool hasNoWriteBit(mode_t mode)
{
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

constexpr qsizetype BufferSize = 64 * 1024;

// A pipe holds 64 KiB: a writer of large blocks waits for its reader at every one of them, and
// both keep waking each other. A larger pipe lets them run side by side. Linux only; where the
// system refuses (a limit per user), the pipe stays as it was.
void widenPipe(int fd)
{
#ifdef F_SETPIPE_SZ
    constexpr int PipeSize = 1 << 20;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode) && ::fcntl(fd, F_GETPIPE_SZ) < PipeSize)
        ::fcntl(fd, F_SETPIPE_SZ, PipeSize);
#else
    (void)fd;
#endif
}

} // namespace

bool fileIdOf(const QByteArray& path, FileId& id)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return false;
    id = FileId{st.st_dev, st.st_ino};
    return true;
}

OutputFile::OutputFile(std::FILE* stream)
    : m_stream(stream)
{
}

OutputFile::OutputFile(const QByteArray& path)
    : m_path(path)
{
}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::existingId(FileId& id) const
{
    if (m_stream) {
        // Standard output counts only when it is a file: a pipe or terminal is no input.
        struct stat st {};
        if (::fstat(::fileno(m_stream), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        id = FileId{st.st_dev, st.st_ino};
        return true;
    }
    return fileIdOf(m_path, id);
}

QString OutputFile::displayName() const
{
    return m_stream ? QStringLiteral("standard output") : shownName(m_path);
}

QString OutputFile::errorText() const
{
    if (m_stream)
        return QStringLiteral("vrxlog: write error: %1").arg(m_reason);
    return QStringLiteral("vrxlog: cannot write \"%1\": %2").arg(shownName(m_path), m_reason);
}

bool OutputFile::fail(int error)
{
    return fail(systemReason(error));
}

bool OutputFile::fail(const QString& reason)
{
    if (!m_failed) {
        m_failed = true;
        m_reason = reason;
    }
    return false;
}

bool OutputFile::open()
{
    if (m_stream)
        return true;
    struct stat st {};
    QByteArray target = m_path;
    if (::stat(m_path.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(QStringLiteral("It is a folder."));
        if (!S_ISREG(st.st_mode)) {
            // A device or FIFO is written into, never replaced by a file of its name.
            m_fd = ::open(m_path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
            return m_fd >= 0 || fail(errno);
        }
        if (hasNoWriteBit(st.st_mode))
            return fail(QStringLiteral("The file is read-only."));
        if (::access(m_path.constData(), W_OK) != 0)
            return fail(errno);
        // Through a link, the file it names is replaced, in its own folder.
        char resolved[PATH_MAX];
        if (::realpath(m_path.constData(), resolved))
            target = resolved;
        m_mode = st.st_mode & 07777;
    } else if (errno == ENOENT) {
        m_mode = 0666 & ~currentUmask();
    } else {
        return fail(errno);
    }

    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
    const QByteArray name = target.mid(slash + 1);
    struct stat folderStat {};
    if (::stat(folder.constData(), &folderStat) != 0)
        return fail(errno);
    if (hasNoWriteBit(folderStat.st_mode))
        return fail(QStringLiteral("Its folder is read-only."));
    if (::access(folder.constData(), W_OK) != 0)
        return fail(errno);

    // Hidden, and named after the target so a left-over one (power cut) says where it belongs.
    QByteArray pattern = (slash < 0 ? QByteArray() : folder + '/') + '.' + name + ".XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        return fail(errno);
    m_temporary = pattern;
    m_path = target;
    m_replace = true;
    registerTemporary(m_temporary);
    return true;
}

bool OutputFile::flushBuffer()
{
    if (m_buffer.isEmpty())
        return !m_failed;
    const bool ok = writeAll(m_fd, m_buffer.constData(), size_t(m_buffer.size()));
    m_buffer.clear();
    return ok || fail(errno);
}

bool OutputFile::write(const char* data, size_t size)
{
    if (m_failed)
        return false;
    if (m_stream) {
        // Large blocks go to the descriptor in one write, after what the stream holds: the
        // stream would cut them into its own buffer's size.
        const int fd = ::fileno(m_stream);
        if (qsizetype(size) >= BufferSize && fd >= 0) {
            if (!m_pipeWidened) {
                widenPipe(fd);
                m_pipeWidened = true;
            }
            errno = 0;
            if (std::fflush(m_stream) != 0)
                return fail(errno ? errno : EIO);
            return writeAll(fd, data, size) || fail(errno);
        }
        errno = 0;
        if (std::fwrite(data, 1, size, m_stream) != size)
            return fail(errno ? errno : EIO);
        return true;
    }
    if (m_fd < 0)
        return fail(EBADF);
    if (m_buffer.size() + qsizetype(size) > BufferSize) {
        if (!flushBuffer())
            return false;
        if (qsizetype(size) >= BufferSize) {
            if (!m_pipeWidened) {
                widenPipe(m_fd);
                m_pipeWidened = true;
            }
            return writeAll(m_fd, data, size) || fail(errno);
        }
    }
    m_buffer.append(data, qsizetype(size));
    return true;
}

bool OutputFile::commit()
{
    if (m_failed) {
        discard();
        return false;
    }
    if (m_stream) {
        errno = 0;
        if (std::fflush(m_stream) != 0 || std::ferror(m_stream))
            return fail(errno ? errno : EIO);
        return true;
    }
    if (m_fd < 0)
        return fail(EBADF);
    bool ok = flushBuffer();
    if (ok && m_replace) {
        // The new file gets the old one's permissions (or the usual ones of a new file), and is
        // on the disk before its name is.
        if (::fchmod(m_fd, m_mode) != 0 || ::fsync(m_fd) != 0)
            ok = fail(errno);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && ok)
        ok = fail(errno);
    if (ok && m_replace) {
        if (::rename(m_temporary.constData(), m_path.constData()) != 0) {
            ok = fail(errno);
        } else {
            unregisterTemporary(m_temporary);
            m_temporary.clear();
        }
    }
    if (!ok)
        discard();
    return ok;
}

void OutputFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        unregisterTemporary(m_temporary);
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
}

ScratchFile::ScratchFile()
{
    QByteArray folder = qgetenv("TMPDIR");
    if (folder.isEmpty())
        folder = "/tmp";
    QByteArray pattern = folder + "/.vrxlog-XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0) {
        m_reason = QStringLiteral("vrxlog: cannot make a temporary file in \"%1\": %2")
                       .arg(shownName(folder), systemReason(errno));
        return;
    }
    m_path = pattern;
    registerTemporary(m_path);
}

ScratchFile::~ScratchFile()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    unregisterTemporary(m_path);
    ::unlink(m_path.constData());
}

bool pdfIsComplete(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 32)
        return false;
    const off_t tailSize = std::min<off_t>(st.st_size, 256);
    QByteArray tail(qsizetype(tailSize), Qt::Uninitialized);
    if (::pread(fd, tail.data(), size_t(tailSize), st.st_size - tailSize) != tailSize)
        return false;
    const QByteArray trimmed = tail.trimmed();
    if (!trimmed.endsWith("%%EOF"))
        return false;
    const qsizetype at = trimmed.lastIndexOf("startxref");
    if (at < 0)
        return false;
    bool isNumber = false;
    const qint64 offset = trimmed.mid(at + 9, trimmed.size() - 5 - at - 9).trimmed().toLongLong(&isNumber);
    if (!isNumber || offset < 0 || offset + 4 > st.st_size)
        return false;
    char xref[4];
    return ::pread(fd, xref, 4, off_t(offset)) == 4 && std::memcmp(xref, "xref", 4) == 0;
}

bool copyInto(int fd, OutputFile& output, QString& readError)
{
    QByteArray buffer(BufferSize, Qt::Uninitialized);
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, buffer.data(), size_t(buffer.size()), offset);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            readError = systemReason(errno);
            return false;
        }
        if (got == 0)
            return true;
        if (!output.write(buffer.constData(), size_t(got)))
            return false;
        offset += got;
    }
}

void installTemporaryCleanup()
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndDie;
        sigemptyset(&action.sa_mask);
        // A signal ignored by the caller (nohup, a shell's trap) stays ignored.
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
}

QString shownName(const QByteArray& name)
{
    // The same escapes as every message about a log or status file.
    return shownPath(pathFromNativeBytes(name));
}

QString shownName(const QString& name)
{
    return shownPath(name);
}

} // namespace vrx
