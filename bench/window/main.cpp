// marrowgate-window-bench convert STORE OUTPUT
//     Imports STORE with the store folder button, then converts it into OUTPUT
//     with the conversion button (dialogs answered by script) and prints
//     "window_convert_seconds <s>", the time of the conversion click alone,
//     and "window_first_message_seconds <s>", when the progress label first
//     showed a message done ("Message 1 (of ...)", or a later one should the
//     window first repaint after it).
// marrowgate-window-bench add-paths N
//     Adds N paths to the list, yielding as an import does, and prints the
//     total time, the time per path over the first and the last tenth, the
//     peak resident memory, and what the list costs per row beyond the bytes
//     of the path itself (the growth of resident memory over the adds).
// marrowgate-window-bench help FILE
//     Saves the help window, as it shows where there is no browser, as FILE.
// marrowgate-window-bench screenshot STORE FILE [OUTPUT [SUMMARY]]
//     Imports STORE (and converts it into OUTPUT when given) and saves the
//     window as a PNG picture, and the box that ends the run as SUMMARY. Runs
//     on the platform Qt picks (e.g. under Xvfb); with MARROWGATE_BENCH_DARK=1
//     in a dark palette, with MARROWGATE_BENCH_SIZE=WxH at that size, with
//     MARROWGATE_BENCH_TARGET=NAME for that mail program (as --target names
//     it), and with MARROWGATE_BENCH_FAILURES=skip or stop answering the
//     first failure with Skip All Failures or Stop.
#include "app/DarkPalette.h"
#include "app/HelpViewer.h"
#include "app/QtUserDialogs.h"
#include "app/ScriptedDialogs.h"
#include "app/ThrottledYield.h"
#include "app/frmStep1.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

using marrowgate::frmStep1;
using marrowgate::ScriptedDialogs;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: marrowgate-window-bench convert STORE OUTPUT\n"
                 "       marrowgate-window-bench add-paths N\n"
                 "       marrowgate-window-bench help FILE\n"
                 "       marrowgate-window-bench screenshot STORE FILE [OUTPUT [SUMMARY]]\n");
    return 2;
}

// Resident memory now, in bytes (Linux), or 0 where it cannot be read.
long long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long long pages = 0;
    long long resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

long long PeakResidentBytes() {
#ifdef _WIN32
    return 0; // built for Windows for its screenshots only
#else
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<long long>(usage.ru_maxrss) * 1024;
#endif
}

double Seconds(qint64 nanoseconds) {
    return static_cast<double>(nanoseconds) / 1e9;
}

// The last message box shown, or the empty text.
QString LastPrompt(const ScriptedDialogs& dialogs) {
    return dialogs.messages.empty() ? QString() : dialogs.messages.back().prompt;
}

bool Import(frmStep1& window, ScriptedDialogs& dialogs, const QString& store) {
    dialogs.folders.push_back(store);
    window.CmdAddFolder_Click();
    if (!LastPrompt(dialogs).endsWith(QStringLiteral(" Files Added to List."))) {
        std::fprintf(stderr, "import failed: %s\n", qPrintable(LastPrompt(dialogs)));
        return false;
    }
    return true;
}

// Converts the list into `output`; without `failuresAllowed` only a run in
// which everything went through counts.
bool Convert(frmStep1& window, ScriptedDialogs& dialogs, const QString& output,
             bool failuresAllowed = false) {
    dialogs.folders.push_back(output);
    window.CmdConvert2PDF_Click();
    if (dialogs.messages.empty() ||
        dialogs.messages.back().kind != ScriptedDialogs::Kind::Summary ||
        (!failuresAllowed &&
         dialogs.messages.back().icon != marrowgate::MessageIcon::Information)) {
        std::fprintf(stderr, "conversion failed: %s\n", qPrintable(LastPrompt(dialogs)));
        return false;
    }
    return true;
}

int ConvertStore(frmStep1& window, ScriptedDialogs& dialogs, const QString& store,
                 const QString& output) {
    if (!Import(window, dialogs, store)) {
        return 1;
    }
    QElapsedTimer clock;
    // Looked at whenever the run lets the window handle its events, as the
    // user would see it.
    qint64 firstMessage = -1;
    auto* label = window.findChild<QLabel*>(QStringLiteral("LblProgessCurrent"));
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (firstMessage < 0 && label != nullptr &&
            label->text().startsWith(QStringLiteral("Message ")) &&
            !label->text().startsWith(QStringLiteral("Message 0 "))) {
            firstMessage = clock.nsecsElapsed();
        }
    });
    watch.start(0);
    clock.start();
    if (!Convert(window, dialogs, output)) {
        return 1;
    }
    std::printf("window_convert_seconds %.6f\n", Seconds(clock.nsecsElapsed()));
    std::printf("window_first_message_seconds %.6f\n", Seconds(firstMessage));
    return 0;
}

