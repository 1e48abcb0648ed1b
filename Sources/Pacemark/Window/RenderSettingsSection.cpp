// SPDX-License-Identifier: GPL-3.0-or-later
#include "RenderSettingsSection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

#include "ExportSessionModel.h"
#include "LoadedActivityModel.h"
#include "ModelObserver.h"
#include "QtText.h"
#include "SidebarControls.h"

namespace pacemark {

void applyResolutionTag(ExportSessionModel& exportSession, const QString& tag) {
    const QStringList parts = tag.split(QLatin1Char('x'));
    if (parts.size() != 2) return;
    bool widthOK = false;
    bool heightOK = false;
    const qint64 width = parts[0].toLongLong(&widthOK);
    const qint64 height = parts[1].toLongLong(&heightOK);
    if (!widthOK || !heightOK) return;
    exportSession.setWidth(width);
    exportSession.setHeight(height);
}

std::vector<std::pair<QString, int>> motionChoices() {
    std::vector<std::pair<QString, int>> choices{
        {qText(TelemetryExportSettings::motionModeTitle(TelemetryMotionMode::steps)), -1}};
    const QString smooth = qText(TelemetryExportSettings::motionModeTitle(TelemetryMotionMode::smooth));
    for (const std::int64_t rate : TelemetryExportSettings::offeredMotionUpdatesPerSecond) {
        choices.emplace_back(smooth + QStringLiteral(", ") + qText(TelemetryExportSettings::motionUpdateRateTitle(rate)),
                             static_cast<int>(rate));
    }
    return choices;
}

RenderSettingsSection::RenderSettingsSection(const LoadedActivityModel& loadedActivity,
                                             ExportSessionModel& exportSession, QWidget* parent)
    : QWidget(parent), loadedActivity_(loadedActivity), exportSession_(exportSession) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* form = new QFormLayout;
    resolution_ = new QComboBox;
    for (const auto size : TelemetryExportSettings::offeredSizes) {
        const QString title = QString::number(size.width) + QStringLiteral(" × ") + QString::number(size.height) +
                              (size.isPortrait() ? QStringLiteral(" (вертикально)") : QString());
        resolution_->addItem(title, QString::number(size.width) + QStringLiteral("x") + QString::number(size.height));
    }
    // Titles with a decimal comma ("29,97"); each item carries its exact
    // rate as text ("30000/1001").
    frameRate_ = new QComboBox;
    frameRate_->setObjectName(QStringLiteral("frameRatePicker"));
    for (const FrameRate rate : TelemetryExportSettings::offeredFrameRates) {
        frameRate_->addItem(qText(rate.title()), qText(rate.text()));
    }
    codec_ = new QComboBox;
    for (const auto codec : TelemetryVideoCodec::allCases()) {
        codec_->addItem(qText(codec.rawValue()), static_cast<int>(static_cast<TelemetryVideoCodec::Value>(codec)));
    }
    form->addRow(QStringLiteral("Разрешение"), resolution_);
    form->addRow(QStringLiteral("Кадры/с"), frameRate_);
    form->addRow(QStringLiteral("Кодек"), codec_);
    motion_ = new QComboBox;
    motion_->setObjectName(QStringLiteral("motionPicker"));
    for (const auto& [title, rate] : motionChoices()) motion_->addItem(title, rate);
    form->addRow(QStringLiteral("Движение"), motion_);
    smoothValues_ = new QCheckBox(qText(TelemetryExportSettings::motionSmoothingTitle()));
    smoothValues_->setObjectName(QStringLiteral("smoothValuesBox"));
    form->addRow(QString(), smoothValues_);
    column->addLayout(form);
    column->addWidget(secondaryLabel(
        QStringLiteral("Для Premiere выбирай ProRes 4444. HEVC компактнее, но Adobe часто не видит его альфа-канал.")));
    connect(resolution_, &QComboBox::activated, this,
            [this](int index) { applyResolutionTag(exportSession_, resolution_->itemData(index).toString()); });
    connect(frameRate_, &QComboBox::activated, this, [this](int index) {
        if (const auto rate = FrameRate::parse(frameRate_->itemData(index).toString().toStdString())) {
            exportSession_.setFrameRate(*rate);
        }
    });
    connect(codec_, &QComboBox::activated, this, [this](int index) {
        exportSession_.setCodec(static_cast<TelemetryVideoCodec::Value>(codec_->itemData(index).toInt()));
    });
    connect(motion_, &QComboBox::activated, this, [this](int index) {
        TelemetryMotion motion = exportSession_.settings().motion;
        const int rate = motion_->itemData(index).toInt();
        motion.mode = rate < 0 ? TelemetryMotionMode::steps : TelemetryMotionMode::smooth;
        if (rate >= 0) motion.updatesPerSecond = rate;
        exportSession_.setMotion(motion);
    });
    connect(smoothValues_, &QCheckBox::toggled, this, [this](bool on) {
        TelemetryMotion motion = exportSession_.settings().motion;
        motion.smoothing = on ? TelemetryValueSmoothing::speedAndPower : TelemetryValueSmoothing::none;
        exportSession_.setMotion(motion);
    });

