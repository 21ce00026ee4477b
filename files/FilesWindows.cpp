// The files the programs read and write, on Windows. The POSIX counterpart is FilesPosix.cpp; the guarantees
// are the same: no output over an input (files told apart by volume and file index), a
// temporary in the target's folder put in its place at the end, every write checked, nothing
// left behind on a failure or Ctrl+C.
//
// Names are UTF-8 here and UTF-16 for Windows. A file is held as a C run-time descriptor over
// its handle, as the rest of the program and Qt take files.

#include "files/Files.h"
#include "files/ReadFile.h"

#include "core/LogFailure.h"
#include "core/Utf8.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

namespace vrx::files {

namespace {

Error lastError()
{
    return Error(static_cast<int>(::GetLastError()), std::system_category());
}

// The one way names go to Windows: the UTF-16 of their UTF-8, a byte that starts no sequence
// taken as U+FFFD.
std::wstring wide(const std::string& utf8)
{
    const std::u16string text = utf8ToUtf16(utf8);
    return std::wstring(text.begin(), text.end());
}

std::string narrow(const wchar_t* text, int length = -1)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, length, bytes.data(), size, nullptr, nullptr);
    if (length < 0 && !bytes.empty() && bytes.back() == '\0')
        bytes.pop_back();
    return bytes;
}

HANDLE handleOf(int fd)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// A handle for looking at a file, not for reading it: links are followed, folders open too.
class LookingHandle {
public:
    explicit LookingHandle(const std::string& path)
        : m_handle(::CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr))
    {
    }
    ~LookingHandle()
    {
        if (isOpen())
            ::CloseHandle(m_handle);
    }
    LookingHandle(const LookingHandle&) = delete;
    LookingHandle& operator=(const LookingHandle&) = delete;
    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool idOfHandle(HANDLE handle, FileId& id)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info))
        return false;
    id = FileId{info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

bool isMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A name of the folder's entries: Windows takes up to 255 UTF-16 units.
constexpr size_t LongestName = 255;

// The first `length` UTF-16 units of a name, not cutting a surrogate pair in two.
std::wstring cutName(const std::wstring& name, size_t length)
{
    if (name.size() <= length)
        return name;
    if (length > 0 && name[length - 1] >= 0xD800 && name[length - 1] <= 0xDBFF)
        --length;
    return name.substr(0, length);
}

// Temporaries the console handler removes. It runs on a thread of its own while the program
// goes on, so the table is fixed and its slots are taken and given back atomically.
struct TemporarySlot {
    wchar_t path[MAX_PATH * 4];
    std::atomic<bool> used;
};
std::array<TemporarySlot, 4> temporaries{};

BOOL WINAPI removeTemporariesAndEnd(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The files are open with FILE_SHARE_DELETE: they go when the process ends and their
        // handles close.
        for (TemporarySlot& slot : temporaries) {
            if (slot.used)
                ::DeleteFileW(slot.path);
        }
        break;
    default:
        break;
    }
    return FALSE;   // on to the default handler, which ends the program
}

} // namespace

std::vector<std::string> commandLineArguments(int, char**)
{
    std::vector<std::string> words;
    int count = 0;
    wchar_t** list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!list)
        return words;
    for (int i = 1; i < count; ++i)
        words.push_back(narrow(list[i]));
    ::LocalFree(list);
    return words;
}

void prepareStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::_get_osfhandle(fd) < 0) {
            const int held = ::_open("NUL", fd == 0 ? _O_WRONLY : _O_RDONLY);
            if (held >= 0 && held != fd) {
                ::_dup2(held, fd);
                ::_close(held);
            }
        }
        // Bytes as they are: a text-mode stream would turn every LF into CR LF.
        ::_setmode(fd, _O_BINARY);
    }
}

bool idOfPath(const std::string& path, FileId& id)
{
    const LookingHandle handle(path);
    return handle.isOpen() && idOfHandle(handle.get(), id);
}

