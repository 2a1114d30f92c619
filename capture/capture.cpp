/* capture.cpp - the capture loop: a frame counter for a clock
 * (frame_clock.h), the scene drawn off screen, the pictures to a video file
 * and PNG stills.
 *
 * A run is a plan (which frames go through, which are drawn, where each
 * picture goes), then the outputs opened, then one pass over the frames.
 */
#include "capture.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "encoder.h"
#include "out_file.h"
#include "show.h"
#include "still.h"
#include "tavelo.h"

namespace {

std::string error_text;
capture_times timing;
long long video_frames = 0;

// The live demo asks the display layer for a 640 x 480 picture.
constexpr int kPictureW = 640, kPictureH = 480;

double now_s() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

std::string seconds(double s) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

// Which frames a request goes through, and what becomes of each.
struct Plan {
    int fps = 0;
    long long show = 0;   // frames in the whole show
    long long first = 0;  // video frames [first, end); none without a video
    long long end = 0;
    std::vector<long long> still_frame;  // the frame of each still
    long long last = 0;                  // frames [0, last) are gone through
    long long pictures = 0;              // frames drawn for the video or a still
    bool in_video(long long n) const { return n >= first && n < end; }
    bool wanted(long long n) const {
        return in_video(n) ||
               std::find(still_frame.begin(), still_frame.end(), n) != still_frame.end();
    }
};

bool make_plan(const capture_request *r, Plan *p, std::string *why) {
    p->fps = r->fps;
    if (r->fps < 1 || r->fps > CAPTURE_MAX_FPS) {
        *why = "the frame rate " + std::to_string(r->fps) + " is not within 1 to " +
               std::to_string(CAPTURE_MAX_FPS);
        return false;
    }
    const std::string size = std::to_string(r->width) + "x" + std::to_string(r->height);
    if (r->width < 2 || r->height < 2 || r->width > CAPTURE_MAX_SIDE ||
        r->height > CAPTURE_MAX_SIDE || r->width % 2 || r->height % 2) {
        *why = "the size " + size + " is not two even numbers from 2 to " +
               std::to_string(CAPTURE_MAX_SIDE);
        return false;
    }
    const long long blocks = (long long)((r->width + 15) / 16) * ((r->height + 15) / 16);
    if (blocks > CAPTURE_MAX_MACROBLOCKS) {
        *why = "the size " + size + " is larger than video players take (at most " +
               std::to_string(CAPTURE_MAX_MACROBLOCKS * 256LL) +
               " pixels, such as 4096x2304 or 3840x2160)";
        return false;
    }
    p->show = show_frame_count(r->fps);
    const double show_s = (double)p->show / r->fps;
    // Times are compared in seconds first: frame numbers of huge times
    // would not fit.
    if (r->video != nullptr) {
        if (!(r->from >= 0.0) || r->from >= show_s) {
            *why =
                "--from must be a time from 0 to the end of the show (" + seconds(show_s) + " s)";
            return false;
        }
        p->first = show_frame_at(r->from, r->fps);
        p->end = r->to < 0.0 || r->to >= show_s ? p->show
                                                : std::min(p->show, show_frame_at(r->to, r->fps));
        if (p->first >= p->show) {
            *why = "--from " + seconds(r->from) + " is past the end of the show (" +
                   seconds(show_s) + " s)";
            return false;
        }
        if (p->end <= p->first) {
            *why = "the range " + seconds(r->from) + " to " + seconds(r->to) + " s holds no frame";
            return false;
        }
    }
    p->last = p->end;
    p->pictures = p->end - p->first;
    for (int i = 0; i < r->still_count; i++) {
        const double t = r->stills[i].seconds;
        if (!(t >= 0.0) || t > show_s || show_frame_at(t, r->fps) >= p->show) {
            *why = "no still at " + (t >= 0.0 && t <= 1e9 ? seconds(t) : std::string("that time")) +
                   " s: the show runs from 0 to " + seconds(show_s) + " s";
            return false;
        }
        const long long f = show_frame_at(t, r->fps);
        if (!p->wanted(f)) p->pictures++;  // a frame drawn anyway is not counted twice
        p->still_frame.push_back(f);
        p->last = std::max(p->last, f + 1);
    }
    return true;
}

// No two outputs in one file, and none over a file the program runs from.
bool outputs_free(const capture_request *r, std::string *why) {
    std::vector<std::string> names;
    if (r->video != nullptr) names.push_back(r->video);
    for (int i = 0; i < r->still_count; i++) names.push_back(r->stills[i].path);
    for (size_t i = 0; i < names.size(); i++) {
        for (size_t j = 0; j < i; j++) {
            if (out_same_file(names[i], names[j])) {
                *why = names[j] + " and " + names[i] + " are the same file: one would overwrite " +
                       "the other";
                return false;
            }
        }
        bool in_use = out_in_use(names[i]);
        for (const std::string &module : encoder_places())
            in_use = in_use || out_same_file(names[i], module);
        if (in_use) {
            *why = names[i] + " is a file this program runs from; not overwritten";
            return false;
        }
    }
    return true;
}

// What a run writes to: the display, the picture read back, the encoder
// and the video file.
struct Output {
    std::vector<uint8_t> rgba;
    const encoder_api *encoder = nullptr;
    OutFile video;
};

bool open_output(const capture_request *r, Output *o, std::string *why) {
    if (tavelo_open_offscreen(r->width, r->height, kPictureW, kPictureH) < 0) {
        *why = tavelo_error();
        return false;
    }
    o->rgba.resize((size_t)r->width * (size_t)r->height * 4);
    if (r->video == nullptr) return true;
    char reason[512] = "";
    o->encoder = encoder_load(reason, sizeof reason);
    if (o->encoder != nullptr && out_open(&o->video, r->video, false, why)) {
        close(o->video.fd);  // FFmpeg opens it by name
        o->video.fd = -1;
        const encoder_config config = {
            r->video, o->video.write_name.c_str(), r->width, r->height, r->fps, SHOW_RATE, r->pcm};
        if (o->encoder->open(&config, reason, sizeof reason) == 0) return true;
        out_abort(&o->video);
        *why = std::string(r->video) + ": " + reason;
    } else if (o->encoder == nullptr) {
        *why = reason;
    }
    tavelo_close();
    return false;
}

// Takes frame n; draws, reads back and writes it where the plan wants it.
bool take_frame(const capture_request *r, const Plan &p, long long n, Output *o, std::string *why) {
    const double t0 = now_s();
    const bool wanted = p.wanted(n);
    if (!capture_take_frame(n, p.fps, wanted)) {
        timing.skip_s += now_s() - t0;
        timing.skipped++;
        return true;
    }
    tavelo_flip();
    if (!wanted) return true;  // frame 0, drawn for the state it leaves
    const double t1 = now_s();
    timing.draw_s += t1 - t0;
    if (tavelo_readpixels(o->rgba.data()) < 0) {
        *why = "cannot read the picture back from OpenGL ES";
        return false;
    }
    const double t2 = now_s();
    timing.read_s += t2 - t1;
    timing.drawn++;
    for (int i = 0; i < r->still_count; i++) {
        if (p.still_frame[(size_t)i] == n &&
            !still_write(r->stills[i].path, o->rgba.data(), r->width, r->height, why))
            return false;
    }
    if (p.in_video(n)) {
        char reason[512] = "";
        const long long s0 = show_sample(n, p.fps), s1 = show_sample(n + 1, p.fps);
        if (o->encoder->video(o->rgba.data(), reason, sizeof reason) < 0 ||
            o->encoder->audio(&mixed[2 * s0], s1 - s0, reason, sizeof reason) < 0) {
            *why = std::string(r->video) + ": " + reason;
            return false;
        }
        video_frames++;
    }
    timing.encode_s += now_s() - t2;
    return true;
}

// Finishes the video (a stopped capture leaves one that plays), or removes
// it after a failure or when it holds no frame; `result` as capture_run's.
int close_output(const capture_request *r, Output *o, int result, std::string *why) {
    if (r->video != nullptr) {
        const double t0 = now_s();
        char reason[512] = "";
        const bool closed = o->encoder->close(reason, sizeof reason) == 0;
        timing.encode_s += now_s() - t0;
        if (result < 0 || video_frames == 0) {
            out_abort(&o->video);
            video_frames = 0;
        } else if (!closed) {
            out_abort(&o->video);
            video_frames = 0;
            *why = std::string(r->video) + ": " + reason;
            result = -1;
        } else if (!out_commit(&o->video, why)) {
            video_frames = 0;
            result = -1;
        }
    }
    tavelo_close();
    return result;
}

}  // namespace

