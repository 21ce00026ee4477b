#include "files/ReadFile.h"

#include "core/LogFailure.h"

namespace vrx {

std::string fileKindText(FileKind kind)
{
    switch (kind) {
    case FileKind::Folder:
        return "a folder";
    case FileKind::Fifo:
        return "a FIFO (named pipe)";
    case FileKind::CharacterDevice:
        return "a character device";
    case FileKind::BlockDevice:
        return "a block device";
    case FileKind::Socket:
        return "a socket";
    case FileKind::Regular:
    case FileKind::Other:
        break;
    }
    return "no regular file";
}

int RegularFile::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return m_borrowed ? -1 : fd;
}

std::string RegularFile::openFailure() const
{
    if (isFolder())
        return "It is a folder.";
    if (notRegular() && m_borrowed)
        return "It is " + kind() + ", not a file or a pipe.";
    if (notRegular())
        return "It is " + kind() + ", not a regular file.";
    return systemSentence(m_error);
}

} // namespace vrx
