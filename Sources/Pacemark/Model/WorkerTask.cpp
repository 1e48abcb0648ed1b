// SPDX-License-Identifier: GPL-3.0-or-later
#include "WorkerTask.h"

#include <QThread>
#include <QThreadPool>

#include <exception>
#include <new>

#include "PacemarkError.h"
#include "QtText.h"

namespace pacemark {

void WorkerTask::start(std::function<void(const Run&)> work) {
    Q_ASSERT(QThread::currentThread() == owner_->thread());
    requestStop();
    std::stop_source stop;
    stop_ = stop;
    const Run run(owner_, this, ++sequence_, stop.get_token());

    QThreadPool* pool = QThreadPool::globalInstance();
    // The pool sizes itself by the processor count; on a small machine a
    // load or a video open would then queue behind a long export. Room for
    // an export, a stopping one, a load and a video open at once. The pool is
    // drained before the application object goes, so queued reports always
    // find it alive.
    constexpr int minimumWorkers = 4;
    if (pool->maxThreadCount() < minimumWorkers) pool->setMaxThreadCount(minimumWorkers);
    pool->start([work = std::move(work), run] { work(run); });
}

void WorkerTask::requestStop() {
    if (stop_) stop_->request_stop();
}

QString WorkerTask::describeCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        // The core's one wording for ours, for lack of memory and for the rest.
        return qText(userFacingDescription(error));
    } catch (...) {
        return QStringLiteral("Непредвиденная ошибка.");
    }
}

void WorkerTask::cancel() {
    requestStop();
    stop_.reset();
    ++sequence_;
}

}  // namespace pacemark
