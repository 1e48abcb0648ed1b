#include "DesktopPlatform.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileDialog>
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
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().first().toStdString());
}

void DesktopPlatform::revealInFileManager(const std::filesystem::path& file) {
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
        if (reply.type() == QDBusMessage::ReplyMessage) return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.parent_path().string())));
}

std::optional<std::filesystem::path> DesktopPlatform::chooseOpenFile(const OpenDialogRequest& request) {
    QFileDialog dialog(window_, QString::fromStdString(request.title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("%1 (*.%2)")
                             .arg(QString::fromStdString(request.filterName), QString::fromStdString(request.fileExtension)));
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
