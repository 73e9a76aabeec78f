#include "ui/qt/BitmapButton.h"

#include <QPainter>

#include "ui/qt/Pictures.h"

CBitmapButton::CBitmapButton(QWidget* parent) : QPushButton(parent) {
  setFlat(true);
}

bool CBitmapButton::LoadBitmaps(const QString& captionName) {
  m_bitmapUp = LoadPicture(captionName + QLatin1Char('U'));
  m_bitmapDown = LoadPicture(captionName + QLatin1Char('D'));
  m_bitmapFocus = LoadPicture(captionName + QLatin1Char('F'));
  m_bitmapDisabled = LoadPicture(captionName + QLatin1Char('X'));
  if (m_bitmapUp.isNull()) return false;
  resize(m_bitmapUp.deviceIndependentSize().toSize());
  update();
  return true;
}

QChar CBitmapButton::CurrentPictureState() const {
  if (isDown() && !m_bitmapDown.isNull()) return QLatin1Char('D');
  if (hasFocus() && !m_bitmapFocus.isNull()) return QLatin1Char('F');
  if (!isEnabled() && !m_bitmapDisabled.isNull()) return QLatin1Char('X');
  return QLatin1Char('U');
}

QSize CBitmapButton::sizeHint() const {
  if (m_bitmapUp.isNull()) return QPushButton::sizeHint();
  return m_bitmapUp.deviceIndependentSize().toSize();
}

void CBitmapButton::paintEvent(QPaintEvent* /*event*/) {
  if (m_bitmapUp.isNull()) {
    // Without pictures the button is still usable as an ordinary one.
    QPainter painter(this);
    painter.drawText(rect(), Qt::AlignCenter, text());
    return;
  }
  const QPixmap* picture = &m_bitmapUp;
  switch (CurrentPictureState().toLatin1()) {
    case 'D': picture = &m_bitmapDown; break;
    case 'F': picture = &m_bitmapFocus; break;
    case 'X': picture = &m_bitmapDisabled; break;
    default: break;
  }
  // Unscaled, from the top-left corner, as the pictures are drawn to the button's size.
  QPainter painter(this);
  painter.drawPixmap(0, 0, *picture);
}
