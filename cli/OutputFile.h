#pragma once
// Where vrxlog writes: standard output, an existing device or FIFO (written into in place, as
// any Unix tool does), or a regular file that is replaced only once everything was written.
// A regular target is written through a hidden temporary in its own folder, which is renamed
// onto it at the end and removed on any failure, also when the program is interrupted.

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <sys/types.h>

namespace vrx {

// Identity of an existing file (device and inode).
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// The identity of the file a path names (following links); false when there is none.
bool fileIdOf(const QByteArray& path, FileId& id);

class OutputFile {
public:
    // Standard output, written through the stream.
    explicit OutputFile(std::FILE* stream);
    // A file named on the command line (as the system's bytes); nothing is opened yet.
    explicit OutputFile(const QByteArray& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool isStandardOutput() const { return m_stream != nullptr; }
    // The identity of the existing file that would be written (the target, or what standard
    // output is connected to); false for a new file.
    bool existingId(FileId& id) const;
    // Whether the output is a regular file that is replaced (rather than written in place).
    bool replacesFile() const { return m_replace; }

    // Prepares writing; false with errorText() when the target cannot be written.
    bool open();
    // The hidden temporary's path while a regular file is being replaced.
    QByteArray temporaryPath() const { return m_temporary; }
    // The open file (the temporary, or the device); -1 for standard output.
    int fd() const { return m_fd; }
    // Appends bytes; false (and stays failed) on the first error.
    bool write(const char* data, size_t size);
    // Flushes and closes, then puts the temporary in place of the target; false on any failure.
    bool commit();
    // Removes the temporary, leaving the target as it was.
    void discard();

    // "vrxlog: write error: REASON" for standard output, "vrxlog: cannot write "FILE": REASON".
    QString errorText() const;
    // The name as messages show it.
    QString displayName() const;

private:
    bool fail(int error);
    bool fail(const QString& reason);
    bool flushBuffer();

    std::FILE* m_stream = nullptr;
    QByteArray m_path;
    QByteArray m_temporary;
    int m_fd = -1;
    bool m_replace = false;
    bool m_failed = false;
    bool m_pipeWidened = false;   // a pipe written in large blocks is widened once
    mode_t m_mode = 0;
    QString m_reason;
    QByteArray m_buffer;
};

// A hidden temporary file of the program's own in the system's temporary folder, removed when
// it goes out of scope or the program is interrupted. fd() is open for reading and writing.
class ScratchFile {
public:
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    QByteArray path() const { return m_path; }
    QString errorText() const { return m_reason; }

private:
    QByteArray m_path;
    int m_fd = -1;
    QString m_reason;
};

// Whether a PDF file looks complete: it ends with its cross-reference offset and "%%EOF", and
// that offset points at the cross-reference table. A write that failed in between (a full
// disk) shifts or cuts the file, which this notices.
bool pdfIsComplete(int fd);

// Copies a file's bytes (from its start) into the output; false with output's error, or a
// read error in readError.
bool copyInto(int fd, OutputFile& output, QString& readError);

// Removes the registered temporaries when SIGINT, SIGTERM, SIGHUP or SIGPIPE ends the program.
void installTemporaryCleanup();

// Shows a name from the command line for a message: bytes that are no UTF-8 as \xNN, control
// characters as \n, \t or \xNN, so a name cannot move the terminal's cursor or colours.
QString shownName(const QByteArray& name);
QString shownName(const QString& name);

} // namespace vrx
