// SPDX-License-Identifier: GPL-3.0-or-later
#include "OverlayControlsSection.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

#include "LayoutEditorModel.h"
#include "ColorButton.h"
#include "ModelObserver.h"
#include "QtText.h"
#include "SidebarControls.h"
#include "WindowStyle.h"

namespace pacemark {

OverlayControlsSection::OverlayControlsSection(LayoutEditorModel& layoutEditor, QWidget* parent)
    : QWidget(parent), layoutEditor_(layoutEditor) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(QStringLiteral("Оверлей"));
    title->setObjectName(QStringLiteral("sectionTitle"));
    column->addWidget(title);

    auto* presetForm = new QFormLayout;
    preset_ = new QComboBox;
    preset_->setObjectName(QStringLiteral("presetPicker"));
    for (const auto preset : PacemarkPreset::allCases()) {
        preset_->addItem(qText(preset.rawValue()), static_cast<int>(static_cast<PacemarkPreset::Value>(preset)));
    }
    presetForm->addRow(QStringLiteral("Пресет"), preset_);
    column->addLayout(presetForm);
    connect(preset_, &QComboBox::activated, this, [this](int index) {
        // The model ignores the preset already selected and asks before an
        // edited layout is replaced.
        layoutEditor_.choosePreset(PacemarkPreset(static_cast<PacemarkPreset::Value>(preset_->itemData(index).toInt())));
    });
    auto* layoutFiles = new QHBoxLayout;
    auto* saveLayout = makeButton(QStringLiteral("Сохранить макет…"), LineGlyph::save);
    auto* openLayout = makeButton(QStringLiteral("Открыть макет…"), QStyle::SP_DialogOpenButton, this);
    connect(saveLayout, &QPushButton::clicked, this, [this] { layoutEditor_.saveLayout(); });
    connect(openLayout, &QPushButton::clicked, this, [this] { layoutEditor_.openLayout(); });
    layoutFiles->addWidget(saveLayout);
    layoutFiles->addWidget(openLayout);
    column->addLayout(layoutFiles);
    // Also Ctrl+Z and Ctrl+Shift+Z (the window's shortcuts).
    auto* history = new QHBoxLayout;
    undo_ = makeButton(QStringLiteral("Отменить"), QStyle::SP_ArrowBack, this);
    redo_ = makeButton(QStringLiteral("Повторить"), QStyle::SP_ArrowForward, this);
    undo_->setToolTip(QStringLiteral("Отменить изменение макета (Ctrl+Z)"));
    redo_->setToolTip(QStringLiteral("Повторить изменение макета (Ctrl+Shift+Z)"));
    connect(undo_, &QPushButton::clicked, this, [this] { layoutEditor_.undo(); });
    connect(redo_, &QPushButton::clicked, this, [this] { layoutEditor_.redo(); });
    history->addWidget(undo_);
    history->addWidget(redo_);
    column->addLayout(history);

    allAccent_ = new ColorButton(QStringLiteral("Акцент всех полей"), [this](std::uint32_t hex) { layoutEditor_.setAllWidgetsAccentHex(hex); });
    allLabel_ = new ColorButton(QStringLiteral("Подписи всех полей"), [this](std::uint32_t hex) { layoutEditor_.setAllWidgetsLabelColorHex(hex); });
    allValue_ = new ColorButton(QStringLiteral("Значения всех полей"), [this](std::uint32_t hex) { layoutEditor_.setAllWidgetsValueColorHex(hex); });
    for (auto* button : {allAccent_, allLabel_, allValue_}) column->addWidget(button);

    widgetList_ = new QListWidget;
    widgetList_->setObjectName(QStringLiteral("widgetList"));
    widgetList_->setMinimumHeight(120);
    column->addWidget(widgetList_);
    connect(widgetList_, &QListWidget::currentRowChanged, this, [this](int row) {
        const auto& widgets = layoutEditor_.overlayLayout().widgets;
        if (row >= 0 && static_cast<std::size_t>(row) < widgets.size()) layoutEditor_.setSelectedWidgetID(widgets[row].id);
    });

    auto* listButtons = new QHBoxLayout;
    auto* add = new QPushButton(plusIcon(), QStringLiteral("Добавить"));
    auto* addMenu = new QMenu(add);
    for (const auto kind : TelemetryWidgetKind::allCases()) {
        addMenu->addAction(qText(kind.title()), this, [this, kind] { layoutEditor_.addWidget(kind); });
    }
    add->setMenu(addMenu);
    remove_ = new QPushButton(lightIcon(QStyle::SP_TrashIcon, this), QStringLiteral("Удалить"));
    remove_->setObjectName(QStringLiteral("destructive"));
    connect(remove_, &QPushButton::clicked, this, [this] { layoutEditor_.removeSelectedWidget(); });
    listButtons->addWidget(add);
    listButtons->addWidget(remove_);
    column->addLayout(listButtons);

