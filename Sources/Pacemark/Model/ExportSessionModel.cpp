// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExportSessionModel.h"

#include "PublishedValue.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "AppModelPlatform.h"
#include "AppStatus.h"
#include "Export/ExportDestination.h"
#include "LayoutEditorModel.h"
#include "LoadedActivityModel.h"
#include "QtText.h"
#include "Telemetry/RussianPlural.h"
#include "Telemetry/TelemetryFormatters.h"

namespace pacemark {

namespace {

QString elapsedLabel(qint64 seconds) { return qText(TelemetryFormatters::elapsed(static_cast<double>(seconds))); }

}  // namespace

ExportSessionModel::ExportSessionModel(Exporter exporter, BurnIn burnIn, AppModelPlatform* platform,
                                       const LoadedActivityModel& activity, const LayoutEditorModel& editor,
                                       AppStatus& status, QObject* parent)
    : QObject(parent),
      exporter_(std::move(exporter)),
      burnIn_(std::move(burnIn)),
      platform_(platform),
      activity_(activity),
      editor_(editor),
      status_(status) {}

// MARK: - Settings

void ExportSessionModel::setWidth(qint64 width) {
    publish(this, settings_.width, width, &ExportSessionModel::widthChanged);
}

void ExportSessionModel::setHeight(qint64 height) {
    publish(this, settings_.height, height, &ExportSessionModel::heightChanged);
}

void ExportSessionModel::setFrameRate(FrameRate frameRate) {
    publish(this, settings_.frameRate, frameRate, &ExportSessionModel::frameRateChanged);
}

void ExportSessionModel::setCodec(TelemetryVideoCodec codec) {
    publish(this, settings_.codec, codec, &ExportSessionModel::codecChanged);
}

void ExportSessionModel::setMotion(TelemetryMotion motion) {
    publish(this, settings_.motion, motion, &ExportSessionModel::motionChanged);
}

// MARK: - Segment

qint64 ExportSessionModel::exportSegmentSeconds() const {
    if (!activity_.activity()) return 0;
    return std::max<qint64>(exportEndSeconds_ - startOffsetSeconds_, 0);
}

QString ExportSessionModel::exportRangeLabel() const {
    if (!activity_.activity()) return qText(TelemetryFormatters::missing);
    return elapsedLabel(startOffsetSeconds_) + QStringLiteral(" - ") + elapsedLabel(exportEndSeconds_);
}

QString ExportSessionModel::exportSegmentLabel() const {
    if (!activity_.activity()) return qText(TelemetryFormatters::missing);
    return elapsedLabel(exportSegmentSeconds());
}

void ExportSessionModel::resetExportRange() {
    setSegment(0, activity_.activityDurationSeconds());
}

void ExportSessionModel::clampExportRange() { setSegment(startOffsetSeconds_, exportEndSeconds_); }

void ExportSessionModel::setStartOffsetSeconds(qint64 seconds) { setSegment(seconds, exportEndSeconds_); }

void ExportSessionModel::setExportEndSeconds(qint64 seconds) { setSegment(startOffsetSeconds_, seconds); }

void ExportSessionModel::setSegment(qint64 startOffsetSeconds, qint64 exportEndSeconds) {
    // The one rule for every change: both bounds are clamped before either is
    // published, so no observer ever sees a segment outside the activity.
    const qint64 duration = activity_.activityDurationSeconds();
    qint64 start = 0;
    qint64 end = 0;
    if (duration >= 1) {
        start = std::min(duration - 1, std::max<qint64>(startOffsetSeconds, 0));
        end = std::min(duration, std::max(exportEndSeconds, start + 1));
    }
    publish(this, startOffsetSeconds_, start, &ExportSessionModel::startOffsetSecondsChanged);
    publish(this, exportEndSeconds_, end, &ExportSessionModel::exportEndSecondsChanged);
}

// MARK: - Job

void ExportSessionModel::setIsExporting(bool exporting) {
    publish(this, isExporting_, exporting, &ExportSessionModel::isExportingChanged);
}

void ExportSessionModel::setExportProgress(double progress) {
    publish(this, exportProgress_, progress, &ExportSessionModel::exportProgressChanged);
}

void ExportSessionModel::setLastOutputFile(std::optional<std::filesystem::path> file) {
    publish(this, lastOutputFile_, std::move(file), &ExportSessionModel::lastOutputFileChanged);
}

void ExportSessionModel::clearLastOutput() { setLastOutputFile(std::nullopt); }

QString ExportSessionModel::defaultOutputName() const {
    if (activity_.selectedFileName() == LoadedActivityModel::noFileSelectedText) {
        return QString::fromLatin1(TelemetryExportSettings::untitledOutputFileName);
    }
    return qText(TelemetryExportSettings::outputFileName(activity_.selectedFileName().toStdString()));
}

std::optional<std::filesystem::path> ExportSessionModel::chooseExportFile() {
    if (!platform_) return std::nullopt;
    AppModelPlatform::SaveDialogRequest request;
    request.title = "Экспорт телеметрии";
    request.suggestedName = defaultOutputName().toStdString();
    request.fileExtension = "mov";
    request.canCreateFolders = true;
    return platform_->chooseSaveFile(request);
}

void ExportSessionModel::exportDefault() {
    const auto activity = activity_.activity();
    if (activity_.isLoading() || !activity) return;
    if (activity->sourceFile) {
        const auto file = TelemetryExportSettings::defaultOutputPath(*activity->sourceFile);
        // The save dialog asks for its own path; the default one is asked here.
        std::error_code error;
        if (std::filesystem::exists(file, error) && platform_ && !platform_->confirmReplacingFile(file)) return;
        exportMovie(file);
        return;
    }
    if (auto file = chooseExportFile()) exportMovie(*file);
}

void ExportSessionModel::exportMovie(const std::filesystem::path& file) {
    const auto activity = activity_.activity();
    if (activity_.isLoading() || !activity) return;
    clampExportRange();
    // The picker offers only valid choices; this catches what reached the
    // model some other way before a worker and a writer are set up.
    auto error = settings_.validationError();
    if (!error) error = TelemetryExportSettings::outputError(file);
    if (error) {
        status_.setErrorMessage(qText(*error));
        status_.setStatusText(QStringLiteral("Экспорт не удался."));
        return;
    }

    // Everything the export uses is frozen now; later edits do not reach it.
    TelemetryRenderConfig config(file, settings_, std::max(static_cast<double>(startOffsetSeconds_), 0.0),
                                 std::max(static_cast<double>(exportEndSeconds_ - startOffsetSeconds_), 0.001),
                                 editor_.overlayLayout());
    startJob(file,
             QStringLiteral("Создаю ") + qText(file.filename().string()) + QStringLiteral(", отрезок ") +
                 exportSegmentLabel() + QStringLiteral("..."),
             [exporter = exporter_, activity, config = std::move(config)](
                 const std::function<void(double)>& progress, std::stop_token stop) {
                 if (!exporter) throw PacemarkError("Запись видео не подключена.");
                 exporter(activity, config, progress, std::move(stop));
             });
}

void ExportSessionModel::burnInClip(const std::filesystem::path& clip, ClipOverlayTiming timing) {
    const auto activity = activity_.activity();
    if (activity_.isLoading() || !activity) return;
    const std::filesystem::path file = BurnInSettings::outputPath(clip);
    const std::vector<std::filesystem::path> inputs{clip};
    auto error = settings_.motionError();
    if (!error) error = TelemetryExportSettings::outputError(file, inputs);
    if (error) {
        status_.setErrorMessage(qText(*error));
        status_.setStatusText(QStringLiteral("Экспорт не удался."));
        return;
    }
    std::error_code existing;
    if (std::filesystem::exists(file, existing) && platform_ && !platform_->confirmReplacingFile(file)) return;
    ClipBurnInRequest request{activity, editor_.overlayLayout(), settings_.motion, clip, file, timing, {}};
    startJob(file, QStringLiteral("Создаю ") + qText(file.filename().string()) + QStringLiteral(" с видео..."),
             [burnIn = burnIn_, request = std::move(request)](const std::function<void(double)>& progress,
                                                               std::stop_token stop) {
                 if (!burnIn) throw PacemarkError("Запись видео с подложкой не подключена.");
                 burnIn(request, progress, std::move(stop));
             });
}

void ExportSessionModel::startJob(const std::filesystem::path& file, const QString& starting, Job work) {
    setLastOutputFile(std::nullopt);
    setClipBatchProgress(std::nullopt);  // a superseded batch says no more
    setIsExporting(true);
    setExportProgress(0);
    status_.setStatusText(starting);
    status_.setErrorMessage(std::nullopt);
    exportTask_.start([this, work = std::move(work), writerLock = exportWriterLock_, file](const WorkerTask::Run& run) {
        // A superseded export may still be removing its temporary file.
        std::lock_guard<std::mutex> guard(*writerLock);
        try {
            if (run.stopRequested()) throw TelemetryVideoExportCancelled();
            work(
                [this, run](double progress) {
                    run.deliver([this, progress] {
                        // A report that arrives after the export ended shows
                        // a figure that belongs to no running export.
                        if (isExporting_) setExportProgress(progress);
                    });
                },
                run.stopToken());
            run.finish([this, file] { finishExport(file); });
        } catch (const TelemetryVideoExportCancelled&) {
            run.finish([this] { cancelledExport(); });
        } catch (...) {
            run.finish([this, description = WorkerTask::describeCurrentException()] { failExport(description); });
        }
    });
}

void ExportSessionModel::finishExport(const std::filesystem::path& file) {
    setLastOutputFile(file);
    status_.setStatusText(QStringLiteral("Готово: ") + qText(file.filename().string()));
    setIsExporting(false);
}

void ExportSessionModel::cancelledExport() {
    setExportProgress(0);
    status_.setStatusText(QStringLiteral("Экспорт остановлен."));
    setIsExporting(false);
}

void ExportSessionModel::failExport(const QString& description) {
    status_.setErrorMessage(description);
    status_.setStatusText(QStringLiteral("Экспорт не удался."));
    setIsExporting(false);
}

// MARK: - Overlays of several clips

void ExportSessionModel::setClipBatchProgress(std::optional<ClipBatchProgress> progress) {
    publish(this, clipBatchProgress_, std::move(progress), &ExportSessionModel::clipBatchProgressChanged);
}

void ExportSessionModel::exportClipOverlays(const std::filesystem::path& folder, std::vector<ClipOverlayInput> clips) {
    const auto activity = activity_.activity();
    if (activity_.isLoading() || !activity || clips.empty()) return;
    if (const auto error = settings_.validationError()) {
        status_.setErrorMessage(qText(*error));
        status_.setStatusText(QStringLiteral("Экспорт не удался."));
        return;
    }

    setLastOutputFile(std::nullopt);
    setClipBatchProgress(ClipBatchProgress{0, clips.size(), 0, qText(clips.front().file.filename().string())});
    setIsExporting(true);
    setExportProgress(0);
    status_.setStatusText(QStringLiteral("Готовлю ") + qText(russianCount(clips.size(), clipNoun)) +
                          QStringLiteral("..."));
    status_.setErrorMessage(std::nullopt);

    // Frozen now, as for a single export.
    ClipOverlayOptions options{settings_, false, folder, editor_.overlayLayout()};
    exportTask_.start([this, exporter = exporter_, activity, options = std::move(options), clips = std::move(clips),
                       writerLock = exportWriterLock_](const WorkerTask::Run& run) {
        std::lock_guard<std::mutex> guard(*writerLock);
        ClipBatchOutcome outcome;
        outcome.count = clips.size();
        try {
            if (!exporter) throw PacemarkError("Запись видео не подключена.");
            auto jobs = ClipOverlayPlan::make(*activity, clips, options).overlays;
            refuseUnsafeDestinations(jobs, clips, *activity);
            for (std::size_t index = 0; index < jobs.size(); ++index) {
                if (run.stopRequested()) throw TelemetryVideoExportCancelled();
                const auto& job = jobs[index];
                const QString name = qText(job.clip.filename().string());
                const std::size_t count = jobs.size();
                const auto report = [this, &run, index, count, name](double clipProgress) {
                    run.deliver([this, index, count, name, clipProgress] {
                        if (!isExporting_) return;
                        setClipBatchProgress(ClipBatchProgress{index, count, clipProgress, name});
                        setExportProgress((static_cast<double>(index) + clipProgress) / static_cast<double>(count));
                    });
                };
                if (!job.config) {
                    outcome.failures.emplace_back(name, qText(job.error.value_or(std::string())));
                    report(1);
                    continue;
                }
                run.deliver([this, index, count, name] {
                    status_.setStatusText(QStringLiteral("Создаю MOV клипа ") + QString::number(index + 1) +
                                          QStringLiteral(" из ") + QString::number(count) + QStringLiteral(": ") +
                                          name + QStringLiteral("..."));
                });
                report(0);
                try {
                    exporter(activity, *job.config, report, run.stopToken());
                    outcome.finished.push_back(job.config->outputFile);
                } catch (const TelemetryVideoExportCancelled&) {
                    throw;
                } catch (...) {
                    // One clip's failure is that clip's; the rest go on.
                    outcome.failures.emplace_back(name, WorkerTask::describeCurrentException());
                }
            }
            run.finish([this, outcome] { finishClipBatch(outcome, false); });
        } catch (const TelemetryVideoExportCancelled&) {
            run.finish([this, outcome] { finishClipBatch(outcome, true); });
        } catch (...) {
            run.finish([this, description = WorkerTask::describeCurrentException()] {
                setClipBatchProgress(std::nullopt);
                failExport(description);
            });
        }
    });
}

void ExportSessionModel::refuseUnsafeDestinations(std::vector<ClipOverlay>& overlays,
                                                  std::span<const ClipOverlayInput> clips,
                                                  const TelemetryActivity& activity) {
    // What the batch reads: no overlay may be written over one of them (a
    // clip named like another clip's overlay, the ride).
    std::vector<std::filesystem::path> inputs;
    for (const auto& clip : clips) inputs.push_back(clip.file);
    if (activity.sourceFile) inputs.push_back(*activity.sourceFile);
    // Two clips of one name ("a.mp4", "a.mov") would write one movie: the
    // later one is refused instead of replacing the earlier one's overlay.
    std::map<std::filesystem::path, std::filesystem::path> clipOfOutput;
    for (auto& overlay : overlays) {
        if (!overlay.config) continue;
        const auto& output = overlay.config->outputFile;
        std::optional<std::string> error = ExportDestination::error(output, inputs);
        if (!error && ExportDestination::isReadOnly(output)) error = ExportDestination::readOnlyText(output);
        if (!error) {
            const auto [earlier, inserted] = clipOfOutput.emplace(output.lexically_normal(), overlay.clip);
            if (!inserted) {
                error = "Подложка «" + output.filename().string() + "» уже делается для клипа " +
                        earlier->second.filename().string() + ".";
            }
        }
        if (error) {
            overlay.config.reset();
            overlay.error = std::move(error);
        }
    }
}

void ExportSessionModel::finishClipBatch(const ClipBatchOutcome& outcome, bool stopped) {
    setClipBatchProgress(std::nullopt);
    if (!outcome.finished.empty()) setLastOutputFile(outcome.finished.back());
    const QString done = QString::number(outcome.finished.size()) + QStringLiteral(" из ") +
                         qText(russianCount(outcome.count, clipGenitiveNoun));
    QString text = stopped ? QStringLiteral("Экспорт остановлен: готово ") + done + QStringLiteral(".")
                           : QStringLiteral("Готово: ") + done + QStringLiteral(".");
    if (!outcome.failures.empty()) {
        text += QStringLiteral(" Не удалось: ") + QString::number(outcome.failures.size()) + QStringLiteral(".");
        QString list = QStringLiteral("Не удалось сделать MOV для ") +
                       qText(russianCount(outcome.failures.size(), clipGenitiveNoun)) + QStringLiteral(":");
        for (const auto& [name, reason] : outcome.failures) list += QStringLiteral("\n") + name + QStringLiteral(": ") + reason;
        status_.setErrorMessage(list);
    }
    status_.setStatusText(text);
    if (stopped) setExportProgress(0);
    setIsExporting(false);
}

void ExportSessionModel::cancelExport() {
    if (!isExporting_) return;
    status_.setStatusText(QStringLiteral("Останавливаю экспорт..."));
    exportTask_.requestStop();
}

void ExportSessionModel::revealLastOutput() {
    if (!platform_ || !lastOutputFile_) return;
    if (!platform_->revealInFileManager(*lastOutputFile_)) {
        status_.setErrorMessage(QStringLiteral("Не удалось открыть файловый менеджер. Фильм сохранён здесь:\n") +
                                qText(lastOutputFile_->string()));
    }
}

}  // namespace pacemark
