/* Between tracker-render and its video module, tracker-render-video.so, the one file that links
 * FFmpeg's libraries: loaded only for --video, so the program installs and runs where they are
 * missing. C, so that only these plain types cross. The program owns the file: it makes the
 * temporary file, renames it into place and removes it; the module only encodes into it. */
#pragma once

#include <signal.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What a file name's extension asks for. */
struct VideoKind {
    const char *extension; /* ".webm" or ".mp4" */
    const char *container; /* FFmpeg's name of the muxer */
    const char *codec;     /* the codec's name, for messages */
    const char *encoder;   /* FFmpeg's name of the encoder */
};

/* Where the container's bytes go: the program's temporary file. */
struct VideoSink {
    void *file;
    /* Writes `size` bytes: 0, or the errno value of the failure. */
    int (*write)(void *file, const uint8_t *data, size_t size);
    /* Writes out what is buffered and moves to `offset` from `whence` (SEEK_SET, SEEK_CUR,
     * SEEK_END): the new position, or a negative errno value. */
    int64_t (*seek)(void *file, int64_t offset, int whence);
    /* Writes out what is buffered: the file's size, or a negative errno value. */
    int64_t (*size)(void *file);
    /* Holds off the ending signals that are only ever sent while the encoder makes its threads,
     * and lets them through again (see OUT_HoldSignals). */
    void (*hold)(sigset_t *previous);
    void (*release)(const sigset_t *previous);
};

/* Why a call failed, for the program's one line: FFmpeg's reason, or what the machine lacks. */
typedef char VideoReason[256];

struct VideoEncoder;

/* The module's calls; each that can fail returns 1, or 0 with the reason. */
struct VideoModule {
    int version; /* VIDEO_MODULE_VERSION of the program it was built with */
    /* Whether this machine's FFmpeg has the encoder and the container `kind` needs; the reason
     * says what to install when it has not. */
    int (*available)(const struct VideoKind *kind, VideoReason reason);
    /* Starts a video of `kind` into `sink`, which stays valid until finish or abort; null with
     * the reason when it cannot, having freed what it made. */
    struct VideoEncoder *(*begin)(const struct VideoKind *kind, const struct VideoSink *sink, int32_t width,
                                  int32_t height, int32_t fps, int lossless, VideoReason reason);
    /* Encodes one frame of 0xAARRGGBB words; the top byte carries no colour. */
    int (*frame)(struct VideoEncoder *encoder, const uint32_t *pixels, VideoReason reason);
    /* Drains the encoder and ends the container; frees the encoder either way. */
    int (*finish)(struct VideoEncoder *encoder, VideoReason reason);
    /* Frees the encoder after a failure elsewhere. */
    void (*abort)(struct VideoEncoder *encoder);
};

#define VIDEO_MODULE_VERSION 1
/* The one symbol the module exports: its calls. */
#define VIDEO_MODULE_SYMBOL "tracker_video_module"
extern const struct VideoModule tracker_video_module;

#ifdef __cplusplus
}
#endif