int AddPaths(frmStep1& window, long count) {
    if (count < 10) {
        return Usage();
    }
    const long tenth = count / 10;
    marrowgate::ThrottledYield yield;
    QElapsedTimer clock;
    QElapsedTimer sinceEvents;
    qint64 firstTenth = 0;
    qint64 lastTenthStart = 0;
    qint64 longestGap = 0;
    long long pathBytes = 0;
    const long long residentBefore = ResidentBytes();
    clock.start();
    sinceEvents.start();
    for (long i = 0; i < count; ++i) {
        if (i == tenth) {
            firstTenth = clock.nsecsElapsed();
        }
        if (i == count - tenth) {
            lastTenthStart = clock.nsecsElapsed();
        }
        if (yield()) {
            longestGap = std::max(longestGap, sinceEvents.nsecsElapsed());
            sinceEvents.start();
        }
        const QString path = QStringLiteral("C:\\Store\\Folder %1\\Message %2.eml")
                                 .arg(i / 1000, 3, 10, QLatin1Char('0'))
                                 .arg(i, 7, 10, QLatin1Char('0'));
        pathBytes += path.toUtf8().size();
        window.AddMessagePath(path);
    }
    const qint64 total = clock.nsecsElapsed();
    const long long grown = ResidentBytes() - residentBefore;
    std::printf("add_paths_seconds %.6f\n", Seconds(total));
    std::printf("add_paths_first_tenth_us_per_path %.3f\n",
                static_cast<double>(firstTenth) / 1e3 / static_cast<double>(tenth));
    std::printf("add_paths_last_tenth_us_per_path %.3f\n",
                static_cast<double>(total - lastTenthStart) / 1e3 / static_cast<double>(tenth));
    std::printf("add_paths_longest_gap_ms %.3f\n", static_cast<double>(longestGap) / 1e6);
    std::printf("add_paths_peak_rss_mib %.1f\n",
                static_cast<double>(PeakResidentBytes()) / 1048576);
    std::printf("add_paths_bytes_per_row_beyond_path %.1f\n",
                static_cast<double>(grown - pathBytes) / static_cast<double>(count));
    return 0;
}

bool Save(QWidget& widget, const QString& file) {
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    if (!widget.grab().save(file, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    return true;
}

// The summary of the last run as the real message box shows it.
bool SaveSummary(frmStep1& window, const ScriptedDialogs& dialogs, const QString& file) {
    bool saved = false;
    QTimer::singleShot(300, &window, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            saved = Save(*box, file);
            box->close();
        }
    });
    const ScriptedDialogs::Shown& shown = dialogs.messages.back();
    marrowgate::QtUserDialogs().ShowSummary(
        &window, {shown.prompt, shown.details, shown.icon == marrowgate::MessageIcon::Warning}, {});
    return saved;
}

// The mail program and the answer to failures the environment asks for.
void ScriptTheRun(frmStep1& window, ScriptedDialogs& dialogs) {
    const QString target = qEnvironmentVariable("MARROWGATE_BENCH_TARGET");
    if (!target.isEmpty()) {
        auto* box = window.findChild<QComboBox*>(QStringLiteral("cboTarget"));
        box->setCurrentIndex(box->findData(target));
    }
    const QString failures = qEnvironmentVariable("MARROWGATE_BENCH_FAILURES");
    if (failures == QLatin1String("skip")) {
        dialogs.failureChoices = {marrowgate::FailureChoice::SkipAll};
    } else if (failures == QLatin1String("stop")) {
        dialogs.failureChoices = {marrowgate::FailureChoice::Stop};
    }
}

int Screenshot(frmStep1& window, ScriptedDialogs& dialogs, const QString& store,
               const QString& file, const QString& output, const QString& summary) {
    if (!Import(window, dialogs, store)) {
        return 1;
    }
    ScriptTheRun(window, dialogs);
    if (!output.isEmpty() && !Convert(window, dialogs, output,
                                      !qEnvironmentVariableIsEmpty("MARROWGATE_BENCH_FAILURES"))) {
        return 1;
    }
    const QStringList size = qEnvironmentVariable("MARROWGATE_BENCH_SIZE").split(QLatin1Char('x'));
    if (size.size() == 2) {
        window.resize(size.at(0).toInt(), size.at(1).toInt());
    }
    // A current row in the list and the focus away from the first button.
    auto* grid = window.findChild<QTableView*>(QStringLiteral("grdFiles1"));
    grid->setCurrentIndex(grid->model()->index(0, 0));
    window.findChild<QPushButton*>(QStringLiteral("cmdClear1"))->setFocus();
    if (!Save(window, file)) {
        return 1;
    }
    return summary.isEmpty() || SaveSummary(window, dialogs, summary) ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        return Usage();
    }
    const bool screenshot =
        std::strcmp(argv[1], "screenshot") == 0 || std::strcmp(argv[1], "help") == 0;
    if (!screenshot && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // What the window remembers goes to a test location, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setOrganizationName(QStringLiteral("marrowgate-bench"));
    QApplication::setApplicationName(QStringLiteral("marrowgate-window-bench"));
    QSettings().clear();
    if (qEnvironmentVariable("MARROWGATE_BENCH_DARK") == QLatin1String("1")) {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(marrowgate::DarkPalette());
    }
    const QStringList args = QCoreApplication::arguments();

    ScriptedDialogs dialogs;
    frmStep1 window(dialogs);
    window.show();
    QCoreApplication::processEvents();

    if (args.at(1) == QLatin1String("convert") && args.size() == 4) {
        return ConvertStore(window, dialogs, args.at(2), args.at(3));
    }
    if (args.at(1) == QLatin1String("add-paths") && args.size() == 3) {
        return AddPaths(window, std::strtol(argv[2], nullptr, 10));
    }
    if (args.at(1) == QLatin1String("help") && args.size() == 3) {
        marrowgate::HelpViewer viewer(
            marrowgate::HelpViewer::ManualPath(QCoreApplication::applicationDirPath()), nullptr);
        viewer.show();
        return Save(viewer, args.at(2)) ? 0 : 1;
    }
    if (screenshot && args.size() >= 4 && args.size() <= 6) {
        return Screenshot(window, dialogs, args.at(2), args.at(3), args.value(4), args.value(5));
    }
    return Usage();
}
