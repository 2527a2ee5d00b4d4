#include "tools/output_file.h"

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

// At most this many files are open at once: a frame image and the animation.
static const int MaxOpen = 4;
// Temporary names an ending signal must remove; a slot is in use while its flag is set.
static char OpenNames[MaxOpen][4096];
static volatile sig_atomic_t OpenSlots[MaxOpen];

// Signals that end the run by default, all held off while a temporary file and the list of
// names disagree, so a file never exists unlisted. A fault signal sent from outside waits like
// the others; one raised by a fault inside that window (a few instructions of ours) cannot be
// held off, and the kernel ends the run with it at once.
static const int Ending[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
                             SIGXCPU, SIGVTALRM, SIGPROF, SIGABRT, SIGBUS,  SIGFPE,  SIGILL,  SIGSEGV};
static const int EndingCount = sizeof Ending / sizeof Ending[0];
static struct sigaction PreviousAction[EndingCount]; // what each did before: it does that again to end the run
static sigset_t HeldSet;                             // the signals held off
static sigset_t SentSet;                             // those only ever sent, never raised by a fault

static volatile sig_atomic_t ProgressLine; // a progress line is on standard error's terminal

void OUT_ProgressShown(bool shown) { ProgressLine = shown; }

static void RemoveOpenFiles(int signal)
{
    if (ProgressLine) {
        static const char Clear[] = "\r\033[K";
        ssize_t cleared = write(STDERR_FILENO, Clear, sizeof Clear - 1);
        (void)cleared;
    }
    for (int i = 0; i < MaxOpen; ++i) {
        if (OpenSlots[i])
            unlink(OpenNames[i]);
    }
    // The run still ends by its signal, as the default (or a sanitizer's handler) would end it;
    // the raised signal waits until this handler returns.
    for (int i = 0; i < EndingCount; ++i) {
        if (Ending[i] == signal)
            sigaction(signal, &PreviousAction[i], nullptr);
    }
    raise(signal);
}

void OUT_Prepare()
{
    // Past a file-size limit a write then fails with EFBIG and the run says which file, instead
    // of being killed with the file half written.
    std::signal(SIGXFSZ, SIG_IGN);
    sigemptyset(&HeldSet);
    sigemptyset(&SentSet);
    for (const int ending : Ending) {
        sigaddset(&HeldSet, ending);
        if (ending != SIGABRT && ending != SIGBUS && ending != SIGFPE && ending != SIGILL && ending != SIGSEGV)
            sigaddset(&SentSet, ending);
    }
    struct sigaction action = {};
    action.sa_handler = RemoveOpenFiles;
    action.sa_mask = HeldSet;  // one handler at a time
    for (int i = 0; i < EndingCount; ++i) {
        sigaction(Ending[i], nullptr, &PreviousAction[i]);
        // A signal ignored by whoever started us (nohup's hangup) stays ignored.
        const struct sigaction &before = PreviousAction[i];
        if ((before.sa_flags & SA_SIGINFO) || before.sa_handler != SIG_IGN)
            sigaction(Ending[i], &action, nullptr);
    }
}

// From the moment a temporary file is made or removed until the list of names says so.
static void HoldSignals(sigset_t *previous) { pthread_sigmask(SIG_BLOCK, &HeldSet, previous); }
static void ReleaseSignals(const sigset_t *previous) { pthread_sigmask(SIG_SETMASK, previous, nullptr); }

void OUT_HoldSignals(sigset_t *previous) { pthread_sigmask(SIG_BLOCK, &SentSet, previous); }
void OUT_ReleaseSignals(const sigset_t *previous) { ReleaseSignals(previous); }

// The permissions an ordinary fopen would give, from the umask, which can only be read by setting it.
static mode_t CreationMode()
{
    static mode_t mode = 01000;
    if (mode == 01000) {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    return mode;
}

// Removes the temporary file and its name from the list, with signals held off between the two.
static void Remove(OutputFile *file)
{
    sigset_t previous;
    HoldSignals(&previous);
    unlink(file->temporary.c_str());
    OpenSlots[file->slot] = 0;
    ReleaseSignals(&previous);
}

bool OUT_Open(OutputFile *file, const std::string &path)
{
    file->path = path;
    file->stream = nullptr;
    file->error = 0;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // Hidden, so that globs over the finished files never pick up one still being written.
    file->temporary = folder + "." + base + ".XXXXXX";
    if (file->temporary.size() >= sizeof OpenNames[0]) {
        file->error = ENAMETOOLONG;
        return false;
    }
    const mode_t mode = CreationMode();
    sigset_t previous;
    HoldSignals(&previous);
    file->slot = 0;
    while (file->slot < MaxOpen && OpenSlots[file->slot])
        ++file->slot;
    const int fd = file->slot < MaxOpen ? mkstemp(&file->temporary[0]) : -1;
    if (fd < 0) {
        file->error = file->slot < MaxOpen ? errno : EMFILE;
        ReleaseSignals(&previous);
        return false;
    }
    std::memcpy(OpenNames[file->slot], file->temporary.c_str(), file->temporary.size() + 1);
    // The name is whole before the handler can see the slot in use.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    OpenSlots[file->slot] = 1;
    ReleaseSignals(&previous);
    // mkstemp makes the file private; the finished one gets what an ordinary fopen would give.
    if (fchmod(fd, mode) != 0 || (file->stream = fdopen(fd, "wb")) == nullptr) {
        file->error = errno;
        close(fd);
        Remove(file);
        return false;
    }
    return true;
}

bool OUT_Write(OutputFile *file, const void *data, size_t size)
{
    if (file->error != 0)
        return false;
    errno = 0;
    if (std::fwrite(data, 1, size, file->stream) != size) {
        file->error = errno ? errno : EIO;
        return false;
    }
    return true;
}

bool OUT_Commit(OutputFile *file)
{
    if (file->error == 0 && std::fflush(file->stream) != 0)
        file->error = errno ? errno : EIO;
    if (std::fclose(file->stream) != 0 && file->error == 0)
        file->error = errno ? errno : EIO;
    file->stream = nullptr;
    if (file->error != 0) {
        Remove(file);
        return false;
    }
    // Renamed and struck from the list together: an ending signal finds either the temporary
    // file listed or the finished one in place, never a listed name that is already finished.
    sigset_t previous;
    HoldSignals(&previous);
    if (std::rename(file->temporary.c_str(), file->path.c_str()) != 0) {
        file->error = errno;
        unlink(file->temporary.c_str());
    }
    OpenSlots[file->slot] = 0;
    ReleaseSignals(&previous);
    return file->error == 0;
}

void OUT_Abandon(OutputFile *file)
{
    if (file->stream == nullptr)
        return;
    std::fclose(file->stream);
    file->stream = nullptr;
    Remove(file);
}

std::string OUT_Failure(const OutputFile &file)
{
    return "cannot write " + file.path + ": " + std::strerror(file.error ? file.error : EIO);
}
