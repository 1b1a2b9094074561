#include "ui/window_style.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QScreen>
#include <QUrl>
#include <QWidget>

namespace ostrel {

QFont ListFont()
{
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(9.75);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(9.75);
    }
    return font;
}

QFont WindowFont()
{
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
            { QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans Narrow"),
                QStringLiteral("Arial Narrow"), QStringLiteral("Nimbus Sans Narrow"),
                QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans") });
        return true;
    }();
    static_cast<void>(substituted);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    return font;
}

QFont TitleFont()
{
    QFont font = WindowFont();
    font.setBold(true);
    return font;
}

bool HasControlPictures(const QFont& font) { return QFontMetrics(font).inFontUcs4(0x241B); }

QIcon AppIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/ostrel-serial-capture-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/ostrel-serial-capture-32.png"), QSize(32, 32));
    return icon;
}

int RefreshIntervalMs(const QWidget& widget)
{
    const QScreen* display = widget.screen();
    const double hertz
        = display != nullptr && display->refreshRate() >= 1 ? display->refreshRate() : 60;
    return static_cast<int>(1000 / hertz);
}

QString DroppedFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1
        || !data->urls().front().isLocalFile())
        return {};
    return data->urls().front().toLocalFile();
}

QAction* WindowKeyAction(QWidget* owner, const QString& text, const char* name, Qt::Key key,
    const std::function<void()>& opens)
{
    auto* action = new QAction(text, owner);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(QKeySequence(key));
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, owner, [&opens] {
        if (opens)
            opens();
    });
    owner->addAction(action);
    return action;
}

} // namespace ostrel
