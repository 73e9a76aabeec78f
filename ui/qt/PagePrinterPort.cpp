#include "ui/qt/PagePrinterPort.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <utility>

#include "ui/qt/Pictures.h"
#include "ui/qt/StringTable.h"

namespace {

// A model button: a radio button drawn as a push button with the model's picture. The
// checked one stays pressed in, with a navy frame so the choice shows at a glance.
class CModelButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const bool pressed = isChecked() || isDown();
    if (pressed) option.state |= QStyle::State_Sunken;
    painter.drawControl(QStyle::CE_PushButtonBevel, option);
    if (!icon().isNull()) {
      const QPixmap picture = icon().pixmap(iconSize(), isEnabled() ? QIcon::Normal : QIcon::Disabled);
      QRect target(QPoint(0, 0), iconSize());
      target.moveCenter(rect().center());
      if (pressed) target.translate(1, 1);
      painter.drawPixmap(target, picture);
    }
    if (isChecked()) {
      painter.setPen(QPen(kPageTextColour, 3));
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(rect().adjusted(2, 2, -2, -2));
    }
    if (hasFocus()) {
      QStyleOptionFocusRect focus;
      focus.initFrom(this);
      focus.rect = rect().adjusted(5, 5, -5, -5);
      painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
  }
};

}  // namespace

CPagePrinterPort::CPagePrinterPort(QWidget* parent) : CWizardPage(parent) {
  const QFont textFont = PageTextFont();

  m_pPrompt = new QLabel(tr("Select the model and port to program"), this);
  m_pPrompt->setObjectName(QStringLiteral("prompt"));
  m_pPrompt->setGeometry(DluRect(80, 21, 269, 17));
  m_pPrompt->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  m_pModelGroup = new QButtonGroup(this);
  m_pModelGroup->setExclusive(true);
  const struct {
    QPushButton** button;
    const char* name;
    int x;
    int radio;
  } models[] = {{&m_pAbcButton, "modelAbc", 58, 0}, {&m_pKeyboardButton, "modelKeyboard", 222, 1}};
  for (const auto& model : models) {
    auto* button = new CModelButton(this);
    button->setObjectName(QLatin1String(model.name));
    button->setGeometry(DluRect(model.x, 39, 150, 130));
    button->setCheckable(true);
    button->setAutoDefault(false);  // Enter on a page presses nothing
    m_pModelGroup->addButton(button, model.radio);
    *model.button = button;
  }
  m_pAbcButton->setAccessibleName(tr("ABC Layout"));
  m_pKeyboardButton->setAccessibleName(tr("Keyboard Layout"));

  m_pPortPrompt = new QLabel(tr("Select a port"), this);
  m_pPortPrompt->setObjectName(QStringLiteral("portPrompt"));
  m_pPortPrompt->setGeometry(DluRect(151, 173, 127, 15));

  m_pListPorts = new CChoiceList(this);
  m_pListPorts->setObjectName(QStringLiteral("portList"));
  m_pListPorts->setGeometry(DluRect(151, 186, 128, 58));

  for (QLabel* label : {m_pPrompt, m_pPortPrompt}) {
    label->setFont(textFont);
    ColourAsStatic(label);
  }
}

bool CPagePrinterPort::OnInitDialog() {
  // The padded port names form a column only in a fixed-pitch font.
  m_pListPorts->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

  m_bmpAbc = LoadPicture(QString::fromLatin1(PICTURE_MODEL_ABC));
  m_bmpKeyboard = LoadPicture(QString::fromLatin1(PICTURE_MODEL_KEYBOARD));
  const std::pair<QPushButton*, const QPixmap*> pictures[] = {{m_pAbcButton, &m_bmpAbc},
                                                              {m_pKeyboardButton, &m_bmpKeyboard}};
  for (const auto& [button, picture] : pictures) {
    // A missing picture leaves the button blank; it still works as a radio button.
    if (picture->isNull()) continue;
    button->setIcon(QIcon(*picture));
    button->setIconSize(picture->deviceIndependentSize().toSize());
  }
  return true;
}

void CPagePrinterPort::ShowMessage(zerviko::wizard::StringId text, zerviko::wizard::StringId caption,
                                   zerviko::wizard::MessageIcon icon) {
  ShowPageMessage(text, caption, icon);
}

void CPagePrinterPort::SetPrompts(zerviko::wizard::StringId model, zerviko::wizard::StringId port) {
  m_pPrompt->setText(TableString(model));
  m_pPortPrompt->setText(TableString(port));
}

void CPagePrinterPort::SetPortList(const std::vector<std::string>& displayTexts, int selected) {
  m_pListPorts->clear();
  for (const std::string& text : displayTexts) m_pListPorts->addItem(FromLocal(text));
  if (selected >= 0 && selected < m_pListPorts->count()) {
    m_pListPorts->setCurrentRow(selected);
    m_pListPorts->scrollToItem(m_pListPorts->currentItem());
  }
}

int CPagePrinterPort::SelectedPort() const { return m_pListPorts->ChosenRow(); }

int CPagePrinterPort::ModelRadio() const { return m_pKeyboardButton->isChecked() ? 1 : 0; }

void CPagePrinterPort::SetModelRadio(int radio) { (radio == 1 ? m_pKeyboardButton : m_pAbcButton)->setChecked(true); }
