// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppModelTestSupport.h"

#include <QThreadPool>

namespace pacemark::testing {
namespace {

// The model needs an application object for its queued calls; one lives for
// the whole test program. Its destruction drains the worker pool.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "PacemarkAppModelTests";
        static char* argv[] = {name, nullptr};
        application_ = new QCoreApplication(argc, argv);
        // Tests hold several workers at gates at once.
        QThreadPool::globalInstance()->setMaxThreadCount(8);
    }
    void TearDown() override { delete application_; }

private:
    QCoreApplication* application_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
}  // namespace pacemark::testing