bool idOfRegularFile(int fd, FileId& id)
{
    const HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return idOfHandle(handle, id);
}

namespace {

// A FILETIME-like count of 100 ns steps as nanoseconds.
std::int64_t nanoseconds(const LARGE_INTEGER& time)
{
    return time.QuadPart * 100;
}

} // namespace

namespace {

bool stateOfHandle(HANDLE handle, FileState& state)
{
    state = FileState{};
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK
        || !::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)
        || !::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)
        || standard.Directory || !idOfHandle(handle, state.id))
        return false;
    state.size = standard.EndOfFile.QuadPart;
    // A file deleted while open keeps its name until its last handle closes.
    state.deleted = standard.DeletePending || standard.NumberOfLinks == 0;
    state.modified = nanoseconds(basic.LastWriteTime);
    state.changed = nanoseconds(basic.ChangeTime);
    state.known = true;
    return true;
}

} // namespace

bool stateOfOpenFile(int fd, FileState& state)
{
    return stateOfHandle(handleOf(fd), state);
}

bool stateOfPath(const std::string& path, FileState& state)
{
    const LookingHandle handle(path);
    if (!handle.isOpen()) {
        state = FileState{};
        return false;
    }
    return stateOfHandle(handle.get(), state);
}

PathKind kindOfPath(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return isMissing(::GetLastError()) ? PathKind::Missing : PathKind::Unknown;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return PathKind::Folder;
    return attributes & FILE_ATTRIBUTE_DEVICE ? PathKind::Other : PathKind::Regular;
}

std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(wide((folder.empty() ? std::string(".") : folder) + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = narrow(found.cFileName);
        if (name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

Target inspectTarget(const std::string& path)
{
    Target target;
    const LookingHandle handle(path);
    if (!handle.isOpen()) {
        const DWORD error = ::GetLastError();
        if (!isMissing(error))
            target.error = Error(static_cast<int>(error), std::system_category());
        return target;
    }
    if (::GetFileType(handle.get()) != FILE_TYPE_DISK) {
        target.kind = Target::Kind::Other;   // NUL, CON, a named pipe: written in place
        return target;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle.get(), &info)) {
        target.error = lastError();
        return target;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        target.kind = Target::Kind::Folder;
        return target;
    }
    target.kind = Target::Kind::Regular;
    target.readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    // Through a link, the file it names is replaced, in its own folder.
    std::wstring final(32768, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(handle.get(), final.data(), static_cast<DWORD>(final.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length > 0 && length < final.size()) {
        final.resize(length);
        // "\\?\C:\..." and "\\?\UNC\server\..." as the names users know.
        if (final.rfind(L"\\\\?\\UNC\\", 0) == 0)
            final = L"\\\\" + final.substr(8);
        else if (final.rfind(L"\\\\?\\", 0) == 0)
            final = final.substr(4);
        target.realPath = narrow(final.c_str(), static_cast<int>(final.size()));
    } else {
        target.realPath = path;
    }
    return target;
}

std::string folderOf(const std::string& path)
{
    const size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos)
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    // The root of a drive keeps its separator: "C:\".
    if (separator == 0 || (separator == 2 && path[1] == ':'))
        return path.substr(0, separator + 1);
    return path.substr(0, separator);
}

bool canCreateIn(const std::string& folder, bool& readOnly, Error& error)
{
    // A folder's read-only attribute only marks it as customised; whether files can be made in
    // it is the folder's security, which making the temporary finds out.
    readOnly = false;
    const DWORD attributes = ::GetFileAttributesW(wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = lastError();
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = Error(ERROR_DIRECTORY, std::system_category());
        return false;
    }
    return true;
}

Error openInPlace(const std::string& path, int& fd)
{
    const HANDLE handle = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return lastError();
    fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return Error(ERROR_TOO_MANY_OPEN_FILES, std::system_category());
    }
    return {};
}

Error createTemporaryBeside(const std::string& target, std::string& temporary, int& fd)
{
    const size_t separator = target.find_last_of("\\/");
    const std::string folderPart = separator == std::string::npos ? std::string() : target.substr(0, separator + 1);
    const std::wstring name = wide(separator == std::string::npos ? target : target.substr(separator + 1));
    // "." + name + ".XXXXXX" is 8 units longer than the name: a long name is cut, so that the
    // temporary fits wherever the target fits.
    constexpr size_t Added = 8;
    const std::wstring kept = cutName(name, LongestName - Added);
    static const wchar_t Letters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<size_t> pick(0, std::size(Letters) - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring suffix;
        for (int i = 0; i < 6; ++i)
            suffix += Letters[pick(random)];
        const std::wstring path = wide(folderPart) + L"." + kept + L"." + suffix;
        // Others may read it, and it may be deleted while open, which is how the console
        // handler removes it.
        const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return lastError();
        }
        fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_RDWR);
        if (fd < 0) {
            ::CloseHandle(handle);
            ::DeleteFileW(path.c_str());
            return Error(ERROR_TOO_MANY_OPEN_FILES, std::system_category());
        }
        temporary = narrow(path.c_str(), static_cast<int>(path.size()));
        registerTemporary(temporary);
        return {};
    }
    return Error(ERROR_FILE_EXISTS, std::system_category());
}

