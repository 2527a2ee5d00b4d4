// Frames as a video through FFmpeg's libraries: WebM with VP9, or MP4 with AV1, both royalty-free
// and played by current browsers. Written through an OutputFile, so the video appears whole or
// not at all.
#pragma once

#include <cstdint>
#include <string>

#include "tools/output_file.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// What a file name's extension asks for.
struct VideoKind {
    const char *extension; // ".webm" or ".mp4"
    const char *container; // FFmpeg's name of the muxer
    const char *codec;     // the codec's name, for messages
    const char *encoder;   // FFmpeg's name of the encoder
};

struct VideoFile {
    OutputFile file;          // the video being written, renamed into place by VID_Finish
    const VideoKind *kind;
    AVFormatContext *format;  // the container, writing into `file`
    AVCodecContext *codec;    // the encoder
    SwsContext *scale;        // 0xAARRGGBB words to the encoder's planes
    AVFrame *picture;         // one frame in the encoder's planes
    AVPacket *packet;         // one encoded packet on its way to the container
    int32_t width, height;
    int64_t frames;           // frames given so far
    std::string failure;      // what went wrong, for the message
};

// The highest frame rate a video takes here.
const int32_t VideoMostFps = 240;

// The kind the extension of `path` names (case-insensitive), or null for one we do not write.
const VideoKind *VID_KindOf(const std::string &path);
// "" when this build and this machine's FFmpeg can write `kind`, else the reason, for a message.
std::string VID_Missing(const VideoKind &kind);
// Opens the file and the encoder; false with the reason in `failure`. `lossless` keeps every
// pixel's colour exactly (planes of red, green and blue); otherwise the picture is YUV 4:4:4,
// full chroma, so one-pixel lines keep their colour.
bool VID_Begin(VideoFile *video, const std::string &path, int32_t width, int32_t height, int32_t fps,
               bool lossless);
// Encodes one frame of 0xAARRGGBB words; the top byte carries no colour.
bool VID_AddFrame(VideoFile *video, const uint32_t *frame);
// Drains the encoder, ends the container and renames the file into place; nothing is left on failure.
bool VID_Finish(VideoFile *video);
// Frees everything and removes the unfinished file, after a failure elsewhere.
void VID_Abandon(VideoFile *video);
