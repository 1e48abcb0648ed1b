// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>

#include "CLIRun.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

// Every writer through the command line, at a whole and at an NTSC rate: the
// segment at the requested size lands beside the ride under the default name,
// passes the strict check of its format, and FFmpeg and GStreamer read its
// exact rate. Four seconds are 20 frames at 5 fps; at 29.97 fps 119.88 frames
// round up to 120, which last 120 × 1001 / 30000 = 4.004 s.
TEST(ExportCommandTest, EveryWriterExportsACheckedSegment) {
    struct Writer {
        std::vector<std::string> options;
        const char* codec;  // as `pacemark-cli check` names it
        bool ntsc = false;
    };
    const char* const proRes = "ProRes 4444 («ap4h»)";
    const char* const hevc = "HEVC («hvc1»)";
    const Writer writers[] = {
        {{}, proRes},
        {{"--compact"}, proRes},
        {{"--compact", "--motion", "smooth:frame"}, proRes},
        {{"--codec", "hevc", "--motion", "smooth", "--smooth-values"}, hevc},
        {{"--codec", "prores"}, proRes, true},
        {{"--codec", "prores", "--compact"}, proRes, true},
        {{"--codec", "hevc"}, hevc, true},
    };
    const bool gstreamer = fs::exists("/usr/bin/gst-discoverer-1.0");
    std::vector<std::uintmax_t> sizes;
    for (const Writer& writer : writers) {
        SCOPED_TRACE(std::string(writer.ntsc ? "29.97 " : "5 ") + (writer.options.empty() ? "" : writer.options.back()));
        const std::string rate = writer.ntsc ? "30000/1001" : "5/1", frames = writer.ntsc ? "120" : "20";
        TemporaryFolder folder;
        std::vector<std::string> arguments = {"export", copyOfSampleRide(folder / "ride.fit").string(), "--size", "160x90",
                                              "--fps", writer.ntsc ? "29.97" : "5", "--start", "10", "--end", "14"};
        arguments.insert(arguments.end(), writer.options.begin(), writer.options.end());
        const CLIRun run = runCLI(arguments, folder);
        ASSERT_EQ(run.status, 0) << run.err;
        const fs::path movie = folder / "ride-telemetry.mov";
        const CommandResult probe =
            runCommand("ffprobe -v error -count_frames -show_entries stream=r_frame_rate,avg_frame_rate,nb_frames,"
                       "nb_read_frames -of default=noprint_wrappers=1 " + quoted(movie));
        EXPECT_EQ(probe.output, "r_frame_rate=" + rate + "\navg_frame_rate=" + rate + "\nnb_frames=" + frames +
                                    "\nnb_read_frames=" + frames + "\n");
        const CLIRun checked = runCLI({"check", movie.string()}, folder);
        EXPECT_EQ(checked.status, 0) << checked.err;
        EXPECT_NE(checked.out.find(std::string("Кодек: ") + writer.codec + ", 160×90, кадров: " + frames +
                                   (writer.ntsc ? "\nЧастота кадров: 30000/1001 (29,97 к/с)\n" : "")),
                  std::string::npos)
            << checked.out;
        if (gstreamer) {
            // The demuxed stream's caps and the movie's length.
            const CommandResult discovered = runCommand("gst-discoverer-1.0 -v " + quoted(movie));
            EXPECT_EQ(discovered.status, 0) << discovered.output;
            for (const std::string& fact : {"framerate=(fraction)" + rate, "Frame rate: " + rate,
                                            std::string("Duration: 0:00:04.") + (writer.ntsc ? "004" : "000") + "000000"}) {
                EXPECT_NE(discovered.output.find(fact), std::string::npos) << fact << "\n" << discovered.output;
            }
        }
        sizes.push_back(fs::file_size(movie));
    }
    EXPECT_LT(sizes[1], sizes[0] / 2) << "the compact movie stores each repeated picture once";
    if (!gstreamer) {
        GTEST_SKIP() << "gst-discoverer-1.0 not found (Debian packages gstreamer1.0-plugins-base-apps, "
                        "gstreamer1.0-plugins-good): GStreamer not run";
    }
}

// Requests refused before any frame, as wrong calls (status 2) with their
// Russian text; nothing is written. (Destinations and limits of every
// command: CLIRefusalTest.)
TEST(ExportCommandTest, BadRequestsWriteNothing) {
    TemporaryFolder folder;
    const std::string ride = copyOfSampleRide(folder / "ride.fit").string();
    fs::create_directory(folder / "other");
    const std::string sameName = copyOfSampleRide(folder / "other" / "ride.fit").string();
    const std::string clip = (folder / "a.mp4").string();  // refused before any clip is read
    struct Case {
        std::vector<std::string> arguments;
        const char* message;
        std::string shellPrefix{};  // "ulimit -v KIB; ": as on a machine with that much memory
    };
    const Case cases[] = {
        // One refusal of an option's value and one of the settings. (The
        // settings' other limits: TelemetryExportSettingsTest.)
        {{ride, "--codec", "av1"}, "Неизвестный кодек «av1»"},
        {{ride, "--start", "30", "--end", "20"}, "Конец отрезка должен быть позже начала."},
        // Refused before any frame is drawn: HEVC needs memory for two
        // encoders (here on a machine of 1 GB).
        {{ride, "--codec", "hevc", "--size", "4096x4096"}, "Не хватает памяти", "ulimit -v 1048576; "},
        {{ride, "-o", folder.path().string()}, "это папка"},
        // Batches that would write two rides into one movie.
        {{ride, sameName, "-o", (folder / "x.mov").string()}, "С несколькими файлами -o не подходит"},
        {{ride, sameName, "--output-dir", (folder / "out").string()}, "один и тот же фильм"},
        // A clip's overlay takes the clip's rate, start and length; the
        // finished video's quality is the encoder's scale.
        {{ride, "--clips", clip, "--fps", "25"}, "С --clips частота кадров, начало и длина берутся"},
        {{ride, "--clips", clip, "--burn-in", "--quality", "52"}, "до 51 (наихудшее), а не 52."},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.begin(), "export");
        const CLIRun run = runCLI(arguments, folder, c.shellPrefix);
        EXPECT_EQ(run.status, 2) << c.message << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(filesIn(folder.path()), (std::vector<fs::path>{"other", "ride.fit", "stderr.txt"}));
}

