#include "SidebarSections.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

#include "AppModel.h"
#include "Telemetry/TelemetryFormatters.h"

namespace pacemark {

namespace {

// Forwards every change signal of the model to one callback.
class ModelObserver : public QObject {
    Q_OBJECT

public:
    ModelObserver(AppModel& model, std::function<void()> callback, QObject* parent)
        : QObject(parent), callback_(std::move(callback)) {
        const QMetaObject& meta = AppModel::staticMetaObject;
        const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("changed()"));
        for (int index = meta.methodOffset(); index < meta.methodCount(); ++index) {
            const QMetaMethod method = meta.method(index);
            if (method.methodType() == QMetaMethod::Signal && method.parameterCount() == 0) {
                connect(&model, method, this, slot);
            }
        }
    }

public slots:
    void changed() { callback_(); }

private:
    std::function<void()> callback_;
};

QString text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QPushButton* makeButton(const QString& title, QStyle::StandardPixmap icon, QWidget* owner) {
    auto* button = new QPushButton(owner->style()->standardIcon(icon), title);
    return button;
}

QLabel* secondaryLabel(const QString& title) {
    auto* label = new QLabel(title);
    label->setObjectName(QStringLiteral("secondary"));
    label->setWordWrap(true);
    return label;
}

// A slider over a real range in steps of a thousandth of the range.
constexpr int sliderSteps = 1000;

QSlider* makeSlider() {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(0, sliderSteps);
    return slider;
}

int sliderPosition(double value, double minimum, double maximum) {
    return static_cast<int>(std::lround((value - minimum) / (maximum - minimum) * sliderSteps));
}

double sliderValue(int position, double minimum, double maximum) {
    return minimum + (maximum - minimum) * position / sliderSteps;
}

QString twoDecimals(double value) { return QString::number(value, 'f', 2); }

}  // namespace

void refreshOnModelChanges(QWidget* section, AppModel& model, const std::function<void()>& refresh) {
    new ModelObserver(model, refresh, section);
    refresh();
}

// MARK: - Actions

