#include "app/UnfinishedRun.h"

#include "app/WindowSettings.h"
#include "marrowgate/LastRun.h"
#include "marrowgate/OutputTarget.h"
#include "marrowgate/PathDerivation.h"

#include <exception>
#include <string>

namespace marrowgate {

std::optional<UnfinishedRun> FindUnfinishedRun(const QString& outputFolder) {
    if (outputFolder.isEmpty()) {
        return std::nullopt;
    }
    std::optional<LastRun> last;
    try {
        last = ReadLastRun(NormaliseOutputRoot(outputFolder.toStdString()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!last || last->finished || last->stores.empty()) {
        return std::nullopt;
    }
    // A maildir the command line wrote is not the window's to finish.
    if (const auto target = OutputTarget::Named(last->target);
        target && target->KeepsMessagesApart()) {
        return std::nullopt;
    }
    UnfinishedRun run{outputFolder,
                      {},
                      QString::fromStdString(last->target),
                      last->converted,
                      outputFolder + QLatin1Char('\n') + QString::number(last->time)};
    for (const std::string& store : last->stores) {
        run.stores << QString::fromStdString(store);
    }
    if (WindowSettings::DeclinedToFinish() == run.key) {
        return std::nullopt;
    }
    return run;
}

void DeclineToFinish(const UnfinishedRun& run) {
    WindowSettings::SetDeclinedToFinish(run.key);
}

} // namespace marrowgate
