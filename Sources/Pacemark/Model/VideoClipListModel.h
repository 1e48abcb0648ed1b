// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppModelServices.h"
#include "WorkerTask.h"

namespace pacemark {

class AppModelPlatform;
class AppStatus;
class BackgroundVideoModel;
class ExportSessionModel;
class LoadedActivityModel;

// One clip of the list as far as it has been read and placed.
struct VideoClipEntry {
    std::filesystem::path file;
    // What placement and the overlay read of the clip; absent until read,
    // and for good when it could not be read.
    std::shared_ptr<const ClipOverlayInput> reading;
    // Why the clip could not be read (Russian); empty otherwise.
    QString error;
    // Where the clip lies on the loaded ride; absent while the clip is read
    // and while no ride is loaded.
    std::optional<ClipPlacement> placement;

    bool isRead() const { return reading != nullptr; }
    bool hasFailed() const { return !error.isEmpty(); }
    double durationSeconds() const {
        return reading ? reading->synchronization.durationSeconds : std::numeric_limits<double>::quiet_NaN();
    }

    QString name() const;
    // "0:42"; "--" until known.
    QString lengthText() const;
    // How the clip was placed: "по GPS камеры", "по месту съёмки", "по дате
    // съёмки" (with the zone when one was applied), "после предыдущей
    // главы"; "не размещён: <reason>";
    // the reading error; "читаю…" or "нужен FIT или GPX" before that.
    QString placementText() const;
    // The ride's elapsed time at the clip's first frame, signed, in tenths for
    // the camera's clock ("−0:12.4", "1:02:03"); "--" when not placed.
    QString startText() const;
};

// The clips the user opened as background video. One clip is the background
// exactly as a single video always was; several become a list in which one is
// chosen as the background (the first, until the user picks another). Each
// clip is read once on a worker and placed on the loaded ride by
// ClipOverlayPlan, the rule its overlay is made by (placed again when another
// ride is loaded); a clip that cannot be read is listed with its error, never
// an alert. "Сделать MOV для клипов" hands the readings to the export session,
// which writes one overlay per clip. Main thread only.
class VideoClipListModel : public QObject {
    Q_OBJECT

public:
    VideoClipListModel(const AppModelServices& services, AppModelPlatform* platform,
                       const LoadedActivityModel& activity, BackgroundVideoModel& backgroundVideo,
                       ExportSessionModel& exportSession, AppStatus& status, QObject* parent = nullptr);

    // Empty unless several clips are open.
    const std::vector<VideoClipEntry>& clips() const { return clips_; }
    // The entry shown as the background; absent without a list.
    std::optional<std::size_t> chosenIndex() const { return chosenIndex_; }
    bool isReadingClips() const { return isReading_; }
    // The batch can start: several clips, all read, a ride, and no export running.
    bool canExportClipOverlays() const;

    // Opens the files as background video: one as it always was, several as
    // a list with the first as the background. Empty does nothing.
    void openClips(const std::vector<std::filesystem::path>& files);
    // Makes the entry the background (its player, synchronization and segment
    // as for a single clip). Out of range or already chosen does nothing.
    void chooseClip(std::size_t index);
    // Asks for a folder and exports one overlay per listed clip into it.
    void exportClipOverlays();

signals:
    void clipsChanged();
    void chosenIndexChanged();
    void isReadingClipsChanged();

private:
    void setClips(std::vector<VideoClipEntry> clips);
    void setChosenIndex(std::optional<std::size_t> index);
    void setIsReading(bool reading);
    // Reads the clips not read yet and places every read one on the current ride.
    void readAndPlace();
    // The background is no longer the chosen clip (cleared, or another video
    // opened on its own): the list goes.
    void followBackground();

    AppModelServices services_;
    AppModelPlatform* platform_;
    const LoadedActivityModel& activity_;
    BackgroundVideoModel& backgroundVideo_;
    ExportSessionModel& exportSession_;
    AppStatus& status_;

    std::vector<VideoClipEntry> clips_;
    std::optional<std::size_t> chosenIndex_;
    bool isReading_ = false;
    WorkerTask readTask_{*this};
};

}  // namespace pacemark
