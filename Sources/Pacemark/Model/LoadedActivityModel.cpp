// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoadedActivityModel.h"

#include "PublishedValue.h"

#include <cmath>

#include "AppStatus.h"
#include "PacemarkError.h"
#include "QtText.h"
#include "Telemetry/FITParser.h"
#include "Telemetry/GPXParser.h"
#include "Telemetry/RussianPlural.h"
#include "Telemetry/TelemetryFormatters.h"

namespace pacemark {

const QString LoadedActivityModel::noFileSelectedText = QStringLiteral("Файл не выбран");

LoadedActivityModel::LoadedActivityModel(Loader loader, AppStatus& status, QObject* parent)
    : QObject(parent), loader_(std::move(loader)), status_(status) {}

void LoadedActivityModel::setActivity(std::shared_ptr<const TelemetryActivity> activity) {
    publish(this, activity_, std::move(activity), &LoadedActivityModel::activityChanged);
}

void LoadedActivityModel::setSelectedFileName(const QString& name) {
    publish(this, selectedFileName_, name, &LoadedActivityModel::selectedFileNameChanged);
}

void LoadedActivityModel::setIsLoading(bool loading) {
    publish(this, isLoading_, loading, &LoadedActivityModel::isLoadingChanged);
}

QString LoadedActivityModel::durationLabel() const {
    if (!activity_) return qText(TelemetryFormatters::missing);
    return qText(TelemetryFormatters::elapsed(activity_->summary.durationSeconds));
}

QString LoadedActivityModel::distanceLabel() const {
    return qText(TelemetryFormatters::distance(activity_ ? activity_->summary.totalDistanceMeters : std::nullopt));
}

QString LoadedActivityModel::sampleCountLabel() const {
    if (!activity_) return qText(TelemetryFormatters::missing);
    return QString::number(activity_->samples.size());
}

qint64 LoadedActivityModel::activityDurationSeconds() const {
    if (!activity_) return 0;
    const double duration = std::ceil(activity_->summary.durationSeconds);
    // Not below 0; a NaN duration counts as none.
    return duration > 0 ? static_cast<qint64>(duration) : 0;
}

void LoadedActivityModel::load(const std::filesystem::path& file) { startLoad(file, false); }

void LoadedActivityModel::startLoad(const std::filesystem::path& file, bool recovering) {
    const QString name = qText(file.filename().string());
    // The open activity and its name stay until the new one has been read.
    setIsLoading(true);
    status_.setStatusText(QStringLiteral("Загружаю ") + name + QStringLiteral("..."));
    status_.setErrorMessage(std::nullopt);

    loadTask_.start([this, loader = loader_, recoveringLoader = recoveringLoader_, recovering,
                     file, name](const WorkerTask::Run& run) {
        // A load superseded before it got a thread does not read the file at all.
        const auto cancelled = [this] { setIsLoading(false); };
        if (run.stopRequested()) return run.finish(cancelled);
        // A damaged file with points before the damage is offered for recovery.
        const auto damaged = [&](const std::string& text, std::size_t readable) {
            const QString description = qText(text);
            if (recovering || !recoveringLoader || readable == 0) {
                return run.finish([this, name, description] { failLoad(name, description); });
            }
            run.finish([this, file, description, readable] { offerRecovery(file, description, readable); });
        };
        try {
            if (!(recovering ? bool(recoveringLoader) : bool(loader))) {
                throw PacemarkError("Чтение файлов телеметрии не подключено.");
            }
            std::optional<TelemetryDamage> damage;
            auto activity = std::make_shared<const TelemetryActivity>(
                recovering ? recoveringLoader(file, &damage, run.stopToken()) : loader(file, run.stopToken()));
            if (run.stopRequested()) return run.finish(cancelled);
            const QString note = damage ? qText(damage->noteText()) : QString();
            run.finish([this, activity = std::move(activity), note, name]() mutable {
                finishLoad(std::move(activity), name, note);
            });
        } catch (const FITParserError& error) {
            damaged(error.errorDescription(), error.readableRecordCount());
        } catch (const GPXParserError& error) {
            damaged(error.errorDescription(), error.readablePointCount());
        } catch (const TelemetryLoadCancelled&) {
            run.finish(cancelled);
        } catch (...) {
            run.finish([this, name, description = WorkerTask::describeCurrentException()] { failLoad(name, description); });
        }
    });
}

void LoadedActivityModel::finishLoad(std::shared_ptr<const TelemetryActivity> activity, const QString& name,
                                     const QString& damageNote) {
    const auto sampleCount = activity->samples.size();
    setSelectedFileName(name);
    setActivity(std::move(activity));
    emit activityLoaded();
    // A recovered file says what was lost instead of the plain count.
    status_.setStatusText(damageNote.isEmpty() ? QStringLiteral("Загружено точек: ") + QString::number(sampleCount) +
                                                     QStringLiteral(".")
                                               : damageNote);
    setIsLoading(false);
}

void LoadedActivityModel::failLoad(const QString& name, const QString& description) {
    // The alert names the file that failed; the open ride, if any, stays.
    status_.setErrorMessage(description.contains(name) ? description
                                                       : QStringLiteral("Не удалось открыть «") + name +
                                                             QStringLiteral("»: ") + description);
    status_.setStatusText(QStringLiteral("Не удалось загрузить файл."));
    setIsLoading(false);
}

void LoadedActivityModel::offerRecovery(const std::filesystem::path& file, const QString& description,
                                        std::size_t readable) {
    const QString count = QString::number(readable);
    status_.setErrorMessage(description + QStringLiteral("\n\nЧитаемых точек до повреждения: ") + count + QStringLiteral("."),
                            QStringLiteral("Открыть уцелевшие ") + qText(russianCount(readable, pointAccusativeNoun)),
                            [this, file] { startLoad(file, true); });
    status_.setStatusText(QStringLiteral("Не удалось загрузить файл."));
    setIsLoading(false);
}

}  // namespace pacemark
