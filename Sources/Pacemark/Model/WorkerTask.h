// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <utility>

namespace pacemark {

// One kind of long operation of a model (a load, an export, a video open, a
// synchronization), run on the shared worker pool. At most one run counts at
// a time: starting another supersedes it, asking it to stop and dropping
// whatever it still reports. Each run is numbered; what a worker reports is
// queued to the main thread and delivered only while the owner is alive and
// the run is still the current one, so a stale or orphaned result never
// touches the model. Owned by, and used on the thread of, its owner.
class WorkerTask {
public:
    // What a worker holds of its run: the stop token and the way back.
    class Run {
    public:
        std::stop_token stopToken() const { return token_; }
        bool stopRequested() const { return token_.stop_requested(); }

        // Queues `report` to the main thread; it runs there only while this
        // run is current and the owner alive. The run goes on.
        template <typename Report>
        void deliver(Report report) const {
            post(std::move(report), false);
        }
        // The same, for the run's last report: the task is idle when it runs.
        template <typename Report>
        void finish(Report report) const {
            post(std::move(report), true);
        }

    private:
        friend class WorkerTask;
        Run(QObject* owner, WorkerTask* task, std::int64_t sequence, std::stop_token token)
            : owner_(owner), task_(task), sequence_(sequence), token_(std::move(token)) {}

        template <typename Report>
        void post(Report report, bool ends) const {
            // The task lives as long as its owner, so it is read only after
            // the owner was found alive, on the main thread.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [owner = owner_, task = task_, sequence = sequence_, ends, report = std::move(report)]() mutable {
                    if (!owner || task->sequence_ != sequence) return;
                    if (ends) task->stop_.reset();
                    report();
                },
                Qt::QueuedConnection);
        }

        QPointer<QObject> owner_;
        WorkerTask* task_;
        std::int64_t sequence_;
        std::stop_token token_;
    };

    explicit WorkerTask(QObject& owner) : owner_(&owner) {}
    // Nobody will see the results any more: the running worker is asked to stop early.
    ~WorkerTask() { requestStop(); }
    WorkerTask(const WorkerTask&) = delete;
    WorkerTask& operator=(const WorkerTask&) = delete;

    // Supersedes the current run and starts `work` on the worker pool. `work`
    // receives only copies and its Run; it reports through Run::deliver and
    // ends with Run::finish.
    void start(std::function<void(const Run&)> work);
    // Asks the current run to stop; it still reports how it ended.
    void requestStop();
    // Asks the current run to stop and drops everything it still reports.
    void cancel();

    bool isRunning() const { return stop_.has_value(); }

    // The Russian text of the exception being handled, for a worker's
    // failure report: userFacingDescription() for a std::exception, else a generic one.
    static QString describeCurrentException();

private:
    QObject* owner_;
    std::int64_t sequence_ = 0;
    std::optional<std::stop_source> stop_;
};

}  // namespace pacemark
