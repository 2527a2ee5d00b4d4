// Frames as a video: WebM with VP9, or MP4 with AV1, both royalty-free and played by current
// browsers. The encoding is the video module's, loaded with FFmpeg's libraries only when a video
// is asked for; the file is written through an OutputFile, so the video appears whole or not at all.
#pragma once

#include <cstdint>
#include <string>

#include "tools/output_file.h"
#include "tools/video_module.h"

struct VideoFile {
    OutputFile file;          // the video being written, renamed into place by VID_Finish
    const VideoKind *kind;
    VideoSink sink;           // `file`, as the module writes into it
    VideoEncoder *encoder;    // the module's, while it is open
    int64_t frames;           // frames given so far
    std::string failure;      // what went wrong, for the message
};

// The highest frame rate a video takes here.
const int32_t VideoMostFps = 240;

// The kind the extension of `path` names (case-insensitive), or null for one we do not write.
const VideoKind *VID_KindOf(const std::string &path);
// Loads the video module and FFmpeg's libraries, once; false with one line saying what is missing
// and what to install. In a build without video, always false.
bool VID_Load(std::string *failure);
// For a program that links the encoder in (the benchmark): its calls, instead of the module's.
void VID_Use(const VideoModule *module);
// "" when this build and this machine's FFmpeg can write `kind`, else the reason, for a message.
// Needs the module loaded.
std::string VID_Missing(const VideoKind &kind);
// Opens the file and the encoder; false with the reason in `failure`. `lossless` keeps every
// pixel's colour exactly (planes of red, green and blue); otherwise the picture is YUV 4:4:4,
// full chroma, so one-pixel lines keep their colour. Needs the module loaded.
bool VID_Begin(VideoFile *video, const std::string &path, int32_t width, int32_t height, int32_t fps,
               bool lossless);
// Encodes one frame of 0xAARRGGBB words; the top byte carries no colour.
bool VID_AddFrame(VideoFile *video, const uint32_t *frame);
// Drains the encoder, ends the container and renames the file into place; nothing is left on failure.
bool VID_Finish(VideoFile *video);
// Frees everything and removes the unfinished file, after a failure elsewhere.
void VID_Abandon(VideoFile *video);
