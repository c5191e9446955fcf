#pragma once

#include <QObject>

class QSocketNotifier;

namespace marrowgate {

// Turns SIGTERM and SIGINT into a Qt signal, so that a logout, `kill` or
// Ctrl+C ends the program like a Yes to its close box, without asking: a
// conversion in progress writes the message in hand to its end first. One instance at a
// time; the default handlers come back when it goes.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void Received();

private:
    void Drain();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace marrowgate