ActionButtonsSection::ActionButtonsSection(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    const auto row = [column](std::initializer_list<QWidget*> items) {
        auto* line = new QHBoxLayout;
        for (auto* item : items) line->addWidget(item);
        column->addLayout(line);
    };
    open_ = makeButton(QStringLiteral("Открыть FIT/GPX"), QStyle::SP_DirOpenIcon, this);
    exportMovie_ = makeButton(QStringLiteral("Сделать MOV"), QStyle::SP_MediaPlay, this);
    exportMovie_->setObjectName(QStringLiteral("prominent"));
    saveAs_ = makeButton(QStringLiteral("Сохранить как"), QStyle::SP_DialogSaveButton, this);
    stop_ = makeButton(QStringLiteral("Стоп"), QStyle::SP_MediaStop, this);
    stop_->setObjectName(QStringLiteral("destructive"));
    video_ = makeButton(QStringLiteral("Видео-подложка"), QStyle::SP_FileDialogContentsView, this);
    clearVideo_ = makeButton(QStringLiteral("Убрать"), QStyle::SP_DialogCloseButton, this);
    row({open_, exportMovie_});
    row({saveAs_, stop_});
    row({video_, clearVideo_});
    connect(open_, &QPushButton::clicked, this, &ActionButtonsSection::openTelemetryRequested);
    connect(exportMovie_, &QPushButton::clicked, this, [this] { model_.exportDefault(); });
    connect(saveAs_, &QPushButton::clicked, this, [this] {
        if (auto url = model_.chooseExportURL()) model_.exportMovie(*url);
    });
    connect(stop_, &QPushButton::clicked, this, [this] { model_.cancelExport(); });
    connect(video_, &QPushButton::clicked, this, &ActionButtonsSection::openVideoRequested);
    connect(clearVideo_, &QPushButton::clicked, this, [this] { model_.clearVideoBackground(); });

    // Background video controls.
    videoControls_ = new QWidget;
    auto* videoColumn = new QVBoxLayout(videoControls_);
    videoColumn->setContentsMargins(0, 4, 0, 4);
    playPause_ = makeButton(QStringLiteral("Плей"), QStyle::SP_MediaPlay, this);
    playPause_->setObjectName(QStringLiteral("prominent"));
    auto* restart = makeButton(QStringLiteral("Сначала"), QStyle::SP_MediaSkipBackward, this);
    auto* resetTransform = makeButton(QStringLiteral("Сброс"), QStyle::SP_BrowserReload, this);
    synchronize_ = makeButton(QStringLiteral("Синхр."), QStyle::SP_FileDialogDetailedView, this);
    auto* buttons = new QHBoxLayout;
    for (auto* button : {playPause_, restart, resetTransform, synchronize_}) buttons->addWidget(button);
    videoColumn->addLayout(buttons);
    connect(playPause_, &QPushButton::clicked, this, [this] { model_.toggleVideoPreviewPlayback(); });
    connect(restart, &QPushButton::clicked, this, [this] { model_.restartVideoPreview(); });
    connect(resetTransform, &QPushButton::clicked, this, [this] { model_.resetVideoBackgroundTransform(); });
    connect(synchronize_, &QPushButton::clicked, this, [this] { model_.synchronizeVideoWithTelemetry(); });
    auto* sliders = new QGridLayout;
    const auto sliderRow = [&](int index, const QString& title, QSlider*& slider, QLabel*& value, double minimum,
                               double maximum, void (AppModel::*setter)(double)) {
        slider = makeSlider();
        value = new QLabel;
        value->setMinimumWidth(40);
        sliders->addWidget(new QLabel(title), index, 0);
        sliders->addWidget(slider, index, 1);
        sliders->addWidget(value, index, 2);
        connect(slider, &QSlider::valueChanged, this,
                [this, minimum, maximum, setter](int position) { (model_.*setter)(sliderValue(position, minimum, maximum)); });
    };
    sliderRow(0, QStringLiteral("Масштаб"), scale_, scaleValue_, 0.5, 3.0, &AppModel::setVideoBackgroundScale);
    sliderRow(1, QStringLiteral("X"), offsetX_, offsetXValue_, -1, 1, &AppModel::setVideoBackgroundOffsetX);
    sliderRow(2, QStringLiteral("Y"), offsetY_, offsetYValue_, -1, 1, &AppModel::setVideoBackgroundOffsetY);
    videoColumn->addLayout(sliders);
    column->addWidget(videoControls_);

    progressRow_ = new QWidget;
    auto* progressLine = new QHBoxLayout(progressRow_);
    progressLine->setContentsMargins(0, 0, 0, 0);
    progress_ = new QProgressBar;
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setMinimumWidth(180);
    progressText_ = new QLabel;
    progressLine->addWidget(progress_, 1);
    progressLine->addWidget(progressText_);
    column->addWidget(progressRow_);

    refreshOnModelChanges(this, model_, [this] { refresh(); });
}

void ActionButtonsSection::refresh() {
    const bool busy = model_.isLoading() || model_.isExporting();
    const bool hasActivity = model_.activity() != nullptr;
    open_->setEnabled(!busy);
    exportMovie_->setEnabled(hasActivity && !busy);
    saveAs_->setEnabled(hasActivity && !busy);
    stop_->setVisible(model_.isExporting());
    video_->setEnabled(!model_.isLoadingVideo() && !model_.isExporting());
    clearVideo_->setVisible(model_.videoBackgroundImage() != nullptr || model_.isLoadingVideo());
    clearVideo_->setEnabled(!model_.isExporting());

    videoControls_->setVisible(model_.videoBackgroundPlayer() != nullptr);
    const bool playing = model_.isVideoPreviewPlaying();
    playPause_->setText(playing ? QStringLiteral("Пауза") : QStringLiteral("Плей"));
    playPause_->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    synchronize_->setEnabled(hasActivity && !model_.isSynchronizingVideo());
    const auto setSlider = [](QSlider* slider, QLabel* label, double value, double minimum, double maximum) {
        const QSignalBlocker blocker(slider);
        slider->setValue(sliderPosition(value, minimum, maximum));
        label->setText(twoDecimals(value));
    };
    setSlider(scale_, scaleValue_, model_.videoBackgroundScale(), 0.5, 3.0);
    setSlider(offsetX_, offsetXValue_, model_.videoBackgroundOffsetX(), -1, 1);
    setSlider(offsetY_, offsetYValue_, model_.videoBackgroundOffsetY(), -1, 1);

    progressRow_->setVisible(model_.isExporting());
    progress_->setValue(static_cast<int>(std::lround(std::clamp(model_.exportProgress(), 0.0, 1.0) * 1000)));
    progressText_->setText(QString::number(std::lround(model_.exportProgress() * 100)) + QStringLiteral("%"));
}

