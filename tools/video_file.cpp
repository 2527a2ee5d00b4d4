#include "tools/video_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if TRACKER_VIDEO
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}
#include <sys/stat.h>
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

#if !TRACKER_VIDEO

std::string VID_Missing(const VideoKind &) { return "this build has no video support"; }
bool VID_Begin(VideoFile *video, const std::string &, int32_t, int32_t, int32_t, bool)
{
    video->failure = "this build has no video support";
    return false;
}
bool VID_AddFrame(VideoFile *, const uint32_t *) { return false; }
bool VID_Finish(VideoFile *) { return false; }
void VID_Abandon(VideoFile *video) { OUT_Abandon(&video->file); }

#else

std::string VID_Missing(const VideoKind &kind)
{
    if (avcodec_find_encoder_by_name(kind.encoder) == nullptr)
        return std::string("this machine's FFmpeg has no ") + kind.codec + " encoder (" + kind.encoder +
               "): install a libavcodec built with it, such as Debian's libavcodec59";
    if (av_guess_format(kind.container, nullptr, nullptr) == nullptr)
        return std::string("this machine's FFmpeg cannot write ") + kind.container +
               " files: install a libavformat built with it, such as Debian's libavformat59";
    return "";
}

// The container writes through the output file, so the one temporary file holds the video.
static int WritePacket(void *opaque, uint8_t *data, int size)
{
    OutputFile *file = static_cast<OutputFile *>(opaque);
    return OUT_Write(file, data, static_cast<size_t>(size)) ? size : AVERROR(file->error);
}

// Containers go back to fill in sizes and indexes once the frames are written.
static int64_t Seek(void *opaque, int64_t offset, int whence)
{
    OutputFile *file = static_cast<OutputFile *>(opaque);
    if (file->error != 0)
        return AVERROR(file->error);
    if (std::fflush(file->stream) != 0) {
        file->error = errno ? errno : EIO;
        return AVERROR(file->error);
    }
    if (whence & AVSEEK_SIZE) {
        struct stat status;
        return fstat(fileno(file->stream), &status) == 0 ? static_cast<int64_t>(status.st_size) : AVERROR(errno);
    }
    if (fseeko(file->stream, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE) != 0)
        return AVERROR(errno);
    return static_cast<int64_t>(ftello(file->stream));
}

