// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Screens.h"

#include <QCursor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QImageReader>
#include <QLabel>
#include <QLibraryInfo>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <QTranslator>
#include <QWidget>
#include <QWindow>

namespace roradaza {

namespace {

// The first installed family of the ones that stand in for a layout's font,
// looked up once: every missing family asked for costs a search through the
// whole font database each time a font is used.
QString installedFamily(const QString &family)
{
    static QHash<QString, QString> resolved;
    if (const auto found = resolved.constFind(family); found != resolved.constEnd())
        return *found;
    QStringList candidates{family};
    if (family == QLatin1String("Times New Roman"))
        candidates << QStringLiteral("Liberation Serif") << QStringLiteral("Nimbus Roman")
                   << QStringLiteral("DejaVu Serif");
    else if (family == QLatin1String("Courier"))
        candidates << QStringLiteral("Courier New") << QStringLiteral("Liberation Mono")
                   << QStringLiteral("Nimbus Mono PS") << QStringLiteral("DejaVu Sans Mono");
    else
        candidates << QStringLiteral("Arial") << QStringLiteral("Liberation Sans") << QStringLiteral("Nimbus Sans")
                   << QStringLiteral("DejaVu Sans");
    // The plain list of families: asking for each name would have fontconfig
    // resolve it as an alias first, which costs more than the whole list.
    static const QStringList installed = QFontDatabase::families();
    QString chosen;
    for (const QString &candidate : candidates) {
        if (installed.contains(candidate, Qt::CaseInsensitive)) {
            chosen = candidate;
            break;
        }
    }
    resolved.insert(family, chosen);
    return chosen;
}

// An icon of the base style, fetched from it the first time it is drawn.
class DeferredStyleIcon : public QIconEngine
{
public:
    DeferredStyleIcon(const QStyle *style, QStyle::StandardPixmap which) : m_style(style), m_which(which) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    QIconEngine *clone() const override { return new DeferredStyleIcon(*this); }

private:
    const QIcon &icon()
    {
        if (!m_fetched) {
            m_icon = m_style->standardIcon(m_which);
            m_fetched = true;
        }
        return m_icon;
    }

    const QStyle *m_style;
    QStyle::StandardPixmap m_which;
    QIcon m_icon;
    bool m_fetched = false;
};

} // namespace

bool installQtItalian()
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QIcon ProgramStyle::standardIcon(StandardPixmap which, const QStyleOption *option, const QWidget *widget) const
{
    if (which == SP_ToolBarHorizontalExtensionButton || which == SP_ToolBarVerticalExtensionButton)
        return QIcon(new DeferredStyleIcon(baseStyle(), which));
    return QProxyStyle::standardIcon(which, option, widget);
}

QFont uiFont(const QString &family, int pixelHeight)
{
    QFont font;
    const QString installed = installedFamily(family);
    if (!installed.isEmpty())
        font.setFamily(installed);
    font.setStyleHint(family == QLatin1String("Courier")           ? QFont::TypeWriter
                      : family == QLatin1String("Times New Roman") ? QFont::Serif
                                                                   : QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    // Glyphs on whole pixels, as the layouts were drawn: the look-alike fonts
    // then take the widths the labels have in their places.
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QIcon programIcon(const QString &name)
{
    const auto add = [](QIcon &icon, const QString &picture, int size, QIcon::Mode mode = QIcon::Normal,
                        qreal scale = 1) {
        // Read as PNG outright: a reader left to guess the format loads and
        // asks every image plugin installed, which costs more than the pictures.
        QImageReader reader(QStringLiteral(":/icons/png/%1-%2.png").arg(picture).arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        QImage image = reader.read();
        // A picture drawn for a scale is chosen for that scale, not enlarged from a smaller one.
        image.setDevicePixelRatio(scale);
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image), mode);
    };
    QIcon icon;
    if (name == QLatin1String("exit")) {
        // Drawn for scale 1, 1.5 and 2: a picture enlarged on screen is blurred.
        for (int size : {16, 24, 32}) {
            add(icon, name, size, QIcon::Normal, size / 16.0);
            add(icon, QStringLiteral("exit-disabled"), size, QIcon::Disabled, size / 16.0);
        }
        return icon;
    }
    static constexpr int traySizes[] = {16, 22, 32};
    static constexpr int windowSizes[] = {16, 32, 48};
    for (int size : name == QLatin1String("tray") ? traySizes : windowSizes)
        add(icon, name, size);
    return icon;
}

void PictureLabel::paintEvent(QPaintEvent *)
{
    const QPixmap picture = pixmap();
    if (picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(contentsRect(), picture);
}

void keepLightColours(QWidget *widget)
{
    QPalette palette = widget->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::AlternateBase, QColor(0xf0, 0xf0, 0xf0));
        palette.setColor(group, QPalette::Text, Qt::black);
        palette.setColor(group, QPalette::Window, QColor(0xf0, 0xf0, 0xf0));
        palette.setColor(group, QPalette::WindowText, Qt::black);
        palette.setColor(group, QPalette::Button, QColor(0xf0, 0xf0, 0xf0));
        palette.setColor(group, QPalette::ButtonText, Qt::black);
    }
    palette.setColor(QPalette::Disabled, QPalette::Base, QColor(0xf0, 0xf0, 0xf0));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x6d, 0x6d, 0x6d));
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor(0xf0, 0xf0, 0xf0));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x6d, 0x6d, 0x6d));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x6d, 0x6d, 0x6d));
    widget->setPalette(palette);
}