// MARK: - Summary

SummarySection::SummarySection(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
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
    refreshOnModelChanges(this, model_, [this] { refresh(); });
}

void SummarySection::refresh() {
    namespace format = TelemetryFormatters;
    const auto activity = model_.activity();
    const TelemetrySummary summary = activity ? activity->summary : TelemetrySummary{};
    const QStringList values = {
        model_.videoBackgroundName(),
        model_.durationLabel(),
        model_.distanceLabel(),
        model_.sampleCountLabel(),
        text(format::speedKPH(activity ? summary.averageSpeedMetersPerSecond : std::nullopt)) + QStringLiteral(" км/ч"),
        text(format::integer(activity ? summary.averagePowerWatts : std::nullopt, "Вт")),
        text(format::integer(activity ? summary.averageHeartRateBPM : std::nullopt, "уд/мин")),
        text(format::elevation(activity ? summary.elevationGainMeters : std::nullopt)),
        text(format::gradePercent(activity ? summary.maxGradePercent : std::nullopt, true))};
    for (std::size_t index = 0; index < values_.size(); ++index) {
        values_[index]->setText(values[static_cast<qsizetype>(index)]);
    }
}

// MARK: - Render settings and segment

void applyResolutionTag(AppModel& model, const QString& tag) {
    const QStringList parts = tag.split(QLatin1Char('x'));
    if (parts.size() != 2) return;
    bool widthOK = false;
    bool heightOK = false;
    const qint64 width = parts[0].toLongLong(&widthOK);
    const qint64 height = parts[1].toLongLong(&heightOK);
    if (!widthOK || !heightOK) return;
    model.setWidth(width);
    model.setHeight(height);
}

RenderSettingsSection::RenderSettingsSection(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* form = new QFormLayout;
    resolution_ = new QComboBox;
    for (const auto& [title, tag] : {std::pair{"1920 x 1080", "1920x1080"}, std::pair{"2560 x 1440", "2560x1440"},
                                     std::pair{"3840 x 2160", "3840x2160"}}) {
        resolution_->addItem(QString::fromLatin1(title), QString::fromLatin1(tag));
    }
    framesPerSecond_ = new QComboBox;
    for (int rate : {24, 25, 30, 50, 60}) framesPerSecond_->addItem(QString::number(rate), rate);
    codec_ = new QComboBox;
    for (const auto codec : TelemetryVideoCodec::allCases()) {
        codec_->addItem(text(codec.rawValue()), static_cast<int>(static_cast<TelemetryVideoCodec::Value>(codec)));
    }
    form->addRow(QStringLiteral("Разрешение"), resolution_);
    form->addRow(QStringLiteral("Кадры/с"), framesPerSecond_);
    form->addRow(QStringLiteral("Кодек"), codec_);
    column->addLayout(form);
    column->addWidget(secondaryLabel(
        QStringLiteral("Для Premiere выбирай ProRes 4444. HEVC компактнее, но Adobe часто не видит его альфа-канал.")));
    connect(resolution_, &QComboBox::activated, this,
            [this](int index) { applyResolutionTag(model_, resolution_->itemData(index).toString()); });
    connect(framesPerSecond_, &QComboBox::activated, this,
            [this](int index) { model_.setFramesPerSecond(framesPerSecond_->itemData(index).toInt()); });
    connect(codec_, &QComboBox::activated, this, [this](int index) {
        model_.setCodecValue(static_cast<TelemetryVideoCodec::Value>(codec_->itemData(index).toInt()));
    });

    segment_ = new QWidget;
    auto* segmentColumn = new QVBoxLayout(segment_);
    segmentColumn->setContentsMargins(0, 6, 0, 0);
    auto* titleRow = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Отрезок экспорта"));
    title->setObjectName(QStringLiteral("sectionTitle"));
    auto* wholeFile = makeButton(QStringLiteral("Весь файл"), QStyle::SP_BrowserReload, this);
    connect(wholeFile, &QPushButton::clicked, this, [this] { model_.resetExportRange(); });
    titleRow->addWidget(title);
    titleRow->addStretch();
    titleRow->addWidget(wholeFile);
    segmentColumn->addLayout(titleRow);
    rangeLabel_ = secondaryLabel(QString());
    segmentColumn->addWidget(rangeLabel_);
    const auto segmentRow = [&](const QString& label, QSlider*& slider, QLineEdit*& field,
                                void (AppModel::*setter)(qint64)) {
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
            const double span = std::max<double>(static_cast<double>(model_.activityDurationSeconds()), 1.0);
            (model_.*setter)(std::llround(static_cast<double>(position) / sliderSteps * span));
        });
        connect(field, &QLineEdit::editingFinished, this, [this, field, setter] {
            bool ok = false;
            const qint64 seconds = field->text().toLongLong(&ok);
            if (ok) (model_.*setter)(seconds);
            refresh();
        });
    };
    segmentRow(QStringLiteral("Начало"), startSlider_, startField_, &AppModel::setExportStartSeconds);
    segmentRow(QStringLiteral("Конец"), endSlider_, endField_, &AppModel::setExportEndSeconds);
    column->addWidget(segment_);

    refreshOnModelChanges(this, model_, [this] { refresh(); });
}

