// SPDX-License-Identifier: GPL-3.0-or-later
// What the tool does with wrong calls, unusable files, outputs that must not
// be written and limits known before the work: every command refuses them at
// once, in Russian, and leaves every file as it was. (The export command's
// own rules: ExportCommandTest.)
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <set>

#include "CLIRun.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

// Words of Latin letters in what the tool told the user that are no names of
// ours: the usage line, option names (after "-") and what the user typed
// (quoted in «», or a path the batch names) are left out, and so are the
// format names the texts use.
std::vector<std::string> englishWords(const std::string& text) {
    static const std::set<std::string> names = {"ProRes", "HEVC", "QuickTime", "MOV", "FIT", "GPX", "PNG", "JSON",
                                                "pacemark"};
    static const std::regex typed("Использование:[^\n]*|«.*?»|[^ \n]*/[^ \n]*");
    static const std::regex word("(^|[^-A-Za-z])([A-Za-z]{2,})");
    const std::string rest = std::regex_replace(text, typed, "");
    std::vector<std::string> found;
    for (auto match = std::sregex_iterator(rest.begin(), rest.end(), word); match != std::sregex_iterator(); ++match) {
        if (!names.contains((*match)[2].str())) found.push_back((*match)[2].str());
    }
    return found;
}

// Everything in a folder as it stands: each entry's kind, permissions and,
// for regular files, bytes (links are not followed).
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name == "stderr.txt") continue;
        struct stat status {};
        ::lstat(entry.path().c_str(), &status);
        std::string state = std::to_string(status.st_mode);
        if (S_ISREG(status.st_mode)) {
            const auto bytes = readFileBytes(entry.path());
            state += ":" + std::string(bytes.begin(), bytes.end());
        }
        entries[name] = state;
    }
    return entries;
}

// Wrong calls (status 2), files that cannot be used (status 1), outputs that
// would destroy an input, replace a device or cannot be written, and movies
// whose limits are known before the first frame: each is refused with its
// Russian reason and status within 5 seconds, and no file in the folder
// changes (no movie, no picture, no temporary file).
TEST(CLIRefusalTest, BadCallsAreRefusedBeforeAnyWork) {
    TemporaryFolder folder;
    const auto at = [&](const std::string& name) { return (folder / name).string(); };
    fs::copy_file(sampleRide(), folder / "ride.fit");
    // Two points eight days apart.
    writeFileText(folder / "week.gpx", "<?xml version=\"1.0\"?><gpx version=\"1.1\" creator=\"test\"><trk><trkseg>"
                                       "<trkpt lat=\"55.0\" lon=\"37.0\"><time>2024-05-01T08:00:00Z</time></trkpt>"
                                       "<trkpt lat=\"55.001\" lon=\"37.001\"><time>2024-05-09T08:00:00Z</time></trkpt>"
                                       "</trkseg></trk></gpx>");
    ASSERT_EQ(runCLI({"layout", "--preset", "minimal", "-o", at("mine.pacemark-layout")}, folder).status, 0);
    ASSERT_EQ(runCLI({"frame", at("ride.fit"), "--size", "64x64", "-o", at("picture.png")}, folder).status, 0);
    fs::create_symlink("ride.fit", folder / "link.mov");
    fs::create_hard_link(folder / "ride.fit", folder / "hard.mov");
    ASSERT_EQ(::mkfifo(at("fifo.mov").c_str(), 0666), 0);
    // A device node of our own when the tests run as root (a rename over the
    // system's /dev/null would replace it); the system's otherwise, which an
    // ordinary user cannot replace anyway.
    std::string null = "/dev/null";
    if (geteuid() == 0 && ::mknod(at("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) null = at("null");
    writeFileText(folder / "kept.mov", "a movie someone protected");
    fs::permissions(folder / "kept.mov", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    for (const char* clip : {"a.mp4", "b.mp4", "a-telemetry.mov"}) writeFileText(folder / clip, "a clip");
    const std::string ride = at("ride.fit");

    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string message;
        std::string shellPrefix{};  // "ulimit -v KIB; ": as on a machine with that much memory
    };
    const Case cases[] = {
        // Wrong calls and unusable files. (Every loading error goes through
        // the same handler; the loader's own texts: TelemetryFileLoaderTest.)
        {{"info"}, 2, "Не указан файл телеметрии."},
        {{"info", at("absent.fit")}, 1, "Не удалось прочитать файл «absent.fit»"},
        {{"export", ride, "--layout", at("absent.pacemark-layout")}, 1, "файл не найден"},
        {{"sync", ride}, 2, "Укажи файл заезда и хотя бы один видеоклип."},
        {{"check", at("missing.mov")}, 1, "файл не найден"},
        // An input as the output, however it is named, for every command.
        {{"export", ride, "--end", "1", "-o", ride}, 2, "это входной файл, он был бы потерян"},
        {{"export", ride, "--end", "1", "-o", at("new/../ride.fit")}, 2, "это входной файл"},
        {{"export", ride, "--end", "1", "-o", at("link.mov")}, 2, "это входной файл «"},
        {{"export", ride, "--end", "1", "-o", at("hard.mov")}, 2, "это входной файл «"},
        {{"export", ride, "--layout", at("mine.pacemark-layout"), "-o", at("mine.pacemark-layout")}, 2,
         "это входной файл"},
        {{"frame", ride, "--background", at("picture.png"), "-o", at("picture.png")}, 2, "это входной файл"},
        {{"sheet", ride, "-o", ride}, 2, "это входной файл"},
        // A clip named as another clip's overlay.
        {{"export", ride, "--clips", at("b.mp4"), at("a.mp4"), at("a-telemetry.mov")}, 2, "это входной файл"},
        // Files that are no regular files, written and read. (Sockets and
        // other devices take the same check.)
        {{"export", ride, "-o", null}, 2, "не обычный файл, а устройство"},
        {{"layout", "--preset", "minimal", "-o", at("fifo.mov")}, 2, "не обычный файл, а именованный канал"},
        {{"check", at("fifo.mov")}, 1, "это не обычный файл"},
        // A name the system cannot take.
        {{"export", ride, "-o", ""}, 2, "Не указано имя файла"},
        // A read-only movie is replaced only with --force.
        {{"export", ride, "-o", at("kept.mov")}, 2, "доступен только для чтения. Чтобы заменить его, добавьте --force"},
        // Limits known before the first frame (the others: the export
        // settings' own tests).
        {{"export", at("week.gpx")}, 1, "больше 7 суток. Такой длинный фильм пишется только по явной просьбе"},
        // Out of memory, not the library's exception name: a frame of 16384 x
        // 16384 needs 1 GiB, more than the process may have.
        {{"frame", ride, "--size", "16384x16384", "-o", at("huge.png")}, 1, "Ошибка: Не хватает памяти",
         "ulimit -v 700000; "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front() + " … " + c.arguments.back());
        const auto before = snapshot(folder.path());
        // A tool that started the work is killed after 5 seconds (status 137).
        const CLIRun run = runCLI(c.arguments, folder, c.shellPrefix, 5);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(englishWords(run.err), std::vector<std::string>{}) << run.err;
        EXPECT_EQ(snapshot(folder.path()), before);
    }
}

}  // namespace
}  // namespace pacemark
