#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include <filesystem>
#include <memory>

#include "AppModel.h"
#include "CairoDrawingSurface.h"
#include "ContentView.h"
#include "DesktopPlatform.h"
#include "TestSupport.h"
#include "WindowTestApplication.h"

namespace pacemark {
namespace {

using testing::application;

// Answers the replace question as told and counts how often it was asked.
class AnsweringPlatform : public AppModelPlatform {
public:
    bool replace = false;
    int questions = 0;
    std::optional<std::filesystem::path> chooseSaveFile(const SaveDialogRequest&) override { return std::nullopt; }
    void revealInFileManager(const std::filesystem::path&) override {}
    bool confirmReplacingLayout() override {
        ++questions;
        return replace;
    }
};

void turnWheel(QWidget* widget, int steps) {
    const QPointF centre = QRectF(widget->rect()).center();
    QWheelEvent event(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, -120 * steps), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

class SidebarEditingTest : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        model_ = std::make_unique<AppModel>(makeAppModelServices(nullptr, nullptr), &platform_);
        window_ = std::make_unique<ContentView>(*model_, std::make_shared<const CairoDrawingSurfaceFactory>());
        window_->resize(1440, 900);
        window_->show();
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        const QUrl ride = QUrl::fromLocalFile(
            QString::fromStdString((testing::sourceFolder() / "samples" / "sample-ride.fit").string()));
        ASSERT_TRUE(window_->dropURLs({ride}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return model_->activity() != nullptr && !model_->isLoading(); }, 20000));
        QCoreApplication::processEvents();
    }

    template <typename T>
    T* child(const char* name) {
        return window_->findChild<T*>(QString::fromLatin1(name));
    }
    QScrollBar* sidebarScrollBar() {
        return window_->findChild<QScrollArea*>(QStringLiteral("sidebar"))->verticalScrollBar();
    }

    AnsweringPlatform platform_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<ContentView> window_;
};

TEST_F(SidebarEditingTest, PresetPickerNeverReplacesAnEditedLayoutByAccident) {
    auto* picker = child<QComboBox>("presetPicker");
    ASSERT_NE(picker, nullptr);
    model_->addWidget(TelemetryWidgetKind::power);
    const PacemarkLayout edited = model_->overlayLayout();
    const PacemarkPreset preset = model_->selectedPreset();

    // A wheel turn over the closed picker scrolls the sidebar instead.
    QScrollBar* scroll = sidebarScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    scroll->setValue(0);
    turnWheel(picker, 2);
    EXPECT_GT(scroll->value(), 0);
    EXPECT_EQ(model_->selectedPreset(), preset);
    EXPECT_EQ(model_->overlayLayout(), edited);
    // So does a turn over a frame slider.
    auto* slider = window_->findChild<QScrollArea*>(QStringLiteral("sidebar"))->widget()->findChildren<QSlider*>().back();
    const int position = slider->value();
    turnWheel(slider, -1);
    EXPECT_EQ(slider->value(), position);
    EXPECT_EQ(model_->overlayLayout(), edited);

    // Choosing the preset already selected changes nothing and asks nothing.
    emit picker->activated(picker->currentIndex());
    EXPECT_EQ(model_->overlayLayout(), edited);
    EXPECT_EQ(platform_.questions, 0);

    // Another preset asks first; "Отмена" keeps the layout and the picker shows it.
    const int other = (picker->currentIndex() + 1) % picker->count();
    picker->setCurrentIndex(other);
    emit picker->activated(other);
    EXPECT_EQ(platform_.questions, 1);
    EXPECT_EQ(model_->overlayLayout(), edited);
    EXPECT_EQ(picker->currentData().toInt(), static_cast<int>(model_->selectedPresetValue()));
    // "Заменить" applies it.
    platform_.replace = true;
    emit picker->activated(other);
    EXPECT_EQ(platform_.questions, 2);
    EXPECT_NE(model_->selectedPreset(), preset);
    EXPECT_NE(model_->overlayLayout(), edited);
}

