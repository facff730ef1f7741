#pragma once
// The main window's conversion run: it converts in slices between the window's events,
// shows the progress, asks whether to stop, and takes back what a stopped run wrote.

#include "engine/Conversion.h"
#include "platform/Platform.h"
#include "shared/mdlGlobal.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

class RunController : public QObject {
public:
    // Where a run shows itself: the share of the source read, the count, the last source
    // and output lines; 変換, which takes the focus back when the run ends.
    struct Display {
        QWidget* window;
        QProgressBar* progress;
        QLineEdit* count;
        QLineEdit* lastSource;
        QLineEdit* lastOutput;
        QPushButton* start;
    };
    // The delimiters are the window's own, read afresh for every slice as the map and the
    // output path are.
    RunController(mdlGlobal& global, platform::Platform& platform, const std::string& inDeli,
                  const std::string& outDeli, Display display);
    ~RunController() override;

    // Called as a run starts and ends, for the window to grey what a run must not change.
    std::function<void(bool running)> onRunningChanged;
    // How long the conversion works between two servings of the event queue.
    std::chrono::milliseconds sliceDuration{30};

    // Converts until the run ends, serving events between slices, then shows its result.
    // The output's last line, when the run wrote one.
    // `sourceName` is the source as the window names it, in messages.
    std::optional<std::string> run(const engine::RunRequest& request, bool skipFirstLine, const QString& sourceName);

    // A run exists (converting, or ended while a question was up and not yet closed).
    bool active() const { return run_ != nullptr; }
    bool running() const { return running_; }

    // The user asks the program to end: false when no run is there to decide, and the
    // program may end now. During a run it ends only once the user agreed to stop it and
    // what it wrote is taken back (or it ended by itself while the user was asked), and
    // its result has been shown.
    bool takeEndRequest();
    // Esc: asks, and stops the run when the user says so.
    void askAndStop();
    // See frmConvert::sessionEnding.
    bool sessionEnding(bool mayAsk);
    // The system ends the program: a run is stopped without a word.
    void stopForSystem();

private:
    struct Run;
    // Sets the window's running state for as long as it lives: whatever ends a run, it
    // is put back in one place.
    class RunningFlag;
    void runSlice();
    // The last output line is shown in the encoding `form` wrote it in.
    void showProgress(const engine::Conversion& conversion, const engine::OutputForm& form);
    // Whether the user wants the run stopped; one question at a time.
    bool askToStop();
    // Ends converting: the run has finished or failed, or with `stop` it is stopped and
    // what it wrote is taken back.
    void endRun(bool stop);

    mdlGlobal& g_;
    platform::Platform& platform_;
    const std::string& inDeli_;
    const std::string& outDeli_;
    Display display_;
    // The run in progress, until its results are shown.
    std::unique_ptr<Run> run_;
    bool running_ = false;
    bool asking_ = false;
};
