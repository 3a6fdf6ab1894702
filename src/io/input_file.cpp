#include "io/input_file.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>

#ifdef _WIN32
#include <windows.h>

#include "io/wide_path.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

// Opening by name is this one function on each platform.
#ifdef _WIN32
std::optional<InputFile> InputFile::open(const std::string& path) {
    const std::wstring wide = toWindowsPath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    // Consoles, pipes and devices such as NUL are no disk files.
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileSizeEx(handle, &size) ||
        size.QuadPart < 0) {
        ::CloseHandle(handle);
        return std::nullopt;
    }
    return InputFile(handle, static_cast<std::uint64_t>(size.QuadPart));
}

bool InputFile::readAt(std::uint64_t offset, std::span<std::uint8_t> into) const {
    std::size_t done = 0;
    while (done < into.size()) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1u << 30));
        const std::uint64_t at = offset + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        if (!::ReadFile(handle_, into.data() + done, chunk, &got, &position) || got == 0) {
            return false;
        }
        done += got;
    }
    return true;
}

std::optional<FileIdentity> InputFile::identity() const {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    if (!::GetFileInformationByHandle(handle_, &info) ||
        !::GetFileInformationByHandleEx(handle_, FileBasicInfo, &times, sizeof times)) {
        return std::nullopt;
    }
    FileIdentity identity;
    identity.device = info.dwVolumeSerialNumber;
    identity.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    identity.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    identity.modified = times.LastWriteTime.QuadPart;
    identity.changed = times.ChangeTime.QuadPart;
    return identity;
}

bool isSettled(const FileIdentity& identity) {
    constexpr std::int64_t ticksPerSecond = 10'000'000;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks =
        static_cast<std::int64_t>((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
    return identity.modified <= ticks - 2 * ticksPerSecond;
}

void InputFile::close() noexcept {
    if (open_) {
        ::CloseHandle(handle_);
        open_ = false;
    }
}
#else
std::optional<InputFile> InputFile::open(const std::string& path) {
    struct ::stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    // Non-blocking in case the name was swapped for a FIFO since the check.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    return adopt(fd);
}

std::optional<InputFile> InputFile::adopt(int descriptor) {
    struct ::stat st {};
    if (::fstat(descriptor, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(descriptor);
        return std::nullopt;
    }
    return InputFile(descriptor, static_cast<std::uint64_t>(st.st_size));
}

bool InputFile::readAt(std::uint64_t offset, std::span<std::uint8_t> into) const {
    std::size_t done = 0;
    while (done < into.size()) {
        const std::uint64_t at = offset + done;
        if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
            return false;
        }
        const ssize_t got =
            ::pread(handle_, into.data() + done, into.size() - done, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::optional<FileIdentity> InputFile::identity() const {
    struct ::stat st {};
    if (::fstat(handle_, &st) != 0 || st.st_size < 0) {
        return std::nullopt;
    }
    constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;
    FileIdentity identity;
    identity.device = static_cast<std::uint64_t>(st.st_dev);
    identity.inode = static_cast<std::uint64_t>(st.st_ino);
    identity.size = static_cast<std::uint64_t>(st.st_size);
    identity.modified =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * nanosecondsPerSecond + st.st_mtim.tv_nsec;
    identity.changed =
        static_cast<std::int64_t>(st.st_ctim.tv_sec) * nanosecondsPerSecond + st.st_ctim.tv_nsec;
    return identity;
}

bool isSettled(const FileIdentity& identity) {
    constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;
    timespec now{};
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0) {
        return false;
    }
    const std::int64_t nanoseconds =
        static_cast<std::int64_t>(now.tv_sec) * nanosecondsPerSecond + now.tv_nsec;
    return identity.modified <= nanoseconds - 2 * nanosecondsPerSecond;
}

void InputFile::close() noexcept {
    if (open_) {
        ::close(handle_);
        open_ = false;
    }
}
#endif

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(other.handle_), size_(other.size_), open_(other.open_) {
    other.open_ = false;
}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        size_ = other.size_;
        open_ = other.open_;
        other.open_ = false;
    }
    return *this;
}

InputFile::~InputFile() {
    close();
}

std::optional<Bytes> InputFile::readRange(std::uint64_t offset, std::uint64_t length) const {
    if (length > std::numeric_limits<std::size_t>::max() / 2) {
        return std::nullopt;
    }
    Bytes image;
    try {
        image.resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (!readAt(offset, image)) {
        return std::nullopt;
    }
    return image;
}

std::optional<Bytes> readFile(const std::string& path) {
    const std::optional<InputFile> file = InputFile::open(path);
    return file ? file->readAll() : std::nullopt;
}
