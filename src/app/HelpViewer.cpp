#include "app/HelpViewer.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>

#include <algorithm>

namespace marrowgate {

HelpViewer::HelpViewer(const QString& page, QWidget* owner)
    : QWidget(owner, Qt::Window), notice_(new QLabel(this)),
      copy_(new QPushButton(QStringLiteral("&Copy Path"), this)), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Marrowgate Help Manual"));
    notice_->setObjectName(QStringLiteral("lblNotice"));
    notice_->setWordWrap(true);
    notice_->setTextFormat(Qt::PlainText);
    notice_->setAccessibleDescription(QStringLiteral("Why the manual is shown here, and where "
                                                     "it is"));
    copy_->setObjectName(QStringLiteral("cmdCopyPath"));
    copy_->setAutoDefault(true);
    copy_->setAccessibleDescription(QStringLiteral("Copies the manual's path to the clipboard"));
    browser_->setObjectName(QStringLiteral("txtManual"));
    browser_->setAccessibleName(QStringLiteral("Help manual"));
    browser_->setAccessibleDescription(QStringLiteral("The pages of the help manual"));
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(notice_, 0, 0);
    layout->addWidget(copy_, 0, 1, Qt::AlignTop);
    layout->addWidget(browser_, 1, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    copy_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    notice_->hide();
    copy_->hide();
    connect(copy_, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(path_); });
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
    // Addresses outside the manual go to the desktop, which may well refuse
    // them; pages of the manual open here.
    browser_->setOpenExternalLinks(true);
    browser_->setSource(QUrl::fromLocalFile(page));
    PlaceOverOwner(owner);
}

QString HelpViewer::ManualPath(const QString& programFolder) {
    const QDir folder(programFolder);
    const QString page = QStringLiteral("/entourage/index.html");
    const QString installed =
        QDir::cleanPath(folder.filePath(QStringLiteral(MARROWGATE_HELP_FROM_PROGRAM) + page));
    for (const QString& candidate : {folder.filePath(QStringLiteral("help") + page), installed}) {
        if (QFileInfo::exists(candidate)) {
            return QDir::toNativeSeparators(candidate);
        }
    }
    return QDir::toNativeSeparators(installed);
}

// A label breaks lines at spaces only; a long path would widen the window
// past a small screen. It may break after each separator (the button, not
// the label, is there to copy it).
void HelpViewer::ShowNotice(const QString& text, const QString& path) {
    path_ = path;
    QString breakable = path;
    for (const QChar separator : {QLatin1Char('/'), QLatin1Char('\\')}) {
        breakable.replace(separator, QString(separator) + QChar(0x200B));
    }
    notice_->setText(text + QLatin1Char('\n') + breakable);
    notice_->setContentsMargins(8, 6, 8, 6);
    layout()->setContentsMargins(0, 0, 6, 0);
    notice_->show();
    copy_->show();
}

// Centred on the window that opened it, as large as the manual reads well,
// and within the screen whatever its scale.
void HelpViewer::PlaceOverOwner(QWidget* owner) {
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const QSize size = QSize(720, 600).boundedTo(room.size() - QSize(16, 48));
    QRect frame(QPoint(), size);
    frame.moveCenter(owner != nullptr ? owner->frameGeometry().center() : room.center());
    frame.moveTop(std::max(frame.top(), room.top() + 40));
    frame.moveLeft(std::clamp(frame.left(), room.left(), room.right() - size.width()));
    frame.moveTop(std::min(frame.top(), room.bottom() - size.height()));
    setGeometry(frame);
}

} // namespace marrowgate
