#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>

namespace ostrel {

namespace {

    QSize Bounded(const QSize& wanted, int width, int height)
    {
        return { std::max(1, std::min(wanted.width(), width)),
            std::max(1, std::min(wanted.height(), height)) };
    }

} // namespace

PlacesBesideMain PlaceBesideMain(const QRect& mainFrame, const QRect& screen,
    const QSize& previewFrame, const QSize& printerStateFrame)
{
    PlacesBesideMain places;
    const int rightWidth = screen.right() - mainFrame.right() - kWindowGap;
    if (rightWidth >= kNarrowestStrip) {
        // A column right of the main window: the preview on top, the
        // Printer State window under it.
        const int left = mainFrame.right() + 1 + kWindowGap;
        const QSize state = Bounded(printerStateFrame, rightWidth, screen.height());
        const QSize preview
            = Bounded(previewFrame, rightWidth, screen.height() - state.height() - kWindowGap);
        places.preview = QRect(QPoint(left, screen.top()), preview);
        places.printerState = QRect(QPoint(left, places.preview.bottom() + 1 + kWindowGap), state);
        return places;
    }
    // A row under it: the preview at the left, the Printer State window at
    // its right.
    const int top = std::min(mainFrame.bottom() + 1 + kWindowGap, screen.bottom());
    const int height = screen.bottom() + 1 - top;
    const QSize state = Bounded(printerStateFrame, screen.width(), height);
    const QSize preview
        = Bounded(previewFrame, screen.width() - state.width() - kWindowGap, height);
    places.preview = QRect(QPoint(screen.left(), top), preview);
    places.printerState = QRect(QPoint(places.preview.right() + 1 + kWindowGap, top), state);
    return places;
}

bool MayComeBackAt(const QRect& frame, const QList<QRect>& screens, const QRect& mainFrame)
{
    if (frame.isEmpty() || frame.intersects(mainFrame))
        return false;
    return std::any_of(screens.begin(), screens.end(),
        [&](const QRect& screen) { return screen.contains(frame); });
}

void MoveBesideMain(QWidget& window, Companion which, const QWidget& main, const QWidget* other)
{
    const QScreen* screen
        = main.screen() != nullptr ? main.screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QSize frame = window.frameGeometry().size() - window.size();
    // The other window's room: as it stands when shown, else as it asks.
    const QSize otherFrame = other == nullptr ? QSize(0, 0)
        : other->isVisible()                  ? other->frameGeometry().size()
                                              : other->sizeHint() + frame;
    const QSize ownFrame = window.size() + frame;
    const PlacesBesideMain places = which == Companion::Preview
        ? PlaceBesideMain(main.frameGeometry(), screen->availableGeometry(), ownFrame, otherFrame)
        : PlaceBesideMain(main.frameGeometry(), screen->availableGeometry(), otherFrame, ownFrame);
    const QRect place = which == Companion::Preview ? places.preview : places.printerState;
    window.resize((place.size() - frame).expandedTo(window.minimumSizeHint()));
    window.move(place.topLeft());
}

bool MayStayWhereItIs(const QWidget& window, const QWidget& main, const QWidget* other)
{
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    return MayComeBackAt(window.frameGeometry(), screens, main.frameGeometry())
        && (other == nullptr || !other->isVisible()
            || !window.frameGeometry().intersects(other->frameGeometry()));
}

void SavePlace(const QWidget& window, QSettings& settings, const QString& group)
{
    settings.setValue(group + QStringLiteral("/place"), window.pos());
    settings.setValue(group + QStringLiteral("/size"), window.size());
}

bool RestorePlace(QWidget& window, const QSettings& settings, const QString& group)
{
    // Not saveGeometry's blob: restored without a window manager it comes
    // back lower by a guessed title bar.
    const QVariant place = settings.value(group + QStringLiteral("/place"));
    const QVariant size = settings.value(group + QStringLiteral("/size"));
    if (!place.canConvert<QPoint>() || !size.canConvert<QSize>() || !size.toSize().isValid())
        return false;
    window.resize(size.toSize());
    window.move(place.toPoint());
    return true;
}

} // namespace ostrel
