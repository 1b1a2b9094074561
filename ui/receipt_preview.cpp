#include "ui/receipt_preview.h"
#include "ui/window_placement.h"

#include "files/atomic_file.h"
#include "receipt/command_text.h"
#include "ui/paper_view.h"
#include "ui/window_style.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QVBoxLayout>

namespace ostrel {

namespace {

    constexpr std::size_t kSlice = 1024;
    constexpr qint64 kBusyFrameMs = 100;
    // The model reads for no longer than this a frame, so that clicks and
    // replies over the network never wait behind a flood.
    constexpr qint64 kReadBudgetMs = 12;
    // Longer list lines may be cut short by the list's width.
    constexpr qsizetype kShortLine = 40;

    QString CommandLine(const receipt::ModelCommand& command)
    {
        return QString::fromStdString(command.text + "  " + command.description);
    }

} // namespace

ReceiptPreview::ReceiptPreview(CaptureSession& session, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , session_(session)
{
    setObjectName(QStringLiteral("ReceiptPreview"));
    setWindowTitle(QStringLiteral("Receipt Preview"));
    // Closing the main window ends the program even with the preview open.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(WindowFont());
    setAcceptDrops(true);

    printerChoice = new QComboBox(this);
    printerChoice->setObjectName(QStringLiteral("printerChoice"));
    printerChoice->setToolTip(
        QStringLiteral("The printer model: its code pages, print width and the commands it knows"));
    for (const receipt::PrinterProfile* profile : receipt::PrinterProfiles())
        printerChoice->addItem(QString::fromStdString(profile->vendor + " " + profile->model),
            QString::fromStdString(profile->id));
    // The boxes may grow narrower than their longest entry, so that the
    // window fits beside the main one on a small screen.
    printerChoice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    printerChoice->setMinimumContentsLength(12);
    paperChoice = new QComboBox(this);
    paperChoice->setObjectName(QStringLiteral("paperChoice"));
    paperChoice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    paperChoice->setMinimumContentsLength(6);
    paperChoice->addItem(QStringLiteral("80 mm (576 dots)"), receipt::kPaperWidth80);
    paperChoice->addItem(QStringLiteral("58 mm (384 dots)"), receipt::kPaperWidth58);
    zoomChoice = new QComboBox(this);
    zoomChoice->setObjectName(QStringLiteral("zoomChoice"));
    zoomChoice->addItem(QStringLiteral("Fit"), kFitWidth);
    for (int percent : { 50, 75, 100, 150, 200, 300 })
        zoomChoice->addItem(QStringLiteral("%1%").arg(percent), percent);
    zoomChoice->setCurrentIndex(0);
    zoomChoice->setToolTip(QStringLiteral("Fit: the paper's width fills the view, up to 100%"));
    previousButton = new QPushButton(QStringLiteral("<"), this);
    previousButton->setObjectName(QStringLiteral("previousButton"));
    previousButton->setToolTip(QStringLiteral("Older receipt"));
    nextButton = new QPushButton(QStringLiteral(">"), this);
    nextButton->setObjectName(QStringLiteral("nextButton"));
    nextButton->setToolTip(QStringLiteral("Newer receipt"));
    for (QPushButton* button : { previousButton, nextButton })
        button->setFixedWidth(32);
    receiptLabel = new QLabel(this);
    receiptLabel->setObjectName(QStringLiteral("receiptLabel"));
    saveButton = new QPushButton(QStringLiteral("Save..."), this);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    saveButton->setToolTip(QStringLiteral("Save the receipts as PNG or PDF"));
    noteLabel = new QLabel(this);
    noteLabel->setObjectName(QStringLiteral("noteLabel"));
    noteLabel->setWordWrap(true);

    auto* close = new QAction(this);
    close->setShortcuts({ QKeySequence(Qt::Key_Escape), QKeySequence::Close });
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
    QAction* printerState = WindowKeyAction(
        this, QStringLiteral("Printer State"), "printerStateAction", Qt::Key_F7, showPrinterState);

    auto* bar = new QVBoxLayout;
    auto* printerLabel = new QLabel(QStringLiteral("Printer:"), this);
    printerLabel->setBuddy(printerChoice);
    printerChoice->setAccessibleName(QStringLiteral("Printer"));
    auto* paperLabel = new QLabel(QStringLiteral("Paper:"), this);
    paperLabel->setBuddy(paperChoice);
    paperChoice->setAccessibleName(QStringLiteral("Paper"));
    auto* zoomLabel = new QLabel(QStringLiteral("Zoom:"), this);
    zoomLabel->setBuddy(zoomChoice);
    zoomChoice->setAccessibleName(QStringLiteral("Zoom"));
    previousButton->setAccessibleName(QStringLiteral("Older receipt"));
    nextButton->setAccessibleName(QStringLiteral("Newer receipt"));
    // In two rows, so that the window is narrow enough to go beside the
    // main window on a small screen.
    auto* choices = new QHBoxLayout;
    choices->addWidget(printerLabel);
    choices->addWidget(printerChoice, 1);
    choices->addWidget(paperLabel);
    choices->addWidget(paperChoice);
    choices->addWidget(zoomLabel);
    choices->addWidget(zoomChoice);
    auto* receipts = new QHBoxLayout;
    receipts->addWidget(previousButton);
    receipts->addWidget(receiptLabel);
    receipts->addWidget(nextButton);
    receipts->addStretch(1);
    receipts->addWidget(saveButton);
    bar->addLayout(choices);
    bar->addLayout(receipts);

    paper_ = new PaperView(document_);
    connect(
        paper_, &PaperView::commandClicked, this, [this](int command) { selectCommand(command); });
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("paperScroll"));
    scroll_->setAccessibleName(QStringLiteral("Receipt paper"));
    scroll_->setWidget(paper_);
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll_->setBackgroundRole(QPalette::Dark);
    scroll_->viewport()->installEventFilter(this);
    commandList = new QListWidget(this);
    commandList->setObjectName(QStringLiteral("commandList"));
    commandList->setUniformItemSizes(true);
    commandList->setAccessibleName(QStringLiteral("Commands of the receipt shown"));
    auto* copy = new QAction(QStringLiteral("Copy"), commandList);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, [this] {
        QStringList lines;
        for (const QListWidgetItem* item : commandList->selectedItems())
            lines << item->text();
        if (!lines.isEmpty())
            QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
    });
    commandList->addAction(copy);
    commandList->addAction(printerState);
    commandList->setContextMenuPolicy(Qt::ActionsContextMenu);
    QFont fixed(QStringLiteral("DejaVu Sans Mono"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPointSize(9);
    commandList->setFont(fixed);
    auto* split = new QSplitter(this);
    split->addWidget(scroll_);
    split->addWidget(commandList);
    split->setSizes({ 790, 390 });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(split, 1);
    layout->addWidget(noteLabel);
    resize(1180, 760);

    connect(printerChoice, &QComboBox::currentIndexChanged, this,
        [this](int index) { setPrinter(printerChoice->itemData(index).toString()); });
    connect(paperChoice, &QComboBox::currentIndexChanged, this,
        [this](int index) { setPaperWidth(paperChoice->itemData(index).toInt()); });
    connect(zoomChoice, &QComboBox::currentIndexChanged, this,
        [this](int index) { setZoom(zoomChoice->itemData(index).toInt()); });
    connect(previousButton, &QPushButton::clicked, this, [this] { showReceipt(shown_ - 1); });
    connect(nextButton, &QPushButton::clicked, this, [this] { showReceipt(shown_ + 1); });
    connect(commandList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row != selected_)
            selectCommand(row);
    });
    connect(saveButton, &QPushButton::clicked, this, [this] { saveClicked(); });
    askFileName = [this] {
        QString types = QStringLiteral("PNG image (*.png);;PDF document (*.pdf)");
        if (saveConversation)
            types += QStringLiteral(";;The newest job's conversation with the printer (*.json)");
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save Receipts"),
            QStringLiteral("receipt.png"), types, nullptr, QFileDialog::DontUseNativeDialog);
    };

    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { drawFrame(); });
    session_.addListener(*this);
    redraw();
}

