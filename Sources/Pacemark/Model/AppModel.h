// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>

#include <filesystem>
#include <string>
#include <vector>

#include "AppModelPlatform.h"
#include "AppModelServices.h"
#include "AppStatus.h"
#include "BackgroundVideoModel.h"
#include "ExportSessionModel.h"
#include "LayoutEditorModel.h"
#include "LoadedActivityModel.h"
#include "VideoClipListModel.h"

namespace pacemark {

// The application's state: the sub-models that own it — the loaded activity,
// the export session (settings, segment, job), the background video (open,
// player, transform, synchronization), the layout editor (layout,
// selection, edits, layout files) and the clip list (several clips opened
// at once, the chosen one, their overlays) — and the status they all report to.
// Views and tests take the sub-model they show and observe its signals;
// this class only does what spans sub-models: routing a file by its
// extension, a new load ending the synchronization and starting the segment
// over, the preview's instant, which reads three of them, and the video's
// position reports, as frequent as the export's motion needs.
//
// Lives on the main thread and is only touched there; loads and exports run
// on worker threads (WorkerTask) and hand their results back through queued
// calls that hold the model weakly and check a sequence number, so stale
// results are dropped.
class AppModel : public QObject {
    Q_OBJECT

public:
    // Empty services leave the matching operations failing with a clear text;
    // the application passes the real ones.
    explicit AppModel(AppModelServices services, AppModelPlatform* platform = nullptr, QObject* parent = nullptr);
    // Asks running loads and exports to stop; their results are dropped.
    ~AppModel() override;

    LoadedActivityModel& loadedActivity() { return loadedActivity_; }
    ExportSessionModel& exportSession() { return exportSession_; }
    BackgroundVideoModel& backgroundVideo() { return backgroundVideo_; }
    LayoutEditorModel& layoutEditor() { return layoutEditor_; }
    VideoClipListModel& videoClips() { return videoClips_; }
    AppStatus& status() { return status_; }
    const LoadedActivityModel& loadedActivity() const { return loadedActivity_; }
    const ExportSessionModel& exportSession() const { return exportSession_; }
    const BackgroundVideoModel& backgroundVideo() const { return backgroundVideo_; }
    const LayoutEditorModel& layoutEditor() const { return layoutEditor_; }
    const VideoClipListModel& videoClips() const { return videoClips_; }
    const AppStatus& status() const { return status_; }

    // The activity instant the preview shows: the video's position from the
    // segment start while a player exists, else 42 % into the segment.
    // previewInstantChanged() follows every input.
    double previewTelemetryElapsedSeconds() const;

    // Starts loading a ride; returns at once, the result arrives later on the
    // main thread. With a ride open and unsaved layout edits the user is asked
    // first (and may cancel). The open ride stays until the new one is read:
    // a file that fails changes nothing but the alert.
    void load(const std::filesystem::path& file);
    // Routes one file by its lower-cased extension: telemetry, background
    // video, layout file, or an alert for anything else. True when the file
    // was accepted.
    bool loadSupported(const std::filesystem::path& file);
    // Lower-case extensions routed to the background video: the movie types
    // the FFmpeg reader opens.
    static const std::vector<std::string>& videoFileExtensions();
    // The same rule for each file in order, except that the videos among
    // them open together (several become the clip list); true when at least
    // one was accepted.
    bool loadDropped(const std::vector<std::filesystem::path>& files);
    // Opens the first argument after the program path unless it starts with "-".
    void loadCommandLineArgumentIfNeeded(const QStringList& arguments);

signals:
    void previewInstantChanged();

private:
    AppStatus status_;
    LoadedActivityModel loadedActivity_;
    LayoutEditorModel layoutEditor_;
    ExportSessionModel exportSession_;
    BackgroundVideoModel backgroundVideo_;
    VideoClipListModel videoClips_;
};

}  // namespace pacemark
