#include "app/TargetChoice.h"

#include <QComboBox>

namespace marrowgate {

namespace {

struct TargetItem {
    OutputTarget::Kind kind;
    const char* title;
    const char* reader; // the program, as the window's texts name it
    const char* detail; // the item's tool tip
};

constexpr TargetItem kItems[] = {
    {OutputTarget::Kind::Entourage, "Entourage", "Entourage",
     "CR LF line ends; the output mirrors the whole source path; Name.mbox files"},
    {OutputTarget::Kind::Thunderbird, "Thunderbird", "Thunderbird",
     "LF line ends; folders from the store as Thunderbird's Local Folders keep them"},
    {OutputTarget::Kind::AppleMail, "Apple Mail", "Apple Mail",
     "LF line ends; Name.mbox folders as File > Import Mailboxes reads them"},
    {OutputTarget::Kind::Mboxrd, "mboxrd", "any mbox reader",
     "LF line ends; plain RFC 4155 Name.mbox files for any other mail program"},
    {OutputTarget::Kind::Imap, "IMAP account...", "the IMAP account",
     "Uploads the messages straight into a mail account: Gmail, Outlook.com, a company "
     "server"},
};

const TargetItem* ItemOf(const OutputTarget& target) {
    for (const TargetItem& item : kItems) {
        if (item.kind == target.GetKind()) {
            return &item;
        }
    }
    return nullptr;
}

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
    const TargetItem* item = ItemOf(target);
    return item != nullptr ? QString::fromLatin1(item->title)
                           : QString::fromLatin1(target.Name().data(), target.Name().size());
}

QString TargetReader(const OutputTarget& target) {
    const TargetItem* item = ItemOf(target);
    return item != nullptr ? QString::fromLatin1(item->reader) : TargetTitle(target);
}

} // namespace marrowgate
