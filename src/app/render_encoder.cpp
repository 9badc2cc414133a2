#include "app/render_encoder.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <cstdlib>
#include <cstring>

#include "app/render_files.hpp"

extern char** environ;

namespace lumo {

namespace {

// Pipe ends well above the descriptors the encoder is given (0 and 3), so that moving one
// into place never overwrites the other; closed in the encoder when it starts.
constexpr int kFirstPipeDescriptor = 10;

// A 600 × 600 picture is about a megabyte: a pipe that holds most of one lets lumo-render
// make the next while the encoder reads.  (Best effort: the system may allow less.)
constexpr int kPipeBytes = 1 << 20;

Error system_error(const std::string& what, int error) { return Error(what + ": " + std::strerror(error)); }

void close_descriptor(int& descriptor) {
    if (descriptor >= 0) ::close(descriptor);
    descriptor = -1;
}

struct Pipe {
    int read = -1;
    int write = -1;
};

int make_pipe(Pipe& pipe) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return errno;
    pipe.read = ::fcntl(ends[0], F_DUPFD_CLOEXEC, kFirstPipeDescriptor);
    pipe.write = ::fcntl(ends[1], F_DUPFD_CLOEXEC, kFirstPipeDescriptor);
    const int error = errno;
    ::close(ends[0]);
    ::close(ends[1]);
    return pipe.read < 0 || pipe.write < 0 ? error : 0;
}

int spawn(const std::string& program, const std::vector<std::string>& arguments, const Pipe& video, int sound,
          pid_t& pid) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, video.read, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, sound, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGPIPE}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    const int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

// Holds back the SIGPIPE that a write into a pipe whose reader has gone raises, on this
// thread only and only while it writes, so that an encoder that dies shows as a write
// failing with EPIPE instead of a killed lumo-render; the signal is taken off again
// before the thread's mask is put back.  A caller that blocks SIGPIPE itself keeps it.
class SigpipeHeld {
public:
    SigpipeHeld() {
        sigset_t pipe_only;
        sigemptyset(&pipe_only);
        sigaddset(&pipe_only, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_only, &before_);
    }
    ~SigpipeHeld() {
        if (sigismember(&before_, SIGPIPE) == 1) return;
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1) {
            sigset_t pipe_only;
            sigemptyset(&pipe_only);
            sigaddset(&pipe_only, SIGPIPE);
            const timespec now{0, 0};
            while (sigtimedwait(&pipe_only, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

private:
    sigset_t before_{};
};

// Waits for the encoder to end.  It is reaped (and its number free for reuse) only once
// it is no longer the process an interrupt kills.
int wait_for(EncoderProcess& process) {
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(process.pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    InterruptsHeld held;
    kill_on_interrupt(0);
    int status = 0;
    while (::waitpid(process.pid, &status, 0) < 0 && errno == EINTR) {
    }
    process.pid = -1;
    return status;
}

}  // namespace

Result<std::string> find_program(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::string_view directories = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t colon = std::min(directories.find(':'), directories.size());
        std::string directory(directories.substr(0, colon));
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + std::string(program);
        struct stat status {};
        if (::stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (colon == directories.size()) break;
        directories.remove_prefix(colon + 1);
    }
    return Error("the " + std::string(program) + " program is not on PATH (Debian and Ubuntu: apt-get install " +
                 std::string(program) + ")");
}

Result<EncoderProcess> start_encoder(const std::string& program, const std::vector<std::string>& arguments,
                                     int sound) {
    Pipe video;
    int error = make_pipe(video);
    // A copy up where the pipe's ends are: it cannot be the encoder's descriptor 0 nor 3
    // already (which would stay marked to close when the encoder starts).
    int sound_copy = ::fcntl(sound, F_DUPFD_CLOEXEC, kFirstPipeDescriptor);
    if (error == 0 && sound_copy < 0) error = errno;
    EncoderProcess process;
    if (error == 0) {
        ::fcntl(video.write, F_SETPIPE_SZ, kPipeBytes);
        // An interrupt comes either before the encoder exists or once it will kill it.
        InterruptsHeld held;
        pid_t pid = -1;
        error = spawn(program, arguments, video, sound_copy, pid);
        if (error == 0) {
            process.pid = pid;
            kill_on_interrupt(pid);
        }
    }
    close_descriptor(video.read);
    close_descriptor(sound_copy);
    process.video = video.write;
    if (error != 0) {
        close_descriptor(process.video);
        return system_error("cannot start " + program, error);
    }
    return process;
}

Status write_to_encoder(const EncoderProcess& process, std::span<const unsigned char> bytes) {
    int error = 0;
    {
        SigpipeHeld held;
        error = write_fully(process.video, bytes);
    }
    if (error == EPIPE) return Error("the encoder stopped reading (its message, if any, is above)");
    if (error != 0) return system_error("cannot write to the encoder", error);
    return {};
}

Status finish_encoder(EncoderProcess& process) {
    close_descriptor(process.video);
    const int status = wait_for(process);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    if (WIFEXITED(status)) {
        return Error("the encoder failed with exit status " + std::to_string(WEXITSTATUS(status)) +
                     " (its message is above)");
    }
    return Error("the encoder was stopped by signal " + std::to_string(WTERMSIG(status)));
}

void stop_encoder(EncoderProcess& process) {
    close_descriptor(process.video);
    if (process.pid > 0) {
        ::kill(process.pid, SIGKILL);
        wait_for(process);
    }
}

}  // namespace lumo