    // The selected widget's editor.
    editor_ = new QWidget;
    auto* editorColumn = new QVBoxLayout(editor_);
    editorColumn->setContentsMargins(0, 6, 0, 0);
    auto* editorForm = new QFormLayout;
    kind_ = new QComboBox;
    kind_->setObjectName(QStringLiteral("kindPicker"));
    for (const auto kind : TelemetryWidgetKind::allCases()) {
        kind_->addItem(qText(kind.title()), static_cast<int>(static_cast<TelemetryWidgetKind::Value>(kind)));
    }
    panelStyle_ = new QComboBox;
    for (const auto panelStyle : TelemetryWidgetPanelStyle::allCases()) {
        panelStyle_->addItem(qText(panelStyle.title()),
                             static_cast<int>(static_cast<TelemetryWidgetPanelStyle::Value>(panelStyle)));
    }
    editorForm->addRow(QStringLiteral("Метрика"), kind_);
    editorForm->addRow(QStringLiteral("Стиль панели"), panelStyle_);
    editorColumn->addLayout(editorForm);
    caption_ = new QLineEdit;
    caption_->setObjectName(QStringLiteral("captionField"));
    editorColumn->addWidget(caption_);
    connect(kind_, &QComboBox::activated, this, [this](int index) {
        layoutEditor_.setSelectedWidgetKind(static_cast<TelemetryWidgetKind::Value>(kind_->itemData(index).toInt()));
    });
    connect(panelStyle_, &QComboBox::activated, this, [this](int index) {
        layoutEditor_.setSelectedWidgetPanelStyle(
            static_cast<TelemetryWidgetPanelStyle::Value>(panelStyle_->itemData(index).toInt()));
    });
    connect(caption_, &QLineEdit::textEdited, this, [this](const QString& typed) {
        layoutEditor_.setSelectedWidgetCaption(typed);
        // The model keeps 24 user-perceived characters (a length limit on the
        // field would count code units); when it cut the text, the field shows
        // what it stored, also when the stored caption did not change.
        const QString stored = layoutEditor_.selectedWidgetCaption();
        if (caption_->text() != stored) {
            const int cursor = std::min(caption_->cursorPosition(), static_cast<int>(stored.size()));
            caption_->setText(stored);
            caption_->setCursorPosition(cursor);
        }
    });

    accent_ = new ColorButton(QStringLiteral("Акцент выбранного поля"), [this](std::uint32_t hex) { layoutEditor_.setSelectedWidgetAccentHex(hex); });
    label_ = new ColorButton(QStringLiteral("Подпись выбранного поля"), [this](std::uint32_t hex) { layoutEditor_.setSelectedWidgetLabelColorHex(hex); });
    value_ = new ColorButton(QStringLiteral("Значение выбранного поля"), [this](std::uint32_t hex) { layoutEditor_.setSelectedWidgetValueColorHex(hex); });
    for (auto* button : {accent_, label_, value_}) editorColumn->addWidget(button);

