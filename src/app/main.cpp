#include "app/QtUserDialogs.h"
#include "app/TerminationSignals.h"
#include "app/frmStep1.h"

#include "Version.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Marrowgate"));
    QApplication::setApplicationName(QStringLiteral("Marrowgate"));
    QApplication::setApplicationVersion(QStringLiteral(MARROWGATE_DISPLAY_VERSION));

    marrowgate::QtUserDialogs dialogs;
    marrowgate::frmStep1 window(dialogs);
    QObject::connect(&window, &marrowgate::frmStep1::Unloaded, &app, &QCoreApplication::quit);
    window.show();
    // Once the window is up: a conversion that did not finish last time.
    QTimer::singleShot(0, &window, &marrowgate::frmStep1::OfferToFinish);
    // Taken once the window is up, so that a caught SIGTERM means it started.
    marrowgate::TerminationSignals termination;
    QObject::connect(&termination, &marrowgate::TerminationSignals::Received, &window,
                     &marrowgate::frmStep1::CloseWithoutAsking);
    return QApplication::exec();
}
