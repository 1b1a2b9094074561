#include "ui/printer_state_window.h"

#include "session/capture_session.h"
#include "ui/window_placement.h"
#include "ui/window_style.h"

#include <QAction>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

namespace ostrel {

PrinterStateWindow::PrinterStateWindow(
    CaptureSession& session, std::function<void(bool)> serialRealTime, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , session_(session)
    , serialRealTime_(std::move(serialRealTime))
{
    setObjectName(QStringLiteral("PrinterStateWindow"));
    setWindowTitle(QStringLiteral("Printer State"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(WindowFont());
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(
        QStringLiteral("What the printer reports to DLE EOT, GS r and automatic status (GS a):"),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    const PrinterState& now = session_.printerState();
    for (const PrinterStateName& name : PrinterStateNames()) {
        auto* box = new QCheckBox(QString::fromLatin1(name.label), this);
        box->setObjectName(QString::fromLatin1(name.name));
        box->setChecked(now.*name.field);
        connect(box, &QCheckBox::toggled, this, [this] { boxChanged(); });
        layout->addWidget(box);
        stateBoxes.push_back(box);
    }
    layout->addSpacing(8);
    serialRealTimeBox
        = new QCheckBox(QStringLiteral("Answer real-time status on the serial port"), this);
    serialRealTimeBox->setObjectName(QStringLiteral("serialRealTimeBox"));
    serialRealTimeBox->setToolTip(
        QStringLiteral("Network peers always get real-time replies; the serial port "
                       "answers only DLE \"R\" unless this is ticked."));
    connect(serialRealTimeBox, &QCheckBox::toggled, this, [this](bool on) {
        if (serialRealTime_)
            serialRealTime_(on);
    });
    layout->addWidget(serialRealTimeBox);
    layout->addStretch(1);
    auto* close = new QAction(this);
    close->setShortcuts({ QKeySequence(Qt::Key_Escape), QKeySequence::Close });
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
}

void PrinterStateWindow::boxChanged()
{
    PrinterState state = session_.printerState(); // who it says it is stays
    const auto& names = PrinterStateNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        state.*names[i].field = stateBoxes[i]->isChecked();
    if (stateChosen)
        stateChosen(state);
    else
        session_.setPrinterState(state);
}

void PrinterStateWindow::showPrinting(
    std::function<QString()> describe, std::function<void()> loadPaper)
{
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    printingLabel = new QLabel(this);
    printingLabel->setObjectName(QStringLiteral("printingLabel"));
    printingLabel->setWordWrap(true);
    loadPaperButton = new QPushButton(QStringLiteral("Load Paper"), this);
    loadPaperButton->setObjectName(QStringLiteral("loadPaperButton"));
    loadPaperButton->setToolTip(QStringLiteral("A new roll: printing goes on where it stopped."));
    layout->insertWidget(layout->count() - 1, printingLabel);
    layout->insertWidget(layout->count() - 1, loadPaperButton);
    connect(loadPaperButton, &QPushButton::clicked, this, [loadPaper] { loadPaper(); });
    const auto update = [this, describe] { printingLabel->setText(describe()); };
    update();
    // Live while it is open; a closed window costs nothing.
    printingTimer_.setInterval(100);
    connect(&printingTimer_, &QTimer::timeout, this, [this, update] {
        if (isVisible())
            update();
    });
    printingTimer_.start();
}

void PrinterStateWindow::restoreSettings(const QSettings& settings)
{
    restored_ = RestorePlace(*this, settings, QStringLiteral("printerState"));
}

void PrinterStateWindow::saveSettings(QSettings& settings) const
{
    // A window never shown has no place of its own to keep.
    if (shown_)
        SavePlace(*this, settings, QStringLiteral("printerState"));
}

void PrinterStateWindow::showBeside(QWidget* main, const QWidget* other)
{
    const bool firstTime = !shown_;
    if (firstTime && !restored_)
        adjustSize();
    show();
    if (firstTime && main != nullptr && !(restored_ && MayStayWhereItIs(*this, *main, other)))
        MoveBesideMain(*this, Companion::PrinterState, *main, other);
    shown_ = true;
    raise();
    activateWindow();
}

} // namespace ostrel
