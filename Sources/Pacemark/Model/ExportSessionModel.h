// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "AppModelServices.h"
#include "Export/TelemetryExportSettings.h"
#include "WorkerTask.h"

namespace pacemark {

class AppModelPlatform;
class AppStatus;
class LayoutEditorModel;
class LoadedActivityModel;

// One export as the window prepares and runs it: the settings (size, rate,
// codec), the segment of the activity, and the job (running, progress, the
// last movie written). The settings' rules live in TelemetryExportSettings;
// this model holds the user's current choice and checks it before starting.
// Main thread only.
class ExportSessionModel : public QObject {
    Q_OBJECT

public:
    using Exporter = decltype(AppModelServices::exportMovie);
    using BurnIn = decltype(AppModelServices::burnInClip);

    // Where a batch over several clips is: the clip being written (from 0),
    // how many the batch has, that clip's own progress and its name.
    struct ClipBatchProgress {
        std::size_t index = 0;
        std::size_t count = 0;
        double clipProgress = 0;
        QString clipName;
        bool operator==(const ClipBatchProgress&) const = default;
    };

    // `platform` may be null (no save dialog, no file manager).
    ExportSessionModel(Exporter exporter, BurnIn burnIn, AppModelPlatform* platform, const LoadedActivityModel& activity,
                       const LayoutEditorModel& editor, AppStatus& status, QObject* parent = nullptr);

    const TelemetryExportSettings& settings() const { return settings_; }
    void setWidth(qint64 width);
    void setHeight(qint64 height);
    void setFrameRate(FrameRate frameRate);
    void setCodec(TelemetryVideoCodec codec);
    void setMotion(TelemetryMotion motion);

    // The segment, in whole seconds of the activity. Every change is clamped:
    // without an activity of at least a second both are 0; otherwise
    // 0 <= start <= duration - 1 and start + 1 <= end <= duration.
    qint64 startOffsetSeconds() const { return startOffsetSeconds_; }
    qint64 exportEndSeconds() const { return exportEndSeconds_; }
    qint64 exportSegmentSeconds() const;
    QString exportRangeLabel() const;
    QString exportSegmentLabel() const;
    // The whole activity.
    void resetExportRange();
    void clampExportRange();
    void setStartOffsetSeconds(qint64 seconds);
    void setExportEndSeconds(qint64 seconds);
    // Both bounds at once, then clamped.
    void setSegment(qint64 startOffsetSeconds, qint64 exportEndSeconds);

    bool isExporting() const { return isExporting_; }
    double exportProgress() const { return exportProgress_; }
    std::optional<std::filesystem::path> lastOutputFile() const { return lastOutputFile_; }
    // Forgets the last movie (a new activity is on its way).
    void clearLastOutput();

    QString defaultOutputName() const;
    std::optional<std::filesystem::path> chooseExportFile();
    // Beside the activity's file (asking before an existing file there is
    // replaced), else wherever the save dialog says.
    void exportDefault();
    // Freezes the settings, segment and layout and writes the movie on a
    // worker; a running export is superseded.
    void exportMovie(const std::filesystem::path& file);
    // The finished video of a clip: the overlay (the current layout and
    // motion) burnt into `clip`, the ride shown at `timing`, written as
    // BurnInSettings::outputPath beside the clip (asking before an existing
    // one is replaced). It runs as the export job: the same progress, Стоп
    // and last output; a running export or burn-in is superseded.
    void burnInClip(const std::filesystem::path& clip, ClipOverlayTiming timing);
    void cancelExport();

    // One overlay per clip, written one after another into `folder` as
    // ClipOverlayPlan lays them out over the activity: each at its clip's
    // frame rate, frame count and size, with the current codec, motion and
    // layout. The export's progress is the whole batch's; clipBatchProgress()
    // tells the clip. A clip that cannot be read, placed or written is listed
    // in one alert at the end and the rest go on. cancelExport() ends the
    // batch: the finished movies stay, the running one is discarded as any
    // stopped export is. A running export is superseded.
    void exportClipOverlays(const std::filesystem::path& folder, std::vector<ClipOverlayInput> clips);
    // Absent unless a batch runs.
    std::optional<ClipBatchProgress> clipBatchProgress() const { return clipBatchProgress_; }
    // An alert names the movie's path when no file manager answers.
    void revealLastOutput();

signals:
    void widthChanged();
    void heightChanged();
    void frameRateChanged();
    void codecChanged();
    void motionChanged();
    void startOffsetSecondsChanged();
    void exportEndSecondsChanged();
    void isExportingChanged();
    void exportProgressChanged();
    void lastOutputFileChanged();
    void clipBatchProgressChanged();

private:
    void setIsExporting(bool exporting);
    void setExportProgress(double progress);
    void setLastOutputFile(std::optional<std::filesystem::path> file);

    // Runs `work` as the export job writing `file`; `starting` is the status line.
    using Job = std::function<void(const std::function<void(double)>& progress, std::stop_token stop)>;
    void startJob(const std::filesystem::path& file, const QString& starting, Job work);
    void finishExport(const std::filesystem::path& file);
    void cancelledExport();
    void failExport(const QString& description);

    // What a batch over clips did: the movies it finished and the clips it
    // could not make, with the reason.
    struct ClipBatchOutcome {
        std::size_t count = 0;
        std::vector<std::filesystem::path> finished;
        std::vector<std::pair<QString, QString>> failures;
    };
    // Takes the config from every overlay that must not be written where it
    // would go (ExportDestination's rule over the clips and the ride, a
    // read-only movie, a name an earlier clip's overlay takes) and gives the
    // reason as its error. Checked before the first movie is written.
    static void refuseUnsafeDestinations(std::vector<ClipOverlay>& overlays, std::span<const ClipOverlayInput> clips,
                                         const TelemetryActivity& activity);
    void setClipBatchProgress(std::optional<ClipBatchProgress> progress);
    void finishClipBatch(const ClipBatchOutcome& outcome, bool stopped);

    Exporter exporter_;
    BurnIn burnIn_;
    AppModelPlatform* platform_;
    const LoadedActivityModel& activity_;
    const LayoutEditorModel& editor_;
    AppStatus& status_;

    TelemetryExportSettings settings_;
    qint64 startOffsetSeconds_ = 0;
    qint64 exportEndSeconds_ = 0;
    bool isExporting_ = false;
    double exportProgress_ = 0;
    std::optional<std::filesystem::path> lastOutputFile_;
    std::optional<ClipBatchProgress> clipBatchProgress_;

    WorkerTask exportTask_{*this};
    // Held by an export worker while it writes: a new export waits until a
    // cancelled one has finished cleaning up, so two never write at once.
    std::shared_ptr<std::mutex> exportWriterLock_ = std::make_shared<std::mutex>();
};

}  // namespace pacemark
