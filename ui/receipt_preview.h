#pragma once

#include "receipt/receipt_document.h"
#include "render/glyph_cache.h"
#include "render/symbol_encoder.h"
#include "session/capture_session.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRect>
#include <QScrollArea>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>

class QSettings;

namespace ostrel {

class PaperView;

// "Receipt Preview": what the job prints, read from the same received bytes
// by a model of a thermal receipt printer. Beside the paper, the commands as
// the model took them; a command shows its place on the paper and the paper
// selects the command that drew it. Follows the capture at most once a screen
// refresh, after the status replies.
class ReceiptPreview : public QWidget, private CaptureListener {
    Q_OBJECT
public:
    // How many of the newest bytes it keeps to read when it opens, and to read
    // again on another paper width.
    static constexpr std::size_t kHistoryKept = receipt::ReceiptDocument::kHistoryKept;

    explicit ReceiptPreview(CaptureSession& session, QWidget* parent = nullptr);
    ~ReceiptPreview() override;

    // Brings the window up beside the main window, never over it or `other`
    // (the Printer State window), or where it was left if that is so too.
    void showBeside(QWidget* main, const QWidget* other = nullptr);
    // Its size, place, zoom and paper, as the user left them last time.
    void restoreSettings(const QSettings& settings);
    void saveSettings(QSettings& settings) const;
    // Takes what has arrived and draws it now, instead of at the next refresh.
    void refresh();

    const receipt::ReceiptPrinter& printer() const { return document_.printer(); }
    // The receipt shown, an index into printer().receipts().
    int shownReceipt() const { return shown_; }
    void showReceipt(int index);
    void setPaperWidth(int dots);
    // Prints as this model does, from its print width on; false for an id no
    // profile has.
    bool setPrinter(const QString& id);
    // A real printer the jobs are forwarded to answered the request of
    // `source` that ends at `end` in what it sent: said beside the command
    // in the list, and under the paper, the newest few.
    void showPrinterAnswer(const ByteSource& source, long long end, const QString& said);
    // A printer in time: the roll ran out, paper was loaded... said under
    // the paper, the newest few.
    void showPrinterEvent(const QString& what);
    // A printer in time: how many of the bytes taken so far have printed.
    // What still waits is veiled on the paper and greyed in the list.
    void followPrinting(std::function<long long()> printed);
    // A zoom in percent, or kFitWidth: the paper's width fills the view.
    static constexpr int kFitWidth = 0;
    void setZoom(int percent);
    // The zoom the paper is drawn at, in percent.
    int shownZoom() const;
    // Selects a command of the shown receipt and marks its place on the paper.
    void selectCommand(int index);
    int selectedCommand() const { return selected_; }
    // The command that drew the dot at (x, y) of the shown receipt, or -1.
    int commandAt(int x, int y) const;
    // The paper rectangle marked for the selected command, in dots.
    QRect markedPlace() const;
    // PNG or PDF by the name's ending; false with `error` set.
    bool saveTo(const QString& path, QString& error);
    // The shown receipt's size in dots, and the whole of it drawn.
    QSize paperSize() const;
    QImage paperImage();

    QComboBox* printerChoice;
    QComboBox* paperChoice;
    QComboBox* zoomChoice;
    QPushButton* previousButton;
    QPushButton* nextButton;
    QLabel* receiptLabel;
    QPushButton* saveButton;
    QListWidget* commandList;
    QLabel* noteLabel;

    // Told of the printer model chosen in the window, so that the printer
    // answers GS I as that model.
    std::function<void(const receipt::PrinterProfile&)> printerChosen;
    // What "Printer State" (F7, and the command list's context menu) opens.
    std::function<void()> showPrinterState;
    // A file dropped on the preview; it is opened as a saved capture.
    std::function<void(const QString&)> fileDropped;

    // Where Save asks for a name; a test replaces it.
    std::function<QString()> askFileName;
    // Set while jobs are forwarded to a real printer: Save then also offers
    // the newest job's conversation (a name ending in .json).
    std::function<bool(const QString& path, QString& error)> saveConversation;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr int kPrinterAnswersShown = 3;
    static constexpr std::size_t kAnswersListed = 1000;
    QStringList printerAnswers_;
    QStringList printerEvents_;
    std::function<long long()> printed_;
    QTimer printingTimer_;
    void markWaiting();
    // Where each source's first byte arrived, and the printer's answers by
    // where their request's last byte arrived, both counted as the document
    // counts what arrived.
    std::map<const ByteSource*, long long> sourceStarts_;
    std::map<long long, QString> answers_;
    bool answersChanged_ = false;
    QString ListedLine(const receipt::ModelCommand& command) const;
    void chunkTaken(std::string_view chunk, ByteSource* from) override;
    void sourceEnded(ByteSource& source) override;
    void captureCleared() override;
    void scheduleFrame();
    void drawFrame();
    // Gives the model what arrived. Within a frame it reads for at most
    // `budgetMs` and answers waiting status requests between its slices; what
    // is left is read at the next frame.
    void takeArrived(qint64 budgetMs = -1);
    void redraw();
    void fillCommandList();
    void updateNavigation();
    void saveClicked();

    CaptureSession& session_;
    render::ZintSymbolGeometry geometry_;
    // Bytes not yet read by the model are read at the next frame while the
    // window is open (so that a chunk costs the reply path no more than a
    // copy), and only when it opens while it is closed.
    render::GlyphCache glyphs_; // tells the model which characters print as nothing
    receipt::ReceiptDocument document_ { geometry_,
        [this](char32_t ch) { return glyphs_.covers(ch); } };
    long long drawnRevision_ = -1;
    bool followNewest_ = true;
    int shown_ = 0;
    bool restored_ = false; // its place of last time was read
    bool opened_ = false; // shown in this run: its place is its own
    int selected_ = -1;
    long long paperDrawn_ = -1;
    QString savedFiles_; // what the last Save wrote
    QTimer frameTimer_;
    QElapsedTimer lastFrame_;
    QScrollArea* scroll_;
    PaperView* paper_;
    void applyZoom();
    // Fitting goes no smaller than the least zoom offered; a narrower view
    // scrolls instead.
    static constexpr int kLeastFitZoom = 50;
    int zoom_ = kFitWidth; // as chosen
};

} // namespace ostrel
