#include "io/output_file.h"

#include "io/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>

#include "io/wide_path.h"
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// Every name reaches the wide file functions in the form that holds any
// Unicode name and any length.
HANDLE openExisting(const std::string& path, DWORD access, DWORD flags) {
    return ::CreateFileW(toWindowsPath(path).c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, flags, nullptr);
}
// A file on disk that is no folder and, where links are not followed, no link.
bool isRegularAt(const std::string& path, bool followLinks) {
    const HANDLE handle = openExisting(
        path, 0, FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT));
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD type = ::GetFileType(handle);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    const DWORD other =
        FILE_ATTRIBUTE_DIRECTORY | (followLinks ? 0 : DWORD{FILE_ATTRIBUTE_REPARSE_POINT});
    return type == FILE_TYPE_DISK && known && (info.dwFileAttributes & other) == 0;
}
using FileStat = struct ::__stat64;
// What stands at an output path, without following a link. Devices (NUL,
// CON), folders and reparse points (links) all count as no regular file.
int lstatPath(const std::string& path, FileStat& st) {
    const HANDLE handle =
        openExisting(path, 0, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    if (handle == INVALID_HANDLE_VALUE) {
        return -1;
    }
    ::CloseHandle(handle);
    st = {};
    st.st_mode = isRegularAt(path, false) ? _S_IFREG : _S_IFCHR;
    return 0;
}
bool isRegular(const FileStat& st) {
    return (st.st_mode & _S_IFMT) == _S_IFREG;
}
int processId() {
    return ::_getpid();
}

int openForWrite(const std::string& path, bool exclusive, int mode) {
    int flags = _O_WRONLY | _O_CREAT | _O_BINARY | (exclusive ? _O_EXCL : _O_TRUNC);
    (void)mode;
    return ::_wopen(toWindowsPath(path).c_str(), flags, _S_IREAD | _S_IWRITE);
}
bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1u << 30);
        const int n = ::_write(fd, bytes.data() + done, static_cast<unsigned>(chunk));
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}
bool closeFile(int fd) {
    return ::_close(fd) == 0;
}
void removeFile(const std::string& path) {
    ::DeleteFileW(toWindowsPath(path).c_str());
}
bool replaceFile(const std::string& from, const std::string& to) {
    // A plain rename refuses an existing target on Windows.
    return ::MoveFileExW(toWindowsPath(from).c_str(), toWindowsPath(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING) != 0;
}
bool isSeparator(char c) {
    return c == '/' || c == '\\' || c == ':';
}
#else
using FileStat = struct ::stat;
int statPath(const std::string& path, FileStat& st) {
    return ::stat(path.c_str(), &st);
}
int lstatPath(const std::string& path, FileStat& st) {
    return ::lstat(path.c_str(), &st);
}
bool isRegular(const FileStat& st) {
    return S_ISREG(st.st_mode);
}
int processId() {
    return static_cast<int>(::getpid());
}

int openForWrite(const std::string& path, bool exclusive, int mode) {
    // The temporary file is created exclusively and never through a link, so
    // nothing planted under its name can be written to.
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? (O_EXCL | O_NOFOLLOW) : O_TRUNC);
    return ::open(path.c_str(), flags, static_cast<mode_t>(mode));
}
bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}
bool closeFile(int fd) {
    return ::close(fd) == 0;
}
void removeFile(const std::string& path) {
    ::unlink(path.c_str());
}
bool replaceFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}
bool isSeparator(char c) {
    return c == '/';
}
#endif

// Writes the whole buffer through an already opened descriptor and closes it;
// a failure at close (bytes the system could not store) counts.
bool writeAndClose(int fd, std::span<const std::uint8_t> bytes) {
    const bool written = writeAll(fd, bytes);
    const bool closed = closeFile(fd);
    return written && closed;
}

