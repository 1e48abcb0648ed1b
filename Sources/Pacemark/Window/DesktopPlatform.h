// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFileDialog>
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
    bool revealInFileManager(const std::filesystem::path& file) override;
    // "Файл «…» уже есть. Заменить его?" with "Заменить" / "Отмена".
    bool confirmReplacingFile(const std::filesystem::path& file) override;
    std::optional<std::filesystem::path> chooseOpenFile(const OpenDialogRequest& request) override;
    std::optional<std::filesystem::path> chooseFolder(const std::string& title) override;
    // "Макет изменён. Сохранить?" with "Сохранить макет…" / "Не сохранять" / "Отмена".
    UnsavedLayoutChoice askAboutUnsavedLayout() override;

private:
    QWidget* window_ = nullptr;
};

// Dark look of the whole application (Fusion style, palette, style sheet).
void applyPacemarkStyle();

// Qt's texts in Russian: the qtbase translation where it is installed, the
// few texts of the file dialog it lacks ("Folder" and the other kinds of
// file), and Russian dates and numbers. Call once, after the application
// object exists.
void installRussianTexts();

// An open or save dialog (Qt's own, on every desktop alike) whose columns
// fit their contents, so the size column is not clipped.
void fitFileDialogColumns(QFileDialog& dialog);
// "Открыть" dialog for one file; empty when cancelled.
QString chooseFileToOpen(QWidget* parent, const QString& title, const QString& filter);
// The same for one or, when `several`, any number of files; empty when cancelled.
QStringList chooseFilesToOpen(QWidget* parent, const QString& title, const QString& filter, bool several);

}  // namespace pacemark
