#pragma once

#include "app/SummaryReport.h"

#include <QDialog>

#include <functional>

class QPlainTextEdit;
class QPushButton;
class QTextEdit;

namespace marrowgate {

// The box that ends a run. However long the report, it keeps within the
// screen with its buttons on it: the closing words above, the details below
// in an area of their own that scrolls, one line per entry, selectable and
// copyable. "Save Report..." hands the report on and leaves the box open;
// "Open Mailbox Folder" and OK close it.
class ReportDialog : public QDialog {
    Q_OBJECT

public:
    ReportDialog(const SummaryReport& report, std::function<void(QWidget*)> saveReport,
                 QWidget* owner);

    // Whether the box was left with "Open Mailbox Folder".
    bool OpenFolderChosen() const { return openFolder_; }

    QTextEdit* Text() const { return text_; }
    QPlainTextEdit* Details() const { return details_; }

private:
    QWidget* NewButtons(bool inFolder);
    void FitText(int width = -1);
    void FitToScreen();

    std::function<void(QWidget*)> saveReport_;
    QTextEdit* text_;
    QPlainTextEdit* details_;
    bool openFolder_ = false;
};

} // namespace marrowgate
