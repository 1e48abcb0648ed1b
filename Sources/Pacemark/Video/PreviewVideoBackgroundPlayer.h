// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

#include "VideoBackgroundPlayer.h"
#include "VideoPreviewPlayer.h"

namespace pacemark {

// The model's player interface over a VideoPreviewPlayer (FFmpeg decoding on
// a worker thread).
class PreviewVideoBackgroundPlayer : public VideoBackgroundPlayer {
    Q_OBJECT

public:
    // Playing frames are converted no larger than this: the preview canvas is
    // narrower than 1440 points at any window size the sidebar leaves, and
    // converting a 4K frame to 1080p instead costs the rate a slow decoder has.
    static constexpr std::int64_t playbackMaximumWidth = 1280;
    static constexpr std::int64_t playbackMaximumHeight = 720;

    // Starts opening the file in the background; paused at 0, muted (the
    // preview player never decodes audio), frames fitted into the playback
    // size.
    explicit PreviewVideoBackgroundPlayer(const std::filesystem::path& file);

    void play() override { player_.play(); }
    void pause() override { player_.pause(); }
    void seekToStart() override { player_.seekToZero(); }
    VideoBackgroundFrame currentFrame() const override;
    void setPositionUpdatesPerSecond(double updates) override;

private:
    VideoPreviewPlayer player_;
};

}  // namespace pacemark