void ReceiptPreview::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void ReceiptPreview::dropEvent(QDropEvent* event)
{
    const QString file = DroppedFile(event->mimeData());
    if (file.isEmpty() || !fileDropped)
        return;
    event->acceptProposedAction();
    fileDropped(file);
}

ReceiptPreview::~ReceiptPreview() { session_.removeListener(*this); }

void ReceiptPreview::restoreSettings(const QSettings& settings)
{
    restored_ = RestorePlace(*this, settings, QStringLiteral("preview"));
    setPrinter(settings.value(QStringLiteral("preview/printer")).toString());
    const int paper = settings.value(QStringLiteral("preview/paperDots")).toInt();
    if (paperChoice->findData(paper) >= 0)
        setPaperWidth(paper);
    // A zoom chosen by hand stays; without one the paper's width fits. The
    // older key held 100% whether chosen or not, so only another zoom there
    // was a choice.
    int zoom = settings.value(QStringLiteral("preview/zoom"), kFitWidth).toInt();
    if (!settings.contains(QStringLiteral("preview/zoom"))) {
        const int older = settings.value(QStringLiteral("preview/zoomPercent"), 100).toInt();
        if (older != 100)
            zoom = older;
    }
    if (zoomChoice->findData(zoom) >= 0)
        setZoom(zoom);
}

