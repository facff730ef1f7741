// The main window's 出力 menu: the form the output is written in, and 出力プレビュー, the
// output's first lines as the run would write them now. The choices are the user's, not
// a file's: they stay from one start to the next, and apply to every run until changed.

#include "ItemList.h"
#include "PreviewWindow.h"
#include "frmConvert.h"
#include "platform/Cp932.h"
#include "platform/Settings.h"
#include "shared/Guarded.h"
#include "shared/Texts.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>

namespace {

// The names the settings file keeps, in the menu's order.
const char* const kEncodingKeys[] = {"as-source", "cp932", "utf-8", "utf-8-bom"};
const char* const kLineEndKeys[] = {"crlf", "lf"};

template <std::size_t N> int indexOf(const char* const (&keys)[N], const QString& key)
{
    for (std::size_t i = 0; i < N; ++i)
        if (key == QLatin1String(keys[i]))
            return static_cast<int>(i);
    return 0; // an unknown or missing value: the default
}

template <std::size_t N>
void addChoices(QMenu* menu, QObject* owner, std::array<QAction*, N>& actions, const QString (&texts)[N])
{
    auto* group = new QActionGroup(owner);
    for (std::size_t i = 0; i < N; ++i) {
        actions[i] = group->addAction(texts[i]);
        actions[i]->setCheckable(true);
        menu->addAction(actions[i]);
    }
}

} // namespace

void frmConvert::buildOutputMenu()
{
    mnuOutput = menuBar()->addMenu(QStringLiteral("出力(&O)"));
    QMenu* encodings = mnuOutput->addMenu(QStringLiteral("文字コード(&C)"));
    addChoices(encodings, this, mnuOutputEncoding,
               {QStringLiteral("元のまま(&K)"), QStringLiteral("シフトJIS(&S)"), QStringLiteral("UTF-8(&U)"),
                QStringLiteral("UTF-8 (BOM付き)(&B)")});
    QMenu* lineEnds = mnuOutput->addMenu(QStringLiteral("改行(&L)"));
    addChoices(lineEnds, this, mnuLineEnd, {QStringLiteral("CR LF(&W)"), QStringLiteral("LF(&L)")});
    QMenu* quotes = mnuOutput->addMenu(QStringLiteral("引用符(&Q)"));
    addChoices(quotes, this, mnuQuote,
               {QStringLiteral("そのまま(&N)"), QStringLiteral("必要なときだけ引用符を付ける(&Q)")});
    mnuOutput->addSeparator();
    mnuReplace = mnuOutput->addAction(QStringLiteral("表せない文字を ? にする(&R)"));
    mnuReplace->setCheckable(true);
    mnuOutput->addSeparator();
    mnuPreview = mnuOutput->addAction(QStringLiteral("出力プレビュー(&P)"));
    mnuPreview->setCheckable(true);
    mnuPreview->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(mnuPreview, &QAction::triggered, this,
            [this] { guarded(platform_.messageBox, [&] { mnuPreview_Click(); }); });
    previewDue_ = new QTimer(this);
    previewDue_->setSingleShot(true);
    previewDue_->setInterval(0);
    connect(previewDue_, &QTimer::timeout, this, [this] { guarded(platform_.messageBox, [&] { refreshPreview(); }); });

    const auto stored = platform::userSettings();
    engine::OutputForm& form = g_.OutputForm;
    form.encoding = static_cast<engine::OutputEncoding>(
        indexOf(kEncodingKeys, stored->value(QStringLiteral("output/encoding")).toString()));
    form.lineEnd =
        static_cast<engine::LineEnd>(indexOf(kLineEndKeys, stored->value(QStringLiteral("output/eol")).toString()));
    form.quote = stored->value(QStringLiteral("output/quote"), false).toBool();
    form.replace = stored->value(QStringLiteral("output/replace"), false).toBool();
    mnuOutputEncoding[static_cast<std::size_t>(form.encoding)]->setChecked(true);
    mnuLineEnd[static_cast<std::size_t>(form.lineEnd)]->setChecked(true);
    mnuQuote[form.quote ? 1 : 0]->setChecked(true);
    mnuReplace->setChecked(form.replace);

    for (QAction* a : {mnuOutputEncoding[0], mnuOutputEncoding[1], mnuOutputEncoding[2], mnuOutputEncoding[3],
                       mnuLineEnd[0], mnuLineEnd[1], mnuQuote[0], mnuQuote[1], mnuReplace})
        connect(a, &QAction::triggered, this, [this] { guarded(platform_.messageBox, [&] { mnuOutput_Click(); }); });
}

