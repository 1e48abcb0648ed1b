// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop application: one model, one window.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QMessageBox>
#include <QTimer>

#include <memory>

#include "AppModel.h"
#include "AppModelVideoServices.h"
#include "CairoDrawingSurface.h"
#include "ContentView.h"
#include "DesktopPlatform.h"
#include "Export/TelemetryVideoExporter.h"
#include "FFmpegLogRouting.h"
#include "PacemarkError.h"
#include "PlatformMovieWriters.h"
#include "QtText.h"
#include "WindowStyle.h"

namespace {

// "--screenshot PATH" saves a picture of the window once the command-line
// file has loaded, then quits (used to look at the window on machines without
// a screen grabber). Removed from the arguments the model sees.
QString takeScreenshotOption(QStringList& arguments) {
    const int index = static_cast<int>(arguments.indexOf(QStringLiteral("--screenshot")));
    if (index < 0 || index + 1 >= arguments.size()) return {};
    const QString path = arguments.at(index + 1);
    arguments.remove(index, 2);
    return path;
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace pacemark;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pacemark"));
    // The windows carry the application's name and no title of their own.
    QApplication::setApplicationDisplayName(windowTitleText());
    applyPacemarkStyle();
    // FFmpeg's own lines go to the diagnostic log, not to the terminal.
    ffmpeg::routeFFmpegLogToDiagnosticLog();
    // Qt's own texts (file and colour dialogs, standard buttons) and dates
    // in Russian, like the rest of the window.
    installRussianTexts();

    std::shared_ptr<const CairoDrawingSurfaceFactory> surfaces;
    try {
        surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, windowTitleText(), qText(userFacingDescription(error)));
        return 1;
    }
    auto writers = platformMovieWriters();
    const auto renderers = TelemetryVideoExporter::layoutFrameRenderers(surfaces);
    AppModelServices services = makeAppModelServices(writers, renderers);
    addVideoBackgroundServices(services);
    addBurnInService(services, renderers);

    DesktopPlatform platform;
    AppModel model(std::move(services), &platform);
    ContentView window(model, surfaces);
    platform.setWindow(&window);
    window.resize(1440, 900);

    QStringList arguments = QApplication::arguments();
    const QString screenshot = takeScreenshotOption(arguments);
    window.show();
    // Open the command-line file once the window is up.
    QTimer::singleShot(0, &model, [&model, arguments] { model.loadCommandLineArgumentIfNeeded(arguments); });

    if (!screenshot.isEmpty()) {
        // Poll until nothing is loading any more, give the preview a moment to
        // paint, then save and quit.
        auto* poll = new QTimer(&window);
        QObject::connect(poll, &QTimer::timeout, &window, [&, poll] {
            if (model.loadedActivity().isLoading() || model.backgroundVideo().isLoadingVideo()) return;
            poll->stop();
            QTimer::singleShot(300, &window, [&] {
                const bool saved = window.grab().save(screenshot);
                QApplication::exit(saved ? 0 : 1);
            });
        });
        poll->start(200);
    }
    return QApplication::exec();
}
