// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

namespace pacemark {

// A decoded picture of the player: BGRA premultiplied, rows packed
// (bytesPerRow == 4 * width), row 0 at the top. `owner` keeps the pixels
// alive and unchanged for as long as it is held.
struct VideoBackgroundFrame {
    std::shared_ptr<const void> owner;
    const std::uint8_t* pixels = nullptr;
    std::int64_t width = 0;
    std::int64_t height = 0;

    bool isEmpty() const { return !owner || !pixels || width <= 0 || height <= 0; }
};

// The muted player under the editor preview. Owned by the model through a
// shared pointer and used only on the main thread, where its signals are
// emitted too. It starts paused at 0 and never loops: at the end it stops and
// reports playbackEnded().
class VideoBackgroundPlayer : public QObject {
    Q_OBJECT

public:
    ~VideoBackgroundPlayer() override = default;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void seekToStart() = 0;
    // The newest frame on the playback clock; empty before the first one is
    // decoded (and always for a player that shows no pictures).
    virtual VideoBackgroundFrame currentFrame() const { return {}; }
    // How often positionChanged is emitted while playing: 10 times a second
    // unless asked for more (smooth motion plays at a display's rate). A
    // player with a fixed rate may ignore it.
    virtual void setPositionUpdatesPerSecond(double) {}

signals:
    // The playback position in seconds, every 0.1 s (or as set) while playing
    // and after a pause or a seek.
    void positionChanged(double seconds);
    // Playback reached the end of the video.
    void playbackEnded();
    // The video cannot be played; the description is Russian text for the user.
    void playbackFailed(const QString& description);
    // currentFrame() has a newer picture (coalesced: several frames may
    // arrive behind one signal).
    void frameChanged();
    // Decoding fell behind the clock (true) and frames are shown at a lower
    // rate, or it keeps up again (false).
    void fallingBehindChanged(bool behind);
};

}  // namespace pacemark
