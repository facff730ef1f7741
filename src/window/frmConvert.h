#pragma once
// The main window: the user names a source file, composes the output columns and
// runs the conversion.

#include "engine/FirstLine.h"
#include "engine/Preview.h"
#include "platform/Platform.h"
#include "shared/mdlGlobal.h"

#include <QMainWindow>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class ItemList;
class frmDELI;
class QMenu;
class QAction;
class QPushButton;
class QRadioButton;
class QProgressBar;
class QMimeData;
class QKeyEvent;

class RunController;
class PreviewWindow;
class QTimer;

class frmConvert : public QMainWindow {
    Q_OBJECT

public:
    frmConvert(mdlGlobal& global, platform::Platform& platform, QWidget* parent = nullptr);
    ~frmConvert() override;

    // Handlers: what each control and menu command does when used, open to whatever
    // drives the window as the user would.
    void Form_Load();
    void Option1_Click(int Index);
    void txtDELI_Change();
    void cmdClose_Click();
    void mnuExit_Click();

    void cmdFile_Click();
    void mnuOpenCSV_Click();
    void cmdSave_Click();
    void mnuSaveCSV_Click();
    void cmd検出_Click();
    void cmd開始_Click();
    void mnuOpenDef_Click();
    void mnuSaveDef_Click();
    void mnuDELI_Click();
    void mnuEncoding_Click(engine::EncodingChoice choice);
    // Any choice of the 出力 menu: it applies from the next line, a run's too.
    void mnuOutput_Click();
    // 出力 > 出力プレビュー: shows or hides the preview window.
    void mnuPreview_Click();

    // Column list editing, by the index of the list concerned. Y is in pixels within the list.
    void List_MouseDown(int Index, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, double X, double Y);
    void List_DragDrop(int Index);
    void List_KeyDown(int Index, int KeyCode, Qt::KeyboardModifiers Shift);

    // The delimiter dialog, once it has been opened.
    frmDELI* delimiterDialog() const { return frmDELI_.get(); }

    bool conversionRunning() const;
    // The session is ending: a run in progress is stopped, after asking when the session
    // lets the program ask. False when the user wants the run to go on, and so the session
    // not to end.
    bool sessionEnding(bool mayAsk);
    // The system asks the program to end (see platform::onEndRequest): a run in progress
    // is stopped without asking, then the program ends.
    void endBySystem();
    // How long the conversion works between two servings of the event queue.
    void setSliceDuration(std::chrono::milliseconds duration);
    // Lets tests stand in for the drag itself (offscreen, a real drag returns at once).
    void setDragStarter(std::function<void(const QMimeData& mime)> starter) { startDrag = std::move(starter); }
    // What a drag from 元データ carries; a drag of a row of 出力データ also names its row.
    static QMimeData* dragData(const QString& payload, int outputRow = -1);

