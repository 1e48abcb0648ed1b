#pragma once

#include <filesystem>

#include "AppModelServices.h"
#include "VideoPreviewPlayer.h"

// The background-video services of the application, over the FFmpeg movie
// reader and the preview player. Kept apart from AppModel so that the model
// itself needs no video library and tests can hand it fakes.
namespace pacemark {

// The model's player interface over a VideoPreviewPlayer. The preview view
// reaches the decoded frames through previewPlayer().
class PreviewVideoBackgroundPlayer : public VideoBackgroundPlayer {
    Q_OBJECT

public:
    // Starts opening the file in the background; paused at 0, muted (the
    // preview player never decodes audio).
    explicit PreviewVideoBackgroundPlayer(const std::filesystem::path& path);

    void play() override { player_.play(); }
    void pause() override { player_.pause(); }
    void seekToStart() override { player_.seekToZero(); }

    VideoPreviewPlayer& previewPlayer() { return player_; }

private:
    VideoPreviewPlayer player_;
};

// Fills in readVideoStillFrame, readVideoMetadata and makeVideoPlayer.
void addVideoBackgroundServices(AppModelServices& services);

}  // namespace pacemark
