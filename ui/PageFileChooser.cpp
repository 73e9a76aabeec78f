#include "ui/PageFileChooser.h"

#include <QFont>

CPageFileChooser::CPageFileChooser(QWidget* parent)
    : CWizardPage(parent), m_pTextFont(std::make_unique<QFont>(QStringLiteral("Arial"), 11)) {}

CPageFileChooser::~CPageFileChooser() = default;

int CPageFileChooser::CheckSelectedFile() { return 0; }

void CPageFileChooser::SetVolumeTable(zerviko::VolumeTable table) { m_volumeTable = std::move(table); }

void CPageFileChooser::showEvent(QShowEvent* event) { CWizardPage::showEvent(event); }

void CPageFileChooser::hideEvent(QHideEvent* event) { CWizardPage::hideEvent(event); }
