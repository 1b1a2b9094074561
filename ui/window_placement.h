#pragma once

#include <QList>
#include <QRect>
#include <QSize>

class QSettings;
class QString;
class QWidget;

namespace ostrel {

// Where the two windows that open beside the main window go, frames and all:
// on its screen and never over it or each other. They share the free strip
// right of it (below it, where the right is narrower than kNarrowestStrip),
// the Receipt Preview first and the Printer State window after it; each as
// large as it asks, or sized to fit.
struct PlacesBesideMain {
    QRect preview;
    QRect printerState;
};
inline constexpr int kNarrowestStrip = 320;
inline constexpr int kWindowGap = 8;
PlacesBesideMain PlaceBesideMain(const QRect& mainFrame, const QRect& screen,
    const QSize& previewFrame, const QSize& printerStateFrame);

// Whether a window may come back where it was left: wholly on one of the
// screens, and not over the main window.
bool MayComeBackAt(const QRect& frame, const QList<QRect>& screens, const QRect& mainFrame);

// The same for real windows: moves and sizes `window`, shown already so that
// its frame is known, into its place beside `main`; `other` is the other
// companion, whose room is kept free for it.
enum class Companion { Preview, PrinterState };
void MoveBesideMain(QWidget& window, Companion which, const QWidget& main, const QWidget* other);
// Whether the window, put back where it was, is somewhere it may stay: on a
// screen, and over neither the main window nor `other` where that is shown.
bool MayStayWhereItIs(const QWidget& window, const QWidget& main, const QWidget* other);

// A window's place (its frame's corner) and size, kept under GROUP/place and
// GROUP/size; RestorePlace is false when none was kept.
void SavePlace(const QWidget& window, QSettings& settings, const QString& group);
bool RestorePlace(QWidget& window, const QSettings& settings, const QString& group);

} // namespace ostrel
