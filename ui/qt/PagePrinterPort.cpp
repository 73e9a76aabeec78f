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

#include "ui/qt/MessageBox.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/StringTable.h"

namespace {

constexpr int ROLE_PORT_INDEX = Qt::UserRole;  // an entry's index into the port names

// Local 8-bit text from the port layer (device paths and printer names).
QString FromLocal(const std::string& text) {
  return QString::fromLocal8Bit(QByteArray::fromStdString(text));
}

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

CPagePrinterPort::CPagePrinterPort(QWidget* parent, PortListSource portListSource)
    : CWizardPage(parent), m_portListSource(std::move(portListSource)) {
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
  UpdateData(false);

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

  // The string table's wording, which a language pack may change.
  m_pPrompt->setText(TableString(IDS_SELECT_MODEL_AND_PORT));
  m_pPortPrompt->setText(TableString(IDS_SELECT_PORT));

  FillPortList();

  // Every start begins with the ABC layout model, whatever was chosen last time.
  m_nModelRadio = 0;
  UpdateData(false);
  return true;
}

void CPagePrinterPort::FillPortList() {
  m_pListPorts->clear();
  m_pPortNames.clear();
  const zerviko::ports::PortList list = m_portListSource ? m_portListSource()
                                                         : zerviko::ports::PortList{};
  for (const zerviko::ports::PortListEntry& entry : list.entries) {
    auto* item = new QListWidgetItem(FromLocal(entry.display), m_pListPorts);
    item->setData(ROLE_PORT_INDEX, static_cast<int>(m_pPortNames.size()));
    m_pPortNames.append(FromLocal(entry.port));
  }
  if (list.selected >= 0 && list.selected < m_pListPorts->count()) {
    m_pListPorts->setCurrentRow(list.selected);
    m_pListPorts->scrollToItem(m_pListPorts->currentItem());
  }
}

void CPagePrinterPort::UpdateData(bool bSaveAndValidate) {
  if (bSaveAndValidate) {
    m_nModelRadio = m_pKeyboardButton->isChecked() ? 1 : 0;
  } else {
    (m_nModelRadio == 1 ? m_pKeyboardButton : m_pAbcButton)->setChecked(true);
  }
}

int CPagePrinterPort::CommitSelection() {
  UpdateData(true);
  State().m_bAbcLayout = m_nModelRadio == 0 ? 1 : 0;

  const QList<QListWidgetItem*> selected = m_pListPorts->selectedItems();
  if (!selected.isEmpty()) {
    bool ok = false;
    const int index = selected.first()->data(ROLE_PORT_INDEX).toInt(&ok);
    if (ok && index >= 0 && index < m_pPortNames.size()) {
      // The device path, never the text shown with a printer's name.
      State().m_strPort = m_pPortNames[index];
      return 1;
    }
  }
  // No port to use (the list is empty, or nothing is selected): the wizard stays here.
  ShowMessageBox(this, TableString(IDS_INVALID_ARGUMENT), TableString(IDS_APP_TITLE),
                 MessageIcon::Stop);
  return 0;
}
