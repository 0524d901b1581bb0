// Runs one vekctl command: loads its input files, starts one session per port (all at once, in the
// main event loop), ends them on SIGINT or SIGTERM, and prints one summary line per port, or JSON.
#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "cli/cliOptions.h"
#include "cli/cliProgress.h"
#include "cli/portSession.h"

class QSocketNotifier;

class TCliRunner : public QObject {
    Q_OBJECT
public:
    explicit TCliRunner(const TCliOptions& options);
    ~TCliRunner() override;

    // Runs the command to its end in the application's event loop; returns the exit status.
    int Run();

private:
    int ListPorts();
    // Reads the image or the record file; false with the reason when it cannot be used.
    bool LoadInputs(QString& error);
    std::unique_ptr<TPortSession> MakeSession(const QString& port);
    void SessionFinished();
    void WatchSignals();
    int ExitStatus() const;
    void Print();
    void PrintError(const QString& error, int code);

    const TCliOptions& options_;
    TCliInputs inputs_;
    TCliProgress progress_;
    std::vector<std::unique_ptr<TPortSession>> sessions_;
    size_t closed_ = 0;  // sessions whose port is closed again
    QSocketNotifier* signals_ = nullptr;
};
