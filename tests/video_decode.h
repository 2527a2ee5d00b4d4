// An independent reading of a video with FFmpeg's libraries: every frame as 0x00RRGGBB, with the
// stream's size, frame rate and the frames' times.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

struct DecodedVideo {
    std::string error;                         // empty when the whole file decoded
    std::string codec;                         // the decoder's codec, as FFmpeg names it ("vp9", "av1")
    std::string format;                        // the container's names, as FFmpeg gives them
    int width = 0, height = 0;
    AVRational rate = {0, 1};                  // the stream's average frame rate
    AVPixelFormat pixels = AV_PIX_FMT_NONE;    // the decoded planes' layout
    std::vector<double> times;                 // each frame's time in seconds
    std::vector<std::vector<uint32_t>> frames; // the first `keep` frames' pixels
};

// Decodes `path` whole; keeps the pixels of the first `keep` frames, converted to RGB with the
// colour matrix and range the stream states.
inline DecodedVideo DecodeVideo(const std::string &path, size_t keep)
{
    DecodedVideo result;
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    AVFrame *frame = av_frame_alloc();
    AVPacket *packet = av_packet_alloc();
    SwsContext *scale = nullptr;
    int stream = -1;
    const auto fail = [&](const std::string &what, int error) {
        char reason[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(error, reason, sizeof reason);
        result.error = what + ": " + reason;
    };
    // Converts and keeps one decoded frame.
    const auto take = [&]() {
        const AVStream *s = format->streams[stream];
        const int64_t pts = frame->best_effort_timestamp;
        result.times.push_back(static_cast<double>(pts) * s->time_base.num / s->time_base.den);
        result.pixels = static_cast<AVPixelFormat>(frame->format);
        if (result.frames.size() >= keep)
            return;
        if (scale == nullptr) {
            scale = sws_getContext(frame->width, frame->height, result.pixels, frame->width, frame->height,
                                   AV_PIX_FMT_RGB32, SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_BITEXACT,
                                   nullptr, nullptr, nullptr);
            const bool rgb = frame->colorspace == AVCOL_SPC_RGB;
            if (!rgb) {
                const int matrix = frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
                sws_setColorspaceDetails(scale, sws_getCoefficients(matrix), frame->color_range == AVCOL_RANGE_JPEG,
                                         sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
            }
        }
        std::vector<uint32_t> pixels(static_cast<size_t>(frame->width) * frame->height);
        uint8_t *out[] = {reinterpret_cast<uint8_t *>(pixels.data())};
        const int stride[] = {frame->width * 4};
        sws_scale(scale, frame->data, frame->linesize, 0, frame->height, out, stride);
        for (uint32_t &p : pixels)
            p &= 0x00FFFFFF;
        result.frames.push_back(std::move(pixels));
    };
    int error = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
    if (error < 0) {
        fail("cannot open " + path, error);
    } else if ((error = avformat_find_stream_info(format, nullptr)) < 0 ||
               (error = stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)) < 0) {
        fail("no video stream in " + path, error);
    } else {
        const AVCodecParameters *parameters = format->streams[stream]->codecpar;
        const AVCodec *decoder = avcodec_find_decoder(parameters->codec_id);
        result.codec = avcodec_get_name(parameters->codec_id);
        result.format = format->iformat->name;
        result.width = parameters->width;
        result.height = parameters->height;
        result.rate = format->streams[stream]->avg_frame_rate;
        codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
        if (codec == nullptr || (error = avcodec_parameters_to_context(codec, parameters)) < 0 ||
            (error = avcodec_open2(codec, decoder, nullptr)) < 0) {
            fail("cannot decode " + result.codec, codec ? error : AVERROR_DECODER_NOT_FOUND);
        } else {
            bool draining = false;
            while (result.error.empty()) {
                if (!draining) {
                    error = av_read_frame(format, packet);
                    if (error == AVERROR_EOF) {
                        draining = true;
                        error = avcodec_send_packet(codec, nullptr);
                    } else if (error >= 0) {
                        if (packet->stream_index == stream)
                            error = avcodec_send_packet(codec, packet);
                        av_packet_unref(packet);
                    }
                    if (error < 0) {
                        fail("cannot read " + path, error);
                        break;
                    }
                }
                while ((error = avcodec_receive_frame(codec, frame)) >= 0)
                    take();
                if (error == AVERROR_EOF)
                    break;
                if (error != AVERROR(EAGAIN))
                    fail("cannot decode " + path, error);
            }
        }
    }
    sws_freeContext(scale);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    av_frame_free(&frame);
    av_packet_free(&packet);
    return result;
}

// The peak signal-to-noise ratio of `b` against `a` over the three colours, in decibels.
inline double Psnr(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b)
{
    double squares = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            const double d = static_cast<double>((a[i] >> shift) & 0xFF) - ((b[i] >> shift) & 0xFF);
            squares += d * d;
        }
    }
    const double mean = squares / (3.0 * a.size());
    return mean == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mean);
}
