#include "app/TargetChoice.h"

#include <QComboBox>

namespace marrowgate {

namespace {

struct TargetItem {
    OutputTarget::Kind kind;
    const char* title;
    const char* detail; // the item's tool tip
};

constexpr TargetItem kItems[] = {
    {OutputTarget::Kind::Entourage, "Entourage",
     "CR LF line ends; the output mirrors the whole source path; Name.mbox files"},
    {OutputTarget::Kind::Thunderbird, "Thunderbird",
     "LF line ends; folders from the store as Thunderbird's Local Folders keep them"},
    {OutputTarget::Kind::AppleMail, "Apple Mail",
     "LF line ends; Name.mbox folders as File > Import Mailboxes reads them"},
    {OutputTarget::Kind::Mboxrd, "mboxrd",
     "LF line ends; plain RFC 4155 Name.mbox files for any other mail program"},
};

} // namespace

QComboBox* NewTargetChoice(QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QStringLiteral("cboTarget"));
    for (const TargetItem& item : kItems) {
        const OutputTarget target(item.kind);
        box->addItem(QString::fromLatin1(item.title),
                     QString::fromLatin1(target.Name().data(), target.Name().size()));
        box->setItemData(box->count() - 1, QString::fromLatin1(item.detail), Qt::ToolTipRole);
    }
    box->setCurrentIndex(0);
    return box;
}

OutputTarget ChosenTarget(const QComboBox* box) {
    return OutputTarget::Named(box->currentData().toString().toStdString())
        .value_or(OutputTarget());
}

void ChooseTarget(QComboBox* box, const QString& name) {
    if (const int index = box->findData(name); index >= 0) {
        box->setCurrentIndex(index);
    }
}

QString TargetTitle(const OutputTarget& target) {
    for (const TargetItem& item : kItems) {
        if (item.kind == target.GetKind()) {
            return QString::fromLatin1(item.title);
        }
    }
    return QString::fromLatin1(target.Name().data(), target.Name().size());
}

} // namespace marrowgate