Error createScratchFile(int& fd)
{
    wchar_t folder[MAX_PATH + 1];
    wchar_t path[MAX_PATH + 1];
    if (::GetTempPathW(MAX_PATH + 1, folder) == 0 || ::GetTempFileNameW(folder, L"vrx", 0, path) == 0)
        return lastError();
    // Removed by the system when its last handle closes, however the program ends.
    const HANDLE handle = ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const Error error = lastError();
        ::DeleteFileW(path);
        return error;
    }
    fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_RDWR);
    if (fd < 0) {
        ::CloseHandle(handle);
        return Error(ERROR_TOO_MANY_OPEN_FILES, std::system_category());
    }
    return {};
}

void clearStreamError()
{
    errno = 0;
    _doserrno = 0;
}

Error streamError()
{
    // The C library keeps Windows' own error of a failed read or write beside its errno.
    if (_doserrno != 0)
        return Error(static_cast<int>(_doserrno), std::system_category());
    return Error(errno ? errno : EIO, std::generic_category());
}

Error writeAll(int fd, const char* data, size_t size)
{
    const HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE)
        return Error(ERROR_INVALID_HANDLE, std::system_category());
    while (size > 0) {
        DWORD done = 0;
        const DWORD part = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        if (!::WriteFile(handle, data, part, &done, nullptr))
            return lastError();
        if (done == 0)
            return Error(ERROR_WRITE_FAULT, std::system_category());
        data += done;
        size -= done;
    }
    return {};
}

Error readAt(int fd, std::int64_t offset, char* data, size_t size, size_t& got)
{
    const HANDLE handle = handleOf(fd);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD done = 0;
    if (!::ReadFile(handle, data, static_cast<DWORD>(std::min<size_t>(size, 1u << 30)), &done, &at)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) {
            got = 0;
            return {};
        }
        return lastError();
    }
    got = done;
    return {};
}

Error finishReplacement(int fd, const Target&)
{
    // The owner, the security and the attributes are the old file's through ReplaceFileW;
    // a new file gets those of its folder, as any new file.
    if (!::FlushFileBuffers(handleOf(fd)))
        return lastError();
    return {};
}

Error closeFile(int fd)
{
    return ::_close(fd) == 0 ? Error() : Error(errno, std::generic_category());
}

Error replaceWith(const std::string& temporary, const std::string& target, bool targetExists)
{
    const std::wstring from = wide(temporary);
    const std::wstring to = wide(target);
    bool done = targetExists
        ? ::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
        : ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!done && targetExists && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        // The target went away meanwhile: the temporary takes its name.
        done = ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!done)
        return lastError();
    unregisterTemporary(temporary);
    return {};
}

