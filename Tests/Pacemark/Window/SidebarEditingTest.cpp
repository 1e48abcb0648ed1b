#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "AppModel.h"
#include "AppModelVideoServices.h"
#include "CairoDrawingSurface.h"
#include "ContentView.h"
#include "DesktopPlatform.h"
#include "TestSupport.h"
#include "VideoTestMovies.h"
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
        // The real background-video services; an export that reports a
        // quarter done and then runs until it is stopped.
        AppModelServices services = makeAppModelServices(nullptr, nullptr);
        addVideoBackgroundServices(services);
        services.exportMovie = [](std::shared_ptr<const TelemetryActivity>, const TelemetryRenderConfig&,
                                  const std::function<void(double)>& progress, std::stop_token stop) {
            progress(0.25);
            while (!stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            throw TelemetryVideoExportCancelled();
        };
        model_ = std::make_unique<AppModel>(std::move(services), &platform_);
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

// The export's progress row appears and goes without moving the rows below it
// or the sidebar's width; while it runs the row stays in view.
TEST_F(SidebarEditingTest, ExportProgressRowComesAndGoesWithoutMovingTheSidebar) {
    auto* sidebar = window_->findChild<QScrollArea*>(QStringLiteral("sidebar"));
    auto* progress = child<QWidget>("exportProgressRow");
    auto* picker = child<QComboBox>("presetPicker");
    ASSERT_NE(progress, nullptr);
    const auto placeInContent = [&] { return picker->mapTo(sidebar->widget(), QPoint(0, 0)); };
    const auto placeInView = [&] { return picker->mapTo(sidebar->viewport(), QPoint(0, 0)); };
    sidebarScrollBar()->setValue(0);  // where "Сделать MOV" is
    QTest::qWait(20);
    const QPoint content = placeInContent(), view = placeInView();
    const int width = sidebar->width();

    testing::TemporaryFolder folder;
    model_->exportMovie(folder / "ride.mov");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model_->exportProgress() > 0; }, 5000));
    QTest::qWait(20);  // the queued fitting and scrolling
    EXPECT_TRUE(progress->isVisible());
    EXPECT_TRUE(inSidebarView(sidebar, progress));
    EXPECT_EQ(placeInContent(), content);
    EXPECT_EQ(placeInView(), view);
    EXPECT_EQ(sidebar->width(), width);

    model_->cancelExport();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isExporting(); }, 5000));
    QTest::qWait(20);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(placeInContent(), content);
    EXPECT_EQ(sidebar->width(), width);
    // The outcome is shown where the status line is.
    EXPECT_EQ(model_->statusText(), QStringLiteral("Экспорт остановлен."));
    EXPECT_TRUE(inSidebarView(sidebar, child<QLabel>("statusText")));
}

// Writes the window at 1440 × 900 with the sample ride over a frame of a
// background video and a selected widget to window-1440x900.png in the build
// folder (the README's picture is a copy of it).
TEST_F(SidebarEditingTest, ScreenshotOfTheWindowWithABackgroundVideoAndASelectedWidget) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "no ffmpeg command";
    applyPacemarkStyle();  // the application's dark look, as main() sets it
    EXPECT_GE(window_->minimumWidth(), 1120);
    EXPECT_GE(window_->minimumHeight(), 720);
    // Sky over a field, in RGB rows: light blue above the horizon, green below.
    testing::TemporaryFolder folder;
    const auto clip = folder / "landscape.mp4";
    testing::makeTestMovie(clip,
                           "color=c=black:s=640x360:r=25,format=rgb24,"
                           "geq=r='if(lt(Y,170),110+Y/2,70-(Y-170)/8)':g='if(lt(Y,170),160+Y/3,120-(Y-170)/5)'"
                           ":b='if(lt(Y,170),235-Y/6,55-(Y-170)/10)'",
                           1);
    model_->loadVideoBackground(clip);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isLoadingVideo(); }, 20000));
    ASSERT_NE(model_->videoBackgroundImage(), nullptr) << model_->errorMessage().value_or(QString()).toStdString();
    model_->setExportStartSeconds(900);  // under way: every widget shows a value
    ASSERT_GE(model_->overlayLayout().widgets.size(), 2u);
    model_->setSelectedWidgetID(model_->overlayLayout().widgets[1].id);
    QTest::qWait(300);  // the player's first frame and the repaint
    sidebarScrollBar()->setValue(0);  // the header and the action buttons in view
    const QImage picture = window_->grab().toImage();
    EXPECT_EQ(picture.size(), QSize(1440, 900) * window_->devicePixelRatioF());
    const auto file = std::filesystem::current_path() / "window-1440x900.png";
    EXPECT_TRUE(picture.save(QString::fromStdString(file.string()), "PNG", 0));  // smallest file
    EXPECT_GT(std::filesystem::file_size(file), 10'000u);
}

}  // namespace
}  // namespace pacemark