    auto* frameTitle = new QLabel(QStringLiteral("Позиция / размер"));
    frameTitle->setObjectName(QStringLiteral("secondary"));
    editorColumn->addWidget(frameTitle);
    auto* frameGrid = new QGridLayout;
    const QString frameNames[4] = {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Ш"), QStringLiteral("В")};
    void (LayoutEditorModel::*setters[4])(double) = {
        &LayoutEditorModel::setSelectedWidgetFrameX, &LayoutEditorModel::setSelectedWidgetFrameY,
        &LayoutEditorModel::setSelectedWidgetFrameWidth, &LayoutEditorModel::setSelectedWidgetFrameHeight};
    for (int index = 0; index < 4; ++index) {
        frameSliders_[index] = new QSlider(Qt::Horizontal);
        frameSliders_[index]->setRange(0, 1000);
        frameValues_[index] = new QLabel;
        frameValues_[index]->setMinimumWidth(36);
        frameGrid->addWidget(new QLabel(frameNames[index]), index, 0);
        frameGrid->addWidget(frameSliders_[index], index, 1);
        frameGrid->addWidget(frameValues_[index], index, 2);
        const auto setter = setters[index];
        connect(frameSliders_[index], &QSlider::valueChanged, this,
                [this, setter](int position) { (layoutEditor_.*setter)(position / 1000.0); });
        // Dragging a slider is one undo step; a key press or a click on the
        // groove is one step each.
        connect(frameSliders_[index], &QSlider::sliderPressed, this, [this] { layoutEditor_.beginEditGesture(); });
        connect(frameSliders_[index], &QSlider::sliderReleased, this, [this] { layoutEditor_.endEditGesture(); });
    }
    editorColumn->addLayout(frameGrid);
    column->addWidget(editor_);

    refreshOnChangesOf({&layoutEditor_}, this, [this] { refresh(); });
}

void OverlayControlsSection::refresh() {
    undo_->setEnabled(layoutEditor_.canUndo());
    redo_->setEnabled(layoutEditor_.canRedo());
    {
        const QSignalBlocker blocker(preset_);
        preset_->setCurrentIndex(preset_->findData(static_cast<int>(layoutEditor_.selectedPreset())));
    }
    allAccent_->setColorHex(layoutEditor_.allWidgetsAccentHex());
    allLabel_->setColorHex(layoutEditor_.allWidgetsLabelColorHex());
    allValue_->setColorHex(layoutEditor_.allWidgetsValueColorHex());

    const auto& widgets = layoutEditor_.overlayLayout().widgets;
    const auto selectedID = layoutEditor_.selectedWidgetID();
    {
        const QSignalBlocker blocker(widgetList_);
        // Rebuilt only when the list's texts change, so the scroll position
        // survives moves and resizes.
        QStringList titles;
        for (const auto& widget : widgets) titles << qText(widget.displayTitle());
        QStringList shown;
        for (int row = 0; row < widgetList_->count(); ++row) shown << widgetList_->item(row)->text();
        if (titles != shown) {
            widgetList_->clear();
            widgetList_->addItems(titles);
        }
        int selectedRow = -1;
        for (int row = 0; row < widgetList_->count(); ++row) {
            const bool selected = selectedID && widgets[static_cast<std::size_t>(row)].id == *selectedID;
            if (selected) selectedRow = row;
            widgetList_->item(row)->setForeground(selected ? brandGreen() : QColor(0x9A, 0x9E, 0xA6));
        }
        widgetList_->setCurrentRow(selectedRow);
    }

    const auto selected = layoutEditor_.selectedWidget();
    remove_->setEnabled(selected.has_value());
    editor_->setEnabled(selected.has_value());
    caption_->setPlaceholderText(selected ? QStringLiteral("Подпись: ") + qText(selected->kind.shortTitle())
                                          : QStringLiteral("Подпись: "));
    if (caption_->text() != layoutEditor_.selectedWidgetCaption()) caption_->setText(layoutEditor_.selectedWidgetCaption());
    accent_->setColorHex(layoutEditor_.selectedWidgetAccentHex());
    label_->setColorHex(layoutEditor_.selectedWidgetLabelColorHex());
    value_->setColorHex(layoutEditor_.selectedWidgetValueColorHex());
    if (!selected) {
        // Nothing selected: the disabled editor shows no values of an earlier widget.
        const QSignalBlocker kindBlocker(kind_);
        const QSignalBlocker styleBlocker(panelStyle_);
        kind_->setCurrentIndex(-1);
        panelStyle_->setCurrentIndex(-1);
        for (int index = 0; index < 4; ++index) {
            const QSignalBlocker blocker(frameSliders_[index]);
            frameSliders_[index]->setValue(0);
            frameValues_[index]->clear();
        }
        return;
    }
    {
        const QSignalBlocker kindBlocker(kind_);
        kind_->setCurrentIndex(kind_->findData(static_cast<int>(static_cast<TelemetryWidgetKind::Value>(selected->kind))));
        const QSignalBlocker styleBlocker(panelStyle_);
        panelStyle_->setCurrentIndex(panelStyle_->findData(
            static_cast<int>(static_cast<TelemetryWidgetPanelStyle::Value>(selected->panelStyle))));
    }
    const TelemetryWidgetFrame frame = selected->frame;
    const double values[4] = {frame.x, frame.y, frame.width, frame.height};
    for (int index = 0; index < 4; ++index) {
        const QSignalBlocker blocker(frameSliders_[index]);
        frameSliders_[index]->setValue(static_cast<int>(std::lround(values[index] * 1000)));
        frameValues_[index]->setText(QString::number(values[index], 'f', 2));
    }
}

}  // namespace pacemark
