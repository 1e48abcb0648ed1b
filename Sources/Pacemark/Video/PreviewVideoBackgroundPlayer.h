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
    // Starts opening the file in the background; paused at 0, muted (the
    // preview player never decodes audio), frames fitted into the still
    // frame's size.
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
