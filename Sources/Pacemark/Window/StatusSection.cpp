#include "StatusSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "AppModel.h"
#include "ModelObserver.h"
#include "QtText.h"
#include "SidebarControls.h"

namespace pacemark {

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
    connect(reveal_, &QPushButton::clicked, this, [this] { model_.exportSession().revealLastOutput(); });
    column->addWidget(reveal_);
    status_ = secondaryLabel(QString());
    status_->setObjectName(QStringLiteral("statusText"));
    column->addWidget(status_);
    refreshOnChangesOf({&model_.loadedActivity(), &model_.exportSession(), &model_.status()}, this,
                       [this] { refresh(); });
}

void StatusSection::refresh() {
    loadingRow_->setVisible(model_.loadedActivity().isLoading());
    reveal_->setVisible(model_.exportSession().lastOutputURL().has_value());
    reveal_->setEnabled(!model_.loadedActivity().isLoading() && !model_.exportSession().isExporting());
    status_->setText(model_.status().statusText());
}

}  // namespace pacemark
