#include "wizard/PortPage.h"

#include <utility>

namespace zerviko::wizard {

CPortPage::CPortPage(WizardState& state, IPortPageView& view, PortListSource source)
    : m_state(state), m_view(view), m_source(std::move(source)) {}

void CPortPage::OnInitDialog() {
  m_view.SetPrompts(IDS_SELECT_MODEL_AND_PORT, IDS_SELECT_PORT);

  const ports::PortList list = m_source ? m_source() : ports::PortList{};
  std::vector<std::string> texts;
  m_pPortNames.clear();
  for (const ports::PortListEntry& entry : list.entries) {
    texts.push_back(entry.display);
    m_pPortNames.push_back(entry.port);
  }
  const int count = static_cast<int>(texts.size());
  m_view.SetPortList(texts, list.selected >= 0 && list.selected < count ? list.selected : -1);

  m_nModelRadio = 0;
  m_view.SetModelRadio(m_nModelRadio);
}

int CPortPage::CommitSelection() {
  m_nModelRadio = m_view.ModelRadio();
  m_state.m_bAbcLayout = m_nModelRadio == 0 ? 1 : 0;

  const int index = m_view.SelectedPort();
  if (index >= 0 && index < static_cast<int>(m_pPortNames.size())) {
    m_state.m_strPort = m_pPortNames[static_cast<std::size_t>(index)];
    return 1;
  }
  // No port to use (the list is empty, or nothing is selected): the wizard stays here.
  m_view.ShowMessage(IDS_INVALID_ARGUMENT, IDS_APP_TITLE, MessageIcon::Stop);
  return 0;
}

}  // namespace zerviko::wizard