void ReceiptPreview::saveSettings(QSettings& settings) const
{
    // A window never shown has no place of its own to keep.
    if (opened_)
        SavePlace(*this, settings, QStringLiteral("preview"));
    settings.setValue(
        QStringLiteral("preview/printer"), QString::fromStdString(printer().profile().id));
    settings.setValue(QStringLiteral("preview/paperDots"), printer().paperWidth());
    settings.setValue(QStringLiteral("preview/zoom"), zoom_);
    settings.remove(QStringLiteral("preview/zoomPercent"));
}

void ReceiptPreview::showBeside(QWidget* main, const QWidget* other)
{
    const bool firstTime = !opened_;
    show();
    // Beside the main window and never over it or the Printer State window,
    // wholly on the screen; where it was left last time only if that is so.
    if (firstTime && main != nullptr && !(restored_ && MayStayWhereItIs(*this, *main, other)))
        MoveBesideMain(*this, Companion::Preview, *main, other);
    opened_ = true;
    raise();
    activateWindow();
    refresh();
}

void ReceiptPreview::chunkTaken(std::string_view chunk, ByteSource* from)
{
    if (from != nullptr)
        sourceStarts_.try_emplace(from, document_.arrivedCount());
    document_.arrive(chunk);
    if (isVisible())
        scheduleFrame();
}

void ReceiptPreview::sourceEnded(ByteSource& source) { sourceStarts_.erase(&source); }

void ReceiptPreview::captureCleared()
{
    document_.clear();
    followNewest_ = true;
    selected_ = -1;
    paper_->setMarked({});
    scheduleFrame();
}

void ReceiptPreview::scheduleFrame()
{
    if (frameTimer_.isActive())
        return;
    // At the next screen refresh, and while the capture goes on no more than
    // ten times a second: a frame of the preview costs milliseconds of
    // painting, which a status request must not keep meeting.
    const qint64 sinceLast = lastFrame_.isValid() ? lastFrame_.elapsed() : kBusyFrameMs;
    frameTimer_.start(
        static_cast<int>(std::max<qint64>(RefreshIntervalMs(*this), kBusyFrameMs - sinceLast)));
}

void ReceiptPreview::drawFrame()
{
    // Requests waiting on a port are answered before the model reads or draws.
    session_.deliverPending();
    if (!isVisible())
        return; // it reads what arrived when it opens
    takeArrived(kReadBudgetMs);
    // A flood is read a budget at a time, with the window's events and the
    // replies in between; it is drawn no more often than when it is quiet.
    const bool busy = document_.waiting();
    if (busy && lastFrame_.isValid() && lastFrame_.elapsed() < kBusyFrameMs) {
        frameTimer_.start(0);
        return;
    }
    lastFrame_.start();
    redraw();
    // Paint now, right after the requests were answered, rather than at the
    // platform's next update, where it would stand in front of the next one.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    if (busy)
        frameTimer_.start(0);
}

void ReceiptPreview::refresh()
{
    frameTimer_.stop();
    takeArrived();
    redraw();
}

void ReceiptPreview::takeArrived(qint64 budgetMs)
{
    if (budgetMs < 0) {
        document_.readAll();
        return;
    }
    // A slice at a time, with waiting requests answered in between, so that a
    // request never waits for more than a slice of reading.
    QElapsedTimer spent;
    spent.start();
    while (document_.readSome(kSlice)) {
        session_.deliverPending();
        if (spent.elapsed() >= budgetMs)
            return;
    }
}

