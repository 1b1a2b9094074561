#include "ui/form1.h"

#include <QAction>

#include "files/capture_saver.h"
#include "serial/port_handling.h"
#include "ui/window_style.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>

#include <algorithm>

namespace ostrel {

namespace {

    template <typename Widget, typename... Args>
    Widget* Place(QWidget* container, const char* name, QRect geometry, Args&&... args)
    {
        auto* widget = new Widget(std::forward<Args>(args)..., container);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(geometry);
        return widget;
    }

    QLabel* Title(QWidget* container, const char* name, const char* text, QRect geometry)
    {
        auto* label = Place<QLabel>(container, name, geometry, QString::fromLatin1(text));
        label->setFont(TitleFont());
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        return label;
    }

    // Lines longer than this are shortened in message boxes, and runs without a
    // blank longer than the other are given places to wrap.
    constexpr qsizetype kLongestMessageLine = 300;
    constexpr qsizetype kLongestUnbrokenRun = 60;

    QString FitMessageText(const QString& text)
    {
        QStringList lines = text.split(QStringLiteral("\r\n"));
        for (QString& line : lines) {
            if (line.size() > kLongestMessageLine)
                line = line.left(kLongestMessageLine - 100) + QChar(0x2026) + line.right(99);
            QString wrapped;
            qsizetype run = 0;
            for (const QChar c : line) {
                run = c.isSpace() ? 0 : run + 1;
                if (run > kLongestUnbrokenRun) {
                    wrapped += QChar(0x200B); // a zero-width place to wrap
                    run = 1;
                }
                wrapped += c;
            }
            line = wrapped;
        }
        return lines.join(QStringLiteral("\r\n"));
    }

    // What the session reads once the window and its boxes are gone.
    const FixedStatusControls kStartUpStatus { kStartUpStatusByte1, kStartUpStatusByte2, true };

} // namespace

// The window's adapters for the port handling and the save: they read and set
// the controls, and show the message boxes.
class Form1::Adapters : public PortControls, public SaveMessages {
public:
    explicit Adapters(Form1& form)
        : form_(form)
    {
    }

    int enableSerialPortValue() const override { return form_.chkEnableSerialPort->isChecked(); }
    void setEnableSerialPortValue(int value) override
    {
        form_.chkEnableSerialPort->setChecked(value == 1);
    }
    void setEnableSerialPortCaption(const std::string& caption) override
    {
        form_.chkEnableSerialPort->setText(QString::fromStdString(caption));
    }
    std::string serialPortText() const override
    {
        return form_.comboSerialPort->currentText().toStdString();
    }
    std::string baudRateText() const override
    {
        return form_.ComboSerialBaudRate->currentText().toStdString();
    }
    int hwHandshakeValue() const override { return form_.chkHWhandshake->isChecked(); }
    void showOpenFailure(const std::string& message) override
    {
        ShowMessage(QMessageBox::Ok | QMessageBox::Cancel, message);
    }
    void showSaved(const std::string& message) override { ShowMessage(QMessageBox::Ok, message); }
    void showSaveFailure(const std::string& message) override
    {
        ShowMessage(QMessageBox::Ok, message, QMessageBox::Warning);
    }

private:
    void ShowMessage(QMessageBox::StandardButtons buttons, const std::string& text,
        QMessageBox::Icon icon = QMessageBox::NoIcon)
    {
        // A very long line (a pasted settings text, a deep path) is wrapped,
        // or shortened in the middle, so that the box fits the screen; the
        // exact message stays one click away under "Show Details...".
        const QString whole = QString::fromStdString(text);
        const QScreen* screen = form_.screen();
        const int room = screen != nullptr ? screen->availableGeometry().width() * 3 / 4 : 600;
        int widest = 0;
        for (const QString& line : whole.split(QStringLiteral("\r\n")))
            widest = std::max(
                widest, QFontMetrics(QApplication::font("QMessageBox")).horizontalAdvance(line));
        const QString shown = widest > room ? FitMessageText(whole) : whole;
        QMessageBox box(icon, QStringLiteral("OstrelSerialCapture"), shown, buttons, &form_);
        box.setTextFormat(Qt::PlainText);
        if (shown != whole)
            box.setDetailedText(whole);
        box.exec();
    }

