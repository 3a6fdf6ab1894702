#include "io/folder.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "io/wide_path.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

enum class EntryKind { Regular, Folder, Other, Unknown };

struct Entry {
    std::string name;
    EntryKind kind;
};

bool endsWithSeparator(const std::string& path) {
#ifdef _WIN32
    return !path.empty() && (path.back() == '/' || path.back() == '\\');
#else
    return !path.empty() && path.back() == '/';
#endif
}

std::string prefixFor(const std::string& folder) {
    return endsWithSeparator(folder) ? folder : folder + "/";
}

void sortByName(std::vector<Entry>& entries) {
    // std::string compares as unsigned bytes.
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
}

#ifdef _WIN32

std::optional<std::vector<Entry>> listFolder(const std::string& folder) {
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = toWindowsPath(prefixFor(folder) + "*");
    const HANDLE search =
        ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                           FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        // A folder with no entries at all (a drive's root may lack "." and "..").
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) {
            return std::vector<Entry>{};
        }
        return std::nullopt;
    }
    std::vector<Entry> entries;
    do {
        const std::wstring_view name(found.cFileName);
        if (name == L"." || name == L"..") {
            continue;
        }
        EntryKind kind = EntryKind::Regular;
        // Links and junctions are reparse points; they are not followed.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            kind = EntryKind::Other;
        } else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            kind = EntryKind::Folder;
        }
        if (kind != EntryKind::Other) {
            entries.push_back({toUtf8(name), kind});
        }
    } while (::FindNextFileW(search, &found));
    const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
    ::FindClose(search);
    if (!complete) {
        return std::nullopt;
    }
    sortByName(entries);
    return entries;
}

struct Level {
    std::string prefix;
    std::vector<Entry> entries;
    std::size_t next = 0;
};

void walkFolder(const std::string& root, const FileVisitor& visit) {
    std::optional<std::vector<Entry>> first = listFolder(root);
    if (!first) {
        visit(root, std::nullopt);
        return;
    }
    std::vector<Level> stack;
    stack.push_back({prefixFor(root), std::move(*first), 0});
    while (!stack.empty()) {
        Level& top = stack.back();
        if (top.next == top.entries.size()) {
            stack.pop_back();
            continue;
        }
        Entry entry = std::move(top.entries[top.next++]);
        std::string path = top.prefix + entry.name;
        if (entry.kind == EntryKind::Regular) {
            visit(path, InputFile::open(path));
        } else if (entry.kind == EntryKind::Folder) {
            std::optional<std::vector<Entry>> listing = listFolder(path);
            if (!listing) {
                visit(path, std::nullopt);
                continue;
            }
            stack.push_back({prefixFor(path), std::move(*listing), 0});
        }
    }
}

void visitArgument(const std::string& argument, const FileVisitor& visit) {
    const DWORD attributes = ::GetFileAttributesW(toWindowsPath(argument).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        walkFolder(argument, visit);
    } else {
        visit(argument, InputFile::open(argument));
    }
}

#else

EntryKind kindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return EntryKind::Regular;
    }
    return S_ISDIR(mode) ? EntryKind::Folder : EntryKind::Other;
}

EntryKind kindOf(const struct ::dirent& entry) {
#ifdef DT_UNKNOWN
    switch (entry.d_type) {
    case DT_REG:
        return EntryKind::Regular;
    case DT_DIR:
        return EntryKind::Folder;
    case DT_UNKNOWN:
        return EntryKind::Unknown;
    default:
        return EntryKind::Other;
    }
#else
    (void)entry;
    return EntryKind::Unknown;
#endif
}

// The entries of an open folder; the descriptor stays open for the caller.
std::optional<std::vector<Entry>> listFolder(int folder) {
    const int listingDescriptor = ::dup(folder);
    if (listingDescriptor < 0) {
        return std::nullopt;
    }
    DIR* listing = ::fdopendir(listingDescriptor);
    if (listing == nullptr) {
        ::close(listingDescriptor);
        return std::nullopt;
    }
    std::vector<Entry> entries;
    for (;;) {
        errno = 0;
        const struct ::dirent* found = ::readdir(listing);
        if (found == nullptr) {
            break;
        }
        const std::string_view name(found->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        const EntryKind kind = kindOf(*found);
        if (kind != EntryKind::Other) {
            entries.push_back({std::string(name), kind});
        }
    }
    const bool complete = errno == 0;
    ::closedir(listing);
    if (!complete) {
        return std::nullopt;
    }
    sortByName(entries);
    return entries;
}

// One open descriptor per level: entries are opened relative to their
// folder, so no path grows with the depth of the tree.
struct Level {
    int folder;
    std::string prefix;
    std::vector<Entry> entries;
    std::size_t next = 0;
};

// A deep tree holds one descriptor per level; the soft limit is raised to
// what the system allows so that thousands of levels fit.
void allowManyOpenFiles() {
    struct ::rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

bool pushFolder(std::vector<Level>& stack, int folder, std::string prefix) {
    std::optional<std::vector<Entry>> listing = listFolder(folder);
    if (!listing) {
        ::close(folder);
        return false;
    }
    stack.push_back({folder, std::move(prefix), std::move(*listing), 0});
    return true;
}

void walkFolder(const std::string& root, const FileVisitor& visit) {
    std::vector<Level> stack;
    const int rootFolder = ::open(root.c_str(), folderFlags);
    if (rootFolder < 0 || !pushFolder(stack, rootFolder, prefixFor(root))) {
        visit(root, std::nullopt);
        return;
    }
    while (!stack.empty()) {
        Level& top = stack.back();
        if (top.next == top.entries.size()) {
            ::close(top.folder);
            stack.pop_back();
            continue;
        }
        const int folder = top.folder;
        Entry entry = std::move(top.entries[top.next++]);
        std::string path = top.prefix + entry.name;
        EntryKind kind = entry.kind;
        if (kind == EntryKind::Unknown) {
            struct ::stat st {};
            if (::fstatat(folder, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                visit(path, std::nullopt);
                continue;
            }
            kind = kindOf(st.st_mode);
        }
        if (kind == EntryKind::Regular) {
            // Never through a link, and without blocking should the entry
            // have become a FIFO since it was listed.
            const int fd = ::openat(folder, entry.name.c_str(),
                                    O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
            visit(path, fd < 0 ? std::nullopt : InputFile::adopt(fd));
        } else if (kind == EntryKind::Folder) {
            const int sub = ::openat(folder, entry.name.c_str(), folderFlags | O_NOFOLLOW);
            // top is not used past this point: the push may move the stack.
            if (sub < 0 || !pushFolder(stack, sub, path + "/")) {
                visit(path, std::nullopt);
            }
        }
    }
}

void visitArgument(const std::string& argument, const FileVisitor& visit) {
    struct ::stat st {};
    if (::stat(argument.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        walkFolder(argument, visit);
    } else {
        visit(argument, InputFile::open(argument));
    }
}

#endif

} // namespace

void walkPaths(std::span<const std::string> arguments, const FileVisitor& visit) {
#ifndef _WIN32
    allowManyOpenFiles();
#endif
    for (const std::string& argument : arguments) {
        visitArgument(argument, visit);
    }
}
