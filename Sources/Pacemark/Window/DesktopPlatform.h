#pragma once

#include <QWidget>

#include "AppModelPlatform.h"

namespace pacemark {

// The model's save dialog and file-manager reveal on the desktop.
class DesktopPlatform final : public AppModelPlatform {
public:
    // Dialogs are parented to `window` once it is set.
    void setWindow(QWidget* window) { window_ = window; }

    std::optional<std::filesystem::path> chooseSaveFile(const SaveDialogRequest& request) override;
    // Desktop file managers cannot be asked portably to select one file, so
    // the folder holding it is opened.
    void revealInFileManager(const std::filesystem::path& file) override;

private:
    QWidget* window_ = nullptr;
};

// Dark look of the whole application (Fusion style, palette, style sheet).
void applyPacemarkStyle();

}  // namespace pacemark
