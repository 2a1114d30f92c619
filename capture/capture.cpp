/* capture.cpp - the capture loop: a frame counter for a clock
 * (frame_clock.h), the scene drawn off screen, the pictures to a video file
 * and PNG stills.
 */
#include "capture.h"

#include <time.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "encoder.h"
#include "frame_clock.h"
#include "progress.h"
#include "show.h"
#include "still.h"
#include "tavelo.h"

namespace {

char error_text[512] = "";
capture_times timing;

// The live demo asks the display layer for a 640 x 480 picture.
constexpr int kPictureW = 640, kPictureH = 480;
constexpr int kMaxSide = 8192;
constexpr int kMaxFps = CAPTURE_MAX_FPS;

double now_s() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

int fail(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
int fail(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(error_text, sizeof error_text, fmt, args);
    va_end(args);
    return -1;
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

extern "C" const char *capture_error(void) { return error_text; }

extern "C" capture_times capture_timing(void) { return timing; }

extern "C" int capture_run(const capture_request *r) {
    error_text[0] = '\0';
    timing = capture_times{};
    const int fps = r->fps;
    if (fps < 1 || fps > kMaxFps)
        return fail("the frame rate %d is not within 1 to %d", fps, kMaxFps);
    if (r->width < 2 || r->height < 2 || r->width > kMaxSide || r->height > kMaxSide ||
        r->width % 2 || r->height % 2)
        return fail("the size %dx%d is not two even numbers from 2 to %d", r->width, r->height,
                    kMaxSide);
    const long long show = capture_show_frames(fps);
    const double show_s = (double)show / fps;

    long long first = 0, end = 0;  // video frames [first, end)
    if (r->video != nullptr) {
        if (!(r->from >= 0.0)) return fail("--from must be a time from 0 on");
        first = capture_frame_at(r->from, fps);
        end = r->to < 0.0 ? show : std::min(show, capture_frame_at(r->to, fps));
        if (first >= show)
            return fail("--from %.3f is past the end of the show (%.3f s)", r->from, show_s);
        if (end <= first) return fail("the range %.3f to %.3f s holds no frame", r->from, r->to);
    }
    long long last = end;  // frames to go through
    std::vector<long long> still_frame((size_t)std::max(r->still_count, 0));
    for (int i = 0; i < r->still_count; i++) {
        const double t = r->stills[i].seconds;
        if (!(t >= 0.0) || capture_frame_at(t, fps) >= show)
            return fail("no still at %.3f s: the show runs from 0 to %.3f s", t, show_s);
        still_frame[(size_t)i] = capture_frame_at(t, fps);
        last = std::max(last, still_frame[(size_t)i] + 1);
    }

    if (tavelo_open_offscreen(r->width, r->height, kPictureW, kPictureH) < 0)
        return fail("%s", tavelo_error());
    std::vector<uint8_t> rgba((size_t)r->width * (size_t)r->height * 4);
    char why[400] = "";
    const encoder_api *encoder = nullptr;
    if (r->video != nullptr) {
        encoder = encoder_load(why, sizeof why);
        if (encoder == nullptr) {
            tavelo_close();
            return fail("%s", why);
        }
        const encoder_config config = {r->video, r->width, r->height, fps, SHOW_RATE, r->pcm};
        if (encoder->open(&config, why, sizeof why) < 0) {
            tavelo_close();
            return fail("%s: %s", r->video, why);
        }
    }

    // The bar counts the pictures made; stepping through the others is quick.
    long long pictures = end - first;
    for (size_t i = 0; i < still_frame.size(); i++) {
        const long long f = still_frame[i];
        const bool seen = (f >= first && f < end) ||
                          std::find(still_frame.begin(), still_frame.begin() + (long)i, f) !=
                              still_frame.begin() + (long)i;
        if (!seen) pictures++;
    }
    if (r->progress) progress_start("capture", pictures);
    int result = 0;
    long long made = 0;
    for (long long n = 0; n < last; n++) {
        if (r->stop != nullptr && *r->stop) {
            result = 1;
            break;
        }
        const bool in_video = n >= first && n < end;
        const bool wanted =
            in_video || std::find(still_frame.begin(), still_frame.end(), n) != still_frame.end();
        double t0 = now_s();
        if (!capture_take_frame(n, fps, wanted)) {
            timing.skip_s += now_s() - t0;
            timing.skipped++;
            continue;
        }
        tavelo_flip();
        if (!wanted) continue;  // frame 0, drawn for the state it leaves
        double t1 = now_s();
        timing.draw_s += t1 - t0;
        if (tavelo_readpixels(rgba.data()) < 0) {
            result = fail("cannot read the picture back from OpenGL ES");
            break;
        }
        double t2 = now_s();
        timing.read_s += t2 - t1;
        timing.drawn++;
        for (int i = 0; i < r->still_count && result == 0; i++) {
            if (still_frame[(size_t)i] == n && still_write(r->stills[i].path, rgba.data(), r->width,
                                                           r->height, why, sizeof why) < 0)
                result = fail("%s", why);
        }
        if (result != 0) break;
        if (in_video) {
            const long long s0 = capture_sample(n, fps), s1 = capture_sample(n + 1, fps);
            if (encoder->video(rgba.data(), why, sizeof why) < 0 ||
                encoder->audio(&mixed[2 * s0], s1 - s0, why, sizeof why) < 0) {
                result = fail("%s: %s", r->video, why);
                break;
            }
        }
        timing.encode_s += now_s() - t2;
        if (r->progress) progress_update(++made);
    }
    if (r->progress) progress_finish();
    if (r->video != nullptr) {
        const double t0 = now_s();
        // Even a stopped capture leaves a file that plays.
        if (encoder->close(why, sizeof why) < 0 && result >= 0)
            result = fail("%s: %s", r->video, why);
        timing.encode_s += now_s() - t0;
    }
    tavelo_close();
    return result;
}