void removeFile(const std::string& path)
{
    unregisterTemporary(path);
    ::DeleteFileW(wide(path).c_str());
}

void widenPipe(int)
{
    // Windows pipes are sized by whoever makes them.
}

void registerTemporary(const std::string& path)
{
    const std::wstring name = wide(path);
    for (TemporarySlot& slot : temporaries) {
        if (slot.used || name.size() >= std::size(slot.path))
            continue;
        std::copy(name.begin(), name.end(), slot.path);
        slot.path[name.size()] = L'\0';
        slot.used = true;
        return;
    }
}

void unregisterTemporary(const std::string& path)
{
    const std::wstring name = wide(path);
    for (TemporarySlot& slot : temporaries) {
        if (slot.used && name == slot.path)
            slot.used = false;
    }
}

void removeTemporariesOnInterrupt()
{
    ::SetConsoleCtrlHandler(removeTemporariesAndEnd, TRUE);
}

} // namespace vrx::files

// ---- Reading ----

namespace vrx {

namespace {

// The C library's number for a failure, for the messages that name its reason.
int errnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

FileKind kindOf(unsigned short mode)
{
    if ((mode & _S_IFMT) == _S_IFREG)
        return FileKind::Regular;
    if ((mode & _S_IFMT) == _S_IFDIR)
        return FileKind::Folder;
    if ((mode & _S_IFMT) == _S_IFIFO)
        return FileKind::Fifo;
    if ((mode & _S_IFMT) == _S_IFCHR)
        return FileKind::CharacterDevice;
    return FileKind::Other;
}

} // namespace

// 64-bit sizes, and binary mode: a text-mode read would turn the CR LF that ends a log line
// into a bare LF.
RegularFile::RegularFile(DescriptorTag, int fd)
{
    m_borrowed = true;
    struct _stat64 info {};
    if (::_fstat64(fd, &info) != 0) {
        m_error = errno;
        return;
    }
    m_kind = kindOf(info.st_mode);
    if (m_kind == FileKind::Regular) {
        const std::int64_t at = ::_lseeki64(fd, 0, SEEK_CUR);
        m_seekable = at >= 0;
        m_offset = std::max<std::int64_t>(at, 0);
        m_size = info.st_size;
    } else if (m_kind != FileKind::Fifo) {
        return;
    }
    m_fd = fd;
}

RegularFile::RegularFile(const std::string& path)
{
    struct _stat64 info {};
    if (::_wstat64(files::wide(path).c_str(), &info) != 0) {
        m_error = errno;
        return;
    }
    m_kind = kindOf(info.st_mode);
    if (m_kind != FileKind::Regular)
        return;
    // The C library's opens share a file for reading and writing only, so a log shown in the
    // window could be neither renamed nor deleted until it was closed: the system's own call.
    const HANDLE handle = ::CreateFileW(files::wide(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        m_error = errnoOf(::GetLastError());
        return;
    }
    m_fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (m_fd < 0) {
        ::CloseHandle(handle);
        m_error = EMFILE;
        return;
    }
    if (::_fstat64(m_fd, &info) != 0 || kindOf(info.st_mode) != FileKind::Regular) {
        m_kind = kindOf(info.st_mode);
        ::_close(m_fd);
        m_fd = -1;
        return;
    }
    m_size = info.st_size;
    m_seekable = true;
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0 && !m_borrowed)
        ::_close(m_fd);
}

std::int64_t RegularFile::read(char* data, size_t size)
{
    std::int64_t got;
    do
        got = ::_read(m_fd, data, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
    while (got < 0 && errno == EINTR);
    if (got > 0)
        m_offset += got;
    return got;
}

bool RegularFile::seekTo(std::int64_t offset)
{
    if (!m_seekable || ::_lseeki64(m_fd, offset, SEEK_SET) < 0)
        return false;
    m_offset = offset;
    return true;
}

} // namespace vrx
