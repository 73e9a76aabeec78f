// A push button drawn as a picture, one picture per state.
#pragma once

#include <QPixmap>
#include <QPushButton>
#include <QString>

class CBitmapButton : public QPushButton {
  Q_OBJECT
 public:
  explicit CBitmapButton(QWidget* parent = nullptr);

  // Binds the button to the pictures named after its caption in upper case followed
  // by U (normal), D (pressed), F (focused) and X (disabled), such as "BACKU". Only U
  // is required. The button takes the size of the U picture; its top-left corner
  // stays where it is. Returns false when there is no U picture.
  bool LoadBitmaps(const QString& captionName);

  // Which picture the button shows now: 'U', 'D', 'F' or 'X'.
  QChar CurrentPictureState() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap m_bitmapUp;
  QPixmap m_bitmapDown;
  QPixmap m_bitmapFocus;
  QPixmap m_bitmapDisabled;
};
