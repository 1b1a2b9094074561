#pragma once

#include <QAction>
#include <QFont>
#include <QIcon>

#include <QMimeData>
#include <QString>
#include <functional>

class QWidget;

namespace ostrel {

// "Courier" 9.75 pt, or a fixed-pitch substitute: the hex columns must line up.
QFont ListFont();
// The window's font: "MS Sans Serif" 8.25 pt, the size its pixel layout was
// drawn for. Where it is missing, a narrow sans-serif stands in, so that
// captions such as "Open Serial Port" fit their controls.
QFont WindowFont();
// The same, bold: the titles over the lists.
QFont TitleFont();
// Whether the font draws the Unicode control pictures (U+2400 onwards).
bool HasControlPictures(const QFont& font);
// The application icon, 16 x 16 and 32 x 32.
QIcon AppIcon();
// One refresh of the screen the widget is on, in milliseconds (60 Hz where
// the screen does not say).
int RefreshIntervalMs(const QWidget& widget);

// A window-wide key with a menu entry on `owner`, that calls whatever
// `opens` holds when it is pressed (nothing while it is empty).
QAction* WindowKeyAction(QWidget* owner, const QString& text, const char* name, Qt::Key key,
    const std::function<void()>& opens);

// The one local file a drag carries, or empty.
QString DroppedFile(const QMimeData* data);

} // namespace ostrel
