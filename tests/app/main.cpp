#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

#ifdef MARROWGATE_SCALED_SCREEN
// A laptop's 1366 x 768 screen at twice the scale: 683 x 384 to the window.
// The offscreen platform reads its screens from a file named in the
// platform's options, which are separated by colons: the name is relative
// (a drive's colon would end it), and Qt is started in the file's folder.
void UseScaledScreen(const QTemporaryDir& folder) {
    QFile file(folder.filePath(QStringLiteral("screen.json")));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(R"({"screens": [{"name": "Laptop", "x": 0, "y": 0, "width": 1366,
                   "height": 768, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=screen.json");
    qputenv("QT_SCALE_FACTOR", "2");
}
#endif

} // namespace

int main(int argc, char* argv[]) {
    // The window's settings go to a folder of the run's own, never to the
    // user's: each test starts from none (WindowTest).
    QTemporaryDir settings;
#ifdef MARROWGATE_SCALED_SCREEN
    UseScaledScreen(settings);
#endif
    // Also when the test list is read at build time, outside ctest.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
#ifdef MARROWGATE_SCALED_SCREEN
    const QString started = QDir::currentPath();
    QDir::setCurrent(settings.path());
#endif
    QApplication app(argc, argv);
#ifdef MARROWGATE_SCALED_SCREEN
    QDir::setCurrent(started);
#endif
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setOrganizationName(QStringLiteral("marrowgate-tests"));
    QApplication::setApplicationName(QStringLiteral("marrowgate-window-tests"));
    // In a file, as the registry (Windows' native store) is shared by
    // tests run side by side.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    return RUN_ALL_TESTS();
}
