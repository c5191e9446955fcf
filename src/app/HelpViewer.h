#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace marrowgate {

// The help manual in a window of its own, for a desktop that has no browser
// to open it with: Qt renders the shipped HTML pages, and links between them
// are followed in place. Deletes itself when closed.
class HelpViewer : public QWidget {
    Q_OBJECT

public:
    HelpViewer(const QString& page, QWidget* owner);

    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};

} // namespace marrowgate