void frmConvert::mnuOutput_Click()
{
    engine::OutputForm form;
    for (std::size_t i = 0; i < mnuOutputEncoding.size(); ++i)
        if (mnuOutputEncoding[i]->isChecked())
            form.encoding = static_cast<engine::OutputEncoding>(i);
    form.lineEnd = mnuLineEnd[1]->isChecked() ? engine::LineEnd::Lf : engine::LineEnd::CrLf;
    form.quote = mnuQuote[1]->isChecked();
    form.replace = mnuReplace->isChecked();
    // A run reads the form with its other settings for every slice.
    g_.OutputForm = form;
    const auto stored = platform::userSettings();
    stored->setValue(QStringLiteral("output/encoding"),
                     QLatin1String(kEncodingKeys[static_cast<std::size_t>(form.encoding)]));
    stored->setValue(QStringLiteral("output/eol"), QLatin1String(kLineEndKeys[static_cast<std::size_t>(form.lineEnd)]));
    stored->setValue(QStringLiteral("output/quote"), form.quote);
    stored->setValue(QStringLiteral("output/replace"), form.replace);
    showEncoding();
    schedulePreview();
}

void frmConvert::mnuPreview_Click()
{
    setPreviewShown(!(preview_ && preview_->isVisible()), true);
}

void frmConvert::setPreviewShown(bool show, bool remember)
{
    bool placeBeside = false;
    if (!preview_) {
        preview_ = new PreviewWindow(this);
        // Closed by its own title bar or Esc, the menu says so.
        preview_->onClosed = [this] {
            mnuPreview->setChecked(false);
            platform::userSettings()->setValue(QStringLiteral("preview/shown"), false);
        };
        const auto stored = platform::userSettings();
        placeBeside = !preview_->restoreGeometry(stored->value(QStringLiteral("preview/geometry")).toByteArray());
    }
    mnuPreview->setChecked(show);
    if (remember)
        platform::userSettings()->setValue(QStringLiteral("preview/shown"), show);
    if (!show) {
        preview_->close();
        return;
    }
    preview_->show();
    if (placeBeside) {
        // The first time, beside the main window, where it hides nothing of it: on the side
        // with more room, narrowed to that room down to a still useful width. Where neither
        // side has that (a maximised main window), it keeps its size over the main window.
        // Its frame is known once it shows.
        constexpr int kGap = 8, kNarrowest = 320;
        const QRect room = screen()->availableGeometry();
        const QRect main = frameGeometry();
        QSize frame = preview_->frameGeometry().size();
        const int rightRoom = room.right() - main.right() - kGap;
        const int leftRoom = main.left() - kGap - room.left();
        const bool right = rightRoom >= frame.width() || rightRoom >= leftRoom;
        const int side = right ? rightRoom : leftRoom;
        const int width = side >= kNarrowest ? std::min(frame.width(), side) : frame.width();
        preview_->resize(preview_->width() - (frame.width() - width), preview_->height());
        frame.setWidth(width);
        QPoint at(right ? main.right() + 1 + kGap : main.left() - kGap - width, main.top());
        at.setX(std::max(room.left(), std::min(at.x(), room.right() + 1 - frame.width())));
        at.setY(std::max(room.top(), std::min(at.y(), room.bottom() + 1 - frame.height())));
        preview_->move(at);
    }
    preview_->raise();
    // The keyboard goes with it: Ctrl+P and the arrow keys reach the grid at once.
    preview_->activateWindow();
    preview_->grid()->setFocus();
    refreshPreview();
}

void frmConvert::schedulePreview()
{
    // Hidden, the preview costs nothing.
    if (preview_ && preview_->isVisible())
        previewDue_->start();
}

