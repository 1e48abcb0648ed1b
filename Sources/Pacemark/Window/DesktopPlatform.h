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
    // Selects the file in the desktop's file manager, or opens its folder
    // where no file manager offers selecting.
    void revealInFileManager(const std::filesystem::path& file) override;
    std::optional<std::filesystem::path> chooseOpenFile(const OpenDialogRequest& request) override;
    // "Макет изменён. Сохранить?" with "Сохранить макет…" / "Не сохранять" / "Отмена".
    UnsavedLayoutChoice askAboutUnsavedLayout() override;

private:
    QWidget* window_ = nullptr;
};

// Dark look of the whole application (Fusion style, palette, style sheet).
void applyPacemarkStyle();

}  // namespace pacemark