// Starts `pacemark-cli export ARGUMENTS...` without waiting for it; stderr
// goes to `errPath`, stdout nowhere.
pid_t startExport(const std::vector<std::string>& arguments, const fs::path& errPath) {
    std::vector<std::string> all = {PACEMARK_CLI_PATH, "export"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = open("/dev/null", O_WRONLY);
        if (err < 0 || out < 0 || dup2(err, STDERR_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0) _exit(100);
        execv(PACEMARK_CLI_PATH, argv.data());
        _exit(101);
    }
    return child;
}

// Waits for `child` and reads what it wrote to `errPath`.
CLIRun finishExport(pid_t child, const fs::path& errPath) {
    int status = 0;
    const bool exited = waitpid(child, &status, 0) == child && WIFEXITED(status);
    const auto err = readFileBytes(errPath);
    return {exited ? WEXITSTATUS(status) : -1, "", std::string(err.begin(), err.end())};
}

// The temporary movies in `folder` (names with ".tmp.mov").
std::vector<fs::path> temporaries(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".tmp.mov") != std::string::npos && name.rfind("notes", 0) != 0) found.push_back(entry.path());
    }
    return found;
}

// Starts an export of the whole ride (minutes of work) into `output` and
// waits until its temporary movie exists, that is while frames are written.
pid_t startLongExport(const fs::path& ride, const fs::path& output, const fs::path& errPath,
                      const std::vector<std::string>& options = {}) {
    // A new name, not a count: the export may remove a stale temporary as it creates its own.
    const std::vector<fs::path> before = temporaries(output.parent_path());
    const auto hasNewTemporary = [&] {
        return std::ranges::any_of(temporaries(output.parent_path()),
                                   [&](const fs::path& p) { return std::ranges::find(before, p) == before.end(); });
    };
    std::vector<std::string> arguments = {ride.string(), "-o", output.string()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const pid_t child = startExport(arguments, errPath);
    for (int attempt = 0; attempt < 3000 && !hasNewTemporary(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return child;
}

// Ctrl-C, kill and a closed terminal alike stop the export with every
// writer, keep the old movie and leave no temporary file.
TEST(ExportCommandTest, SignalsStopCleanly) {
    const std::pair<int, std::vector<std::string>> stops[] = {
        {SIGINT, {}}, {SIGTERM, {"--compact"}}, {SIGHUP, {"--codec", "hevc"}}};
    for (const auto& [signal, options] : stops) {
        SCOPED_TRACE(strsignal(signal) + (options.empty() ? "" : " " + options.back()));
        TemporaryFolder folder;
        const fs::path ride = copyOfSampleRide(folder / "ride.fit");
        const fs::path output = folder / "ride-telemetry.mov";
        writeFileText(output, "the old movie");
        const fs::path errPath = folder / "stderr.txt";
        const pid_t child = startLongExport(ride, output, errPath, options);
        ASSERT_GT(child, 0);
        EXPECT_EQ(temporaries(folder.path()).size(), 1u);
        kill(child, signal);
        const CLIRun run = finishExport(child, errPath);
        EXPECT_EQ(run.status, 130) << run.err;
        EXPECT_NE(run.err.find("Экспорт остановлен."), std::string::npos) << run.err;
        const auto bytes = readFileBytes(output);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "the old movie");
        EXPECT_EQ(filesIn(folder.path()), (std::vector<fs::path>{"ride-telemetry.mov", "ride.fit", "stderr.txt"}));
    }
}

TEST(ExportCommandTest, NextExportRemovesOnlyTheTemporaryOfADeadExport) {
    TemporaryFolder folder;
    const fs::path ride = copyOfSampleRide(folder / "ride.fit");
    // An export killed outright (as by a power cut) leaves its temporary movie.
    const pid_t killed = startLongExport(ride, folder / "killed.mov", folder / "killed.txt");
    ASSERT_GT(killed, 0);
    kill(killed, SIGKILL);
    finishExport(killed, folder / "killed.txt");
    const auto leftovers = temporaries(folder.path());
    ASSERT_EQ(leftovers.size(), 1u);
    writeFileText(folder / "notes.tmp.mov", "not ours");

    const pid_t running = startLongExport(ride, folder / "running.mov", folder / "running.txt");
    ASSERT_GT(running, 0);
    std::vector<fs::path> live = temporaries(folder.path());
    std::erase(live, leftovers[0]);
    ASSERT_EQ(live.size(), 1u);

    const CLIRun next = runCLI({"export", ride.string(), "-o", (folder / "next.mov").string(), "--size", "320x180",
                                "--fps", "2", "--end", "3"},
                               folder);
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_FALSE(fs::exists(leftovers[0]));
    EXPECT_TRUE(fs::exists(live[0]));
    EXPECT_TRUE(fs::exists(folder / "notes.tmp.mov"));

    kill(running, SIGINT);  // its stop is SignalsStopCleanly's
    finishExport(running, folder / "running.txt");
}

}  // namespace
}  // namespace pacemark
