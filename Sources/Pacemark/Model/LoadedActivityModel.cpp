#include "LoadedActivityModel.h"

#include "PublishedValue.h"

#include <cmath>

#include "AppStatus.h"
#include "PacemarkError.h"
#include "QtText.h"
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

void LoadedActivityModel::load(const std::filesystem::path& file) {
    const QString name = qText(file.filename().string());
    setActivity(nullptr);
    setSelectedFileName(name);
    setIsLoading(true);
    status_.setStatusText(QStringLiteral("Загружаю ") + name + QStringLiteral("..."));
    status_.setErrorMessage(std::nullopt);

    loadTask_.start([this, loader = loader_, file](const WorkerTask::Run& run) {
        // A load superseded before it got a thread does not read the file at all.
        const auto cancelled = [this] { setIsLoading(false); };
        if (run.stopRequested()) return run.finish(cancelled);
        try {
            if (!loader) throw PacemarkError("Чтение файлов телеметрии не подключено.");
            auto activity = std::make_shared<const TelemetryActivity>(loader(file));
            if (run.stopRequested()) return run.finish(cancelled);
            run.finish([this, activity = std::move(activity)]() mutable { finishLoad(std::move(activity)); });
        } catch (...) {
            run.finish([this, description = WorkerTask::describeCurrentException()] { failLoad(description); });
        }
    });
}

void LoadedActivityModel::finishLoad(std::shared_ptr<const TelemetryActivity> activity) {
    const auto sampleCount = activity->samples.size();
    setActivity(std::move(activity));
    emit activityLoaded();
    status_.setStatusText(QStringLiteral("Загружено точек: ") + QString::number(sampleCount) + QStringLiteral("."));
    setIsLoading(false);
}

void LoadedActivityModel::failLoad(const QString& description) {
    status_.setErrorMessage(description);
    status_.setStatusText(QStringLiteral("Не удалось загрузить файл."));
    setIsLoading(false);
}

}  // namespace pacemark
