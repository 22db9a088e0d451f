#include "interaction/LayoutSource.h"

#include "render/RenderContexts.h"
#include "text/Text.h"

namespace zel::host {

LayoutEntry::LayoutEntry(std::shared_ptr<const detail::PanelShared> shared, const LayoutNode& node, LayoutEntry* parent)
    : m_shared(std::move(shared)), m_node(node), m_parent(parent) {
  if (node.name) {
    m_label = *node.name;
  } else if (const ParameterInfo* p = Parameter()) {
    m_label = p->name;
  }
}

const ParameterInfo* LayoutEntry::Parameter() const {
  if (!m_node.parameter) return nullptr;
  return &m_shared->catalogue->Parameters()[*m_node.parameter];
}

VOKRESULT LayoutEntry::Enable(std::int32_t on) {
  ZEL_HOST_ENTER_DETAIL("LayoutEntry.Enable", m_label + (on != 0 ? " 1" : " 0"));
  m_on.store(on != 0, std::memory_order_relaxed);
  if (m_shared->observer) m_shared->observer(*this, on != 0);
  return VOK_OK;
}

std::int32_t LayoutEntry::IsEnabled() {
  ZEL_HOST_NOTE("LayoutEntry.IsEnabled");
  return On() ? 1 : 0;
}

bool LayoutEntry::Shown() const {
  for (const LayoutEntry* e = this; e != nullptr; e = e->m_parent)
    if (!e->On()) return false;
  return true;
}

VOKPtr<LayoutSource> LayoutSource::Build(const ComponentDefinition& effect, LayoutObserver observer) {
  auto shared = std::make_shared<detail::PanelShared>();
  shared->catalogue = std::make_shared<const Catalogue>(effect);
  shared->observer = std::move(observer);
  VOKPtr<LayoutSource> source = MakeHostObject<LayoutSource>();
  source->m_shared = std::move(shared);
  source->AddNodes(source->m_shared->catalogue->Layout(), nullptr);
  return source;
}

void LayoutSource::AddNodes(const std::vector<LayoutNode>& nodes, LayoutEntry* parent) {
  for (const LayoutNode& node : nodes) {
    VOKPtr<LayoutEntry> entry = MakeHostObject<LayoutEntry>(m_shared, node, parent);
    LayoutEntry* raw = entry.Get();
    (parent ? parent->m_children : m_topLevel).push_back(raw);
    m_entries.push_back(std::move(entry));
    AddNodes(node.children, raw);
  }
}

VOKRESULT LayoutSource::GetLayoutEntry(const VOKUID& layoutUid, IZELLayoutEntry** ppEntry) {
  ZEL_HOST_ENTER_DETAIL("LayoutSource.GetLayoutEntry", [&] {
    const LayoutEntry* e = Find(layoutUid);
    return e ? e->Label() : UidText(layoutUid);
  }());
  if (ppEntry == nullptr) return VOK_E_POINTER;
  *ppEntry = nullptr;
  LayoutEntry* entry = Find(layoutUid);
  if (entry == nullptr) return VOK_E_INVALIDARG;
  entry->AddRef();
  *ppEntry = entry;
  return VOK_OK;
}

LayoutEntry* LayoutSource::Find(const VOKUID& uid) const {
  for (const VOKPtr<LayoutEntry>& e : m_entries)
    if (e->Uid() == uid) return e.Get();
  return nullptr;
}

void LayoutSource::ResetAll() {
  for (const VOKPtr<LayoutEntry>& e : m_entries) e->m_on.store(true, std::memory_order_relaxed);
}

}  // namespace zel::host