void ReceiptPreview::setPaperWidth(int dots)
{
    if (dots == printer().paperWidth())
        return;
    document_.setPaperWidth(dots);
    applyZoom();
    int index = paperChoice->findData(dots);
    if (index >= 0 && index != paperChoice->currentIndex())
        paperChoice->setCurrentIndex(index);
    selected_ = -1;
    paper_->setMarked({});
    drawnRevision_ = -1;
    paperDrawn_ = -1;
    redraw();
}

bool ReceiptPreview::setPrinter(const QString& id)
{
    const receipt::PrinterProfile* profile = receipt::FindPrinterProfile(id.toStdString());
    if (!profile)
        return false;
    if (profile != &printer().profile()) {
        document_.setProfile(*profile);
        applyZoom();
        selected_ = -1;
        paper_->setMarked({});
        drawnRevision_ = -1;
        paperDrawn_ = -1;
    }
    const int index = printerChoice->findData(id);
    if (index != printerChoice->currentIndex())
        printerChoice->setCurrentIndex(index);
    // The model's own print width, offered beside the two usual ones.
    if (paperChoice->findData(profile->printDots) < 0)
        paperChoice->addItem(QStringLiteral("%1 mm (%2 dots)")
                                 .arg(profile->paperMillimetres)
                                 .arg(profile->printDots),
            profile->printDots);
    const int paper = paperChoice->findData(printer().paperWidth());
    if (paper != paperChoice->currentIndex())
        paperChoice->setCurrentIndex(paper);
    if (printerChosen)
        printerChosen(*profile);
    redraw();
    return true;
}

void ReceiptPreview::setZoom(int percent)
{
    zoom_ = percent;
    int index = zoomChoice->findData(percent);
    if (index >= 0 && index != zoomChoice->currentIndex())
        zoomChoice->setCurrentIndex(index);
    applyZoom();
}

int ReceiptPreview::shownZoom() const { return paper_->zoom(); }

void ReceiptPreview::applyZoom()
{
    int percent = zoom_;
    if (percent == kFitWidth) {
        // Measured as if the vertical scroll bar were there, so that its
        // coming and going never changes the zoom again. Dot for dot at most:
        // larger only blurs.
        int width = scroll_->viewport()->width();
        if (!scroll_->verticalScrollBar()->isVisible())
            width -= scroll_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_);
        percent = std::clamp(width * 100 / std::max(1, printer().paperWidth()), kLeastFitZoom, 100);
    }
    if (percent != paper_->zoom())
        paper_->setZoom(percent);
}

bool ReceiptPreview::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize && zoom_ == kFitWidth)
        applyZoom();
    return QWidget::eventFilter(watched, event);
}

void ReceiptPreview::showReceipt(int index)
{
    const int newest = document_.newestShown();
    index = std::clamp(index, 0, newest);
    followNewest_ = index == newest;
    if (index == shown_ && drawnRevision_ == printer().revision())
        return;
    shown_ = index;
    selected_ = -1;
    paper_->setMarked({});
    drawnRevision_ = -1;
    commandList->clear();
    redraw();
}

void ReceiptPreview::redraw()
{
    const auto& receipts = printer().receipts();
    const int count = static_cast<int>(receipts.size());
    // The newest receipt, unless the user went back to an older one; an empty
    // receipt after the last cut shows the one before it.
    int wanted = followNewest_ ? document_.newestShown() : shown_;
    wanted = std::clamp(wanted, 0, count - 1);
    if (wanted != shown_) {
        shown_ = wanted;
        selected_ = -1;
        paper_->setMarked({});
        commandList->clear();
    } else if (drawnRevision_ == printer().revision()) {
        return;
    }
    drawnRevision_ = printer().revision();
    const long long paper = printer().paperRevision() * 1024 + shown_;
    if (paper != paperDrawn_) {
        paperDrawn_ = paper;
        // The newest print stays in view while the view is at the end of the paper.
        QScrollBar* bar = scroll_->verticalScrollBar();
        const bool atEnd = bar->value() >= bar->maximum() - 2;
        paper_->showReceipt(shown_);
        if (followNewest_ && atEnd) {
            QCoreApplication::sendPostedEvents(scroll_, QEvent::LayoutRequest);
            bar->setValue(bar->maximum());
        }
    }
    fillCommandList();
    if (printed_)
        markWaiting();
    updateNavigation();
}