QPoint popupPlace(const QPoint &pointer, const QSize &size, const QRect &area)
{
    const auto along = [](int at, int length, int first, int last) {
        if (at + length <= last)
            return std::max(at + 1, first);
        return std::max(at - length, first);
    };
    return {along(pointer.x(), size.width(), area.left(), area.right()),
            along(pointer.y(), size.height(), area.top(), area.bottom())};
}

QScreen *screenOf(const QWidget *window)
{
    QScreen *screen = window->isVisible() ? window->screen() : QGuiApplication::screenAt(QCursor::pos());
    return screen ? screen : QGuiApplication::primaryScreen();
}

QMargins frameOf(const QWidget *window)
{
    // A window manager frames the program's windows alike; the first window
    // shown tells the frame of the next ones before they are mapped.
    static QMargins measured;
    if (window->windowFlags().testFlag(Qt::FramelessWindowHint))
        return {};
    const QRect frame = window->frameGeometry();
    const QRect inside = window->geometry();
    const QMargins margins(inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
                           frame.bottom() - inside.bottom());
    if (window->isVisible() && !margins.isNull())
        measured = margins;
    return margins.isNull() ? measured : margins;
}

QSize clientRoom(const QWidget *window)
{
    const QScreen *screen = screenOf(window);
    if (!screen)
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    const QMargins frame = frameOf(window);
    const QRect area = screen->availableGeometry();
    return {area.width() - frame.left() - frame.right(), area.height() - frame.top() - frame.bottom()};
}

namespace {

// The top left corner of a frame of this size moved into the area.
QPoint within(const QRect &frame, const QRect &area)
{
    const auto along = [](int at, int length, int first, int extent) {
        return std::max(first, std::min(at, first + extent - length));
    };
    return {along(frame.x(), frame.width(), area.x(), area.width()),
            along(frame.y(), frame.height(), area.y(), area.height())};
}

QRect frameRect(const QWidget *window)
{
    return window->geometry().marginsAdded(frameOf(window));
}

} // namespace

void centreOnPointerScreen(QWidget *window)
{
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect frame = frameRect(window);
    frame.moveCenter(area.center());
    window->move(within(frame, area));
}

void keepOnScreen(QWidget *window)
{
    const QScreen *screen = screenOf(window);
    if (!screen)
        return;
    const QRect frame = frameRect(window);
    const QPoint place = within(frame, screen->availableGeometry());
    if (place != frame.topLeft())
        window->move(place);
}

namespace {

class MapWatch : public QObject
{
public:
    MapWatch(QWidget *window, std::function<void()> then)
        : QObject(window->windowHandle()), m_window(window), m_then(std::move(then))
    {
        window->windowHandle()->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            // After the first frame has reached the compositor.
            QTimer::singleShot(0, m_window, std::move(m_then));
            deleteLater();
        }
        return false;
    }

private:
    QWidget *m_window;
    std::function<void()> m_then;
};

} // namespace

void whenMapped(QWidget *window, std::function<void()> then)
{
    QWindow *handle = window->windowHandle();
    if (QGuiApplication::platformName() != QLatin1String("wayland") || !handle || handle->isExposed()) {
        then();
        return;
    }
    new MapWatch(window, std::move(then));
}

} // namespace roradaza