extern "C" void capture_defaults(capture_request *r) {
    *r = capture_request{};
    r->width = 1920;
    r->height = 1080;
    r->fps = 60;
    r->from = 0.0;
    r->to = -1.0;
}

extern "C" const char *capture_error(void) { return error_text.c_str(); }

extern "C" capture_times capture_timing(void) { return timing; }

extern "C" long long capture_video_frames(void) { return video_frames; }

extern "C" int capture_check(const capture_request *r) {
    error_text.clear();
    Plan plan;
    return make_plan(r, &plan, &error_text) && outputs_free(r, &error_text) ? 0 : -1;
}

extern "C" int capture_run(const capture_request *r) {
    error_text.clear();
    timing = capture_times{};
    video_frames = 0;
    Plan plan;
    Output out;
    if (!make_plan(r, &plan, &error_text) || !outputs_free(r, &error_text) ||
        !open_output(r, &out, &error_text))
        return -1;
    if (r->progress) progress_start("capture", plan.pictures);
    int result = 0;
    long long made = 0;
    for (long long n = 0; n < plan.last; n++) {
        if (r->stop != nullptr && *r->stop) {
            result = 1;
            break;
        }
        if (!take_frame(r, plan, n, &out, &error_text)) {
            result = -1;
            break;
        }
        if (r->progress && plan.wanted(n)) progress_update(++made);
    }
    if (r->progress) progress_finish();
    return close_output(r, &out, result, &error_text);
}
