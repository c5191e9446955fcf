#include "app/QtUserDialogs.h"
#include "app/TerminationSignals.h"
#include "app/frmStep1.h"

#include "Version.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

// Without a desktop session Qt finds no display, prints that reinstalling
// the program may help and aborts. On X11 and Wayland systems both variables
// are missing then, unless another platform (offscreen) is asked for.
bool DesktopSessionMissing(int argc, char* argv[]) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            return false;
    }
    return qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
           qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    (void)argc;
    (void)argv;
    return false;
#endif
}

} // namespace

int main(int argc, char* argv[]) {
    if (DesktopSessionMissing(argc, argv)) {
        std::fputs("marrowgate: the window needs a desktop session, and there is none here "
                   "(neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "Start it from the desktop, or convert on the command line with "
                   "marrowgate-convert (marrowgate-convert --help).\n",
                   stderr);
        return 1;
    }
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
