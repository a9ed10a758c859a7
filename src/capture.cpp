#include "capture.h"

#include "pngout.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static const int FrameWidth = 320;
static const int FrameHeight = 200;
static const int Rate = 44100;

static int s_open;
static int s_failed;
static int s_video;  // 1: ffmpeg, 0: PNG directory
static int s_fps;
static int s_scale;
static int64_t s_frames;
static std::string s_out;
static std::string s_videoTemp;
static std::string s_wavPath;
static std::string s_framePath;
static FILE* s_wav;
static uint32_t s_wavBytes;
static int s_pipe = -1;
static pid_t s_ffmpeg = -1;

int capture_isVideoFile(const char* out)
{
    size_t n = std::strlen(out);
    return n > 4 && (strcasecmp(out + n - 4, ".mp4") == 0 || strcasecmp(out + n - 4, ".mkv") == 0);
}

static int capture_fail(const char* format, const char* a, const char* b = "")
{
    if (!s_failed) {
        std::printf(format, a, b);
        std::fflush(stdout);
    }
    s_failed = 1;
    return 0;
}

static int capture_findProgram(const char* name)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return 0;
    std::string dirs(path);
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string full = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (access(full.c_str(), X_OK) == 0)
            return 1;
        start = end + 1;
    }
    return 0;
}

// Starts argv[0] with its standard input reading from the returned pipe (when wantPipe).
static pid_t capture_spawn(char* const* argv, int wantPipe, int* pipeOut)
{
    int fds[2] = {-1, -1};
    if (wantPipe && pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        if (wantPipe) {
            close(fds[0]);
            close(fds[1]);
        }
        return -1;
    }
    if (pid == 0) {
        // Its own process group: Ctrl-C in the terminal reaches the program, which then closes
        // the pipe so the encoder finishes the file, instead of killing the encoder mid-write.
        setpgid(0, 0);
        if (wantPipe)
            dup2(fds[0], 0);
        else {
            int null = open("/dev/null", O_RDONLY);
            if (null >= 0)
                dup2(null, 0);
        }
        execvp(argv[0], argv);
        _exit(127);
    }
    if (wantPipe) {
        close(fds[0]);
        *pipeOut = fds[1];
    }
    return pid;
}

