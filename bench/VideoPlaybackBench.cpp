// SPDX-License-Identifier: GPL-3.0-or-later
// Frames the window shows per second while a background video plays, on the
// real window over the real services (as main() builds them) with the sample
// ride loaded, under a display such as Xvfb. A frame counts once, when the
// preview first paints it; the rate is the count over the seconds played.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/VideoPlaybackBench CLIP... [--seconds N]
//
// Make the clips with the system ffmpeg, e.g. for 4K HEVC 10-bit:
//   ffmpeg -f lavfi -i testsrc2=size=3840x2160:rate=30 -t 8 -c:v libx265
//          -preset ultrafast -pix_fmt yuv420p10le hevc10-2160p.mp4   (one line)
//
// Targets: 1080p at least 25 frames a second, 4K HEVC at least 5.

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTest>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "AppModel.h"
#include "AppModelVideoServices.h"
#include "CairoDrawingSurface.h"
#include "ContentView.h"
#include "EditorPreviewView.h"
#include "Export/TelemetryVideoExporter.h"
#include "PreviewPane.h"

namespace {

using namespace pacemark;

// Counts the distinct frames the preview paints.
class ShownFrames : public QObject {
public:
    explicit ShownFrames(AppModel& model) : model_(model) {}
    int count = 0;

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        const auto player = model_.backgroundVideo().videoBackgroundPlayer();
        if (!player) return false;
        const VideoBackgroundFrame frame = player->currentFrame();
        if (!frame.isEmpty() && frame.owner.get() != last_) {
            last_ = frame.owner.get();
            ++count;
        }
        return false;
    }

private:
    AppModel& model_;
    const void* last_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    std::vector<std::filesystem::path> clips;
    double seconds = 6;
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        if (argument == "--seconds" && index + 1 < argc) {
            seconds = std::stod(argv[++index]);
        } else {
            clips.emplace_back(argument);
        }
    }
    if (clips.empty()) {
        std::fprintf(stderr, "usage: VideoPlaybackBench CLIP... [--seconds N]\n");
        return 2;
    }

    auto surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
    AppModelServices services = makeAppModelServices(nullptr, TelemetryVideoExporter::layoutFrameRenderers(surfaces));
    addVideoBackgroundServices(services);
    AppModel model(std::move(services));
    ContentView view(model, surfaces);
    view.resize(1440, 900);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) return 1;
    model.load(std::filesystem::path(PACEMARK_SOURCE_DIR) / "samples" / "sample-ride.fit");
    if (!QTest::qWaitFor([&] { return model.loadedActivity().activity() && !model.loadedActivity().isLoading(); },
                         20000)) {
        return 1;
    }

    std::printf("%-28s %10s %14s %12s\n", "clip", "played s", "frames shown", "frames/s");
    for (const auto& clip : clips) {
        model.backgroundVideo().loadVideoBackground(clip);
        if (!QTest::qWaitFor([&] { return model.backgroundVideo().videoBackgroundPlayer() != nullptr; }, 30000)) {
            std::printf("%-28s could not be opened\n", clip.filename().c_str());
            continue;
        }
        QTest::qWait(500);  // the player opens its own reader and shows the first frame
        ShownFrames shown(model);
        view.preview()->editor()->installEventFilter(&shown);
        QElapsedTimer played;
        model.backgroundVideo().playVideoPreview();
        played.start();
        // Plays for `seconds` unless the clip ends first: a timeout is the usual way out.
        static_cast<void>(QTest::qWaitFor([&] { return !model.backgroundVideo().isVideoPreviewPlaying(); },
                                          static_cast<int>(seconds * 1000)));
        const double elapsed = static_cast<double>(played.elapsed()) / 1000.0;
        model.backgroundVideo().stopVideoPreview();
        view.preview()->editor()->removeEventFilter(&shown);
        std::printf("%-28s %10.2f %14d %12.1f\n", clip.filename().c_str(), elapsed, shown.count,
                    static_cast<double>(shown.count) / elapsed);
    }
    return 0;
}
