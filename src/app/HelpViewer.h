#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QTextBrowser;

namespace marrowgate {

// The help manual in a window of its own, for a desktop that has no browser
// to open it with: Qt renders the shipped HTML pages, and links between them
// are followed in place. It opens over its owner and within the screen, and
// Escape closes it. Deletes itself when closed.
class HelpViewer : public QWidget {
    Q_OBJECT

public:
    HelpViewer(const QString& page, QWidget* owner);

    // The help manual of the program in programFolder: beside it in the
    // build folder, under the data folder of its prefix once installed. The
    // installed place when neither holds it, so that the browser names the
    // file that is missing.
    static QString ManualPath(const QString& programFolder);

    // A line above the manual that says `text`, then `path`, with a button
    // that copies the path.
    void ShowNotice(const QString& text, const QString& path);

    QTextBrowser* Browser() const { return browser_; }
    QLabel* Notice() const { return notice_; }
    QPushButton* CopyButton() const { return copy_; }

private:
    void PlaceOverOwner(QWidget* owner);

    QLabel* notice_;
    QPushButton* copy_;
    QTextBrowser* browser_;
    QString path_;
};

} // namespace marrowgate
