/* encoder.cpp - FFmpeg muxing of the capture's picture and sound; built
 * as the module kestovar-encoder.so (see encoder.h). */
#include "encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

AVFormatContext *out = nullptr;
AVCodecContext *video = nullptr, *audio = nullptr;
AVStream *video_stream = nullptr, *audio_stream = nullptr;
SwsContext *scaler = nullptr;
AVFrame *picture = nullptr, *sound = nullptr;
AVPacket *packet = nullptr;
long long next_picture = 0, next_sample = 0;
int sound_fill = 0;  // frames waiting in `sound`
int width = 0, height = 0;
bool header_written = false;
char last_log[512] = "";  // FFmpeg's last error line, the best reason it gives

// Instead of FFmpeg printing on standard error: the last error line is
// kept for the message that follows.
void keep_log(void *object, int level, const char *fmt, va_list args) {
    if (level > AV_LOG_ERROR) return;
    int prefix = 0;  // no "[mpegts @ 0x...]": the user named no such thing
    av_log_format_line2(nullptr, level, fmt, args, last_log, sizeof last_log, &prefix);
    (void)object;
    size_t n = std::strlen(last_log);
    while (n > 0 && (last_log[n - 1] == '\n' || last_log[n - 1] == ' ')) last_log[--n] = '\0';
}

int say(char *error, size_t size, const char *what, int code) {
    char reason[AV_ERROR_MAX_STRING_SIZE] = "";
    if (code < 0) av_strerror(code, reason, sizeof reason);
    const char *why = last_log[0] ? last_log : reason;
    std::snprintf(error, size, "%s%s%s", what, why[0] ? ": " : "", why);
    last_log[0] = '\0';
    return -1;
}

