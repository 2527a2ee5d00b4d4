#include "tools/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

// At most this many files are open at once: a frame image and the animation.
static const int MaxOpen = 4;
// Temporary names an interrupting signal must remove; a slot is in use while its flag is set.
static char OpenNames[MaxOpen][4096];
static volatile sig_atomic_t OpenSlots[MaxOpen];

static void RemoveOpenFiles(int signal)
{
    for (int i = 0; i < MaxOpen; ++i) {
        if (OpenSlots[i])
            unlink(OpenNames[i]);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void OUT_Prepare()
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(signal, RemoveOpenFiles);
}

static int Track(const std::string &name)
{
    for (int i = 0; i < MaxOpen; ++i) {
        if (!OpenSlots[i] && name.size() < sizeof OpenNames[i]) {
            std::memcpy(OpenNames[i], name.c_str(), name.size() + 1);
            OpenSlots[i] = 1;
            return i;
        }
    }
    return -1;
}

static void Untrack(const std::string &name)
{
    for (int i = 0; i < MaxOpen; ++i) {
        if (OpenSlots[i] && name == OpenNames[i])
            OpenSlots[i] = 0;
    }
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
    std::string name = folder + "." + base + ".XXXXXX";
    const int fd = mkstemp(&name[0]);
    if (fd < 0) {
        file->error = errno;
        return false;
    }
    file->temporary = name;
    // mkstemp makes the file private; the finished one gets what an ordinary fopen would give.
    const mode_t mask = umask(0);
    umask(mask);
    errno = 0;
    if (Track(name) < 0 || fchmod(fd, 0666 & ~mask) != 0 ||
        (file->stream = fdopen(fd, "wb")) == nullptr) {
        file->error = errno ? errno : EMFILE;
        close(fd);
        Untrack(name);
        unlink(name.c_str());
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
    if (file->error == 0 && std::rename(file->temporary.c_str(), file->path.c_str()) != 0)
        file->error = errno;
    if (file->error != 0)
        unlink(file->temporary.c_str());
    Untrack(file->temporary);
    return file->error == 0;
}

void OUT_Abandon(OutputFile *file)
{
    if (file->stream == nullptr)
        return;
    std::fclose(file->stream);
    file->stream = nullptr;
    unlink(file->temporary.c_str());
    Untrack(file->temporary);
}

std::string OUT_Failure(const OutputFile &file)
{
    return "cannot write " + file.path + ": " + std::strerror(file.error ? file.error : EIO);
}
