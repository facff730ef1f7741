#include "RunController.h"

#include "platform/Cp932.h"
#include "shared/Texts.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

#include <exception>

namespace {

const QString kStopQuestion = QStringLiteral("変換を中止しますか？");
const QString kFinished = QStringLiteral("変換終了");

} // namespace

class RunController::RunningFlag {
public:
    explicit RunningFlag(RunController& controller) : controller_(controller) { set(true); }
    ~RunningFlag() { set(false); }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    void set(bool running)
    {
        controller_.running_ = running;
        if (controller_.onRunningChanged)
            controller_.onRunningChanged(running);
        controller_.display_.progress->setVisible(running);
    }
    RunController& controller_;
};

// The run in progress. Its slices are timer events rather than a loop of their own, so
// they go on in whatever event loop serves events, a question's included: asking whether
// to stop does not hold the run up, and a stop decided there acts on the run at once.
struct RunController::Run {
    explicit Run(bool skipFirstLine) : conversion({.skipFirstLine = skipFirstLine}) {}
    engine::Conversion conversion;
    engine::ConversionSettings settings;
    QString sourceName;
    QString outputName;
    QEventLoop loop;
    QTimer slices;
    engine::Conversion::Status status = engine::Conversion::Status::Running;
    // The window is greyed while this is set.
    std::optional<RunningFlag> flag;
    // Converting has ended: finished, failed or stopped.
    bool over = false;
    // The program ends once the result is shown; quiet: no result is shown.
    bool endProgram = false;
    bool quiet = false;
    // Where the focus went when 変換 was greyed: it goes back to 変換 if it is still there.
    QPointer<QWidget> focusMovedTo;
    std::exception_ptr failure;
};

RunController::RunController(mdlGlobal& global, platform::Platform& platform, const std::string& inDeli,
                             const std::string& outDeli, Display display)
    : g_(global), platform_(platform), inDeli_(inDeli), outDeli_(outDeli), display_(display)
{
}

RunController::~RunController() = default;

std::optional<std::string> RunController::run(const engine::RunRequest& request, bool skipFirstLine,
                                              const QString& sourceName)
{
    const QString title = texts::title();
    auto starting = std::make_unique<Run>(skipFirstLine);
    starting->sourceName = sourceName;
    starting->outputName = g_.sOutFile;
    if (starting->conversion.prepare(request) != engine::Conversion::Status::Running) {
        platform_.messageBox.show(texts::runStopped(starting->conversion, starting->sourceName,
                                                    platform::fromPath(starting->conversion.failedOutput()),
                                                    texts::OutputWriting::InPlace),
                                  platform::kExclamationIcon, title);
        return std::nullopt;
    }

    run_ = std::move(starting);
    const bool startHadFocus = display_.start->hasFocus();
    display_.progress->setValue(0);
    run_->flag.emplace(*this);
    if (startHadFocus)
        run_->focusMovedTo = display_.window->focusWidget();
    connect(&run_->slices, &QTimer::timeout, this, [this] { runSlice(); });
    run_->slices.start(0);
    // The first slice before any event is served, as every later one after them.
    runSlice();
    if (!run_->over)
        run_->loop.exec();
    // Left while converting, the loop was ended from outside: the program is quitting.
    if (!run_->over) {
        run_->quiet = true;
        endRun(true);
    }
    const std::unique_ptr<Run> run = std::move(run_);
    if (run->failure)
        std::rethrow_exception(run->failure);
    const engine::Conversion& conversion = run->conversion;
    showProgress(conversion, run->settings.form);
    std::optional<std::string> lastOutput;
    if (conversion.anyOutput())
        lastOutput = conversion.lastOutput();
    if (run->status == engine::Conversion::Status::Cancelled)
        display_.count->setText(QString::number(conversion.count()));
    // A run that converted no line shows its own 0, not the count of the run before.
    else if (run->status == engine::Conversion::Status::Done)
        display_.count->setText(QString::number(conversion.shownCount()));
    if (!run->quiet) {
        // Replacements and unquoted delimiters are said, never left to be found in the file.
        QString notes;
        for (const QString& note : texts::formNotes(conversion, run->settings.form))
            notes += QStringLiteral("\n\n") + note;
        if (run->status == engine::Conversion::Status::Done)
            // On a share without locks the run was unguarded: the count comes first, as ever.
            platform_.messageBox.show(
                QStringLiteral(" %1件").arg(conversion.shownCount()) + notes +
                    (conversion.lockless() ? QStringLiteral("\n\n") +
                                                 texts::outputNotLocked(platform::fromPath(conversion.failedOutput()))
                                           : QString()),
                platform::kOkOnly, kFinished);
        else
            platform_.messageBox.show(texts::runStopped(conversion, run->sourceName,
                                                        platform::fromPath(conversion.failedOutput()),
                                                        texts::OutputWriting::InPlace),
                                      platform::kExclamationIcon, title);
    }
    if (run->endProgram)
        platform_.endProgram();
    return lastOutput;
}

