#include "app/render_files.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>

namespace lumo {

namespace {

// What the signal handler needs, in the only form it may read: a fixed buffer and flags.
char g_temporary[PATH_MAX];
volatile std::sig_atomic_t g_has_temporary = 0;
volatile std::sig_atomic_t g_progress_line_open = 0;
volatile std::sig_atomic_t g_child = 0;

Error file_error(const std::string& what, const std::string& path, int error) {
    return Error(what + " " + path + ": " + std::strerror(error));
}

bool names_a_directory(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    std::error_code error;
    return name.empty() || name == "." || name == ".." || std::filesystem::is_directory(path, error);
}

// ".NAME.XXXXXX" beside `path`.  A long NAME is shortened (never inside a UTF-8
// character) so that the temporary is as valid a name as the final one.
std::string temporary_template(const std::filesystem::path& path) {
    constexpr std::size_t kAdded = 1 + 7;  // "." before, ".XXXXXX" after
    std::string name = path.filename().string();
    if (name.size() + kAdded > NAME_MAX) {
        std::size_t keep = NAME_MAX - kAdded;
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
        name.resize(keep);
    }
    return (path.parent_path() / ("." + name + ".XXXXXX")).string();
}

mode_t new_file_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Creates the temporary for `file.path`; 0 or the reason it could not.
int create_temporary(PendingFile& file) {
    file.temporary = temporary_template(file.path);
    if (file.temporary.size() >= sizeof g_temporary) return ENAMETOOLONG;
    {
        InterruptsHeld held;
        file.descriptor = ::mkstemp(file.temporary.data());
        if (file.descriptor < 0) return errno;
        std::memcpy(g_temporary, file.temporary.c_str(), file.temporary.size() + 1);
        g_has_temporary = 1;
    }
    // mkstemp makes the file private; the finished file is an ordinary new file.
    if (::fchmod(file.descriptor, new_file_mode()) != 0) return errno;
    return 0;
}

void discard(PendingFile& file) {
    if (file.descriptor >= 0) ::close(file.descriptor);
    file.descriptor = -1;
    InterruptsHeld held;
    if (g_has_temporary) ::unlink(file.temporary.c_str());
    g_has_temporary = 0;
}

Status commit(PendingFile& file) {
    const int closed = ::close(file.descriptor);
    const int close_error = errno;
    file.descriptor = -1;
    if (closed != 0) {
        discard(file);
        return file_error("cannot write", file.path, close_error);
    }
    InterruptsHeld held;
    if (::rename(file.temporary.c_str(), file.path.c_str()) != 0) {
        const int error = errno;
        ::unlink(file.temporary.c_str());
        g_has_temporary = 0;
        return Error("cannot rename " + file.temporary + " to " + file.path + ": " + std::strerror(error));
    }
    g_has_temporary = 0;
    return {};
}

template <std::size_t N>
void write_stderr(const char (&text)[N]) {
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text, N - 1);
}

void on_interrupt(int signal) {
    // The child first: once it is gone nothing can write the temporary again.
    if (g_child > 0) ::kill(static_cast<pid_t>(g_child), SIGKILL);
    if (g_has_temporary) ::unlink(g_temporary);
    if (g_progress_line_open) write_stderr("\n");
    if (signal == SIGINT) {
        write_stderr("lumo-render: stopped by SIGINT; no unfinished file is left\n");
    } else {
        write_stderr("lumo-render: stopped by SIGTERM; no unfinished file is left\n");
    }
    ::_exit(128 + signal);
}

}  // namespace

Status write_file_replacing(const std::string& path, const std::function<Status(const PendingFile&)>& write) {
    if (names_a_directory(path)) return file_error("cannot write", path, EISDIR);
    PendingFile file{path, "", -1};
    if (const int error = create_temporary(file); error != 0) {
        discard(file);
        return file_error("cannot write", path, error);
    }
    Status written = write(file);
    if (!written) {
        discard(file);
        return written;
    }
    return commit(file);
}

int write_fully(int descriptor, std::span<const unsigned char> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return 0;
}

Status write_all(const PendingFile& file, std::span<const unsigned char> bytes) {
    if (const int error = write_fully(file.descriptor, bytes); error != 0) {
        return file_error("cannot write", file.path, error);
    }
    return {};
}

Status check_file_location(const std::string& path) {
    if (names_a_directory(path)) return file_error("cannot write", path, EISDIR);
    PendingFile probe{path, "", -1};
    const int error = create_temporary(probe);
    discard(probe);
    if (error != 0) return file_error("cannot write", path, error);
    return {};
}

Status prepare_directory(const std::string& directory) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) return Error("cannot create the directory " + directory + ": " + error.message());
    if (!std::filesystem::is_directory(directory, error)) {
        return file_error("cannot create the directory", directory, ENOTDIR);
    }
    PendingFile probe{(std::filesystem::path(directory) / "lumo-render").string(), "", -1};
    const int created = create_temporary(probe);
    discard(probe);
    if (created != 0) return file_error("cannot write in the directory", directory, created);
    return {};
}

Result<int> open_scratch_file(const std::string& path) {
    std::filesystem::path directory = std::filesystem::path(path).parent_path();
    if (directory.empty()) directory = ".";
    int descriptor = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor >= 0) return descriptor;
    // Not every file system makes unnamed files: a named one loses its name at once, and
    // an interrupt waits until it has.
    std::string name = (directory / ".lumo-render-scratch.XXXXXX").string();
    InterruptsHeld held;
    descriptor = ::mkostemp(name.data(), O_CLOEXEC);
    if (descriptor < 0) return file_error("cannot write in the directory", directory.string(), errno);
    ::unlink(name.c_str());
    return descriptor;
}

void remove_temporaries_on_interrupt() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        // A shell that starts a job in the background ignores SIGINT for it; keep it so.
        if (previous.sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);
    }
}

InterruptsHeld::InterruptsHeld() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

InterruptsHeld::~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

void kill_on_interrupt(int child) { g_child = child; }

void set_progress_line_open(bool open) { g_progress_line_open = open ? 1 : 0; }

}  // namespace lumo
