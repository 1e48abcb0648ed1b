// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreviewVideoBackgroundPlayer.h"

#include <cmath>

namespace pacemark {

PreviewVideoBackgroundPlayer::PreviewVideoBackgroundPlayer(const std::filesystem::path& file)
    : player_(file, nullptr, playbackMaximumWidth, playbackMaximumHeight) {
    connect(&player_, &VideoPreviewPlayer::positionChanged, this, &VideoBackgroundPlayer::positionChanged);
    connect(&player_, &VideoPreviewPlayer::playbackEnded, this, &VideoBackgroundPlayer::playbackEnded);
    connect(&player_, &VideoPreviewPlayer::playbackFailed, this, &VideoBackgroundPlayer::playbackFailed);
    connect(&player_, &VideoPreviewPlayer::frameChanged, this, &VideoBackgroundPlayer::frameChanged);
    connect(&player_, &VideoPreviewPlayer::fallingBehindChanged, this, &VideoBackgroundPlayer::fallingBehindChanged);
}

VideoBackgroundFrame PreviewVideoBackgroundPlayer::currentFrame() const {
    const auto frame = player_.currentFrame();
    if (!frame || frame->isEmpty()) return {};
    // Both are packed BGRA premultiplied rows, top row first; the frame is
    // never modified once published, so the pixels are shared, not copied.
    const auto* pixels = frame->pixels.data();
    return {frame, pixels, frame->width, frame->height};
}

void PreviewVideoBackgroundPlayer::setPositionUpdatesPerSecond(double updates) {
    if (updates > 0) player_.setPositionIntervalMilliseconds(static_cast<int>(std::lround(1000.0 / updates)));
}

}  // namespace pacemark