void RunController::runSlice()
{
    Run& run = *run_;
    engine::Conversion& conversion = run.conversion;
    try {
        // A cancelled output dialog leaves the path empty; the run keeps its file then.
        if (g_.sOutFile != run.outputName && !g_.sOutFile.isEmpty()) {
            run.outputName = g_.sOutFile;
            if (conversion.setOutput(platform::toPath(run.outputName)) != engine::Conversion::Status::Running) {
                endRun(false);
                return;
            }
        }
        // Settings are read afresh for every slice: a change made while events were
        // served applies to the lines that follow. The map is copied only when it
        // changed: a first line may have millions of items.
        run.settings.inDeli = inDeli_;
        run.settings.outDeli = outDeli_;
        run.settings.form = g_.OutputForm;
        if (run.settings.map != g_.Columns.map())
            run.settings.map = g_.Columns.map();
        const auto status = conversion.run(run.settings, std::chrono::steady_clock::now() + sliceDuration);
        showProgress(conversion, run.settings.form);
        if (status != engine::Conversion::Status::Running)
            endRun(false);
    } catch (...) {
        // Nothing may be thrown through the event loop: run() throws it again, once the
        // window is ready for the next run.
        run.failure = std::current_exception();
        endRun(false);
    }
}

void RunController::showProgress(const engine::Conversion& conversion, const engine::OutputForm& form)
{
    // A long line shows from its beginning, not from where setText leaves the cursor.
    if (conversion.shownCount() > 0) {
        display_.count->setText(QString::number(conversion.shownCount()));
        display_.lastSource->setText(
            platform::decodeSource(conversion.lastSource(), conversion.sourceEncoding().encoding));
        display_.lastSource->setCursorPosition(0);
    }
    if (conversion.anyOutput()) {
        display_.lastOutput->setText(platform::decodeSource(
            conversion.lastOutput(), form.encoding == engine::OutputEncoding::AsSource
                                         ? conversion.sourceEncoding().encoding
                                     : form.encoding == engine::OutputEncoding::Cp932 ? engine::Encoding::Cp932
                                                                                      : engine::Encoding::Utf8));
        display_.lastOutput->setCursorPosition(0);
    }
    if (conversion.sourceSize() > 0)
        display_.progress->setValue(static_cast<int>(conversion.bytesRead() * 1000 / conversion.sourceSize()));
}

bool RunController::askToStop()
{
    if (asking_)
        return false;
    asking_ = true;
    const auto asked = qScopeGuard([this] { asking_ = false; });
    return platform_.messageBox.ask(kStopQuestion, platform::kYesNo | platform::kQuestionIcon, texts::title());
}

void RunController::endRun(bool stop)
{
    Run& run = *run_;
    if (run.over)
        return;
    run.over = true;
    run.slices.stop();
    run.loop.quit();
    // After a failure the converted lines are kept as before: the conversion writes them out
    // when it goes.
    if (stop)
        run.status = run.conversion.cancel();
    else if (!run.failure)
        run.status = run.conversion.finish();
    run.flag.reset();
    if (run.focusMovedTo && display_.window->focusWidget() == run.focusMovedTo)
        display_.start->setFocus();
}

bool RunController::takeEndRequest()
{
    if (!run_)
        return false;
    if (running_ && !askToStop())
        return true;
    run_->endProgram = true;
    if (running_)
        endRun(true);
    return true;
}

void RunController::askAndStop()
{
    if (askToStop() && running_)
        endRun(true);
}

bool RunController::sessionEnding(bool mayAsk)
{
    if (!running_)
        return true;
    // A question already up is not waited for: the session will not wait either.
    if (mayAsk && !asking_ && !askToStop())
        return !running_;
    // No message waits for a user who is leaving.
    run_->quiet = true;
    if (running_)
        endRun(true);
    return true;
}

void RunController::stopForSystem()
{
    if (!run_)
        return;
    run_->quiet = true;
    run_->endProgram = false; // ended here, once
    if (running_)
        endRun(true);
}