// Records why FFmpeg failed: the file's own error when the writing failed, else FFmpeg's reason.
static bool Failed(VideoFile *video, int error)
{
    if (video->file.error != 0) {
        video->failure = OUT_Failure(video->file);
    } else {
        char reason[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(error, reason, sizeof reason);
        video->failure = "cannot write " + video->file.path + ": " + reason;
    }
    return false;
}

static void FreeAll(VideoFile *video)
{
    if (video->format != nullptr) {
        if (video->format->pb != nullptr) {
            av_freep(&video->format->pb->buffer);
            avio_context_free(&video->format->pb);
        }
        avformat_free_context(video->format);
        video->format = nullptr;
    }
    avcodec_free_context(&video->codec);
    sws_freeContext(video->scale);
    video->scale = nullptr;
    av_frame_free(&video->picture);
    av_packet_free(&video->packet);
}

// The encoder's settings, chosen on the demo's own frames: its text, one-pixel lines and flat
// panels are screen content, which AV1's tools for it (palettes, copies within the frame) code
// several times smaller than VP9 can at a PSNR of 50 dB and more.
static int Configure(VideoFile *video, bool lossless)
{
    void *options = video->codec->priv_data;
    const bool vp9 = std::strcmp(video->kind->encoder, "libvpx-vp9") == 0;
    int error = 0;
    if (vp9) {
        if ((error = av_opt_set(options, "deadline", "good", 0)) >= 0 &&
            (error = av_opt_set_int(options, "cpu-used", 5, 0)) >= 0 &&
            (error = av_opt_set_int(options, "row-mt", 1, 0)) >= 0)
            error = lossless ? av_opt_set_int(options, "lossless", 1, 0) : av_opt_set_int(options, "crf", 32, 0);
        return error;
    }
    // libaom's realtime mode is neither lossless with lossless=1 nor small on these frames.
    if ((error = av_opt_set(options, "usage", "good", 0)) >= 0 &&
        (error = av_opt_set_int(options, "cpu-used", 8, 0)) >= 0 &&
        (error = av_opt_set_int(options, "row-mt", 1, 0)) >= 0 &&
        (error = av_opt_set(options, "aom-params", lossless ? "tune-content=screen:lossless=1" : "tune-content=screen", 0)) >= 0 &&
        !lossless)
        error = av_opt_set_int(options, "crf", 40, 0);
    return error;
}

bool VID_Begin(VideoFile *video, const std::string &path, int32_t width, int32_t height, int32_t fps,
               bool lossless)
{
    video->format = nullptr;
    video->codec = nullptr;
    video->scale = nullptr;
    video->picture = nullptr;
    video->packet = nullptr;
    video->width = width;
    video->height = height;
    video->frames = 0;
    video->failure.clear();
    video->file.stream = nullptr;
    video->kind = VID_KindOf(path);
    if (video->kind == nullptr) {
        video->failure = "cannot write " + path + ": not a .webm or .mp4 file";
        return false;
    }
    // Failures come back as FFmpeg's return values, for one line of our own.
    av_log_set_level(AV_LOG_QUIET);
    const std::string missing = VID_Missing(*video->kind);
    if (!missing.empty()) {
        video->failure = "cannot write " + path + ": " + missing;
        return false;
    }
    if (!OUT_Open(&video->file, path)) {
        video->failure = OUT_Failure(video->file);
        return false;
    }

    int error = avformat_alloc_output_context2(&video->format, nullptr, video->kind->container, nullptr);
    if (error < 0)
        return Failed(video, error);
    // No version strings or random identifiers: the same frames make the same file.
    video->format->flags |= AVFMT_FLAG_BITEXACT;
    const int bufferSize = 1 << 16;
    unsigned char *buffer = static_cast<unsigned char *>(av_malloc(bufferSize));
    if (buffer == nullptr)
        return Failed(video, AVERROR(ENOMEM));
    video->format->pb = avio_alloc_context(buffer, bufferSize, 1, &video->file, nullptr, WritePacket, Seek);
    if (video->format->pb == nullptr) {
        av_free(buffer);
        return Failed(video, AVERROR(ENOMEM));
    }

    const AVCodec *encoder = avcodec_find_encoder_by_name(video->kind->encoder);
    video->codec = avcodec_alloc_context3(encoder);
    video->picture = av_frame_alloc();
    video->packet = av_packet_alloc();
    if (video->codec == nullptr || video->picture == nullptr || video->packet == nullptr)
        return Failed(video, AVERROR(ENOMEM));
    AVCodecContext *codec = video->codec;
    codec->width = width;
    codec->height = height;
    codec->time_base = AVRational{1, fps};
    codec->framerate = AVRational{fps, 1};
    codec->gop_size = 10 * fps;
    codec->flags |= AV_CODEC_FLAG_BITEXACT;
    // One thread, so that the same frames make the same file on any machine (the README's video
    // is checked byte for byte); a demo's few seconds take seconds to encode.
    codec->thread_count = 1;
    if (video->format->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (lossless) {
        codec->pix_fmt = AV_PIX_FMT_GBRP;
        codec->colorspace = AVCOL_SPC_RGB;
        codec->color_range = AVCOL_RANGE_JPEG;
    } else {
        codec->pix_fmt = AV_PIX_FMT_YUV444P;
        codec->colorspace = AVCOL_SPC_BT709;
        codec->color_range = AVCOL_RANGE_MPEG;
    }
    codec->color_primaries = AVCOL_PRI_BT709;
    codec->color_trc = AVCOL_TRC_IEC61966_2_1;
    // The encoder's threads start with the ending signals held (see OUT_HoldSignals).
    sigset_t previous;
    OUT_HoldSignals(&previous);
    if ((error = Configure(video, lossless)) >= 0)
        error = avcodec_open2(codec, encoder, nullptr);
    OUT_ReleaseSignals(&previous);
    if (error < 0)
        return Failed(video, error);

    AVStream *stream = avformat_new_stream(video->format, nullptr);
    if (stream == nullptr)
        return Failed(video, AVERROR(ENOMEM));
    stream->time_base = codec->time_base;
    stream->avg_frame_rate = codec->framerate;
    if ((error = avcodec_parameters_from_context(stream->codecpar, codec)) < 0 ||
        (error = avformat_write_header(video->format, nullptr)) < 0)
        return Failed(video, error);

    // The words 0xAARRGGBB in the host's order are FFmpeg's RGB32; no scaling, so no filter.
    video->scale = sws_getContext(width, height, AV_PIX_FMT_RGB32, width, height, codec->pix_fmt,
                                  SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_BITEXACT,
                                  nullptr, nullptr, nullptr);
    if (video->scale == nullptr)
        return Failed(video, AVERROR(ENOMEM));
    if (!lossless) {
        sws_setColorspaceDetails(video->scale, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    }
    video->picture->format = codec->pix_fmt;
    video->picture->width = width;
    video->picture->height = height;
    if ((error = av_frame_get_buffer(video->picture, 0)) < 0)
        return Failed(video, error);
    return true;
}

// Hands the encoder a frame (or, with null, the end) and writes every packet it has ready; 0 or
// FFmpeg's error.
static int EncodeAndWrite(VideoFile *video, const AVFrame *frame)
{
    int error = avcodec_send_frame(video->codec, frame);
    while (error >= 0) {
        error = avcodec_receive_packet(video->codec, video->packet);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF)
            return 0;
        if (error < 0)
            break;
        AVStream *stream = video->format->streams[0];
        av_packet_rescale_ts(video->packet, video->codec->time_base, stream->time_base);
        video->packet->stream_index = 0;
        error = av_write_frame(video->format, video->packet);
        av_packet_unref(video->packet);
    }
    return error;
}

static bool Encode(VideoFile *video, const AVFrame *frame)
{
    // Encoders make their threads when they start or with the first frame (see OUT_HoldSignals).
    sigset_t previous;
    OUT_HoldSignals(&previous);
    const int error = EncodeAndWrite(video, frame);
    OUT_ReleaseSignals(&previous);
    return error >= 0 || Failed(video, error);
}

bool VID_AddFrame(VideoFile *video, const uint32_t *frame)
{
    int error = av_frame_make_writable(video->picture);
    if (error < 0)
        return Failed(video, error);
    const uint8_t *source[] = {reinterpret_cast<const uint8_t *>(frame)};
    const int stride[] = {static_cast<int>(video->width * sizeof(uint32_t))};
    sws_scale(video->scale, source, stride, 0, video->height, video->picture->data, video->picture->linesize);
    video->picture->pts = video->frames++;
    return Encode(video, video->picture);
}

bool VID_Finish(VideoFile *video)
{
    if (video->frames == 0) {
        video->failure = "cannot write " + video->file.path + ": no frames";
        VID_Abandon(video);
        return false;
    }
    bool written = Encode(video, nullptr);
    if (written) {
        int error = av_write_trailer(video->format);
        if (error >= 0) {
            avio_flush(video->format->pb);
            error = video->format->pb->error;
        }
        written = error >= 0 || Failed(video, error);
    }
    if (!written) {
        VID_Abandon(video);
        return false;
    }
    FreeAll(video);
    if (!OUT_Commit(&video->file)) {
        video->failure = OUT_Failure(video->file);
        return false;
    }
    return true;
}

void VID_Abandon(VideoFile *video)
{
    FreeAll(video);
    OUT_Abandon(&video->file);
}

#endif
