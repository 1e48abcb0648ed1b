// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>
#include <initializer_list>

class QWidget;

namespace pacemark {

// Calls `refresh` now and whenever one of `sources` (the sub-models a view
// shows) publishes a change, that is emits one of its own parameterless
// signals. Views re-read everything they show; the controls' own signals are
// blocked while they are set, so a refresh never writes back into the model.
// A signal that carries a value (the playback position) does not count: a
// view that follows it connects to it by name. The observation ends with `view`.
void refreshOnChangesOf(std::initializer_list<const QObject*> sources, QWidget* view,
                        const std::function<void()>& refresh);

}  // namespace pacemark
