#include "support/external_tools.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string>

extern char** environ;

namespace moraven::test {

namespace {

// Reads both pipes until both close, so that neither child stream can fill up and block the child.
void drain(int outFd, int errFd, std::string& out, std::string& err) {
    std::array<pollfd, 2> fds{{{outFd, POLLIN, 0}, {errFd, POLLIN, 0}}};
    std::array<std::string*, 2> targets{&out, &err};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                targets[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& args) { return runProgram(args, {}); }

ProgramResult runProgram(const std::vector<std::string>& args, const std::function<void(pid_t)>& whileRunning) {
    ProgramResult result;
    if (args.empty()) return result;
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (spawned != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        result.errors = "cannot start " + args[0];
        return result;
    }
    if (whileRunning) whileRunning(pid);
    drain(outPipe[0], errPipe[0], result.output, result.errors);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

bool programAvailable(const std::string& name) {
    return runProgram({name, "-version"}).exitCode == 0;
}

std::string makeRawDvWithFfmpeg(const std::string& folder, const std::string& name, const DvClipOptions& options) {
    const std::string rawPath = folder + "/" + name;
    const std::string size = options.ntsc ? "720x480" : "720x576";
    const std::string rate = options.ntsc ? "30000/1001" : "25";
    std::vector<std::string> encode = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                       "testsrc=size=" + size + ":rate=" + rate};
    if (options.withAudio) {
        const std::string sampleRate = std::to_string(options.sampleRate);
        // Two tones, one per channel, when asked: a reader that swaps the channels then shows it.
        const std::string source =
            options.rightFrequency == 0
                ? "sine=frequency=1000:sample_rate=" + sampleRate
                : "aevalsrc=exprs=0.5*sin(2*PI*1000*t)|0.5*sin(2*PI*" + std::to_string(options.rightFrequency) +
                      "*t):sample_rate=" + sampleRate;
        encode.insert(encode.end(), {"-f", "lavfi", "-i", source});
    }
    // A duration rather than a frame count: the DV muxer needs the sound of each frame before it writes it.
    const double seconds = options.frames * (options.ntsc ? 1001.0 / 30000.0 : 1.0 / 25.0);
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.4f", seconds);
    encode.insert(encode.end(), {"-t", duration, "-c:v", "dvvideo", "-pix_fmt",
                                 options.ntsc ? "yuv411p" : "yuv420p"});
    if (options.wide) encode.insert(encode.end(), {"-aspect", "16:9"});
    if (options.withAudio) encode.insert(encode.end(), {"-c:a", "pcm_s16le", "-ac", "2"});
    if (!options.creationTime.empty()) encode.insert(encode.end(), {"-metadata", "creation_time=" + options.creationTime});
    if (!options.timecode.empty()) encode.insert(encode.end(), {"-timecode", options.timecode});
    encode.insert(encode.end(), {"-f", "dv", rawPath});
    auto made = runProgram(encode);
    if (made.exitCode != 0) throw std::runtime_error("ffmpeg could not encode DV: " + made.errors);
    return rawPath;
}

std::vector<std::int16_t> decodeSoundWithFfmpeg(const std::string& path, int audioStream,
                                               const std::string& inputFormat) {
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error"};
    if (!inputFormat.empty()) args.insert(args.end(), {"-f", inputFormat});
    args.insert(args.end(), {"-i", path, "-map", "0:a:" + std::to_string(audioStream), "-c:a", "pcm_s16le",
                             "-ac", "2", "-f", "s16le", "-"});
    const auto decoded = runProgram(args);
    if (decoded.exitCode != 0) throw std::runtime_error("ffmpeg could not decode the sound: " + decoded.errors);
    std::vector<std::int16_t> samples(decoded.output.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto low = static_cast<std::uint8_t>(decoded.output[2 * i]);
        const auto high = static_cast<std::uint8_t>(decoded.output[2 * i + 1]);
        samples[i] = static_cast<std::int16_t>(low | (high << 8));
    }
    return samples;
}

std::string makeDvAviWithFfmpeg(const std::string& folder, const std::string& name, const DvClipOptions& options) {
    const std::string rawPath = makeRawDvWithFfmpeg(folder, name + ".dv", options);
    const std::string aviPath = folder + "/" + name;
    auto wrapped = runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", rawPath, "-c", "copy", aviPath});
    ::unlink(rawPath.c_str());
    if (wrapped.exitCode != 0) throw std::runtime_error("ffmpeg could not write the AVI: " + wrapped.errors);
    return aviPath;
}

}  // namespace moraven::test
