// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopPlatform.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QTreeView>
#include <QMessageBox>
#include <QPushButton>
#include <QPalette>
#include <QStyleFactory>
#include <QUrl>

#include "WindowStyle.h"

namespace pacemark {

std::optional<std::filesystem::path> DesktopPlatform::chooseSaveFile(const SaveDialogRequest& request) {
    const QString extension = QString::fromStdString(request.fileExtension);
    QFileDialog dialog(window_, QString::fromStdString(request.title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("%1 (*.%2)").arg(QString::fromStdString(request.filterName), extension));
    dialog.setDefaultSuffix(extension);
    dialog.selectFile(QString::fromStdString(request.suggestedName));
    if (!request.canCreateFolders) dialog.setOption(QFileDialog::ReadOnly);
    fitFileDialogColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().first().toStdString());
}

bool DesktopPlatform::revealInFileManager(const std::filesystem::path& file) {
    // The freedesktop file-manager interface selects the file in its folder;
    // without a session bus or a file manager serving it, the folder opens.
    const QString uri = QUrl::fromLocalFile(QString::fromStdString(file.string())).toString();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{uri} << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ReplyMessage) return true;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.parent_path().string())));
}

bool DesktopPlatform::confirmReplacingFile(const std::filesystem::path& file) {
    QMessageBox question(QMessageBox::Question, windowTitleText(),
                         QStringLiteral("Файл «%1» уже есть. Заменить его?")
                             .arg(QString::fromStdString(file.filename().string())),
                         QMessageBox::NoButton, window_);
    auto* replace = question.addButton(QStringLiteral("Заменить"), QMessageBox::DestructiveRole);
    question.setDefaultButton(question.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole));
    question.exec();
    return question.clickedButton() == replace;
}

std::optional<std::filesystem::path> DesktopPlatform::chooseOpenFile(const OpenDialogRequest& request) {
    QFileDialog dialog(window_, QString::fromStdString(request.title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("%1 (*.%2)")
                             .arg(QString::fromStdString(request.filterName), QString::fromStdString(request.fileExtension)));
    fitFileDialogColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().first().toStdString());
}

std::optional<std::filesystem::path> DesktopPlatform::chooseFolder(const std::string& title) {
    QFileDialog dialog(window_, QString::fromStdString(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    fitFileDialogColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().first().toStdString());
}

AppModelPlatform::UnsavedLayoutChoice DesktopPlatform::askAboutUnsavedLayout() {
    QMessageBox question(QMessageBox::Question, windowTitleText(),
                         QStringLiteral("Макет изменён. Сохранить изменения?"), QMessageBox::NoButton, window_);
    auto* save = question.addButton(QStringLiteral("Сохранить макет…"), QMessageBox::AcceptRole);
    auto* discard = question.addButton(QStringLiteral("Не сохранять"), QMessageBox::DestructiveRole);
    question.setDefaultButton(save);
    question.setEscapeButton(question.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole));
    question.exec();
    if (question.clickedButton() == save) return UnsavedLayoutChoice::save;
    if (question.clickedButton() == discard) return UnsavedLayoutChoice::discard;
    return UnsavedLayoutChoice::cancel;
}

namespace {

// The file dialog's texts the installed qtbase translation does not carry.
class FileDialogTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* = nullptr, int = -1) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0 && qstrcmp(context, "QFileSystemModel") != 0) {
            return {};
        }
        static const std::pair<const char*, const char*> texts[] = {
            {"Folder", "Папка"}, {"File", "Файл"}, {"%1 File", "Файл %1"}, {"Drive", "Диск"}, {"File Folder", "Папка"},
            {"Alias", "Ссылка"}, {"Shortcut", "Ярлык"}, {"Unknown", "Неизвестно"}};
        for (const auto& [english, russian] : texts) {
            if (qstrcmp(sourceText, english) == 0) return QString::fromUtf8(russian);
        }
        return {};
    }
};

}  // namespace

void installRussianTexts() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    // Kept for the life of the application, like the application object.
    static QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTranslator);
    }
    // Installed last, so asked first; it answers only its own few texts.
    static FileDialogTranslator fileDialogTranslator;
    QApplication::installTranslator(&fileDialogTranslator);
}

void fitFileDialogColumns(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The detail view exists once the dialog is built; name, size, kind, date.
    for (auto* view : dialog.findChildren<QTreeView*>()) {
        view->header()->setMinimumSectionSize(60);
        view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < view->header()->count(); ++column) {
            view->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
        }
    }
    dialog.resize(std::max(dialog.width(), 820), std::max(dialog.height(), 520));
}

QString chooseFileToOpen(QWidget* parent, const QString& title, const QString& filter) {
    const QStringList files = chooseFilesToOpen(parent, title, filter, false);
    return files.isEmpty() ? QString() : files.first();
}

QStringList chooseFilesToOpen(QWidget* parent, const QString& title, const QString& filter, bool several) {
    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(several ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    fitFileDialogColumns(dialog);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

void applyPacemarkStyle() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette;
    const QColor window(0x17, 0x19, 0x1D);
    const QColor base(0x10, 0x12, 0x15);
    const QColor text(0xE8, 0xEA, 0xED);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x25, 0x28, 0x2E));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Highlight, brandGreen());
    palette.setColor(QPalette::HighlightedText, Qt::black);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, QColor(0x6B, 0x70, 0x78));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x5C, 0x60, 0x68));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x5C, 0x60, 0x68));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x5C, 0x60, 0x68));
    QApplication::setPalette(palette);
    QString sheet = QStringLiteral(R"(
        QScrollArea#sidebar, QScrollArea#sidebar > QWidget > QWidget { background: #14161A; }
        QLabel#appTitle { font-size: 15px; font-weight: 700; letter-spacing: 1px; }
        QLabel#secondary { color: #8E939B; }
        QLabel#sectionTitle { font-weight: 700; font-size: 13px; }
        QLabel#metricValue { font-weight: 600; }
        QFrame#divider { color: #2A2E35; }
        QPushButton { padding: 6px 10px; border-radius: 7px; border: 1px solid #30343B; background: #23262C; }
        QPushButton:hover { background: #2C3038; }
        QPushButton:disabled { color: #5C6068; background: #1B1D21; border-color: #25282D; }
        QPushButton#prominent { background: #2FBF53; color: #06140A; border: none; font-weight: 700; }
        QPushButton#prominent:disabled { background: #1F3A27; color: #4C6B55; }
        QPushButton#destructive { color: #FF6B60; border-color: #5A2A27; }
        QComboBox QAbstractItemView { background: #101215; color: #E8EAED; selection-background-color: BRAND; selection-color: #06140A; outline: none; }
        QComboBox QAbstractItemView::item:selected, QComboBox QAbstractItemView::item:hover { background: BRAND; color: #06140A; }
        QComboBox, QLineEdit, QListWidget { border: 1px solid #30343B; border-radius: 6px; padding: 3px 6px; background: #101215; }
        QProgressBar { border: none; border-radius: 3px; background: #2A2E35; max-height: 6px; }
        QProgressBar::chunk { background: BRAND; border-radius: 3px; }
        QSlider::groove:horizontal { height: 4px; background: #2A2E35; border-radius: 2px; }
        QSlider::sub-page:horizontal { background: BRAND; border-radius: 2px; }
        QSlider::handle:horizontal { width: 14px; margin: -6px 0; border-radius: 7px; background: #E8EAED; }
        QSplitter::handle { background: #0B0C0E; width: 1px; }
    )");
    qApp->setStyleSheet(sheet.replace(QStringLiteral("BRAND"), brandGreen().name()));
}

}  // namespace pacemark