static int capture_wait(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

static void capture_put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

static void capture_wavHeader(uint8_t* h, uint32_t dataBytes)
{
    std::memcpy(h, "RIFF", 4);
    capture_put32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    capture_put32(h + 16, 16);
    h[20] = 1; h[21] = 0;  // PCM
    h[22] = 2; h[23] = 0;  // stereo
    capture_put32(h + 24, Rate);
    capture_put32(h + 28, Rate * 4);
    h[32] = 4; h[33] = 0;   // block align
    h[34] = 16; h[35] = 0;  // bits
    std::memcpy(h + 36, "data", 4);
    capture_put32(h + 40, dataBytes);
}

static int capture_openWav(const std::string& path)
{
    s_wav = std::fopen(path.c_str(), "wb");
    if (!s_wav)
        return capture_fail("capture: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    uint8_t h[44];
    capture_wavHeader(h, 0);
    if (std::fwrite(h, 1, 44, s_wav) != 44)
        return capture_fail("capture: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    s_wavBytes = 0;
    return 1;
}

static int capture_closeWav(void)
{
    if (!s_wav)
        return 1;
    int ok = !s_failed;
    if (ok) {
        uint8_t h[44];
        capture_wavHeader(h, s_wavBytes);
        ok = std::fseek(s_wav, 0, SEEK_SET) == 0 && std::fwrite(h, 1, 44, s_wav) == 44;
        ok = (std::fflush(s_wav) == 0) && ok;
    }
    int closed = std::fclose(s_wav) == 0;
    s_wav = nullptr;
    if (ok && !closed)
        ok = 0;
    if (!ok)
        capture_fail("capture: cannot write %s: %s\n", s_wavPath.c_str(), std::strerror(errno));
    return ok;
}

int capture_open(const char* out, int fps, int scale)
{
    s_failed = 0;
    s_frames = 0;
    s_fps = fps;
    s_scale = scale < 1 ? 1 : scale;
    s_out = out;
    s_video = capture_isVideoFile(out);
    // A reader that goes away must surface as a write error, not kill the program.
    std::signal(SIGPIPE, SIG_IGN);
    if (s_video) {
        if (!capture_findProgram("ffmpeg"))
            return capture_fail("capture: cannot encode %s: ffmpeg was not found on the PATH%s\n", out,
                                " (use a directory for PNG frames instead)");
        s_videoTemp = s_out + ".video.mkv";
        s_wavPath = s_out + ".audio.wav";
        if (!capture_openWav(s_wavPath))
            return 0;
        std::string size = std::to_string(FrameWidth) + "x" + std::to_string(FrameHeight);
        std::string rate = std::to_string(fps);
        std::string filter = "scale=" + std::to_string(FrameWidth * s_scale) + ":" +
                             std::to_string(FrameHeight * s_scale) + ":flags=neighbor";
        const char* argv[] = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostats", "-y",
                              "-f", "rawvideo", "-pix_fmt", "bgr0", "-s", size.c_str(), "-framerate", rate.c_str(),
                              "-i", "pipe:0", "-vf", filter.c_str(), "-c:v", "libx264", "-preset", "veryfast",
                              "-crf", "16", "-pix_fmt", "yuv420p", s_videoTemp.c_str(), nullptr};
        s_ffmpeg = capture_spawn(const_cast<char* const*>(argv), 1, &s_pipe);
        if (s_ffmpeg < 0) {
            capture_closeWav();
            std::remove(s_wavPath.c_str());
            return capture_fail("capture: cannot start ffmpeg for %s: %s\n", out, std::strerror(errno));
        }
    } else {
        if (mkdir(out, 0777) != 0 && errno != EEXIST)
            return capture_fail("capture: cannot create directory %s: %s\n", out, std::strerror(errno));
        struct stat st;
        if (stat(out, &st) != 0 || !S_ISDIR(st.st_mode))
            return capture_fail("capture: %s is not a directory (name a .mp4 or .mkv file, or a directory)%s\n",
                                out);
        s_wavPath = s_out + "/audio.wav";
        s_framePath.reserve(s_out.size() + 16);
        if (!capture_openWav(s_wavPath))
            return 0;
    }
    s_open = 1;
    return 1;
}

int capture_frame(const uint32_t* surface)
{
    if (!s_open || s_failed)
        return 0;
    if (s_video) {
        const char* p = reinterpret_cast<const char*>(surface);
        size_t left = size_t(FrameWidth) * FrameHeight * 4;
        while (left > 0) {
            ssize_t n = write(s_pipe, p, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                close(s_pipe);
                s_pipe = -1;
                int code = capture_wait(s_ffmpeg);
                s_ffmpeg = -1;
                std::string why = "ffmpeg stopped (exit status " + std::to_string(code) + ")";
                return capture_fail("capture: encoding %s failed: %s\n", s_out.c_str(), why.c_str());
            }
            p += n;
            left -= size_t(n);
        }
    } else {
        char name[32];
        std::snprintf(name, sizeof name, "/%06lld.png", static_cast<long long>(s_frames));
        s_framePath.assign(s_out).append(name);
        if (!pngout_write(s_framePath.c_str(), surface, FrameWidth, FrameHeight, s_scale)) {
            s_failed = 1;
            return 0;
        }
    }
    s_frames++;
    return 1;
}

int capture_audio(const int16_t* samples, int frames)
{
    if (!s_open || s_failed || !s_wav)
        return 0;
    size_t bytes = size_t(frames) * 4;
    if (std::fwrite(samples, 1, bytes, s_wav) != bytes)
        return capture_fail("capture: cannot write %s: %s\n", s_wavPath.c_str(), std::strerror(errno));
    s_wavBytes += uint32_t(bytes);
    return 1;
}

int capture_close(void)
{
    if (!s_open)
        return !s_failed;
    s_open = 0;
    int wavOk = capture_closeWav();
    if (!s_video) {
        // The frames written so far stay (each is complete); a sound track cut short does not.
        if (!wavOk || s_failed)
            std::remove(s_wavPath.c_str());
        return wavOk && !s_failed;
    }
    // Pass 1 ends when its input closes.
    if (s_pipe >= 0) {
        close(s_pipe);
        s_pipe = -1;
    }
    if (s_ffmpeg > 0) {
        int code = capture_wait(s_ffmpeg);
        s_ffmpeg = -1;
        if (code != 0 && !s_failed) {
            std::string why = "ffmpeg exit status " + std::to_string(code);
            capture_fail("capture: encoding %s failed: %s\n", s_out.c_str(), why.c_str());
        }
    }
    if (!s_failed && wavOk) {
        const int mp4 = strcasecmp(s_out.c_str() + s_out.size() - 4, ".mp4") == 0;
        const char* argv[] = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostats", "-y",
                              "-i", s_videoTemp.c_str(), "-i", s_wavPath.c_str(), "-map", "0:v", "-map", "1:a",
                              "-c:v", "copy", "-c:a", "aac", "-b:a", "192k",
                              mp4 ? "-movflags" : nullptr, "+faststart", s_out.c_str(), nullptr};
        if (!mp4) {
            argv[20] = s_out.c_str();
            argv[21] = nullptr;
        }
        pid_t pid = capture_spawn(const_cast<char* const*>(argv), 0, nullptr);
        int code = pid > 0 ? capture_wait(pid) : -1;
        if (code != 0) {
            std::string why = "muxing with ffmpeg failed (exit status " + std::to_string(code) + ")";
            capture_fail("capture: encoding %s failed: %s\n", s_out.c_str(), why.c_str());
        }
    }
    std::remove(s_videoTemp.c_str());
    std::remove(s_wavPath.c_str());
    if (s_failed)
        std::remove(s_out.c_str());
    return !s_failed;
}

int capture_failed(void) { return s_failed; }
int64_t capture_getFrames(void) { return s_frames; }
