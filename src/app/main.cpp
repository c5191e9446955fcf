#include "app/QtUserDialogs.h"
#include "app/frmStep1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marrowgate"));
    QApplication::setApplicationVersion(QStringLiteral(MARROWGATE_DISPLAY_VERSION));

    marrowgate::QtUserDialogs dialogs;
    marrowgate::frmStep1 window(dialogs);
    QObject::connect(&window, &marrowgate::frmStep1::Unloaded, &app, &QCoreApplication::quit);
    window.show();
    return QApplication::exec();
}
