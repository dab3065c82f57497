#include "image_view.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {
constexpr int kButtonBorder = 4;
}

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ImageView::SetImage(const QImage* image) {
    m_image = image ? *image : QImage();
    if (!m_image.isNull()) resize(m_image.size());
    update();
}

void ImageView::paintEvent(QPaintEvent*) {
    if (m_image.isNull()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_image);
}

ImageButton::ImageButton(QWidget* parent) : QPushButton(parent) {}

void ImageButton::SetImage(const QImage* image) {
    m_image = image ? *image : QImage();
    update();
}

void ImageButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);
    if (m_image.isNull()) return;

    const QRect face = rect().adjusted(kButtonBorder, kButtonBorder, -kButtonBorder, -kButtonBorder);
    QPoint topLeft((width() - m_image.width()) / 2, (height() - m_image.height()) / 2);
    if (isDown()) topLeft += QPoint(1, 1);
    painter.setClipRect(face);
    if (isEnabled()) {
        painter.drawImage(topLeft, m_image);
    } else {
        const QPixmap greyed = style()->generatedIconPixmap(QIcon::Disabled,
                                                            QPixmap::fromImage(m_image), &option);
        painter.drawPixmap(topLeft, greyed);
    }
}

FrameBox::FrameBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {
    setFocusPolicy(Qt::NoFocus);
}

void FrameBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const int lineY = metrics.height() / 2;
    const QRect frame = rect().adjusted(0, lineY, -1, -1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.adjusted(1, 1, 1, 1));

    constexpr int kCaptionIndent = 8;
    const QRect caption(kCaptionIndent, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter, title());
}
