#include "AppModelVideoServices.h"

#include <utility>

#include "FFmpegMovieReader.h"
#include "VideoSynchronization.h"

namespace pacemark {

PreviewVideoBackgroundPlayer::PreviewVideoBackgroundPlayer(const std::filesystem::path& path)
    : player_(path, nullptr, VideoSynchronization::stillFrameMaximumWidth,
              VideoSynchronization::stillFrameMaximumHeight) {
    connect(&player_, &VideoPreviewPlayer::positionChanged, this, &VideoBackgroundPlayer::positionChanged);
    connect(&player_, &VideoPreviewPlayer::playbackEnded, this, &VideoBackgroundPlayer::playbackEnded);
    connect(&player_, &VideoPreviewPlayer::playbackFailed, this, &VideoBackgroundPlayer::playbackFailed);
}

void addVideoBackgroundServices(AppModelServices& services) {
    services.readVideoStillFrame = [](const std::filesystem::path& url, std::stop_token stop) {
        FFmpegMovieReader reader(url, std::move(stop));
        const double seconds = VideoSynchronization::stillFrameTimeSeconds(reader.durationSeconds());
        MovieImage image = reader.stillFrame(seconds, VideoSynchronization::stillFrameMaximumWidth,
                                             VideoSynchronization::stillFrameMaximumHeight);
        // Both are packed BGRA premultiplied rows, top row first.
        return VideoBackgroundImage{image.width, image.height, std::move(image.pixels)};
    };
    services.readVideoMetadata = [](const std::filesystem::path& url, std::stop_token stop) {
        const FFmpegMovieReader reader(url, std::move(stop));
        std::vector<VideoMetadataItem> items;
        for (auto& item : reader.metadataItems()) {
            items.push_back({std::move(item.identifier), std::move(item.key), std::move(item.stringValue)});
        }
        return items;
    };
    services.makeVideoPlayer = [](const std::filesystem::path& url) -> std::shared_ptr<VideoBackgroundPlayer> {
        return std::make_shared<PreviewVideoBackgroundPlayer>(url);
    };
}

}  // namespace pacemark
