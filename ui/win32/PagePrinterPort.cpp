#include "ui/win32/PagePrinterPort.h"

#include "ui/win32/Resources.h"
#include "ui/win32/resource.h"

namespace zerviko::win32 {

CPagePrinterPort::CPagePrinterPort(CMainDlg& main) : CWizardPage(main, IDD_PRINTER_PORT) {}

CPagePrinterPort::~CPagePrinterPort() {
  if (m_bmpAbc != nullptr) DeleteObject(m_bmpAbc);
  if (m_bmpKeyboard != nullptr) DeleteObject(m_bmpKeyboard);
}

void CPagePrinterPort::OnInitDialog() {
  SetTextFont({IDC_PORT_PROMPT, IDC_PORT_LABEL});
  // The padded port names form a column in the fixed-pitch font.
  SendMessageW(Item(IDC_PORT_LIST), WM_SETFONT,
               reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), TRUE);
  // A picture that cannot be loaded leaves its button a plain radio button.
  m_bmpAbc = LoadPicture(IDB_MODEL_ABC);
  m_bmpKeyboard = LoadPicture(IDB_MODEL_KEYBOARD);
  SendMessageW(Item(IDC_MODEL_ABC), BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_bmpAbc));
  SendMessageW(Item(IDC_MODEL_KEYBOARD), BM_SETIMAGE, IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(m_bmpKeyboard));
}

void CPagePrinterPort::SetPrompts(wizard::StringId model, wizard::StringId port) {
  SetWindowTextW(Item(IDC_PORT_PROMPT), LoadText(model).c_str());
  SetWindowTextW(Item(IDC_PORT_LABEL), LoadText(port).c_str());
}

void CPagePrinterPort::SetPortList(const std::vector<std::string>& displayTexts, int selected) {
  CCoreChange change(*this);
  HWND list = Item(IDC_PORT_LIST);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  // The list box keeps itself sorted; each line remembers its place in the core's list.
  for (std::size_t i = 0; i < displayTexts.size(); ++i) {
    const LRESULT line = SendMessageW(list, LB_ADDSTRING, 0,
                                      reinterpret_cast<LPARAM>(Wide(displayTexts[i]).c_str()));
    if (line >= 0) SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(line), static_cast<LPARAM>(i));
  }
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT line = 0; line < count; ++line) {
    if (SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(line), 0) == selected) {
      SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(line), 0);
    }
  }
}

int CPagePrinterPort::SelectedPort() const {
  HWND list = Item(IDC_PORT_LIST);
  const LRESULT line = SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (line == LB_ERR) return -1;
  return static_cast<int>(SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(line), 0));
}

int CPagePrinterPort::ModelRadio() const {
  if (IsDlgButtonChecked(m_hWnd, IDC_MODEL_ABC) == BST_CHECKED) return 0;
  if (IsDlgButtonChecked(m_hWnd, IDC_MODEL_KEYBOARD) == BST_CHECKED) return 1;
  return -1;
}

void CPagePrinterPort::SetModelRadio(int radio) {
  CheckDlgButton(m_hWnd, IDC_MODEL_ABC, radio == 0 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(m_hWnd, IDC_MODEL_KEYBOARD, radio == 1 ? BST_CHECKED : BST_UNCHECKED);
}

}  // namespace zerviko::win32
