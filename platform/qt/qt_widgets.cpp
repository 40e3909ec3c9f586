// platform/qt/qt_widgets.cpp: the windows and graphic views: drawing the presented image,
// keys and mouse in, close box and resizes.
#include "platform/qt/qt_backend.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPainter>
#include <cmath>

namespace platform::qt {

namespace {

// Caps Lock is a state, not a held key: Qt reports no modifier for it, so it is toggled here.
uint64_t caps_lock_state = 0;

bool is_integer(double value)
{
    return std::abs(value - std::round(value)) < 1e-9;
}

} // namespace

// Canvas

Canvas::Canvas(QtWindowSystem& system, uint8_t window) : system_(system), window_(window)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

Canvas::Placement Canvas::placement() const
{
    Placement p;
    const DesktopWindowState* w = system_.state(window_);
    if (!w)
        return p;
    const double logical_width = w->state.frame.width;
    p.logical_height = w->state.frame.height - system_.title_bar_height();
    if (logical_width > 0 && p.logical_height > 0)
        p.scale = std::min({1.0, width() / logical_width, height() / p.logical_height});
    // The content keeps its aspect; a window larger than the content shows it centred.
    p.left = (width() - logical_width * p.scale) / 2;
    p.top = (height() - p.logical_height * p.scale) / 2;
    return p;
}

double Canvas::content_scale() const
{
    return placement().scale;
}

QRectF Canvas::view_rect() const
{
    const DesktopWindowState* w = system_.state(window_);
    if (!w)
        return {};
    const Placement p = placement();
    const Rect& v = w->state.view_frame;
    return {p.left + v.x * p.scale, p.top + (p.logical_height - v.y - v.height) * p.scale,
            v.width * p.scale, v.height * p.scale};
}

void Canvas::paintEvent(QPaintEvent*)
{
    DesktopWindowState* w = system_.state(window_);
    if (!w)
        return;
    QPainter painter(this);
    const Color& border = w->state.background;
    const QColor background =
        QColor::fromRgbF(static_cast<float>(border.red), static_cast<float>(border.green),
                         static_cast<float>(border.blue), 1.0f);
    painter.fillRect(rect(),
                     w->kind == WindowKind::Graphic ? background : palette().window().color());
    if (w->kind != WindowKind::Graphic || w->qimage.isNull())
        return;
    const QRectF target = view_rect();
    // Whole device pixels per image pixel are copied without smoothing, so the retro
    // glyphs stay sharp; shrunk views are smoothed to stay legible.
    const double device = target.width() / w->qimage.width() * devicePixelRatioF();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !is_integer(device));
    painter.drawImage(target, w->qimage);
}

void Canvas::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    update();
}

void Canvas::keyPressEvent(QKeyEvent* event)
{
    DesktopWindowState* w = system_.state(window_);
    if (!w || w->kind != WindowKind::Graphic) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_CapsLock && !event->isAutoRepeat())
        caps_lock_state ^= MOD_CAPS_LOCK;
    if (const uint64_t bit = modifier_key_bit(event->key())) {
        system_.report_modifiers(translate_modifiers(event->modifiers()) | bit | caps_lock_state);
        return;
    }
    system_.report_key(translate_key(*event, window_, caps_lock_state), true);
}

void Canvas::keyReleaseEvent(QKeyEvent* event)
{
    DesktopWindowState* w = system_.state(window_);
    if (!w || w->kind != WindowKind::Graphic || event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    if (const uint64_t bit = modifier_key_bit(event->key())) {
        system_.report_modifiers((translate_modifiers(event->modifiers()) & ~bit) |
                                 caps_lock_state);
        return;
    }
    system_.report_key(translate_key(*event, window_, caps_lock_state), false);
}

MouseReport Canvas::mouse_report(QMouseEvent* event) const
{
    MouseReport report;
    report.window = window_;
    // Back from widget pixels to logical content points, then y upwards from the bottom.
    const Placement p = placement();
    const QPointF at = event->position();
    report.x = std::floor((at.x() - p.left) / p.scale);
    report.y = p.logical_height - std::floor((at.y() - p.top) / p.scale);
    const Qt::MouseButtons buttons = event->buttons();
    report.buttons = (buttons & Qt::LeftButton ? 1u : 0u) | (buttons & Qt::RightButton ? 2u : 0u) |
                     (buttons & Qt::MiddleButton ? 4u : 0u);
    report.modifiers = translate_modifiers(event->modifiers()) | caps_lock_state;
    report.right = event->button() == Qt::RightButton;
    return report;
}

void Canvas::mousePressEvent(QMouseEvent* event)
{
    const DesktopWindowState* w = system_.state(window_);
    if (!w || w->kind != WindowKind::Graphic)
        return;
    setFocus();
    system_.report_mouse(mouse_report(event), WindowSystem::Mouse::Down);
}

void Canvas::mouseReleaseEvent(QMouseEvent* event)
{
    const DesktopWindowState* w = system_.state(window_);
    if (w && w->kind == WindowKind::Graphic)
        system_.report_mouse(mouse_report(event), WindowSystem::Mouse::Up);
}

void Canvas::mouseMoveEvent(QMouseEvent* event)
{
    const DesktopWindowState* w = system_.state(window_);
    // Without mouse tracking Qt reports moves only while a button is held: drags.
    if (w && w->kind == WindowKind::Graphic)
        system_.report_mouse(mouse_report(event), WindowSystem::Mouse::Dragged);
}

// DesktopWindow

DesktopWindow::DesktopWindow(QtWindowSystem& system, uint8_t window)
    : system_(system), window_(window)
{
    setAttribute(Qt::WA_QuitOnClose, false);
}

void DesktopWindow::closeEvent(QCloseEvent* event)
{
    // The window system never closes a window itself; the shell decides (it hides it).
    event->ignore();
    system_.report_close_box(window_);
}

void DesktopWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (isVisible())
        system_.deliver_resize(window_);
}

void DesktopWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // A window that becomes active shows the menu bar as it is now, and is the key window.
    // An activation that arrives after the window was hidden is stale.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible()) {
        if (DesktopWindowState* w = system_.state(window_)) {
            system_.refresh_menu_bar(*w);
            system_.report_activation(window_);
        }
    }
}

} // namespace platform::qt