void ReceiptPreview::fillCommandList()
{
    const auto& commands = printer().receipts()[shown_].commands;
    const int listed = commandList->count();
    if (listed > static_cast<int>(commands.size()))
        commandList->clear();
    // An answer came for a command listed already.
    if (answersChanged_) {
        answersChanged_ = false;
        for (int i = 0; i < commandList->count(); ++i) {
            const QString text = ListedLine(commands[static_cast<std::size_t>(i)]);
            if (commandList->item(i)->text() != text) {
                commandList->item(i)->setText(text);
                commandList->item(i)->setToolTip(text.size() > kShortLine ? text : QString());
            }
        }
    }
    // The last listed command may have grown (text goes on arriving).
    if (commandList->count() > 0) {
        QListWidgetItem* last = commandList->item(commandList->count() - 1);
        QString text = ListedLine(commands[commandList->count() - 1]);
        if (last->text() != text) {
            last->setText(text);
            last->setToolTip(text.size() > kShortLine ? text : QString());
        }
    }
    QStringList lines;
    const int first = commandList->count();
    for (std::size_t i = commandList->count(); i < commands.size(); ++i)
        lines << ListedLine(commands[i]);
    if (!lines.isEmpty()) {
        commandList->addItems(lines);
        // A line the list cuts short can be read whole in its tooltip.
        for (int i = first; i < commandList->count(); ++i)
            if (commandList->item(i)->text().size() > kShortLine)
                commandList->item(i)->setToolTip(commandList->item(i)->text());
        // Laid out now, so that it is painted with the frame and not later.
        commandList->doItemsLayout();
    }
}

void ReceiptPreview::updateNavigation()
{
    const int newest = document_.newestShown();
    receiptLabel->setText(document_.nothingPrinted()
            ? QStringLiteral("Nothing printed yet")
            : QStringLiteral("Receipt %1 of %2").arg(shown_ + 1).arg(newest + 1));
    previousButton->setEnabled(shown_ > 0);
    nextButton->setEnabled(shown_ < newest);
    QStringList notes;
    const auto& summary = printer().summary();
    if (printer().droppedReceipts() > 0)
        notes << QStringLiteral("%1 older receipts dropped to keep memory bounded")
                     .arg(printer().droppedReceipts());
    if (summary.unmappedBytes > 0)
        notes << QStringLiteral("%1 bytes print nothing: no character or no glyph")
                     .arg(summary.unmappedBytes);
    if (summary.notUnderstoodBytes > 0)
        notes << QStringLiteral("%1 bytes not understood").arg(summary.notUnderstoodBytes);
    if (summary.notUnderstoodBytes > 0)
        if (const auto hint = printer().languageHint())
            notes << QStringLiteral(
                "the job reads as %1 (%2 bytes not understood): choose the model %3")
                         .arg(QString::fromUtf8(receipt::LanguageName(hint->language)))
                         .arg(hint->notUnderstood)
                         .arg(QString::fromStdString(hint->profile));
    if (const auto open = printer().unfinished())
        notes
            << QStringLiteral("the job ended inside %1").arg(QString::fromStdString(open->command));
    if (document_.historyCut())
        notes << QStringLiteral("shows the newest 8 to 16 MiB of a longer capture");
    for (const QString& said : printerAnswers_)
        notes << QStringLiteral("the printer answered %1").arg(said);
    notes << printerEvents_;
    noteLabel->setText(notes.join(QStringLiteral("; ")));
}

void ReceiptPreview::followPrinting(std::function<long long()> printed)
{
    printed_ = std::move(printed);
    printingTimer_.setInterval(200);
    connect(&printingTimer_, &QTimer::timeout, this, [this] {
        if (isVisible())
            markWaiting();
    });
    printingTimer_.start();
}

// The first command of the shown receipt not wholly printed, and what
// follows it, wait in the printer's buffer.
void ReceiptPreview::markWaiting()
{
    if (!printed_ || shown_ >= static_cast<int>(printer().receipts().size()))
        return;
    const long long printed = printed_() - document_.modelStart();
    const auto& commands = printer().receipts()[shown_].commands;
    // The commands are in the order they came.
    const auto firstWaiting = std::partition_point(commands.begin(), commands.end(),
        [printed](const receipt::ModelCommand& c) { return c.offset + c.length <= printed; });
    const int first = static_cast<int>(firstWaiting - commands.begin());
    paper_->setWaitingFrom(firstWaiting == commands.end() ? -1 : firstWaiting->y);
    // Each item as it should be, whatever it was: items come and go as the list fills.
    const QBrush grey(QColor(130, 130, 130));
    for (int i = 0; i < commandList->count(); ++i) {
        QListWidgetItem* item = commandList->item(i);
        const QBrush wanted = i >= first ? grey : QBrush();
        if (item->foreground() != wanted)
            item->setForeground(wanted);
    }
}

