#include "app/WindowSettings.h"

#include <QSettings>

namespace marrowgate {

namespace {

const QString kSize = QStringLiteral("window/size");
const QString kSourceFolder = QStringLiteral("folders/source");
const QString kOutputFolder = QStringLiteral("folders/output");
const QString kTarget = QStringLiteral("conversion/target");
const QString kDeclined = QStringLiteral("conversion/declinedToFinish");

} // namespace

QSize WindowSettings::Size() {
    return QSettings().value(kSize).toSize();
}

void WindowSettings::SetSize(const QSize& size) {
    QSettings().setValue(kSize, size);
}

QString WindowSettings::SourceFolder() {
    return QSettings().value(kSourceFolder).toString();
}

void WindowSettings::SetSourceFolder(const QString& folder) {
    QSettings().setValue(kSourceFolder, folder);
}

QString WindowSettings::OutputFolder() {
    return QSettings().value(kOutputFolder).toString();
}

void WindowSettings::SetOutputFolder(const QString& folder) {
    QSettings().setValue(kOutputFolder, folder);
}

QString WindowSettings::Target() {
    return QSettings().value(kTarget).toString();
}

void WindowSettings::SetTarget(const QString& name) {
    QSettings().setValue(kTarget, name);
}

QString WindowSettings::DeclinedToFinish() {
    return QSettings().value(kDeclined).toString();
}

void WindowSettings::SetDeclinedToFinish(const QString& key) {
    QSettings().setValue(kDeclined, key);
}

} // namespace marrowgate
