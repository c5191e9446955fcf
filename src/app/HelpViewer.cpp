#include "app/HelpViewer.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace marrowgate {

HelpViewer::HelpViewer(const QString& page, QWidget* owner)
    : QWidget(owner, Qt::Window), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Marrowgate Help Manual"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    // Addresses outside the manual go to the desktop, which may well refuse
    // them; pages of the manual open here.
    browser_->setOpenExternalLinks(true);
    browser_->setSource(QUrl::fromLocalFile(page));
    resize(720, 600);
}

} // namespace marrowgate