void ReceiptPreview::showPrinterEvent(const QString& what)
{
    printerEvents_.append(what);
    while (printerEvents_.size() > kPrinterAnswersShown)
        printerEvents_.removeFirst();
    updateNavigation();
}

QString ReceiptPreview::ListedLine(const receipt::ModelCommand& command) const
{
    if (answers_.empty())
        return CommandLine(command);
    const long long first = document_.modelStart() + command.offset;
    const auto answer = answers_.lower_bound(first);
    if (answer == answers_.end() || answer->first >= first + std::max(command.length, 1LL))
        return CommandLine(command);
    // Before the description, so that a narrow list still shows it.
    return QString::fromStdString(command.text)
        + QStringLiteral("  [the printer answered %1]  ").arg(answer->second)
        + QString::fromStdString(command.description);
}

void ReceiptPreview::showPrinterAnswer(const ByteSource& source, long long end, const QString& said)
{
    printerAnswers_.append(said);
    while (printerAnswers_.size() > kPrinterAnswersShown)
        printerAnswers_.removeFirst();
    const auto start = sourceStarts_.find(&source);
    if (start != sourceStarts_.end() && end > 0) {
        // "DLE EOT 4: 72 after 6.2 ms, paper out" beside "DLE EOT 4", without saying it twice.
        const qsizetype colon = said.indexOf(QStringLiteral(": "));
        answers_[start->second + end - 1] = colon < 0 ? said : said.mid(colon + 2);
        while (answers_.size() > kAnswersListed)
            answers_.erase(answers_.begin());
        answersChanged_ = true;
        drawnRevision_ = -1;
        if (isVisible())
            scheduleFrame();
    }
    updateNavigation();
}

QSize ReceiptPreview::paperSize() const { return paper_->paperSize(); }

QImage ReceiptPreview::paperImage() { return paper_->paperImage(); }

QRect ReceiptPreview::markedPlace() const
{
    const receipt::DotRect place = paper_->marked();
    return place.empty() ? QRect() : QRect(place.x, place.y, place.width, place.height);
}

int ReceiptPreview::commandAt(int x, int y) const { return document_.commandAt(shown_, x, y); }

void ReceiptPreview::selectCommand(int index)
{
    const receipt::DotRect place = document_.placeOf(shown_, index);
    if (place.empty())
        return;
    selected_ = index;
    paper_->setMarked(place);
    if (commandList->currentRow() != index)
        commandList->setCurrentRow(index);
    QRect shownPlace = paper_->widgetRect(place);
    scroll_->ensureVisible(
        shownPlace.center().x(), shownPlace.center().y(), 40, shownPlace.height() / 2 + 40);
}

bool ReceiptPreview::saveTo(const QString& path, QString& error)
{
    if (saveConversation && path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)) {
        if (!saveConversation(path, error))
            return false;
        savedFiles_ = path;
        return true;
    }
    refresh();
    std::vector<render::EncodedFile> files;
    if (!render::ReceiptRenderer().encode(render::ReceiptsWithContent(printer().receipts()),
            printer().paperWidth(), path, {}, files, error))
        return false;
    for (const render::EncodedFile& file : files) {
        std::string why;
        if (!WriteWholeFile(file.name.toStdString(),
                std::string_view(
                    file.bytes.constData(), static_cast<std::size_t>(file.bytes.size())),
                why)) {
            error = QString::fromStdString(why);
            return false;
        }
    }
    savedFiles_ = files.size() == 1
        ? path
        : QStringLiteral("%1 to %2").arg(files.front().name, files.back().name);
    return true;
}

void ReceiptPreview::saveClicked()
{
    const QString path = askFileName();
    if (path.isEmpty())
        return;
    QString error;
    if (saveTo(path, error)) {
        noteLabel->setText(QStringLiteral("Saved %1").arg(savedFiles_));
    } else {
        QMessageBox::warning(this, QStringLiteral("Receipt Preview"),
            QStringLiteral("The receipts could not be saved as %1: %2").arg(path, error));
    }
}

} // namespace ostrel