// Sends one frame (or the flush request, null) and writes what comes out.
int drain(AVCodecContext *codec, AVStream *stream, const AVFrame *frame, char *error, size_t size) {
    int rc = avcodec_send_frame(codec, frame);
    if (rc < 0) return say(error, size, "cannot encode", rc);
    for (;;) {
        rc = avcodec_receive_packet(codec, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return 0;
        if (rc < 0) return say(error, size, "cannot encode", rc);
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        rc = av_interleaved_write_frame(out, packet);
        if (rc < 0) return say(error, size, "cannot write the video file", rc);
    }
}

int send_sound(char *error, size_t size) {
    if (sound_fill == 0) return 0;
    sound->nb_samples = sound_fill;
    sound->pts = next_sample;
    next_sample += sound_fill;
    sound_fill = 0;
    return drain(audio, audio_stream, sound, error, size);
}

void free_all() {
    sws_freeContext(scaler);
    scaler = nullptr;
    av_frame_free(&picture);
    av_frame_free(&sound);
    av_packet_free(&packet);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    if (out != nullptr && !(out->oformat->flags & AVFMT_NOFILE)) avio_closep(&out->pb);
    avformat_free_context(out);
    out = nullptr;
    video_stream = audio_stream = nullptr;
    header_written = false;
}

// Whether the container takes the stream. A format that cannot say (such
// as MPEG-TS, which then stores the sound as unknown data) is refused for
// that reason, not as one that cannot hold the codec.
bool holds(const encoder_config &c, AVCodecID id, const char *what, char *error, size_t size) {
    const int q = avformat_query_codec(out->oformat, id, FF_COMPLIANCE_NORMAL);
    if (q == 1) return true;
    const char *hint = c.pcm ? "use a .mkv or .mov file" : "use a .mp4, .mkv or .mov file";
    if (q == 0)
        std::snprintf(error, size, "the %s format cannot hold %s (%s)", out->oformat->name, what,
                      hint);
    else
        std::snprintf(error, size,
                      "the %s format does not tell which streams it holds, so the capture "
                      "does not write it (%s)",
                      out->oformat->name, hint);
    return false;
}

int open_video(const encoder_config &c, char *error, size_t size) {
    if (!holds(c, AV_CODEC_ID_H264, "H.264 video", error, size)) return -1;
    const AVCodec *codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) return say(error, size, "FFmpeg has no libx264 H.264 encoder", 0);
    video = avcodec_alloc_context3(codec);
    video->width = c.width;
    video->height = c.height;
    video->time_base = AVRational{1, c.fps};
    video->framerate = AVRational{c.fps, 1};
    video->pix_fmt = AV_PIX_FMT_YUV420P;
    video->gop_size = 2 * c.fps;
    // What players assume for HD pictures; tagged so they need not guess.
    video->colorspace = AVCOL_SPC_BT709;
    video->color_primaries = AVCOL_PRI_BT709;
    video->color_trc = AVCOL_TRC_BT709;
    video->color_range = AVCOL_RANGE_MPEG;
    av_opt_set(video->priv_data, "preset", "veryfast", 0);
    av_opt_set(video->priv_data, "crf", "18", 0);
    if (out->oformat->flags & AVFMT_GLOBALHEADER) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(video, codec, nullptr);
    if (rc < 0) return say(error, size, "cannot open the H.264 encoder", rc);
    video_stream = avformat_new_stream(out, nullptr);
    video_stream->time_base = video->time_base;
    avcodec_parameters_from_context(video_stream->codecpar, video);

    scaler = sws_getContext(c.width, c.height, AV_PIX_FMT_RGBA, c.width, c.height,
                            AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (scaler == nullptr) return say(error, size, "no RGBA to YUV 4:2:0 conversion", 0);
    // Full-range RGB in, BT.709 limited-range YUV out.
    sws_setColorspaceDetails(scaler, sws_getCoefficients(SWS_CS_ITU709), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    picture = av_frame_alloc();
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = c.width;
    picture->height = c.height;
    rc = av_frame_get_buffer(picture, 0);
    if (rc < 0) return say(error, size, "no memory for a picture", rc);
    return 0;
}

int open_audio(const encoder_config &c, char *error, size_t size) {
    const AVCodecID id = c.pcm ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_AAC;
    if (!holds(c, id, c.pcm ? "PCM audio" : "AAC audio", error, size)) return -1;
    const AVCodec *codec = avcodec_find_encoder(id);
    if (codec == nullptr) return say(error, size, "FFmpeg has no encoder for the audio", 0);
    audio = avcodec_alloc_context3(codec);
    audio->sample_fmt = c.pcm ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLTP;
    audio->sample_rate = c.rate;
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&audio->ch_layout, &stereo);
    audio->time_base = AVRational{1, c.rate};
    if (!c.pcm) audio->bit_rate = 256000;
    if (out->oformat->flags & AVFMT_GLOBALHEADER) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(audio, codec, nullptr);
    if (rc < 0) return say(error, size, "cannot open the audio encoder", rc);
    audio_stream = avformat_new_stream(out, nullptr);
    audio_stream->time_base = audio->time_base;
    avcodec_parameters_from_context(audio_stream->codecpar, audio);

    sound = av_frame_alloc();
    sound->format = audio->sample_fmt;
    sound->sample_rate = c.rate;
    av_channel_layout_copy(&sound->ch_layout, &stereo);
    // PCM takes any length; AAC wants its own frame size.
    sound->nb_samples = audio->frame_size > 0 ? audio->frame_size : 1024;
    rc = av_frame_get_buffer(sound, 0);
    if (rc < 0) return say(error, size, "no memory for audio", rc);
    return 0;
}

int encoder_open(const encoder_config *config, char *error, size_t size) {
    const encoder_config &c = *config;
    free_all();
    // The encoders' own reports (settings, statistics) are not for users;
    // failures come back through the return codes.
    av_log_set_level(AV_LOG_ERROR);
    av_log_set_callback(keep_log);
    last_log[0] = '\0';
    next_picture = next_sample = 0;
    sound_fill = 0;
    width = c.width;
    height = c.height;
    const AVOutputFormat *format = av_guess_format(nullptr, c.name, nullptr);
    if (format == nullptr) {
        std::snprintf(error, size,
                      "cannot tell a video format from the name (use .mp4, .mkv or .mov)");
        return -1;
    }
    // The url is also where the MP4 muxer reads back its own file to move
    // the index up front: the file being written, whatever its name.
    const std::string url = std::string("file:") + c.path;
    int rc = avformat_alloc_output_context2(&out, format, nullptr, url.c_str());
    if (rc < 0 || out == nullptr) return say(error, size, "cannot start the video file", rc);
    packet = av_packet_alloc();
    if (open_video(c, error, size) < 0 || open_audio(c, error, size) < 0) {
        free_all();
        return -1;
    }
    if (!(out->oformat->flags & AVFMT_NOFILE)) {
        rc = avio_open(&out->pb, url.c_str(), AVIO_FLAG_WRITE);
        if (rc < 0) {
            say(error, size, "cannot create the video file", rc);
            free_all();
            return -1;
        }
    }
    AVDictionary *options = nullptr;
    // The index up front, so the file plays while it downloads.
    if (std::strcmp(out->oformat->name, "mp4") == 0 || std::strcmp(out->oformat->name, "mov") == 0)
        av_dict_set(&options, "movflags", "+faststart", 0);
    rc = avformat_write_header(out, &options);
    av_dict_free(&options);
    if (rc < 0) {
        say(error, size, "cannot start the video file", rc);
        free_all();
        return -1;
    }
    header_written = true;
    return 0;
}

int encoder_video(const uint8_t *rgba, char *error, size_t size) {
    last_log[0] = '\0';  // a line from an earlier call is no reason for this one
    int rc = av_frame_make_writable(picture);
    if (rc < 0) return say(error, size, "no memory for a picture", rc);
    // GL's rows run bottom-up: start at the top row and step backwards.
    const uint8_t *top = rgba + (size_t)(height - 1) * (size_t)width * 4;
    const uint8_t *planes[1] = {top};
    const int strides[1] = {-4 * width};
    sws_scale(scaler, planes, strides, 0, height, picture->data, picture->linesize);
    picture->pts = next_picture++;
    return drain(video, video_stream, picture, error, size);
}

int encoder_audio(const int16_t *frames, long long count, char *error, size_t size) {
    last_log[0] = '\0';
    const int capacity = audio->frame_size > 0 ? audio->frame_size : 1024;
    while (count > 0) {
        if (sound_fill == 0) {
            // The encoder may still hold the last frame's buffer: a fresh
            // one of the full size is made then.
            sound->nb_samples = capacity;
            const int rc = av_frame_make_writable(sound);
            if (rc < 0) return say(error, size, "no memory for audio", rc);
        }
        const long long n = count < capacity - sound_fill ? count : capacity - sound_fill;
        if (audio->sample_fmt == AV_SAMPLE_FMT_S16) {
            std::memcpy(reinterpret_cast<int16_t *>(sound->data[0]) + 2 * sound_fill, frames,
                        (size_t)n * 4);
        } else {
            float *left = reinterpret_cast<float *>(sound->data[0]) + sound_fill;
            float *right = reinterpret_cast<float *>(sound->data[1]) + sound_fill;
            for (long long i = 0; i < n; i++) {
                left[i] = (float)frames[2 * i] * (1.0f / 32768.0f);
                right[i] = (float)frames[2 * i + 1] * (1.0f / 32768.0f);
            }
        }
        sound_fill += (int)n;
        frames += 2 * n;
        count -= n;
        if (sound_fill == capacity && send_sound(error, size) < 0) return -1;
    }
    return 0;
}

int encoder_close(char *error, size_t size) {
    last_log[0] = '\0';
    int result = 0;
    if (header_written) {
        if (send_sound(error, size) < 0 || drain(video, video_stream, nullptr, error, size) < 0 ||
            drain(audio, audio_stream, nullptr, error, size) < 0)
            result = -1;
        const int rc = av_write_trailer(out);
        if (rc < 0 && result == 0) result = say(error, size, "cannot finish the video file", rc);
    }
    free_all();
    return result;
}

const encoder_api api = {encoder_open, encoder_video, encoder_audio, encoder_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const encoder_api *kestovar_encoder(void) {
    return &api;
}
