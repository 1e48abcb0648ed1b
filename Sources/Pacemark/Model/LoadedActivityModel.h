// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "Telemetry/TelemetryActivity.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "WorkerTask.h"

namespace pacemark {

class AppStatus;

// The ride being shown: the loaded activity, the name of its file, whether a
// load runs, and the summary labels. Loading reads the file on a worker; a
// newer load supersedes a running one, whose result is then dropped.
// Main thread only.
class LoadedActivityModel : public QObject {
    Q_OBJECT

public:
    // A loader gets `stop` requested once a newer load supersedes it, and may
    // then give up early with TelemetryLoadCancelled.
    using Loader = std::function<TelemetryActivity(const std::filesystem::path& file, std::stop_token stop)>;
    // Loads what precedes the damage of a damaged file and describes it.
    using RecoveringLoader = std::function<TelemetryActivity(
        const std::filesystem::path& file, std::optional<TelemetryDamage>* damage, std::stop_token stop)>;

    static const QString noFileSelectedText;  // "Файл не выбран"

    // An empty loader makes every load fail with a clear text.
    LoadedActivityModel(Loader loader, AppStatus& status, QObject* parent = nullptr);

    std::shared_ptr<const TelemetryActivity> activity() const { return activity_; }
    QString selectedFileName() const { return selectedFileName_; }
    bool isLoading() const { return isLoading_; }

    QString durationLabel() const;
    QString distanceLabel() const;
    QString sampleCountLabel() const;
    // The duration rounded up to whole seconds; 0 without an activity.
    qint64 activityDurationSeconds() const;

    // Starts reading `file`; returns at once. The current activity and file
    // name stay until the file has been read, and stay for good when it fails.
    void load(const std::filesystem::path& file);

    // Without one, a damaged file fails plainly; with one, its alert offers
    // "Открыть уцелевшие N точек" (a cut FIT or GPX file), which loads again
    // through it.
    void setRecoveringLoader(RecoveringLoader loader) { recoveringLoader_ = std::move(loader); }

signals:
    void activityChanged();
    void selectedFileNameChanged();
    void isLoadingChanged();
    // A load brought a new activity (after activityChanged, before isLoading
    // goes false): the export segment starts over.
    void activityLoaded();

private:
    void setActivity(std::shared_ptr<const TelemetryActivity> activity);
    void setSelectedFileName(const QString& name);
    void setIsLoading(bool loading);

    void finishLoad(std::shared_ptr<const TelemetryActivity> activity, const QString& name,
                    const QString& damageNote);
    void failLoad(const QString& name, const QString& description);
    void offerRecovery(const std::filesystem::path& file, const QString& description, std::size_t readable);
    void startLoad(const std::filesystem::path& file, bool recovering);

    Loader loader_;
    RecoveringLoader recoveringLoader_;
    AppStatus& status_;
    std::shared_ptr<const TelemetryActivity> activity_;
    QString selectedFileName_ = noFileSelectedText;
    bool isLoading_ = false;
    WorkerTask loadTask_{*this};
};

}  // namespace pacemark
