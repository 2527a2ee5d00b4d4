// tracker-render-video.so: frames as a video through FFmpeg's libraries, for tracker-render, which
// loads it only for --video (see video_module.h).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "tools/video_module.h"

struct VideoEncoder {
    const VideoKind *kind;
    VideoSink sink;
    AVFormatContext *format;  // the container, writing into the sink
    AVCodecContext *codec;    // the encoder
    SwsContext *scale;        // 0xAARRGGBB words to the encoder's planes
    AVFrame *picture;         // one frame in the encoder's planes
    AVPacket *packet;         // one encoded packet on its way to the container
    int32_t width, height;
    int64_t frames;           // frames given so far
};

static void Say(VideoReason reason, const std::string &text) { std::snprintf(reason, sizeof(VideoReason), "%s", text.c_str()); }

// The Debian package of an FFmpeg library, as this module was built against it.
static std::string Package(const char *library, unsigned version)
{
    char name[32];
    std::snprintf(name, sizeof name, "%s%u", library, version >> 16);
    return name;
}

static int Available(const VideoKind *kind, VideoReason reason)
{
    if (avcodec_find_encoder_by_name(kind->encoder) == nullptr) {
        Say(reason, std::string("this machine's FFmpeg has no ") + kind->codec + " encoder (" + kind->encoder +
                        "): install a libavcodec built with it, such as Debian's " +
                        Package("libavcodec", avcodec_version()));
        return 0;
    }
    if (av_guess_format(kind->container, nullptr, nullptr) == nullptr) {
        Say(reason, std::string("this machine's FFmpeg cannot write ") + kind->container +
                        " files: install a libavformat built with it, such as Debian's " +
                        Package("libavformat", avformat_version()));
        return 0;
    }
    return 1;
}

// The container writes through the sink, so the program's one temporary file holds the video.
static int WritePacket(void *opaque, uint8_t *data, int size)
{
    const VideoSink *sink = static_cast<const VideoSink *>(opaque);
    const int error = sink->write(sink->file, data, static_cast<size_t>(size));
    return error == 0 ? size : AVERROR(error);
}

// Containers go back to fill in sizes and indexes once the frames are written.
static int64_t Seek(void *opaque, int64_t offset, int whence)
{
    const VideoSink *sink = static_cast<const VideoSink *>(opaque);
    const int64_t result = (whence & AVSEEK_SIZE) ? sink->size(sink->file)
                                                  : sink->seek(sink->file, offset, whence & ~AVSEEK_FORCE);
    return result >= 0 ? result : AVERROR(static_cast<int>(-result));
}

// FFmpeg's reason for a failure; the program prefers the file's own error when the writing failed.
static int Failed(VideoReason reason, int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    Say(reason, text);
    return 0;
}

static void FreeAll(VideoEncoder *video)
{
    if (video->format != nullptr) {
        if (video->format->pb != nullptr) {
            av_freep(&video->format->pb->buffer);
            avio_context_free(&video->format->pb);
        }
        avformat_free_context(video->format);
    }
    avcodec_free_context(&video->codec);
    sws_freeContext(video->scale);
    av_frame_free(&video->picture);
    av_packet_free(&video->packet);
    delete video;
}

// The encoder's settings, chosen on the demo's own frames: its text, one-pixel lines and flat
// panels are screen content, which AV1's tools for it (palettes, copies within the frame) code
// several times smaller than VP9 can at a PSNR of 50 dB and more.
static int Configure(VideoEncoder *video, bool lossless)
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