void RenderSettingsSection::refresh() {
    const QSignalBlocker resolutionBlocker(resolution_);
    resolution_->setCurrentIndex(
        resolution_->findData(QString::number(model_.width()) + QStringLiteral("x") + QString::number(model_.height())));
    const QSignalBlocker rateBlocker(framesPerSecond_);
    framesPerSecond_->setCurrentIndex(framesPerSecond_->findData(static_cast<int>(model_.framesPerSecond())));
    const QSignalBlocker codecBlocker(codec_);
    codec_->setCurrentIndex(codec_->findData(static_cast<int>(model_.codecValue())));

    segment_->setEnabled(model_.activity() != nullptr && !model_.isLoading() && !model_.isExporting());
    rangeLabel_->setText(model_.exportRangeLabel() + QStringLiteral("   Длина ") + model_.exportSegmentLabel());
    const double span = std::max<double>(static_cast<double>(model_.activityDurationSeconds()), 1.0);
    const auto setRow = [span](QSlider* slider, QLineEdit* field, qint64 seconds) {
        const QSignalBlocker sliderBlocker(slider);
        slider->setValue(static_cast<int>(std::lround(static_cast<double>(seconds) / span * sliderSteps)));
        if (!field->hasFocus()) field->setText(QString::number(seconds));
    };
    setRow(startSlider_, startField_, model_.startOffsetSeconds());
    setRow(endSlider_, endField_, model_.exportEndSeconds());
}

// MARK: - Status

StatusSection::StatusSection(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    loadingRow_ = new QWidget;
    auto* loadingLine = new QHBoxLayout(loadingRow_);
    loadingLine->setContentsMargins(0, 0, 0, 0);
    auto* spinner = new QProgressBar;
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedSize(48, 8);
    loadingLine->addWidget(spinner);
    loadingLine->addWidget(new QLabel(QStringLiteral("Загружаю файл...")));
    loadingLine->addStretch();
    column->addWidget(loadingRow_);
    reveal_ = makeButton(QStringLiteral("Показать MOV"), QStyle::SP_DirIcon, this);
    connect(reveal_, &QPushButton::clicked, this, [this] { model_.revealLastOutput(); });
    column->addWidget(reveal_);
    status_ = secondaryLabel(QString());
    status_->setObjectName(QStringLiteral("statusText"));
    column->addWidget(status_);
    refreshOnModelChanges(this, model_, [this] { refresh(); });
}

void StatusSection::refresh() {
    loadingRow_->setVisible(model_.isLoading());
    reveal_->setVisible(model_.lastOutputURL().has_value());
    reveal_->setEnabled(!model_.isLoading() && !model_.isExporting());
    status_->setText(model_.statusText());
}

}  // namespace pacemark

#include "SidebarSections.moc"
