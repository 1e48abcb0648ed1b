// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <atomic>
#include <thread>

#include "AppModel.h"
#include "AppModelTestSupport.h"
#include "AppModelVideoServices.h"
#include "CairoDrawingSurface.h"
#include "ContentView.h"
#include "EditorPreviewView.h"
#include "PreviewPane.h"
#include "TestSupport.h"

namespace pacemark::testing {

// The one QApplication of the window tests (the offscreen platform is set by
// CTest), made on first use.
inline QApplication& application() {
    static int argc = 1;
    static char name[] = "PacemarkWindowTests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = qApp ? qApp : new QApplication(argc, argv);
    return *app;
}

// A left-button mouse event of `type` at `point` in `widget`'s coordinates.
inline void sendMouse(QWidget* widget, QEvent::Type type, QPointF point, Qt::MouseButtons buttons) {
    QMouseEvent event(type, point, widget->mapToGlobal(point), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Press at `from`, one move to `to`, release there.
inline void drag(QWidget* widget, QPointF from, QPointF to) {
    sendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, to, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

// The window at 1440 × 900 over a model with the real loader, renderer and
// background-video services and burn-in; its export reports a quarter done and then runs
// until it is stopped (or, once `finishExports_` is set, succeeds without
// writing anything).
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        AppModelServices services = makeAppModelServices(nullptr, nullptr);
        addVideoBackgroundServices(services);
        addBurnInService(services,
                         TelemetryVideoExporter::layoutFrameRenderers(std::make_shared<const CairoDrawingSurfaceFactory>()));
        services.exportMovie = [this](auto&&, auto&&, const std::function<void(double)>& progress,
                                      std::stop_token stop) {
            progress(0.25);
            while (!finishExports_) {
                if (stop.stop_requested()) throw TelemetryVideoExportCancelled();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        };
        addServices(services);
        model_ = std::make_unique<AppModel>(std::move(services), &platform_);
        window_ = std::make_unique<ContentView>(*model_, std::make_shared<const CairoDrawingSurfaceFactory>());
        window_->resize(1440, 900);
        window_->show();
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    // A test's own services over the ones above, before the model is made.
    virtual void addServices(AppModelServices&) {}

    // Drops the bundled sample ride on the window, as a user would.
    void dropSampleRide() {
        const QUrl ride = QUrl::fromLocalFile(
            QString::fromStdString((sourceFolder() / "samples" / "sample-ride.fit").string()));
        ASSERT_TRUE(window_->dropURLs({ride}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return model_->loadedActivity().activity() != nullptr && !model_->loadedActivity().isLoading(); }, 20000));
        QCoreApplication::processEvents();
    }

    QPushButton* button(const QString& title) {
        for (auto* candidate : window_->findChildren<QPushButton*>()) {
            if (candidate->text() == title) return candidate;
        }
        ADD_FAILURE() << "no button " << title.toStdString();
        return nullptr;
    }
    EditorPreviewView* editor() { return window_->preview()->editor(); }

    ScriptedPlatform platform_;
    std::atomic<bool> finishExports_ = false;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<ContentView> window_;
};

}  // namespace pacemark::testing
