#pragma once

class QComboBox;
class QFrame;
class QLabel;
class QPalette;
class QProgressBar;
class QPushButton;
class QRect;
class QString;
class QTableView;
class QWidget;

namespace marrowgate {

class BannerLabel;
class EdgeLayout;
class MessageListModel;
class OutputTarget;

// The controls of the program's window as designed: each at its place at the
// designed size, under its object name, with its first text and in tab order
// (left to right, top to bottom). The form owns them; this only points at
// them and knows how each follows the form's edges as it grows.
class WindowControls {
public:
    // Creates every control on `form`; the message grid shows `list`.
    WindowControls(QWidget& form, MessageListModel& list);

    // Records in `layout` how each control follows the form's edges: the list
    // and the full-width lines grow with it, the controls below the list move
    // down, the conversion button stays centred, and Exit and the mail
    // program keep to the right edge.
    void FollowEdges(EdgeLayout& layout) const;

    // The bottom band's outline: the designed light grey, or on a dark
    // palette a grey between its base and text.
    void ApplyPaletteColours(const QPalette& palette);

    // "N files" under the list.
    void ShowCount(int rows);

    // The conversion button and the banner name the mail program chosen.
    void ShowTarget(const OutputTarget& target);

    // The controls bear their written names, odd ones included: the
    // conversion button is CmdConvert2PDF though it writes mbox mailboxes,
    // and LblProgessCurrent is spelt so.
    BannerLabel* Image2 = nullptr;
    QPushButton* CmdAddFolder = nullptr;
    QPushButton* cmdClear1 = nullptr;
    QLabel* lblCount1 = nullptr;
    QTableView* grdFiles1 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* LblProgessCurrent = nullptr;
    QLabel* lblProgressFigures = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblTarget = nullptr;
    QComboBox* cboTarget = nullptr;
    QPushButton* CmdConvert2PDF = nullptr;
    QFrame* Shape1 = nullptr;
    QWidget* Picture3 = nullptr;
    QPushButton* CmdHelp = nullptr;
    QPushButton* cmdEnd = nullptr;

private:
    void CreateBottomBand(QWidget& form);
};

} // namespace marrowgate
