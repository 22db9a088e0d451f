// The parameter panel of one effect instance as the plug-in sees it: an entry per panel entry of
// the effect definition, found by its layout UID, each switched on or off. The update handler
// switches entries; the host's panel reads the state back and shows or hides the controls.
//
// Threads: the panel belongs to the host's user-interface thread; entry states are atomic so a
// render thread may read them, but switching and observing happen on one thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "definitions/Catalogue.h"
#include "loading/HostObject.h"

namespace zel::host {

class LayoutEntry;

/// Called after every Enable on an entry of the panel, with the state asked for (whether or not it
/// changed). The panel of a desktop host refreshes the control from it.
using LayoutObserver = std::function<void(const LayoutEntry& entry, bool on)>;

namespace detail {
/// What every entry of one panel shares, kept alive by each entry: the catalogue its nodes point
/// into and the observer.
struct PanelShared {
  std::shared_ptr<const Catalogue> catalogue;
  LayoutObserver observer;
};
}  // namespace detail

/// One panel entry. Starts switched on.
class LayoutEntry final : public HostObject<IZELLayoutEntry> {
 public:
  LayoutEntry(std::shared_ptr<const detail::PanelShared> shared, const LayoutNode& node, LayoutEntry* parent);

  /// Slot 3. Switches the entry on (any non-zero value) or off; VOK_OK.
  VOKRESULT Enable(std::int32_t on) override;
  /// Slot 4. 1 when on, else 0.
  std::int32_t IsEnabled() override;

  /// The entry as the definition describes it (kind, name, parameter, children).
  const LayoutNode& Node() const { return m_node; }
  const VOKUID& Uid() const { return m_node.uid; }
  /// The entry's name; for an unnamed entry the display name of the parameter it shows; else "".
  const std::string& Label() const { return m_label; }
  /// The parameter it shows, or null.
  const ParameterInfo* Parameter() const;
  bool On() const { return m_on.load(std::memory_order_relaxed); }
  /// On, and every entry above it on: what a panel shows.
  bool Shown() const;
  /// The entry above, or null at the top. Valid while the LayoutSource lives.
  LayoutEntry* Parent() const { return m_parent; }
  /// The entries below, in panel order. Valid while the LayoutSource lives.
  const std::vector<LayoutEntry*>& Children() const { return m_children; }

 protected:
  const char* ObjectName() const override { return "LayoutEntry"; }

 private:
  friend class LayoutSource;
  std::shared_ptr<const detail::PanelShared> m_shared;
  const LayoutNode& m_node;
  LayoutEntry* m_parent;
  std::vector<LayoutEntry*> m_children;
  std::string m_label;
  std::atomic<bool> m_on{true};
};

/// The panel of an effect instance.
class LayoutSource final : public HostObject<IZELLayoutSource> {
 public:
  /// One entry per node of the panel tree of `effect` (an effect definition), all switched on.
  /// `observer` may be empty.
  static VOKPtr<LayoutSource> Build(const ComponentDefinition& effect, LayoutObserver observer = {});

  /// Slot 3. The entry registered with `layoutUid` (the first in panel order when a plug-in used a
  /// UID twice). VOK_OK with one reference; VOK_E_INVALIDARG for an unknown UID; VOK_E_POINTER.
  VOKRESULT GetLayoutEntry(const VOKUID& layoutUid, IZELLayoutEntry** ppEntry) override;

  /// The entry with `uid`, or null; no reference added.
  LayoutEntry* Find(const VOKUID& uid) const;
  /// Top-level entries in panel order.
  const std::vector<LayoutEntry*>& TopLevel() const { return m_topLevel; }
  /// Every entry, depth first in panel order.
  const std::vector<VOKPtr<LayoutEntry>>& Entries() const { return m_entries; }
  /// Switches every entry on again, without telling the observer.
  void ResetAll();
  const Catalogue& Catalog() const { return *m_shared->catalogue; }

 protected:
  const char* ObjectName() const override { return "LayoutSource"; }

 private:
  void AddNodes(const std::vector<LayoutNode>& nodes, LayoutEntry* parent);

  std::shared_ptr<const detail::PanelShared> m_shared;
  std::vector<VOKPtr<LayoutEntry>> m_entries;
  std::vector<LayoutEntry*> m_topLevel;
};

}  // namespace zel::host
