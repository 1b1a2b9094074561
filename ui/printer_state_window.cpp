#include "ui/printer_state_window.h"

#include "session/capture_session.h"
#include "ui/window_style.h"

#include <QAction>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

namespace ostrel {

PrinterStateWindow::PrinterStateWindow(CaptureSession& session, std::function<void(bool)> serialRealTime,
                                       QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), serialRealTime_(std::move(serialRealTime))
{
    setObjectName(QStringLiteral("PrinterStateWindow"));
    setWindowTitle(QStringLiteral("Printer State"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(WindowFont());
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("What the printer reports to DLE EOT, GS r and automatic status (GS a):"),
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
    serialRealTimeBox = new QCheckBox(QStringLiteral("Answer real-time status on the serial port"), this);
    serialRealTimeBox->setObjectName(QStringLiteral("serialRealTimeBox"));
    serialRealTimeBox->setToolTip(QStringLiteral("Network peers always get real-time replies; the serial port "
                                                 "answers only DLE \"R\" unless this is ticked."));
    connect(serialRealTimeBox, &QCheckBox::toggled, this, [this](bool on) {
        if (serialRealTime_)
            serialRealTime_(on);
    });
    layout->addWidget(serialRealTimeBox);
    layout->addStretch(1);
    auto* close = new QAction(this);
    close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence::Close});
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
}

void PrinterStateWindow::boxChanged()
{
    PrinterState state = session_.printerState(); // who it says it is stays
    const auto& names = PrinterStateNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        state.*names[i].field = stateBoxes[i]->isChecked();
    session_.setPrinterState(state);
}

void PrinterStateWindow::restoreSettings(const QSettings& settings)
{
    if (restoreGeometry(settings.value(QStringLiteral("printerState/geometry")).toByteArray()))
        placed_ = true;
}

void PrinterStateWindow::saveSettings(QSettings& settings) const
{
    settings.setValue(QStringLiteral("printerState/geometry"), saveGeometry());
}

void PrinterStateWindow::showBeside(QWidget* beside)
{
    if (!placed_ && beside != nullptr) {
        adjustSize();
        move(beside->frameGeometry().topLeft() + QPoint(40, 40));
        placed_ = true;
    }
    show();
    raise();
    activateWindow();
}

} // namespace ostrel
