#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "ports/PortDiscovery.h"

namespace zerviko::ports {

namespace {

int FoldCase(char c) { return std::tolower(static_cast<unsigned char>(c)); }

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (FoldCase(text[i]) != FoldCase(prefix[i])) return false;
  }
  return true;
}

}  // namespace

int CompareNoCase(const std::string& a, const std::string& b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const int difference = FoldCase(a[i]) - FoldCase(b[i]);
    if (difference != 0) return difference;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int PortListBox::AddString(const std::string& text) {
  const auto place = std::upper_bound(
      m_entries.begin(), m_entries.end(), text,
      [](const std::string& value, const Entry& entry) { return CompareNoCase(value, entry.text) < 0; });
  const int index = static_cast<int>(place - m_entries.begin());
  m_entries.insert(place, Entry{text, 0});
  if (m_selected != LB_ERR && m_selected >= index) ++m_selected;
  return index;
}

void PortListBox::SetItemData(int index, std::size_t value) {
  m_entries.at(static_cast<std::size_t>(index)).itemData = value;
}

std::size_t PortListBox::GetItemData(int index) const {
  return m_entries.at(static_cast<std::size_t>(index)).itemData;
}

const std::string& PortListBox::GetText(int index) const {
  return m_entries.at(static_cast<std::size_t>(index)).text;
}

void PortListBox::SetCurSel(int index) {
  m_selected = (index >= 0 && index < GetCount()) ? index : LB_ERR;
}

int PortListBox::FindString(int start, const std::string& prefix) const {
  const int count = GetCount();
  if (count == 0) return LB_ERR;
  const int first = (start < 0 || start >= count) ? 0 : start + 1;
  for (int step = 0; step < count; ++step) {
    const int index = (first + step) % count;
    if (StartsWithNoCase(m_entries[static_cast<std::size_t>(index)].text, prefix)) return index;
  }
  return LB_ERR;
}

PortList ToPortList(const PortListBox& list, const std::vector<std::string>& portNames) {
  PortList result;
  for (int i = 0; i < list.GetCount(); ++i) {
    const std::size_t item = list.GetItemData(i);
    result.entries.push_back({list.GetText(i), item < portNames.size() ? portNames[item] : ""});
  }
  result.selected = list.GetCurSel();
  return result;
}

}  // namespace zerviko::ports
