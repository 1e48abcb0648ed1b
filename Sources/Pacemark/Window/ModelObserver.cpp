// SPDX-License-Identifier: GPL-3.0-or-later
#include "ModelObserver.h"

#include <QMetaMethod>
#include <QWidget>

#include <utility>

namespace pacemark {

namespace {

// Forwards the change signals of its sources to one callback.
class ModelObserver : public QObject {
    Q_OBJECT

public:
    ModelObserver(std::initializer_list<const QObject*> sources, std::function<void()> callback, QObject* parent)
        : QObject(parent), callback_(std::move(callback)) {
        const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("changed()"));
        for (const QObject* source : sources) {
            const QMetaObject& meta = *source->metaObject();
            // Only the source's own signals: QObject's destroyed() is no change.
            for (int index = meta.methodOffset(); index < meta.methodCount(); ++index) {
                const QMetaMethod method = meta.method(index);
                if (method.methodType() == QMetaMethod::Signal && method.parameterCount() == 0) {
                    connect(source, method, this, slot);
                }
            }
        }
    }

public slots:
    void changed() { callback_(); }

private:
    std::function<void()> callback_;
};

}  // namespace

void refreshOnChangesOf(std::initializer_list<const QObject*> sources, QWidget* view,
                        const std::function<void()>& refresh) {
    new ModelObserver(sources, refresh, view);
    refresh();
}

}  // namespace pacemark

#include "ModelObserver.moc"