    // Opens a source as 元ファイル does with the file chosen in its dialog; a file named on
    // the command line or dropped onto the window comes here.
    void openSourceFile(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The tests' view of the state that no control shows.
    friend struct frmConvertProbe;

    // Window-level state, read and written by the handlers. Delimiters and lines are the
    // source's own bytes (code page 932 or UTF-8); paths are the platform's text.
    std::string sInDeli;
    std::int64_t iItemCount = 0;
    std::string sOutDeli;
    QString sInFile;
    std::string sWork;

    // Controls, with the names the handlers use.
    std::array<QLabel*, 10> Label{};
    std::array<QLineEdit*, 2> txtCSV{};
    QLineEdit* txtDELI = nullptr;
    QLineEdit* txtInFile = nullptr;
    QLineEdit* txtOutFile = nullptr;
    QLineEdit* txt件数 = nullptr;
    QGroupBox* fra区切文字 = nullptr;
    std::array<QRadioButton*, 2> Option1{};
    QCheckBox* chk先頭行 = nullptr;
    std::array<ItemList*, 3> List{};
    QLabel* lbl属性 = nullptr;
    QLabel* Label1 = nullptr;
    QFrame* Line1 = nullptr;
    QPushButton* cmdFile = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmd検出 = nullptr;
    QPushButton* cmd開始 = nullptr;
    QPushButton* cmdClose = nullptr;
    // Shows the share of the source read while a conversion runs.
    QProgressBar* prgRun = nullptr;

    QMenu* mnuFile = nullptr;
    QAction* mnuOpenDef = nullptr;
    QAction* mnuSaveDef = nullptr;
    QAction* mnuOpenCSV = nullptr;
    QAction* mnuSaveCSV = nullptr;
    QAction* mnuSkip01 = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuEdit = nullptr;
    QAction* mnuDELI = nullptr;
    // 編集 > 文字コード: decide from the file, or read it as the one chosen.
    QMenu* mnuEncoding = nullptr;
    QAction* mnuEncodingAuto = nullptr;
    QAction* mnuEncodingCp932 = nullptr;
    QAction* mnuEncodingUtf8 = nullptr;
    // 出力: the encoding, line end and quoting of the output, remembered between starts.
    QMenu* mnuOutput = nullptr;
    // 元のまま, シフトJIS, UTF-8, UTF-8 (BOM付き).
    std::array<QAction*, 4> mnuOutputEncoding{};
    // CR LF, LF.
    std::array<QAction*, 2> mnuLineEnd{};
    // そのまま, 必要なときだけ引用符を付ける.
    std::array<QAction*, 2> mnuQuote{};
    QAction* mnuReplace = nullptr;
    QAction* mnuPreview = nullptr;
    // The preview, made when first shown; it is brought up to date after every change
    // while it shows, once the change's events are done.
    PreviewWindow* preview_ = nullptr;
    QTimer* previewDue_ = nullptr;
    // The beginning of the source the preview reads, and what it was read from.
    engine::PreviewStart previewStart_;
    QString previewHeadOf_;
    // Output lines the preview shows.
    static constexpr int kPreviewLines = 20;
    // Enlarged by this much in either direction, the window brings up the preview.
    static constexpr QSize kPreviewRoom{160, 120};
    bool enlarged_ = false;
    // Shows or hides the preview; `remember`: as the user's choice for the next start.
    void setPreviewShown(bool show, bool remember);
    // Brings the preview up to date once the events of this change are done.
    void schedulePreview();
    void refreshPreview();
    // The encoding the source is read in, and the output's form where it is not the
    // default, at the right of the menu bar.
    QLabel* lblEncoding = nullptr;
    // What the user chose, and what the current source was read as.
    engine::EncodingChoice encodingChoice = engine::EncodingChoice::Auto;
    engine::SourceEncoding sourceEncoding;

    // The file dialog, whose settings persist from one use to the next.
    platform::CommonDialog& CommonDialog1;

    // Stands in for the drag when set (setDragStarter).
    std::function<void(const QMimeData& mime)> startDrag;

    // The output row text: the item number with at least two digits, ";", the item.
    static QString rowText(long long number, const QString& item);
    // The item number at the head of a row text, of any length ("123;x" is item 123).
    static int itemNumberOf(const QString& caption);
    // Line processing for the first line: the attribute table and the source list.
    void SetINData(const std::string& DELI, const std::string& p);
    // The line is kept by the source list, so it is handed over rather than copied.
    void Proc1Line(std::string p, const std::string& sDELI);

    // Reads the source file's first line; on failure tells the user and returns false.
    // The encoding it was read in goes to `encoding`.
    bool readSourceFirstLine(const QString& path, std::string& line, engine::SourceEncoding& encoding);
    void showEncoding();
    // Opens a source other than the one on show, in the encoding its bytes say; the
    // columns stay when keepColumns. False (and nothing changed) when it cannot be read.
    bool openNewSource(const QString& path, bool keepColumns);
    // Reads the source's first line in the encoding chosen, detects its delimiter and lists
    // its items; the columns stay when keepColumns, else they are emptied.
    bool readSource(const QString& path, bool keepColumns);
    void LoadINData(std::string line);
    // Refills the output list and the hidden list from the column choice.
    void showColumns();
    void requestEnd();
    void runConversion();
    // Drags what Label1 shows from `source`, by the mouse or by startDrag.
    void dragCaption(ItemList* source, int outputRow = -1);
    void beginDrag(QMimeData* mime, ItemList* source);
    void appendSourceRow();
    void moveOutputRow(int step);
    // A row of 出力データ dropped on row `to` of that list (its row count below the last).
    void moveOutputRowTo(int from, int to);
    void setSourceCommandsEnabled(bool enabled);
    void showFileProblem(engine::FileProblem problem, const QString& path);

    void buildControls();
    void buildMenus();
    // The 出力 menu, set from the remembered form (OutputMenu.cpp).
    void buildOutputMenu();
    // The form in words: brief, only what differs from the default (empty for the default),
    // for the menu bar's corner; or whole, for its tip.
    static QString outputFormText(bool brief, const engine::OutputForm& form);
    void nameControls();
    void connectHandlers();

    mdlGlobal& g_;
    platform::Platform& platform_;
    // Created on first use, without an owner window; hidden, never destroyed, when closed.
    std::unique_ptr<frmDELI> frmDELI_;
    // Where a control stands at the laid-out size, and its shares of any extra room.
    struct Anchor {
        QWidget* widget;
        QRect base;
        double left, top, width, height;
    };
    std::vector<Anchor> anchors_;
    // The size the controls are laid out for; a larger window gives its room away.
    static constexpr QSize kLaidOut{6945 / 15, 7665 / 15};
    // How much the lists may lose in height, down to a few rows, on a screen too low for
    // the laid-out size.
    int listShrink() const;
    // Lowers the smallest height, and the window's, to what the screen has room for.
    void fitToScreen();
    // The source whose first line decided sourceEncoding.
    QString encodingSource_;
    // Converts for 変換 between the window's events.
    std::unique_ptr<RunController> runner_;
};