TEST_F(SidebarEditingTest, FieldsShowWhatTheModelStored) {
    // The caption keeps 24 characters; the field shows no more.
    auto* caption = child<QLineEdit>("captionField");
    ASSERT_NE(caption, nullptr);
    caption->setFocus();
    // One key event carrying the whole text (QTest's key clicks take ASCII only).
    QKeyEvent typing(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("ПодписьДлиннееДвадцатиЧетырёхБукв"));
    QApplication::sendEvent(caption, &typing);
    EXPECT_EQ(model_->selectedWidgetCaption(), QStringLiteral("ПодписьДлиннееДвадцатиЧе"));
    EXPECT_EQ(caption->text(), model_->selectedWidgetCaption());
    // One more character leaves the stored caption as it was; the field still shows it.
    QTest::keyClick(caption, Qt::Key_X);
    EXPECT_EQ(model_->selectedWidgetCaption(), QStringLiteral("ПодписьДлиннееДвадцатиЧе"));
    EXPECT_EQ(caption->text(), model_->selectedWidgetCaption());

    // A typed end past the ride is corrected by the model and shown back,
    // also while the field still has the focus.
    auto* end = child<QLineEdit>("exportEndField");
    ASSERT_NE(end, nullptr);
    end->setFocus();
    ASSERT_TRUE(end->hasFocus());
    end->selectAll();
    QTest::keyClicks(end, QStringLiteral("999999"));
    QTest::keyClick(end, Qt::Key_Return);
    EXPECT_LT(model_->exportEndSeconds(), 999999);
    EXPECT_EQ(end->text(), QString::number(model_->exportEndSeconds()));

    // With nothing selected the editor shows nothing of the last widget.
    model_->setSelectedWidgetID(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(child<QComboBox>("kindPicker")->currentIndex(), -1);
    EXPECT_TRUE(caption->text().isEmpty());
}

// Whether `widget` lies wholly inside the sidebar's visible area.
bool inSidebarView(QScrollArea* sidebar, QWidget* widget) {
    const QRect shown(widget->mapTo(sidebar->viewport(), QPoint(0, 0)), widget->size());
    return sidebar->viewport()->rect().contains(shown);
}

TEST_F(SidebarEditingTest, SidebarShowsTheVideoRowUnclippedAndTheStatusInView) {
    auto* sidebar = window_->findChild<QScrollArea*>(QStringLiteral("sidebar"));
    QPushButton* synchronize = nullptr;
    for (auto* candidate : sidebar->findChildren<QPushButton*>()) {
        if (candidate->text() == QStringLiteral("Синхр.")) synchronize = candidate;
    }
    ASSERT_NE(synchronize, nullptr);
    // The video controls as a loaded video shows them; the window fits the
    // sidebar on the player signal.
    synchronize->parentWidget()->show();
    emit model_->videoBackgroundPlayerChanged();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    sidebar->verticalScrollBar()->setValue(0);
    QCoreApplication::processEvents();
    const int right = synchronize->mapTo(sidebar->viewport(), QPoint(synchronize->width(), 0)).x();
    EXPECT_LE(right, sidebar->viewport()->width());

    // A new status text scrolls into view.
    auto* status = sidebar->findChild<QLabel*>(QStringLiteral("statusText"));
    ASSERT_NE(status, nullptr);
    EXPECT_FALSE(inSidebarView(sidebar, status));
    model_->status().setStatusText(QStringLiteral("Экспорт остановлен."));
    QCoreApplication::processEvents();
    EXPECT_TRUE(inSidebarView(sidebar, status));
}

// Writes the window with the sample ride and a selected widget to
// window-1440x900.png in the build folder, for the README.
TEST_F(SidebarEditingTest, ScreenshotOfTheWindowWithASelectedWidget) {
    applyPacemarkStyle();  // the application's dark look, as main() sets it
    EXPECT_GE(window_->minimumWidth(), 1120);
    EXPECT_GE(window_->minimumHeight(), 720);
    ASSERT_GE(model_->overlayLayout().widgets.size(), 2u);
    model_->setSelectedWidgetID(model_->overlayLayout().widgets[1].id);
    QTest::qWait(200);
    sidebarScrollBar()->setValue(0);  // the header and the action buttons in view
    const QImage picture = window_->grab().toImage();
    EXPECT_EQ(picture.size(), QSize(1440, 900) * window_->devicePixelRatioF());
    const auto file = std::filesystem::current_path() / "window-1440x900.png";
    EXPECT_TRUE(picture.save(QString::fromStdString(file.string())));
    EXPECT_GT(std::filesystem::file_size(file), 10'000u);
}

}  // namespace
}  // namespace pacemark
