// SPDX-License-Identifier: GPL-3.0-or-later
#include "VideoClipListModel.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "AppModelPlatform.h"
#include "AppStatus.h"
#include "BackgroundVideoModel.h"
#include "ExportSessionModel.h"
#include "LoadedActivityModel.h"
#include "PublishedValue.h"
#include "QtText.h"
#include "Telemetry/TelemetryFormatters.h"

namespace pacemark {

namespace {

QString missingText() { return qText(TelemetryFormatters::missing); }

// What the worker reports of one clip: its reading or why there is none.
struct ClipReadingResult {
    std::shared_ptr<const ClipOverlayInput> reading;
    QString error;
};

}  // namespace

// MARK: - Entry texts

QString VideoClipEntry::name() const { return qText(file.filename().string()); }

QString VideoClipEntry::lengthText() const {
    const double seconds = durationSeconds();
    if (!std::isfinite(seconds) || seconds < 0) return missingText();
    return qText(TelemetryFormatters::elapsed(seconds));
}

QString VideoClipEntry::placementText() const {
    if (hasFailed()) return error;
    if (!isRead()) return QStringLiteral("читаю…");
    if (!placement) return QStringLiteral("нужен FIT или GPX");
    switch (placement->method) {
    case VideoSynchronizationMethod::cameraGPS: return QStringLiteral("по GPS камеры");
    case VideoSynchronizationMethod::videoLocation: return QStringLiteral("по месту съёмки");
    case VideoSynchronizationMethod::creationDate: return QStringLiteral("по дате съёмки");
    case VideoSynchronizationMethod::creationDateZone:
        return QStringLiteral("по дате съёмки, ") +
               qText(VideoSynchronization::zoneLabel(placement->zoneOffsetMinutes.value_or(0)));
    case VideoSynchronizationMethod::previousChapter: return QStringLiteral("после предыдущей главы");
    case VideoSynchronizationMethod::none: return QStringLiteral("не размещён: ") + qText(placement->message);
    }
    return missingText();
}

QString VideoClipEntry::startText() const {
    if (!placement || !placement->isPlaced()) return missingText();
    const double start = placement->startSeconds;
    // The camera's clock (and a chapter placed after one) is exact to a
    // tenth; the location and the date give whole seconds.
    const bool tenths = placement->method == VideoSynchronizationMethod::cameraGPS ||
                        placement->method == VideoSynchronizationMethod::previousChapter;
    const double magnitude = tenths ? std::round(std::fabs(start) * 10) / 10 : std::round(std::fabs(start));
    const double whole = std::floor(magnitude);
    QString text = qText(TelemetryFormatters::elapsed(whole));
    if (tenths) text += QLatin1Char('.') + QString::number(std::llround((magnitude - whole) * 10));
    return (start < 0 && magnitude > 0 ? QStringLiteral("−") : QString()) + text;
}

// MARK: - The list

VideoClipListModel::VideoClipListModel(const AppModelServices& services, AppModelPlatform* platform,
                                       const LoadedActivityModel& activity, BackgroundVideoModel& backgroundVideo,
                                       ExportSessionModel& exportSession, AppStatus& status, QObject* parent)
    : QObject(parent),
      services_(services),
      platform_(platform),
      activity_(activity),
      backgroundVideo_(backgroundVideo),
      exportSession_(exportSession),
      status_(status) {
    // Another ride places the clips anew; their readings stay.
    connect(&activity_, &LoadedActivityModel::activityChanged, this, [this] {
        if (!clips_.empty()) readAndPlace();
    });
    connect(&backgroundVideo_, &BackgroundVideoModel::videoBackgroundNameChanged, this,
            &VideoClipListModel::followBackground);
}

void VideoClipListModel::setClips(std::vector<VideoClipEntry> clips) {
    clips_ = std::move(clips);
    emit clipsChanged();
}

void VideoClipListModel::setChosenIndex(std::optional<std::size_t> index) {
    publish(this, chosenIndex_, index, &VideoClipListModel::chosenIndexChanged);
}

void VideoClipListModel::setIsReading(bool reading) {
    publish(this, isReading_, reading, &VideoClipListModel::isReadingClipsChanged);
}

bool VideoClipListModel::canExportClipOverlays() const {
    return clips_.size() > 1 && !isReading_ && activity_.activity() && !activity_.isLoading() &&
           !exportSession_.isExporting();
}

void VideoClipListModel::openClips(const std::vector<std::filesystem::path>& files) {
    if (files.empty()) return;
    readTask_.cancel();
    setIsReading(false);
    setChosenIndex(std::nullopt);
    if (files.size() == 1) {
        setClips({});
        backgroundVideo_.loadVideoBackground(files.front());
        return;
    }
    std::vector<VideoClipEntry> clips;
    clips.reserve(files.size());
    for (const auto& file : files) {
        // A file picked twice is listed once.
        const bool listed = std::any_of(clips.begin(), clips.end(), [&](const auto& clip) { return clip.file == file; });
        if (!listed) clips.push_back(VideoClipEntry{file, nullptr, {}, std::nullopt});
    }
    if (clips.size() == 1) {
        openClips({clips.front().file});
        return;
    }
    setClips(std::move(clips));
    // Chosen before the background changes, so that the change is recognised
    // as the list's own.
    setChosenIndex(0);
    backgroundVideo_.loadVideoBackground(clips_.front().file);
    readAndPlace();
}

void VideoClipListModel::chooseClip(std::size_t index) {
    if (index >= clips_.size() || chosenIndex_ == index) return;
    setChosenIndex(index);
    backgroundVideo_.loadVideoBackground(clips_[index].file);
}

void VideoClipListModel::followBackground() {
    if (!chosenIndex_ || *chosenIndex_ >= clips_.size()) return;
    if (backgroundVideo_.videoBackgroundName() == clips_[*chosenIndex_].name()) return;
    readTask_.cancel();
    setIsReading(false);
    setChosenIndex(std::nullopt);
    setClips({});
}

void VideoClipListModel::readAndPlace() {
    std::vector<std::pair<std::filesystem::path, std::shared_ptr<const ClipOverlayInput>>> inputs;
    for (const auto& clip : clips_) {
        if (!clip.hasFailed()) inputs.emplace_back(clip.file, clip.reading);
    }
    setIsReading(true);
    readTask_.start([this, inputs = std::move(inputs), activity = activity_.activity(),
                     reader = services_.readClipForOverlay](const WorkerTask::Run& run) {
        // Each clip's reading is reported as soon as it is known, so a long
        // list fills in while the rest is read.
        const auto report = [this, &run](const std::filesystem::path& file, ClipReadingResult result) {
            run.deliver([this, file, result = std::move(result)] {
                for (auto& clip : clips_) {
                    if (clip.file != file) continue;
                    clip.reading = result.reading;
                    clip.error = result.error;
                }
                emit clipsChanged();
            });
        };
        std::vector<ClipOverlayInput> readings;
        for (const auto& [file, known] : inputs) {
            if (run.stopRequested()) return;
            if (known) {
                readings.push_back(*known);
                continue;
            }
            try {
                if (!reader) throw PacemarkError("Чтение клипов не подключено.");
                auto shared = std::make_shared<const ClipOverlayInput>(reader(file, run.stopToken()));
                readings.push_back(*shared);
                report(file, ClipReadingResult{shared, {}});
            } catch (...) {
                if (run.stopRequested()) return;
                report(file, ClipReadingResult{nullptr, WorkerTask::describeCurrentException()});
            }
        }
        // Placed by the rule the overlays are made by (chapters of one
        // recording follow each other), against the ride as it was when the
        // run started; a newer ride starts another run, which drops this
        // one's reports.
        std::vector<std::pair<std::filesystem::path, ClipPlacement>> placements;
        if (activity && !run.stopRequested()) {
            for (auto& overlay : ClipOverlayPlan::make(*activity, readings, ClipOverlayOptions{}).overlays) {
                placements.emplace_back(overlay.clip, std::move(overlay.placement));
            }
        }
        run.finish([this, placements = std::move(placements)] {
            for (auto& clip : clips_) {
                clip.placement.reset();
                for (const auto& [file, placement] : placements) {
                    if (clip.file == file) clip.placement = placement;
                }
            }
            setIsReading(false);
            emit clipsChanged();
        });
    });
}

void VideoClipListModel::exportClipOverlays() {
    if (!canExportClipOverlays() || !platform_) return;
    const auto folder = platform_->chooseFolder(QStringLiteral("Папка для MOV клипов").toStdString());
    if (!folder) return;
    // Every clip goes to the batch, so that one that could not be read is
    // listed among its failures.
    std::vector<ClipOverlayInput> clips;
    clips.reserve(clips_.size());
    for (const auto& clip : clips_) {
        if (clip.reading) {
            clips.push_back(*clip.reading);
        } else {
            clips.push_back(ClipOverlayInput{clip.file, {}, {}, clip.error.toStdString()});
        }
    }
    exportSession_.exportClipOverlays(*folder, std::move(clips));
}

}  // namespace pacemark
