#pragma once
// The file dialog object. Its properties keep their values from one use to the next;
// a cancel with CancelError set is reported as error 32755.

#include <QString>

#include <optional>

class QWidget;

namespace platform {

class CommonDialog {
public:
    static constexpr int kCancelError = 32755;

    // Which kind of file the dialog is asked for: each kind opens in the folder where a
    // file of that kind was last chosen.
    enum class Purpose { Source, Output, Definition };

    virtual ~CommonDialog() = default;

    bool CancelError = false;
    QString InitDir;
    // Descriptions and their patterns, all separated by "|":
    // "CSVファイル (*.csv)|*.csv|すべてのファイル (*)|*".
    QString Filter;
    // Added, without its dot, to a chosen name that has no extension; a typed extension stays.
    QString DefaultExt;
    QString FileName;
    Purpose purpose = Purpose::Source;
    // Where the dialog opens while no file of its kind was chosen yet; empty for the
    // user's documents folder.
    QString FirstDir;

    // 0 when a file was chosen (FileName holds its path), kCancelError when the user
    // cancelled and CancelError is set; a cancel without CancelError returns 0 and
    // leaves FileName as it was.
    int ShowOpen() { return finish(ask(Mode::Open)); }
    int ShowSave() { return finish(ask(Mode::Save)); }

protected:
    enum class Mode { Open, Save };
    // The chosen path, or nullopt on cancel.
    virtual std::optional<QString> ask(Mode mode) = 0;

private:
    int finish(const std::optional<QString>& chosen)
    {
        if (chosen) {
            FileName = *chosen;
            return 0;
        }
        return CancelError ? kCancelError : 0;
    }
};

// With InitDir empty, the dialog opens in the folder last used for its purpose, in this
// run or an earlier one (kept in the user's settings), else in FirstDir, else in the
// user's documents folder (Windows) or home. Each purpose also keeps the filter last
// chosen in it.
class QtCommonDialog : public CommonDialog {
public:
    explicit QtCommonDialog(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

protected:
    std::optional<QString> ask(Mode mode) override;

private:
    QWidget* parent_;
};

} // namespace platform
