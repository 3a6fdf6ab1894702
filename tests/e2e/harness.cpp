#include "e2e/harness.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {
namespace {

std::vector<std::string> words(const char* text) {
    std::vector<std::string> result;
    std::istringstream in(text != nullptr ? text : "");
    for (std::string word; in >> word;) {
        result.push_back(word);
    }
    return result;
}

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The C runtime on Windows writes text-mode line ends to a redirected stream.
std::string withUnixLineEnds(std::string text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            result.push_back(text[i]);
        }
    }
    return result;
}

} // namespace

bool underLauncher() {
    return !words(std::getenv("QUILLON_LAUNCHER")).empty();
}

std::string hostPath(const std::filesystem::path& path) {
    std::string text = std::filesystem::absolute(path).string();
    if (underLauncher()) {
        std::replace(text.begin(), text.end(), '/', '\\');
        text = "Z:" + text;
    }
    return text;
}

std::string programPath() {
    const char* exe = std::getenv("QUILLON_EXE");
    return hostPath(exe != nullptr ? exe : "");
}

namespace {

RunResult runOnce(const std::vector<std::string>& args, const std::filesystem::path& folder,
                  const RunOptions& options) {
    const char* exe = std::getenv("QUILLON_EXE");
    if (exe == nullptr) {
        throw std::runtime_error("QUILLON_EXE is not set");
    }
    std::vector<std::string> command = words(std::getenv("QUILLON_LAUNCHER"));
    command.push_back(std::filesystem::absolute(exe).string());
    command.insert(command.end(), args.begin(), args.end());
    const std::string cache = hostPath(options.cacheFolder.value_or("/dev/null/quillon-cache"));

    // Console output goes through pipes, not files, so that a file-size limit
    // given to the process applies to the files it writes and not to its console.
    int outPipe[2];
    int errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe");
    }
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::system_error(errno, std::generic_category(), "fork");
    }
    if (child == 0) {
        std::vector<char*> argv;
        for (std::string& word : command) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        const int in = ::open("/dev/null", O_RDONLY);
        if (in < 0 || ::chdir(folder.c_str()) != 0) {
            ::_exit(127);
        }
        ::dup2(in, 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        ::setenv("QUILLON_CACHE_DIR", cache.c_str(), 1);
        ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        if (options.fileSizeLimit) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    RunResult result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                char buffer[4096];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(n));
                } else if (n == 0 || errno != EINTR) {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (underLauncher()) {
        result.out = withUnixLineEnds(result.out);
        result.err = withUnixLineEnds(result.err);
    }
    return result;
}

} // namespace

RunResult runQuillon(const std::vector<std::string>& args, const std::filesystem::path& folder,
                     const RunOptions& options) {
    RunResult result = runOnce(args, folder, options);
    // Now and then wine fails to start a process: it exits 1 within a few
    // milliseconds, having printed nothing. quillon never fails without a
    // line saying why, so such a run is the emulator's and is started again.
    for (int again = 0; again < 2 && underLauncher() && result.exitCode == 1 &&
                        result.out.empty() && result.err.empty();
         ++again) {
        result = runOnce(args, folder, options);
    }
    return result;
}

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void ScratchFolder::write(const std::string& name, std::span<const std::uint8_t> bytes) const {
    std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write test file " + name);
    }
}

std::vector<std::uint8_t> ScratchFolder::read(const std::string& name) const {
    const std::string text = slurp(path_ / name);
    return {text.begin(), text.end()};
}

bool ScratchFolder::exists(const std::string& name) const {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path_ / name, ignored));
}

std::vector<std::string> ScratchFolder::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void ScratchFolder::age() const {
    const auto dayAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_)) {
        if (entry.is_regular_file()) {
            std::filesystem::last_write_time(entry.path(), dayAgo);
        }
    }
}

} // namespace e2e
