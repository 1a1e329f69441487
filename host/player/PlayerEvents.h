#pragma once
// What a running Player tells its face. Every call comes on the main thread, in the order the
// plugins' threads sent the news: the face may touch its own objects and read the library's items,
// but hands every download manager call to Player::submit().

#include <QString>
#include <QUrl>

#include <cstdint>

namespace Lumora::Host {

class PlayerEvents {
public:
    // An item's attributes changed (progress, size, title, ...). The ids of other library entries
    // come this way too, so an id the face does not know is no new download.
    virtual void itemChanged(uint64_t id) {}
    // A download's status was recorded.
    virtual void statusChanged(uint64_t id) {}
    // A download is about to leave the queue.
    virtual void itemRemoved(uint64_t id) {}
    // The queue's order or content changed.
    virtual void listChanged() {}
    // The manager-wide pause changed. The shutdown's own pause is not reported.
    virtual void pausedChanged(bool paused) {}
    // A download ended, Completed (its file in place and in the library) or Failed (its reason on
    // the item), after the ending's notice went out. Once per ending; a retried download ends again.
    virtual void downloadEnded(uint64_t id, int32_t status) {}

    // Playback of url was asked for; started tells whether the player program started.
    virtual void played(const QUrl &url, bool started, const QString &error) {}
    // The download manager's listener: a download cannot start for want of disk space, or failed.
    virtual void diskSpaceLow(const QString &itemName, const QString &targetPath, uint64_t requiredBytes,
                              uint64_t freeBytes) {}
    virtual void downloadFailed(const QUrl &fileUrl) {}
    // A message the plugins show the user (the host library's message box).
    virtual void messageShown(int icon, const QString &text, const QString &detail) {}

    // The orderly shutdown began: signalNumber is the signal that asked for it, 0 when the face did.
    virtual void stopping(int signalNumber) {}
    // The download manager is shut down; every event sent before that has been delivered.
    virtual void stopped() {}

protected:
    ~PlayerEvents() = default;
};

} // namespace Lumora::Host
