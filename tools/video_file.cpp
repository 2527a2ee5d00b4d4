#include "tools/video_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>

#if TRACKER_VIDEO
#include <dlfcn.h>
#endif

static const VideoKind Kinds[] = {
    {".webm", "webm", "VP9", "libvpx-vp9"},
    // AV1 rather than H.264: royalty-free, and of Debian's AV1 encoders the one with full chroma
    // and a lossless mode.
    {".mp4", "mp4", "AV1", "libaom-av1"},
};

const VideoKind *VID_KindOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return nullptr;
    std::string extension = path.substr(dot);
    for (char &c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const VideoKind &kind : Kinds) {
        if (extension == kind.extension)
            return &kind;
    }
    return nullptr;
}

static const VideoModule *Module; // null until loaded

bool VID_Load(std::string *failure)
{
#if !TRACKER_VIDEO
    *failure = "this build has no video support";
    return false;
#else
    if (Module != nullptr)
        return true;
    // Beside the program in a build tree, else where the package installs it: never a path from
    // the environment or the current folder, which would run whatever code is found there.
    std::string path = TRACKER_VIDEO_MODULE_DIR "/" TRACKER_VIDEO_MODULE;
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self);
    if (length > 0 && static_cast<size_t>(length) < sizeof self) {
        std::string beside(self, static_cast<size_t>(length));
        beside = beside.substr(0, beside.rfind('/') + 1) + TRACKER_VIDEO_MODULE;
        if (access(beside.c_str(), F_OK) == 0)
            path = beside;
    }
    if (access(path.c_str(), F_OK) != 0) {
        *failure = "video needs " + path + ", which is not there: reinstall tracker-screen";
        return false;
    }
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *reason = dlerror();
        *failure = std::string("video needs FFmpeg's libraries (" TRACKER_VIDEO_PACKAGES "): ") +
                   (reason != nullptr ? reason : "cannot load " + path);
        return false;
    }
    const VideoModule *module = static_cast<const VideoModule *>(dlsym(handle, VIDEO_MODULE_SYMBOL));
    if (module == nullptr || module->version != VIDEO_MODULE_VERSION) {
        dlclose(handle);
        *failure = "video needs " + path + " of this tracker-render's version: reinstall tracker-screen";
        return false;
    }
    Module = module;
    return true;
#endif
}

void VID_Use(const VideoModule *module) { Module = module; }

std::string VID_Missing(const VideoKind &kind)
{
    if (Module == nullptr)
        return "this build has no video support";
    VideoReason reason = "";
    return Module->available(&kind, reason) ? "" : reason;
}

// The sink over the output file: what the module writes and where it goes back to.
static int SinkWrite(void *opaque, const uint8_t *data, size_t size)
{
    OutputFile *file = static_cast<OutputFile *>(opaque);
    return OUT_Write(file, data, size) ? 0 : file->error;
}

// Writes out the buffer, so that the file's own position and size are the video's; 0 or -errno.
static int64_t Flush(OutputFile *file)
{
    if (file->error != 0)
        return -file->error;
    if (std::fflush(file->stream) != 0) {
        file->error = errno ? errno : EIO;
        return -file->error;
    }
    return 0;
}

static int64_t SinkSeek(void *opaque, int64_t offset, int whence)
{
    OutputFile *file = static_cast<OutputFile *>(opaque);
    if (const int64_t error = Flush(file))
        return error;
    if (fseeko(file->stream, static_cast<off_t>(offset), whence) != 0)
        return -errno;
    return static_cast<int64_t>(ftello(file->stream));
}

static int64_t SinkSize(void *opaque)
{
    OutputFile *file = static_cast<OutputFile *>(opaque);
    if (const int64_t error = Flush(file))
        return error;
    struct stat status;
    return fstat(fileno(file->stream), &status) == 0 ? static_cast<int64_t>(status.st_size) : -errno;
}

// Records why the module failed: the file's own error when the writing failed, else its reason.
static bool Failed(VideoFile *video, const char *reason)
{
    video->failure = video->file.error != 0 ? OUT_Failure(video->file) : "cannot write " + video->file.path + ": " + reason;
    return false;
}

bool VID_Begin(VideoFile *video, const std::string &path, int32_t width, int32_t height, int32_t fps,
               bool lossless)
{
    video->encoder = nullptr;
    video->frames = 0;
    video->failure.clear();
    video->file.stream = nullptr;
    video->kind = VID_KindOf(path);
    if (video->kind == nullptr) {
        video->failure = "cannot write " + path + ": not a .webm or .mp4 file";
        return false;
    }
    if (!VID_Load(&video->failure))
        return false;
    const std::string missing = VID_Missing(*video->kind);
    if (!missing.empty()) {
        video->failure = "cannot write " + path + ": " + missing;
        return false;
    }
    if (!OUT_Open(&video->file, path)) {
        video->failure = OUT_Failure(video->file);
        return false;
    }
    video->sink = {&video->file, SinkWrite, SinkSeek, SinkSize, OUT_HoldSignals, OUT_ReleaseSignals};
    VideoReason reason = "";
    video->encoder = Module->begin(video->kind, &video->sink, width, height, fps, lossless, reason);
    return video->encoder != nullptr || Failed(video, reason);
}

bool VID_AddFrame(VideoFile *video, const uint32_t *frame)
{
    VideoReason reason = "";
    if (!Module->frame(video->encoder, frame, reason))
        return Failed(video, reason);
    ++video->frames;
    return true;
}

bool VID_Finish(VideoFile *video)
{
    if (video->frames == 0) {
        video->failure = "cannot write " + video->file.path + ": no frames";
        VID_Abandon(video);
        return false;
    }
    VideoEncoder *encoder = video->encoder;
    video->encoder = nullptr;
    VideoReason reason = "";
    if (!Module->finish(encoder, reason)) {
        Failed(video, reason);
        OUT_Abandon(&video->file);
        return false;
    }
    if (!OUT_Commit(&video->file)) {
        video->failure = OUT_Failure(video->file);
        return false;
    }
    return true;
}

void VID_Abandon(VideoFile *video)
{
    if (video->encoder != nullptr)
        Module->abort(video->encoder);
    video->encoder = nullptr;
    OUT_Abandon(&video->file);
}
