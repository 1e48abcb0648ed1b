// SPDX-License-Identifier: GPL-3.0-or-later
#include "SummarySection.h"

#include <QGridLayout>
#include <QLabel>

#include "Telemetry/TelemetryFormatters.h"
#include "BackgroundVideoModel.h"
#include "LoadedActivityModel.h"
#include "ModelObserver.h"
#include "QtText.h"
#include "SidebarControls.h"

namespace pacemark {

SummarySection::SummarySection(const LoadedActivityModel& loadedActivity, const BackgroundVideoModel& backgroundVideo,
                               QWidget* parent)
    : QWidget(parent), loadedActivity_(loadedActivity), backgroundVideo_(backgroundVideo) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(6);
    const QStringList labels = {
        QStringLiteral("Подложка"),    QStringLiteral("Длительность"), QStringLiteral("Дистанция"),
        QStringLiteral("Точек"),       QStringLiteral("Ср. скорость"), QStringLiteral("Ср. мощность"),
        QStringLiteral("Ср. пульс"),   QStringLiteral("Набор"),        QStringLiteral("Макс. уклон")};
    for (int row = 0; row < labels.size(); ++row) {
        grid->addWidget(secondaryLabel(labels[row]), row, 0);
        auto* value = new QLabel;
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setObjectName(QStringLiteral("metricValue"));
        grid->addWidget(value, row, 1);
        values_.push_back(value);
    }
    refreshOnChangesOf({&loadedActivity_, &backgroundVideo_}, this, [this] { refresh(); });
}

void SummarySection::refresh() {
    namespace format = TelemetryFormatters;
    const auto activity = loadedActivity_.activity();
    const TelemetrySummary summary = activity ? activity->summary : TelemetrySummary{};
    const QStringList values = {
        backgroundVideo_.videoBackgroundName(),
        loadedActivity_.durationLabel(),
        loadedActivity_.distanceLabel(),
        loadedActivity_.sampleCountLabel(),
        qText(format::speedKPH(activity ? summary.averageSpeedMetersPerSecond : std::nullopt)) + QStringLiteral(" км/ч"),
        qText(format::integer(activity ? summary.averagePowerWatts : std::nullopt, "Вт")),
        qText(format::integer(activity ? summary.averageHeartRateBPM : std::nullopt, "уд/мин")),
        qText(format::elevation(activity ? summary.elevationGainMeters : std::nullopt)),
        qText(format::gradePercent(activity ? summary.maxGradePercent : std::nullopt, true))};
    for (std::size_t index = 0; index < values_.size(); ++index) {
        values_[index]->setText(values[static_cast<qsizetype>(index)]);
    }
}

}  // namespace pacemark
