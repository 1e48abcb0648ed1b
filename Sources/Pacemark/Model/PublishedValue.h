// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>

namespace pacemark {

// Stores `value` in a model's published `member` and emits the member's
// change signal, unless the value is already there: a signal always means
// the value changed.
template <typename Model, typename Value, typename NewValue>
void publish(Model* model, Value& member, NewValue&& value, void (Model::*changed)()) {
    if (member == value) return;
    member = std::forward<NewValue>(value);
    (model->*changed)();
}

}  // namespace pacemark
