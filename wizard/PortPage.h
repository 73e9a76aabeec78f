// The model and port page's rules: the port list, the model choice, and Next.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ports/PortList.h"
#include "wizard/Views.h"
#include "wizard/WizardState.h"

namespace zerviko::wizard {

// Where the port list comes from: the machine's ports, unless the caller (a test, or a
// front end with its own discovery) provides another source.
using PortListSource = std::function<ports::PortList()>;

class CPortPage {
 public:
  CPortPage(WizardState& state, IPortPageView& view,
            PortListSource source = ports::BuildPortList);

  // Once, when the wizard initialises: the prompts, the port list (built here, once:
  // a printer plugged in later needs a new start) and the ABC layout model checked,
  // whatever was chosen when the program last ran.
  void OnInitDialog();

  // Next on this page: the model flag into the wizard state first, then the selected
  // entry's port (never its display text with a printer's name). Non-zero means go on;
  // zero means no port is selected (an empty list), the user has been told, and the
  // port in the wizard state is the one from before.
  int CommitSelection();

  // The ports of the list, in the order the list shows them.
  const std::vector<std::string>& PortNames() const { return m_pPortNames; }

 private:
  WizardState& m_state;
  IPortPageView& m_view;
  PortListSource m_source;
  int m_nModelRadio = 0;  // 0 ABC layout, 1 Keyboard layout
  std::vector<std::string> m_pPortNames;
};

}  // namespace zerviko::wizard
