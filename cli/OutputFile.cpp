#include "cli/OutputFile.h"

#include "platform/NativePath.h"
#include "platform/SystemReason.h"

#include <cerrno>

namespace vrx {

namespace {

constexpr qsizetype BufferSize = 64 * 1024;

std::string systemName(const QByteArray& path)
{
    return path.toStdString();
}

} // namespace

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
    // Standard output counts only when it is a file: a pipe or terminal is no input.
    if (m_stream)
        return files::idOfRegularFile(::fileno(m_stream), id);
    return files::idOfPath(systemName(m_path), id);
}

QString OutputFile::displayName() const
{
    return m_stream ? QStringLiteral("standard output") : shownName(m_path);
}

QString OutputFile::errorText() const
{
    if (m_stream)
        return QStringLiteral("write error: %1").arg(m_reason);
    return QStringLiteral("cannot write \"%1\": %2").arg(shownName(m_path), m_reason);
}

bool OutputFile::fail(const files::Error& error)
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
    const std::string path = systemName(m_path);
    m_old = files::inspectTarget(path);
    if (m_old.error)
        return fail(m_old.error);
    switch (m_old.kind) {
    case files::Target::Kind::Folder:
        return fail(QStringLiteral("It is a folder."));
    case files::Target::Kind::Other:
        // A device or FIFO is written into, never replaced by a file of its name.
        if (const files::Error error = files::openInPlace(path, m_fd))
            return fail(error);
        return true;
    case files::Target::Kind::Regular:
        if (m_old.readOnly)
            return fail(QStringLiteral("The file is read-only."));
        m_target = m_old.realPath;
        break;
    case files::Target::Kind::Missing:
        m_target = path;
        break;
    }

    bool readOnlyFolder = false;
    files::Error error;
    if (!files::canCreateIn(files::folderOf(m_target), readOnlyFolder, error))
        return readOnlyFolder ? fail(QStringLiteral("Its folder is read-only.")) : fail(error);
    if (const files::Error made = files::createTemporaryBeside(m_target, m_temporary, m_fd))
        return fail(made);
    m_replace = true;
    return true;
}

bool OutputFile::flushBuffer()
{
    if (m_buffer.isEmpty())
        return !m_failed;
    const files::Error error = files::writeAll(m_fd, m_buffer.constData(), size_t(m_buffer.size()));
    m_buffer.clear();
    return !error || fail(error);
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
                files::widenPipe(fd);
                m_pipeWidened = true;
            }
            files::clearStreamError();
            if (std::fflush(m_stream) != 0)
                return fail(files::streamError());
            const files::Error error = files::writeAll(fd, data, size);
            return !error || fail(error);
        }
        files::clearStreamError();
        if (std::fwrite(data, 1, size, m_stream) != size)
            return fail(files::streamError());
        return true;
    }
    if (m_fd < 0)
        return fail(files::Error(EBADF, std::generic_category()));
    if (m_buffer.size() + qsizetype(size) > BufferSize) {
        if (!flushBuffer())
            return false;
        if (qsizetype(size) >= BufferSize) {
            if (!m_pipeWidened) {
                files::widenPipe(m_fd);
                m_pipeWidened = true;
            }
            const files::Error error = files::writeAll(m_fd, data, size);
            return !error || fail(error);
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
        files::clearStreamError();
        if (std::fflush(m_stream) != 0 || std::ferror(m_stream))
            return fail(files::streamError());
        return true;
    }
    if (m_fd < 0)
        return fail(files::Error(EBADF, std::generic_category()));
    bool ok = flushBuffer();
    if (ok && m_replace) {
        if (const files::Error error = files::finishReplacement(m_fd, m_old))
            ok = fail(error);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (const files::Error error = files::closeFile(fd); error && ok)
        ok = fail(error);
    if (ok && m_replace) {
        if (const files::Error error = files::replaceWith(m_temporary, m_target, m_old.kind == files::Target::Kind::Regular))
            ok = fail(error);
        else
            m_temporary.clear();
    }
    if (!ok)
        discard();
    return ok;
}

void OutputFile::discard()
{
    if (m_fd >= 0) {
        files::closeFile(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        files::removeFile(m_temporary);
        m_temporary.clear();
    }
}

ScratchFile::ScratchFile()
{
    if (const files::Error error = files::createScratchFile(m_fd)) {
        m_fd = -1;
        m_reason = QStringLiteral("cannot make a temporary file: %1").arg(systemReason(error));
    }
}

ScratchFile::~ScratchFile()
{
    if (m_fd >= 0)
        files::closeFile(m_fd);
}

DescriptorDevice::DescriptorDevice(int fd) : m_fd(fd)
{
    m_buffer.reserve(BufferSize);
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

DescriptorDevice::~DescriptorDevice()
{
    flush();
}

bool DescriptorDevice::flush()
{
    if (!m_failure && !m_buffer.isEmpty())
        m_failure = files::writeAll(m_fd, m_buffer.constData(), size_t(m_buffer.size()));
    m_buffer.clear();
    return !m_failure;
}

qint64 DescriptorDevice::readData(char*, qint64)
{
    return -1;
}

qint64 DescriptorDevice::writeData(const char* data, qint64 size)
{
    if (m_failure)
        return -1;
    if (m_buffer.size() + size > BufferSize && !flush())
        return -1;
    if (size >= BufferSize) {
        m_failure = files::writeAll(m_fd, data, size_t(size));
        if (m_failure)
            return -1;
    } else {
        m_buffer.append(data, size);
    }
    m_written += size;
    return size;
}

bool copyInto(int fd, OutputFile& output, QString& readError)
{
    QByteArray buffer(BufferSize, Qt::Uninitialized);
    std::int64_t offset = 0;
    for (;;) {
        size_t got = 0;
        if (const files::Error error = files::readAt(fd, offset, buffer.data(), size_t(buffer.size()), got)) {
            readError = systemReason(error);
            return false;
        }
        if (got == 0)
            return true;
        if (!output.write(buffer.constData(), got))
            return false;
        offset += std::int64_t(got);
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