// Everything but the frame's planes' conversion; 0 or FFmpeg's error.
static int Open(VideoEncoder *video, int32_t fps, bool lossless)
{
    int error = avformat_alloc_output_context2(&video->format, nullptr, video->kind->container, nullptr);
    if (error < 0)
        return error;
    // No version strings or random identifiers: the same frames make the same file.
    video->format->flags |= AVFMT_FLAG_BITEXACT;
    const int bufferSize = 1 << 16;
    unsigned char *buffer = static_cast<unsigned char *>(av_malloc(bufferSize));
    if (buffer == nullptr)
        return AVERROR(ENOMEM);
    video->format->pb = avio_alloc_context(buffer, bufferSize, 1, &video->sink, nullptr, WritePacket, Seek);
    if (video->format->pb == nullptr) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }

    const AVCodec *encoder = avcodec_find_encoder_by_name(video->kind->encoder);
    video->codec = avcodec_alloc_context3(encoder);
    video->picture = av_frame_alloc();
    video->packet = av_packet_alloc();
    if (video->codec == nullptr || video->picture == nullptr || video->packet == nullptr)
        return AVERROR(ENOMEM);
    AVCodecContext *codec = video->codec;
    codec->width = video->width;
    codec->height = video->height;
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
    // The encoder's threads start with the ending signals held.
    sigset_t previous;
    video->sink.hold(&previous);
    if ((error = Configure(video, lossless)) >= 0)
        error = avcodec_open2(codec, encoder, nullptr);
    video->sink.release(&previous);
    if (error < 0)
        return error;

    AVStream *stream = avformat_new_stream(video->format, nullptr);
    if (stream == nullptr)
        return AVERROR(ENOMEM);
    stream->time_base = codec->time_base;
    stream->avg_frame_rate = codec->framerate;
    if ((error = avcodec_parameters_from_context(stream->codecpar, codec)) < 0 ||
        (error = avformat_write_header(video->format, nullptr)) < 0)
        return error;

    // The words 0xAARRGGBB in the host's order are FFmpeg's RGB32; no scaling, so no filter.
    video->scale = sws_getContext(video->width, video->height, AV_PIX_FMT_RGB32, video->width, video->height,
                                  codec->pix_fmt, SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_BITEXACT,
                                  nullptr, nullptr, nullptr);
    if (video->scale == nullptr)
        return AVERROR(ENOMEM);
    if (!lossless) {
        sws_setColorspaceDetails(video->scale, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    }
    video->picture->format = codec->pix_fmt;
    video->picture->width = video->width;
    video->picture->height = video->height;
    return av_frame_get_buffer(video->picture, 0);
}

static VideoEncoder *Begin(const VideoKind *kind, const VideoSink *sink, int32_t width, int32_t height, int32_t fps,
                           int lossless, VideoReason reason)
{
    // Failures come back as FFmpeg's return values, for one line of the program's.
    av_log_set_level(AV_LOG_QUIET);
    if (!Available(kind, reason))
        return nullptr;
    VideoEncoder *video = new (std::nothrow) VideoEncoder{kind, *sink, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                          width, height, 0};
    if (video == nullptr) {
        Failed(reason, AVERROR(ENOMEM));
        return nullptr;
    }
    const int error = Open(video, fps, lossless != 0);
    if (error < 0) {
        Failed(reason, error);
        FreeAll(video);
        return nullptr;
    }
    return video;
}

// Hands the encoder a frame (or, with null, the end) and writes every packet it has ready; 0 or
// FFmpeg's error.
static int EncodeAndWrite(VideoEncoder *video, const AVFrame *frame)
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

static int Encode(VideoEncoder *video, const AVFrame *frame, VideoReason reason)
{
    // Encoders make their threads when they start or with the first frame.
    sigset_t previous;
    video->sink.hold(&previous);
    const int error = EncodeAndWrite(video, frame);
    video->sink.release(&previous);
    return error >= 0 ? 1 : Failed(reason, error);
}

static int Frame(VideoEncoder *video, const uint32_t *pixels, VideoReason reason)
{
    int error = av_frame_make_writable(video->picture);
    if (error < 0)
        return Failed(reason, error);
    const uint8_t *source[] = {reinterpret_cast<const uint8_t *>(pixels)};
    const int stride[] = {static_cast<int>(video->width * sizeof(uint32_t))};
    sws_scale(video->scale, source, stride, 0, video->height, video->picture->data, video->picture->linesize);
    video->picture->pts = video->frames++;
    return Encode(video, video->picture, reason);
}

static int Finish(VideoEncoder *video, VideoReason reason)
{
    int written = Encode(video, nullptr, reason);
    if (written) {
        int error = av_write_trailer(video->format);
        if (error >= 0) {
            avio_flush(video->format->pb);
            error = video->format->pb->error;
        }
        written = error >= 0 ? 1 : Failed(reason, error);
    }
    FreeAll(video);
    return written;
}

static void Abort(VideoEncoder *video) { FreeAll(video); }

extern "C" __attribute__((visibility("default"))) const VideoModule tracker_video_module = {
    VIDEO_MODULE_VERSION, Available, Begin, Frame, Finish, Abort,
};