    Form1& form_;
};

Form1::Form1(
    CaptureSession& session, SerialControl& MSComm1, CommonDialog& CommonDialog1, QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , MSComm1_(MSComm1)
    , adapters_(std::make_unique<Adapters>(*this))
    , ports_(std::make_unique<PortHandling>(MSComm1, *adapters_, session))
    , saver_(std::make_unique<CaptureSaver>(CommonDialog1, *adapters_))
{
    endProgram = [] { QCoreApplication::exit(0); };
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Ostrel Serial Print Command Capture"));
    setWindowIcon(AppIcon());
    // A saved capture dropped anywhere on the window is opened: a drop
    // target, not a control.
    setAcceptDrops(true);
    setFixedSize(726, 592);
    setFont(WindowFont());
    createControls();
    setKeyboardOrder();
    Form_Load();
    connectHandlers();
    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { drawFrame(); });
    // The preview is not one of the window's controls: a context-menu entry
    // of the command log and a key, both of the whole window.
    receiptPreviewAction = WindowKeyAction(listCommands, QStringLiteral("Receipt Preview"),
        "receiptPreviewAction", Qt::Key_F6, showReceiptPreview);
    printerStateAction = WindowKeyAction(listCommands, QStringLiteral("Printer State"),
        "printerStateAction", Qt::Key_F7, showPrinterState);
    listCommands->setContextMenuPolicy(Qt::ActionsContextMenu);
    session_.setStatusControls(*this);
    session_.addListener(*this);
}

Form1::~Form1()
{
    session_.removeListener(*this);
    session_.setStatusControls(kStartUpStatus);
}

void Form1::createControls()
{
    frameSerialCommands = Place<QGroupBox>(
        this, "frameSerialCommands", { 208, 8, 289, 89 }, QStringLiteral("Serial Port Settings"));
    Label2 = Place<QLabel>(
        frameSerialCommands, "Label2", { 96, 16, 73, 17 }, QStringLiteral("Serial Port"));
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    chkEnableSerialPort = Place<QPushButton>(frameSerialCommands, "chkEnableSerialPort",
        { 16, 24, 81, 33 }, QStringLiteral("Open Serial Port"));
    chkEnableSerialPort->setCheckable(true);
    comboSerialPort = Place<QComboBox>(frameSerialCommands, "comboSerialPort", { 104, 32, 41, 21 });
    comboSerialPort->setEditable(true);
    comboSerialPort->setInsertPolicy(QComboBox::NoInsert);
    for (const char* port : { "1", "2", "3", "4", "5", "6", "7", "8" })
        comboSerialPort->addItem(QString::fromLatin1(port));
    comboSerialPort->setCurrentIndex(0);
    ComboSerialBaudRate
        = Place<QComboBox>(frameSerialCommands, "ComboSerialBaudRate", { 152, 32, 113, 21 });
    ComboSerialBaudRate->setEditable(true);
    ComboSerialBaudRate->setInsertPolicy(QComboBox::NoInsert);
    chkHWhandshake = Place<QCheckBox>(
        frameSerialCommands, "chkHWhandshake", { 152, 56, 97, 17 }, QStringLiteral("HW Handshake"));

    cmdClearReceivedData = Place<QPushButton>(
        this, "cmdClearReceivedData", { 504, 16, 81, 33 }, QStringLiteral("Clear All"));
    cmdSaveCommands = Place<QPushButton>(
        this, "cmdSaveCommands", { 504, 56, 81, 33 }, QStringLiteral("Save Capture"));

    Label1 = Title(this, "Label1", "Commands Received", { 8, 104, 705, 17 });
    listCommands = placeList("listCommands", { 8, 120, 705, 199 }, session_.listCommands());
    Label3 = Title(this, "Label3", "Data Received", { 32, 328, 353, 17 });
    Label5 = Title(this, "Label5", "HEX", { 32, 344, 217, 17 });
    Label4 = Title(this, "Label4", "ASCII", { 256, 344, 129, 17 });
    listDataReceivedHEX
        = placeList("listDataReceivedHEX", { 32, 360, 217, 173 }, session_.listDataReceivedHEX());
    listDataReceived
        = placeList("listDataReceived", { 256, 360, 129, 173 }, session_.listDataReceived());
    listDataReceived->setControlPictures(HasControlPictures(listDataReceived->font()));

    Frame1
        = Place<QGroupBox>(this, "Frame1", { 416, 328, 297, 209 }, QStringLiteral("Status Bits"));
    chkEnableStatusBack = Place<QCheckBox>(
        Frame1, "chkEnableStatusBack", { 96, 16, 137, 17 }, QStringLiteral("Enable Status Return"));
    chkEnableStatusBack->setChecked(true);
    Label6 = Place<QLabel>(Frame1, "Label6", { 8, 48, 113, 17 }, QStringLiteral("Byte 1"));
    Label7 = Place<QLabel>(Frame1, "Label7", { 136, 48, 121, 17 }, QStringLiteral("Byte 2"));
    Label6->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label7->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    struct Box {
        const char* byte1;
        int width1;
        const char* byte2;
        int width2;
    };
    const Box boxes[8] = {
        { "Delivery Jam", 81, "Head Up", 129 },
        { "Receipt Dropped", 113, "Paper Out", 129 },
        { "Receipt Taken", 105, "Paper at Delivery", 129 },
        { "Receipt Jam", 81, "Cutter Home", 129 },
        { "Printer Busy", 81, "Paper Low", 129 },
        { "Cutter Error", 81, "Spare", 129 },
        { "Spare", 81, "Print Head Temperature", 145 },
        { "Spare", 81, "Spare", 129 },
    };
    for (int i = 0; i < 8; ++i) {
        const int top = 72 + 16 * i;
        const QByteArray name1 = "chkStatusBits_" + QByteArray::number(i);
        const QByteArray name2 = "chkStatusBits2_" + QByteArray::number(i);
        chkStatusBits[i] = Place<QCheckBox>(Frame1, name1.constData(),
            { 8, top, boxes[i].width1, 17 }, QString::fromLatin1(boxes[i].byte1));
        chkStatusBits2[i] = Place<QCheckBox>(Frame1, name2.constData(),
            { 144, top, boxes[i].width2, 17 }, QString::fromLatin1(boxes[i].byte2));
    }
    chkStatusBits2[3]->setChecked(true);

    lblByteCount = Place<QLabel>(
        this, "lblByteCount", { 8, 544, 169, 17 }, QStringLiteral("Bytes Received = 0"));
    lblCmdCount = Place<QLabel>(
        this, "lblCmdCount", { 8, 560, 169, 17 }, QStringLiteral("Command Count = 0"));
    cmdExit = Place<QPushButton>(this, "cmdExit", { 632, 552, 81, 33 }, QStringLiteral("Exit"));

    for (QPushButton* button :
        { chkEnableSerialPort, cmdClearReceivedData, cmdSaveCommands, cmdExit })
        button->setAutoDefault(false);
    nameForScreenReaders();
}

void Form1::nameForScreenReaders()
{
    // Buttons and boxes are read by their captions; the combo boxes and lists
    // are named by the labels above them (a buddy without an access key), and
    // the status boxes by their byte and bit, since "Spare" stands four times.
    Label2->setBuddy(comboSerialPort);
    // The editable combo boxes take the keys in their own text fields.
    for (auto [combo, name] : { std::pair { comboSerialPort, QStringLiteral("Serial Port") },
             std::pair { ComboSerialBaudRate, QStringLiteral("Serial Port Settings") } }) {
        combo->setAccessibleName(name);
        combo->lineEdit()->setAccessibleName(name);
    }
    Label1->setBuddy(listCommands);
    listCommands->setAccessibleName(QStringLiteral("Commands Received"));
    Label5->setBuddy(listDataReceivedHEX);
    listDataReceivedHEX->setAccessibleName(QStringLiteral("Data Received, HEX"));
    Label4->setBuddy(listDataReceived);
    listDataReceived->setAccessibleName(QStringLiteral("Data Received, ASCII"));
    chkEnableSerialPort->setAccessibleDescription(
        QStringLiteral("Opens or closes the serial port"));
    for (int i = 0; i < 8; ++i) {
        chkStatusBits[i]->setAccessibleName(
            QStringLiteral("Byte 1 bit %1: %2").arg(i).arg(chkStatusBits[i]->text()));
        chkStatusBits2[i]->setAccessibleName(
            QStringLiteral("Byte 2 bit %1: %2").arg(i).arg(chkStatusBits2[i]->text()));
    }
    lblByteCount->setAccessibleName(QStringLiteral("Bytes received"));
    lblCmdCount->setAccessibleName(QStringLiteral("Command count"));
}

void Form1::setKeyboardOrder()
{
    QList<QWidget*> order = { ComboSerialBaudRate, comboSerialPort, chkEnableSerialPort,
        listCommands, cmdClearReceivedData, listDataReceived, listDataReceivedHEX, chkHWhandshake,
        cmdSaveCommands, cmdExit };
    for (QCheckBox* box : chkStatusBits)
        order.append(box);
    for (QCheckBox* box : chkStatusBits2)
        order.append(box);
    order.append(chkEnableStatusBack);
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    for (QLabel* label : findChildren<QLabel*>())
        label->setFocusPolicy(Qt::NoFocus);
}

LineListBox* Form1::placeList(const char* name, QRect geometry, LineView& lines)
{
    auto* list = Place<LineListBox>(this, name, geometry, lines);
    list->setFont(ListFont());
    return list;
}

void Form1::connectHandlers()
{
    // toggled fires for the program's changes too, at once, as the port handling needs.
    connect(
        chkEnableSerialPort, &QPushButton::toggled, this, [this] { chkEnableSerialPort_Click(); });
    connect(cmdClearReceivedData, &QPushButton::clicked, this,
        [this] { cmdClearReceivedData_Click(); });
    connect(cmdSaveCommands, &QPushButton::clicked, this, [this] { cmdSaveCommands_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    // Requests answered away from this thread carry the boxes as they are now.
    for (QCheckBox* box : chkStatusBits)
        connect(box, &QCheckBox::toggled, this, [this] { session_.statusControlsChanged(); });
    for (QCheckBox* box : chkStatusBits2)
        connect(box, &QCheckBox::toggled, this, [this] { session_.statusControlsChanged(); });
    connect(chkEnableStatusBack, &QCheckBox::toggled, this,
        [this] { session_.statusControlsChanged(); });
}

void Form1::Form_Load()
{
    ports_->SetSerialDefaults();
    ComboSerialBaudRate->clear();
    for (const char* settings : { "600, N, 8, 1", "2400, N, 8, 1", "4800, N, 8, 1", "9600, N, 8, 1",
             "19200, N, 8, 1", "38400, N, 8, 1", "56000, N, 8, 1", "128000, N, 8, 1",
             "460800, N, 8, 1", "115200, N, 7, 2", "115200, N, 8, 1" })
        ComboSerialBaudRate->addItem(QString::fromLatin1(settings));
    ComboSerialBaudRate->setCurrentIndex(ComboSerialBaudRate->count() - 1);
    // The capture's start values were set when the session was made.
}

void Form1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Only when the window opens, not each time it is restored.
    if (!opened_)
        ComboSerialBaudRate->setFocus(Qt::OtherFocusReason);
    opened_ = true;
}

void Form1::dragEnterEvent(QDragEnterEvent* event)
{
    if (DroppedFile(event->mimeData()).isEmpty())
        return;
    event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event)
{
    const QString file = DroppedFile(event->mimeData());
    if (file.isEmpty() || !fileDropped)
        return;
    event->acceptProposedAction();
    fileDropped(file);
}

ByteSource& Form1::serialSource() { return ports_->source(); }

void Form1::UpdateData(std::string_view chunk)
{
    session_.UpdateData(chunk, &ports_->source());
    showCapture();
}

void Form1::chunkTaken(std::string_view, ByteSource*) { scheduleFrame(); }

void Form1::captureCleared() { scheduleFrame(); }

void Form1::scheduleFrame()
{
    if (drawing_ || frameTimer_.isActive())
        return;
    // At the next screen refresh, and while bytes keep coming no more than
    // thirty times a second: painting the three lists is most of what the
    // window costs during a long job.
    constexpr qint64 kBusyFrameMs = 33;
    const qint64 sinceLast = lastFrame_.isValid() ? lastFrame_.elapsed() : kBusyFrameMs;
    frameTimer_.start(
        static_cast<int>(std::max<qint64>(RefreshIntervalMs(*this), kBusyFrameMs - sinceLast)));
}

void Form1::drawFrame()
{
    drawing_ = true;
    lastFrame_.start();
    // Requests that came in since the last chunk are answered before drawing.
    session_.deliverPending();
    showCapture();
    // Paint now rather than at some later turn of the event loop, where the
    // repaint would stand in front of the next request.
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
    drawing_ = false;
}

void Form1::showCapture()
{
    frameTimer_.stop();
    for (LineListBox* list : { listCommands, listDataReceivedHEX, listDataReceived })
        list->refresh();
    const QString bytes = QString::fromStdString(session_.lblByteCount().text());
    if (lblByteCount->text() != bytes)
        lblByteCount->setText(bytes);
    const QString commands = QString::fromStdString(session_.lblCmdCount().text());
    if (lblCmdCount->text() != commands)
        lblCmdCount->setText(commands);
}

void Form1::chkEnableSerialPort_Click() { ports_->chkEnableSerialPort_Click(); }

void Form1::setSerialRealTimeReplies(bool answer) { ports_->setRealTimeReplies(answer); }

void Form1::MSComm1_OnComm() { ports_->MSComm1_OnComm(); }

void Form1::cmdClearReceivedData_Click()
{
    session_.ClearAll();
    showCapture();
}

void Form1::cmdSaveCommands_Click()
{
    saver_->cmdSaveCommands_Click(session_.listCommands(), session_.state());
}

void Form1::cmdExit_Click() { endProgram(); }

int Form1::enableStatusBackValue() const { return chkEnableStatusBack->isChecked() ? 1 : 0; }

int Form1::statusBitsValue(int index) const { return chkStatusBits[index]->isChecked() ? 1 : 0; }

int Form1::statusBits2Value(int index) const { return chkStatusBits2[index]->isChecked() ? 1 : 0; }

} // namespace ostrel