QString frmConvert::outputFormText(bool brief, const engine::OutputForm& form)
{
    static const QString encodings[] = {QStringLiteral("元のまま"), QStringLiteral("シフトJIS"),
                                        QStringLiteral("UTF-8"), QStringLiteral("UTF-8 (BOM付き)")};
    const QString& encoding = encodings[static_cast<std::size_t>(form.encoding)];
    const bool lf = form.lineEnd == engine::LineEnd::Lf;
    if (!brief)
        return QStringLiteral("%1、改行 %2、%3%4")
            .arg(encoding, lf ? QStringLiteral("LF") : QStringLiteral("CR LF"),
                 form.quote ? QStringLiteral("必要なときだけ引用符を付ける") : QStringLiteral("引用符はそのまま"),
                 form.replace ? QStringLiteral("、表せない文字は ?") : QString());
    // Short enough for the menu bar's corner beside three menus; the tip says the rest.
    QStringList parts;
    if (form.encoding != engine::OutputEncoding::AsSource)
        parts << (form.encoding == engine::OutputEncoding::Utf8Bom ? QStringLiteral("UTF-8 BOM") : encoding);
    if (lf)
        parts << QStringLiteral("LF");
    if (form.quote)
        parts << QStringLiteral("引用符");
    return parts.join(QStringLiteral("・"));
}

void frmConvert::refreshPreview()
{
    if (!preview_ || !preview_->isVisible())
        return;
    PreviewContent content;
    if (sInFile.isEmpty() || g_.Columns.rowCount() == 0) {
        content.empty = sInFile.isEmpty()
                            ? QStringLiteral("元ファイルを選ぶと、出力の最初の行がここに表示されます。")
                            : QStringLiteral("出力データに項目を加えると、出力の最初の行がここに表示されます。");
        preview_->setContent(content);
        return;
    }
    // The source's start is read once for each source opened, not for every change.
    if (previewHeadOf_ != sInFile) {
        previewStart_ = engine::PreviewStart();
        if (const engine::FileProblem problem = engine::readPreviewStart(platform::toPath(sInFile), previewStart_);
            problem != engine::FileProblem::None) {
            content.empty = texts::fileProblem(problem, QDir::toNativeSeparators(sInFile));
            preview_->setContent(content);
            return;
        }
        previewHeadOf_ = sInFile;
    }
    engine::PreviewRequest request;
    request.settings = engine::ConversionSettings(sInDeli, sOutDeli, g_.Columns.map(), g_.OutputForm);
    request.skipFirstLine = chk先頭行->isChecked();
    request.encoding = encodingChoice;
    request.lines = kPreviewLines;
    const engine::Preview preview = engine::previewOutput(previewStart_, request);
    const engine::Encoding encoding = preview.encoding.encoding;
    const auto text = [&](const std::string& bytes) { return platform::decodeSource(bytes, encoding); };
    // Past the part of a long first line the preview reads, 元データ still knows the item.
    for (const engine::PreviewHeading& h : preview.headings)
        content.headings << rowText(h.itemNumber,
                                    h.beyond    ? QStringLiteral("（なし）")
                                    : !h.unread ? text(h.text)
                                    : h.itemNumber <= List[0]->count()
                                        ? List[0]->text(h.itemNumber - 1)
                                        : QStringLiteral("（先頭 %1 KB より後）").arg(engine::kPreviewBytes >> 10));
    const auto cells = [&](const engine::PreviewLine& line) {
        QStringList out;
        for (const engine::PreviewCell& cell : line.cells)
            out << text(cell.bytes);
        return out;
    };
    if (preview.header)
        content.leftOut = cells(*preview.header);
    for (std::size_t r = 0; r < preview.lines.size(); ++r) {
        const engine::PreviewLine& line = preview.lines[r];
        content.rows.push_back({line.sourceLine, cells(line)});
        for (std::size_t c = 0; c < line.cells.size(); ++c) {
            const engine::PreviewCell& cell = line.cells[c];
            QStringList tips;
            if (cell.needsQuotes)
                tips << QStringLiteral(
                    "出力区切文字・引用符・改行を含みます。引用符を付けないと、読み込むと列が増えます。");
            if (cell.beyond)
                tips << QStringLiteral("この行にはこの項目がありません。最後の項目が出力されます。");
            if (cell.undecodable)
                tips << QStringLiteral("文字として読めないバイトがあります (編集 > 文字コード)。");
            if (!tips.isEmpty())
                content.marks.push_back({static_cast<int>(r), static_cast<int>(c), tips.join(QLatin1Char('\n'))});
        }
    }
    for (const engine::PreviewWarning& w : preview.warnings)
        content.warnings << texts::previewWarning(w, texts::Face::Window);
    preview_->setContent(content);
}
