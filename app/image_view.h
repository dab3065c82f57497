#pragma once

#include <QGroupBox>
#include <QImage>
#include <QPushButton>
#include <QWidget>

// Shows one image at its top-left corner and takes the image's size; without an image it keeps
// its size and draws nothing, so the window shows through.
class ImageView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ImageView)

public:
    explicit ImageView(QWidget* parent);
    void SetImage(const QImage* image);
    bool HasImage() const { return !m_image.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};

// A push button without text that draws its image centred on the face, clipped inside the
// border, shifted by a pixel while held down and greyed when disabled.
class ImageButton final : public QPushButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ImageButton)

public:
    explicit ImageButton(QWidget* parent);
    void SetImage(const QImage* image);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};

// A frame line with its caption set into the top edge at the left; the widgets inside show through.
class FrameBox final : public QGroupBox {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FrameBox)

public:
    FrameBox(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
