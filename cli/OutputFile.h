#pragma once
// Where vrxlog writes: standard output, an existing device or FIFO (written into in place, as
// any Unix tool does), or a regular file that is replaced only once everything was written.
// A regular target is written through a hidden temporary in its own folder, which is renamed
// onto it at the end and removed on any failure, also when the program is interrupted. The
// system's calls behind it are the platform's (files/Files.h).

#include "files/Files.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <cstdio>

namespace vrx {

using files::FileId;

class OutputFile {
public:
    // Standard output, written through the stream.
    explicit OutputFile(std::FILE* stream);
    // A file named on the command line (as the system's bytes); nothing is opened yet.
    explicit OutputFile(const QByteArray& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The identity of the existing file that would be written (the target, or what standard
    // output is connected to when that is a file); false for a new file, a pipe or a terminal.
    bool existingId(FileId& id) const;
    // Whether the output is a regular file that is replaced (rather than written in place).
    bool replacesFile() const { return m_replace; }

    // Prepares writing; false with errorText() when the target cannot be written.
    bool open();
    // The open file (the temporary, or the device); -1 for standard output.
    int fd() const { return m_fd; }
    // Appends bytes; false (and stays failed) on the first error.
    bool write(const char* data, size_t size);
    bool write(const QByteArray& bytes) { return write(bytes.constData(), size_t(bytes.size())); }
    // Whether a write has failed.
    bool failed() const { return m_failed; }
    // Flushes and closes, then puts the temporary in place of the target; false on any failure.
    bool commit();
    // Removes the temporary, leaving the target as it was.
    void discard();
    // Records a failure found by whoever wrote into fd() directly.
    bool fail(const QString& reason);

    // "write error: REASON" for standard output, "cannot write "FILE": REASON".
    QString errorText() const;
    // The name as messages show it.
    QString displayName() const;

private:
    bool fail(const files::Error& error);
    bool flushBuffer();

    std::FILE* m_stream = nullptr;
    QByteArray m_path;
    std::string m_target;      // the file the temporary replaces (a link resolved)
    std::string m_temporary;
    files::Target m_old;
    int m_fd = -1;
    bool m_replace = false;
    bool m_failed = false;
    bool m_pipeWidened = false;   // a pipe written in large blocks is widened once
    QString m_reason;
    QByteArray m_buffer;
};

// A file of the program's own in the system's temporary folder, which no name leads to, so that
// nothing is left behind however the program ends. fd() is open for reading and writing.
class ScratchFile {
public:
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    QString errorText() const { return m_reason; }

private:
    int m_fd = -1;
    QString m_reason;
};

// An open file as a Qt device that writes through the system's calls (in blocks), keeping the
// first failure as the system gave it: what Qt's PDF writer draws into.
class DescriptorDevice : public QIODevice {
public:
    explicit DescriptorDevice(int fd);
    ~DescriptorDevice() override;
    // Writes what is buffered; false once any write has failed.
    bool flush();
    const files::Error& failure() const { return m_failure; }
    qint64 written() const { return m_written; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    int m_fd;
    QByteArray m_buffer;
    qint64 m_written = 0;
    files::Error m_failure;
};

// Copies a file's bytes (from its start) into the output; false with output's error, or a
// read error in readError.
bool copyInto(int fd, OutputFile& output, QString& readError);

// Shows a name from the command line for a message: bytes that are no UTF-8 as \xNN, control
// characters as \n, \t or \xNN, so a name cannot move the terminal's cursor or colours.
QString shownName(const QByteArray& name);
QString shownName(const QString& name);

} // namespace vrx