// The folder part of a path, separator included ("" for a bare file name), so
// that the temporary file lands on the same file system as the output.
std::string directoryOf(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && !isSeparator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

bool writeInPlace(const std::string& path, std::span<const std::uint8_t> bytes) {
    const int fd = openForWrite(path, false, 0666);
    if (fd < 0) {
        return false;
    }
    return writeAndClose(fd, bytes);
}

// Writes a complete new file beside the output and renames it over the output,
// so that the old content survives every failure before the rename.
bool writeByReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                      const FileStat* existing) {
    const std::string folder = directoryOf(path);
    const std::string stem = folder + ".quillon-" + std::to_string(processId()) + "-";
    constexpr int attempts = 100;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const std::string temporary = stem + std::to_string(attempt) + ".tmp";
        const int fd = openForWrite(temporary, true, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
#ifndef _WIN32
        if (existing != nullptr) {
            // A replaced file keeps its permission bits and, where allowed, its owner.
            (void)::fchown(fd, existing->st_uid, existing->st_gid);
            (void)::fchmod(fd, existing->st_mode & 07777);
        }
#else
        (void)existing;
#endif
        if (!writeAndClose(fd, bytes) || !replaceFile(temporary, path)) {
            removeFile(temporary);
            return false;
        }
        return true;
    }
    return false;
}

} // namespace

bool isRegularFile(const std::string& path) {
#ifdef _WIN32
    return isRegularAt(path, true);
#else
    FileStat st{};
    return statPath(path, st) == 0 && isRegular(st);
#endif
}

PathKind pathKind(const std::string& path) {
#ifdef _WIN32
    const DWORD attributes = ::GetFileAttributesW(toWindowsPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::Missing
                                                                              : PathKind::Other;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return PathKind::Other;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return PathKind::Folder;
    }
    return isRegularAt(path, false) ? PathKind::File : PathKind::Other;
#else
    FileStat st{};
    if (lstatPath(path, st) != 0) {
        return errno == ENOENT ? PathKind::Missing : PathKind::Other;
    }
    if (S_ISREG(st.st_mode)) {
        return PathKind::File;
    }
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
#endif
}

bool moveFile(const std::string& from, const std::string& to) {
    return replaceFile(from, to);
}

void deleteFile(const std::string& path) {
    removeFile(path);
}

bool createFolders(const std::string& path) {
#ifdef _WIN32
    constexpr bool onWindows = true;
#else
    constexpr bool onWindows = false;
#endif
    // Each folder on the way down, from the first that is missing.
    for (std::size_t end = 1; end <= path.size(); ++end) {
        if (end < path.size() && path[end] != '/' && !(onWindows && path[end] == '\\')) {
            continue;
        }
        const std::string folder = path.substr(0, end);
#ifdef _WIN32
        if (folder.back() == ':') {
            continue; // a drive
        }
        ::CreateDirectoryW(toWindowsPath(folder).c_str(), nullptr);
#else
        ::mkdir(folder.c_str(), 0777);
#endif
    }
#ifdef _WIN32
    const DWORD attributes = ::GetFileAttributesW(toWindowsPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
    FileStat st{};
    return statPath(path, st) == 0 && S_ISDIR(st.st_mode);
#endif
}

bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    FileStat st{};
    if (lstatPath(path, st) == 0) {
        if (!isRegular(st)) {
            return writeInPlace(path, bytes);
        }
        return writeByReplacing(path, bytes, &st);
    }
    return writeByReplacing(path, bytes, nullptr);
}

bool transformFile(const std::string& inputPath, const std::string& outputPath,
                   bool (*transform)(Bytes& image)) {
    std::optional<Bytes> image = readFile(inputPath);
    if (!image || image->empty() || !transform(*image)) {
        return false;
    }
    return writeFile(outputPath, *image);
}

bool combineFiles(const std::string& firstPath, const std::string& secondPath,
                  const std::string& outputPath,
                  std::optional<Bytes> (*combine)(std::span<const std::uint8_t>,
                                                  std::span<const std::uint8_t>)) {
    const Bytes first = readFile(firstPath).value_or(Bytes{});
    const Bytes second = readFile(secondPath).value_or(Bytes{});
    const std::optional<Bytes> output = combine(first, second);
    if (!output) {
        return false;
    }
    return writeFile(outputPath, *output);
}