    segment_ = new QWidget;
    auto* segmentColumn = new QVBoxLayout(segment_);
    segmentColumn->setContentsMargins(0, 6, 0, 0);
    auto* titleRow = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Отрезок экспорта"));
    title->setObjectName(QStringLiteral("sectionTitle"));
    auto* wholeFile = makeButton(QStringLiteral("Весь файл"), QStyle::SP_BrowserReload, this);
    connect(wholeFile, &QPushButton::clicked, this, [this] { exportSession_.resetExportRange(); });
    titleRow->addWidget(title);
    titleRow->addStretch();
    titleRow->addWidget(wholeFile);
    segmentColumn->addLayout(titleRow);
    rangeLabel_ = secondaryLabel(QString());
    segmentColumn->addWidget(rangeLabel_);
    const auto segmentRow = [&](const QString& label, QSlider*& slider, QLineEdit*& field,
                                void (ExportSessionModel::*setter)(qint64),
                                qint64 (ExportSessionModel::*getter)() const) {
        auto* line = new QHBoxLayout;
        auto* name = new QLabel(label);
        name->setFixedWidth(58);
        slider = makeSlider();
        field = new QLineEdit;
        field->setFixedWidth(82);
        field->setPlaceholderText(QStringLiteral("0"));
        field->setValidator(new QIntValidator(0, 1'000'000'000, field));
        line->addWidget(name);
        line->addWidget(slider, 1);
        line->addWidget(field);
        line->addWidget(new QLabel(QStringLiteral("с")));
        segmentColumn->addLayout(line);
        connect(slider, &QSlider::valueChanged, this, [this, setter](int position) {
            const double span = std::max<double>(static_cast<double>(loadedActivity_.activityDurationSeconds()), 1.0);
            (exportSession_.*setter)(std::llround(static_cast<double>(position) / sliderSteps * span));
        });
        connect(field, &QLineEdit::editingFinished, this, [this, field, setter, getter] {
            bool ok = false;
            const qint64 seconds = field->text().toLongLong(&ok);
            if (ok) (exportSession_.*setter)(seconds);
            refresh();
            // refresh() leaves a focused field alone while it is typed in;
            // once the typing is finished the field shows what the model
            // stored, corrected or not.
            field->setText(QString::number((exportSession_.*getter)()));
        });
    };
    segmentRow(QStringLiteral("Начало"), startSlider_, startField_, &ExportSessionModel::setStartOffsetSeconds,
               &ExportSessionModel::startOffsetSeconds);
    segmentRow(QStringLiteral("Конец"), endSlider_, endField_, &ExportSessionModel::setExportEndSeconds,
               &ExportSessionModel::exportEndSeconds);
    startField_->setObjectName(QStringLiteral("exportStartField"));
    endField_->setObjectName(QStringLiteral("exportEndField"));
    column->addWidget(segment_);

    refreshOnChangesOf({&loadedActivity_, &exportSession_}, this, [this] { refresh(); });
}

void RenderSettingsSection::refresh() {
    const QSignalBlocker resolutionBlocker(resolution_);
    resolution_->setCurrentIndex(
        resolution_->findData(QString::number(exportSession_.settings().width) + QStringLiteral("x") + QString::number(exportSession_.settings().height)));
    const QSignalBlocker rateBlocker(frameRate_);
    frameRate_->setCurrentIndex(frameRate_->findData(qText(exportSession_.settings().frameRate.text())));
    const QSignalBlocker codecBlocker(codec_);
    codec_->setCurrentIndex(codec_->findData(static_cast<int>(exportSession_.settings().codec)));
    const QSignalBlocker motionBlocker(motion_);
    const TelemetryMotion& motion = exportSession_.settings().motion;
    motion_->setCurrentIndex(motion_->findData(motion.isSmooth() ? static_cast<int>(motion.updatesPerSecond) : -1));
    const QSignalBlocker smoothValuesBlocker(smoothValues_);
    smoothValues_->setChecked(motion.smoothing == TelemetryValueSmoothing::speedAndPower);

    segment_->setEnabled(loadedActivity_.activity() != nullptr && !loadedActivity_.isLoading() && !exportSession_.isExporting());
    rangeLabel_->setText(exportSession_.exportRangeLabel() + QStringLiteral("   Длина ") + exportSession_.exportSegmentLabel());
    const double span = std::max<double>(static_cast<double>(loadedActivity_.activityDurationSeconds()), 1.0);
    const auto setRow = [span](QSlider* slider, QLineEdit* field, qint64 seconds) {
        const QSignalBlocker sliderBlocker(slider);
        slider->setValue(static_cast<int>(std::lround(static_cast<double>(seconds) / span * sliderSteps)));
        if (!field->hasFocus()) field->setText(QString::number(seconds));
    };
    setRow(startSlider_, startField_, exportSession_.startOffsetSeconds());
    setRow(endSlider_, endField_, exportSession_.exportEndSeconds());
}

}  // namespace pacemark
