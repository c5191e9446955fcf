#include "app/MailboxesFolder.h"

#include "marrowgate/ConversionError.h"
#include "marrowgate/MessageRows.h"
#include "marrowgate/NativePaths.h"
#include "marrowgate/PathDerivation.h"

#include <QDir>

#include <optional>
#include <string>

namespace marrowgate {

namespace {

// The longest folder (ending with a separator) that both `a` and `b` begin with.
std::string CommonFolder(const std::string& a, const std::string& b) {
    std::size_t same = 0;
    while (same < a.size() && same < b.size() && a[same] == b[same]) {
        ++same;
    }
    if (same == 0) {
        return {};
    }
    const std::size_t end = a.find_last_of(Separator(NativeSyntax()), same - 1);
    return end == std::string::npos ? std::string() : a.substr(0, end + 1);
}

QString WithoutFinalSeparator(QString path) {
    while (path.size() > 1 && path.endsWith(QDir::separator()) && !QDir(path).isRoot()) {
        path.chop(1);
    }
    return path;
}

} // namespace

QString MailboxesFolder(const MessageRows& rows, const QString& outputRoot) {
    std::optional<std::string> common;
    for (int row = 0; row < rows.RowCount(); ++row) {
        const std::string source = SourcePathOfRow(rows.RowText(row));
        if (source.empty()) {
            continue;
        }
        common = common ? CommonFolder(*common, source) : DirectoryPart(source, NativeSyntax());
        if (common->empty()) {
            break;
        }
    }
    if (!common || common->empty()) {
        return WithoutFinalSeparator(outputRoot);
    }
    try {
        // Any message file of the common folder mirrors to the folder sought.
        const std::string mirrored =
            MirroredFolder(*common + "message.eml", NormaliseOutputRoot(outputRoot.toStdString()));
        return WithoutFinalSeparator(QDir::toNativeSeparators(QString::fromStdString(mirrored)));
    } catch (const ConversionError&) {
        return WithoutFinalSeparator(outputRoot);
    }
}

} // namespace marrowgate
