// The host's catalogue over definitions a plug-in might hand it: odd ones included. Definitions
// are made through the host's own definition factory, as a plug-in makes them; the catalogue must
// read whatever arrives without crashing, looping or leaking, and report list values as the host
// promises (an item without a value reports 0).
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "definitions/Catalogue.h"
#include "loading/Instrumentation.h"
#include "loading/PluginModule.h"

using namespace zel::host;

namespace {

constexpr VOKUID Uid(std::uint32_t n) { return {n, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}}; }

/// Makes definitions the way a plug-in does, through the host unknown's definition factory.
class CatalogueOddDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Instrumentation::Global().Reset();
    m_before = Instrumentation::LiveHostObjects();
    m_host = MakeHostObject<HostUnknown>();
    m_effect = Make<ComponentDefinition, IZELEffectDefinition>(CLSID_ZELEffectDefinition, IID_IZELEffectDefinition);
    ASSERT_EQ(m_effect->InitComponent(Uid(1), ZELKind_Effect, 1, 0, Uid(2), u"odd"), VOK_OK);
  }
  void TearDown() override {
    m_effect.Reset();
    m_host.Reset();
    EXPECT_EQ(Instrumentation::LiveHostObjects(), m_before) << "host objects left alive";
  }

  template <class T, class I>
  VOKPtr<T> Make(const VOKUID& clsid, const VOKUID& iid) {
    I* face = nullptr;
    EXPECT_EQ(m_host->CreateInstance(clsid, nullptr, iid, reinterpret_cast<void**>(&face)), VOK_OK);
    VOKPtr<T> kept;
    kept.Attach(dynamic_cast<T*>(face));
    return kept;
  }
  VOKPtr<ParameterDefinition> Parameter(std::uint32_t n, const char16_t* name, const VOKUID& type = VOKTypeID_Integer) {
    auto p = Make<ParameterDefinition, IZELParameterDefinition>(CLSID_ZELParameterDefinition, IID_IZELParameterDefinition);
    EXPECT_EQ(p->InitParameter(Uid(n), name, name, type, 0, 0, 0, nullptr), VOK_OK);
    return p;
  }
  VOKPtr<LayoutDefinition> Entry(std::uint32_t n, const char16_t* name, const VOKUID* kind = nullptr,
                                 ParameterDefinition* parameter = nullptr) {
    auto e = Make<LayoutDefinition, IZELLayoutDefinition>(CLSID_ZELLayoutDefinition, IID_IZELLayoutDefinition);
    EXPECT_EQ(e->InitLayout(Uid(n), name, name, kind, parameter), VOK_OK);
    return e;
  }

  std::int64_t m_before = 0;
  VOKPtr<HostUnknown> m_host;
  VOKPtr<ComponentDefinition> m_effect;
};

}  // namespace

// What the item of a list reports when it is chosen, for every way its value may arrive.
TEST_F(CatalogueOddDataTest, ListItemValuesAsTheHostReportsThem) {
  struct Case {
    const char* label;
    VOKUID type;
    std::vector<std::uint8_t> bytes;  ///< empty: no value attribute at all
    std::int32_t reported;
    bool hasValue;
  };
  auto bytesOf = [](auto v) {
    std::vector<std::uint8_t> b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
  };
  const Case cases[] = {
      {"integer 7", VOKTypeID_Integer, bytesOf(std::uint32_t{7}), 7, true},
      {"no value attribute", VOKTypeID_Integer, {}, 0, false},
      {"integer 0xFFFFFFFF reads as -1", VOKTypeID_Integer, bytesOf(std::uint32_t{0xFFFFFFFF}), -1, true},
      {"signed -3", VOKTypeID_SignedInteger, bytesOf(std::int32_t{-3}), -3, true},
      {"double 2.9 truncates", VOKTypeID_Double, bytesOf(2.9), 2, true},
      {"double beyond 32 bits is clamped", VOKTypeID_Double, bytesOf(1e12), 2147483647, true},
      {"boolean true", VOKTypeID_Boolean, bytesOf(std::uint32_t{1}), 1, true},
      {"RGB triple is no number", VOKTypeID_RGB, std::vector<std::uint8_t>(24, 0), 0, true},
      {"bytes are no number", VOKTypeID_ByteArray, {1, 2, 3}, 0, true},
  };
  auto list = Parameter(10, u"List");
  auto box = Entry(11, u"Box", &ZELLayout_ListBox, list.Get());
  std::uint32_t n = 100;
  for (const Case& c : cases) {
    auto item = Entry(n++, nullptr, &ZELLayout_ListItem);
    if (!c.bytes.empty()) {
      const auto size = static_cast<std::uint32_t>(c.bytes.size());
      ASSERT_EQ(item->SetAttribute(ZELAttr_Default, c.type, c.bytes.data(), size), VOK_OK) << c.label;
    }
    ASSERT_EQ(box->AddChild(item.Get()), VOK_OK);
  }
  ASSERT_EQ(m_effect->AddLayout(box.Get()), VOK_OK);
  const Catalogue catalogue(*m_effect.Get());
  const ParameterInfo* p = catalogue.FindByName("List");
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(p->items.size(), std::size(cases));
  const auto& nodes = catalogue.Layout()[0].children;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].label);
    EXPECT_EQ(p->items[i].value, cases[i].reported);
    EXPECT_EQ(p->items[i].hasValue, cases[i].hasValue);
    EXPECT_EQ(nodes[i].value, cases[i].reported);
    EXPECT_EQ(p->items[i].name, "");  // unnamed items stay unnamed
  }
  EXPECT_EQ(catalogue.FindByName("Box"), p);
}

// Links that would close a cycle are refused, so nothing keeps itself alive and no walk loops.
TEST_F(CatalogueOddDataTest, CyclesAreRefused) {
  auto a = Entry(20, u"A");
  auto b = Entry(21, u"B");
  auto c = Entry(22, u"C");
  EXPECT_EQ(a->AddChild(a.Get()), VOK_E_INVALIDARG);
  ASSERT_EQ(a->AddChild(b.Get()), VOK_OK);
  ASSERT_EQ(b->AddChild(c.Get()), VOK_OK);
  EXPECT_EQ(c->AddChild(a.Get()), VOK_E_INVALIDARG);
  EXPECT_EQ(b->AddChild(a.Get()), VOK_E_INVALIDARG);
  // Sharing without a cycle is fine: C twice under A.
  EXPECT_EQ(a->AddChild(c.Get()), VOK_OK);

  auto red = Parameter(30, u"Red");
  auto self = Make<ParameterDefinition, IZELParameterDefinition>(CLSID_ZELParameterDefinition,
                                                                 IID_IZELParameterDefinition);
  IZELParameterDefinition* loop[] = {red.Get(), self.Get()};
  EXPECT_EQ(self->InitParameter(Uid(31), u"Self", u"Self", VOKTypeID_RGB, 0, 0, 2, loop), VOK_E_INVALIDARG);
  auto outer = Make<ParameterDefinition, IZELParameterDefinition>(CLSID_ZELParameterDefinition,
                                                                  IID_IZELParameterDefinition);
  IZELParameterDefinition* viaOuter[] = {outer.Get()};
  ASSERT_EQ(self->InitParameter(Uid(31), u"Self", u"Self", VOKTypeID_RGB, 0, 0, 1, viaOuter), VOK_OK);
  IZELParameterDefinition* back[] = {self.Get()};
  EXPECT_EQ(outer->InitParameter(Uid(32), u"Outer", u"Outer", VOKTypeID_RGB, 0, 0, 1, back), VOK_E_INVALIDARG);

  ASSERT_EQ(m_effect->AddLayout(a.Get()), VOK_OK);
  ASSERT_EQ(m_effect->AddParameter(self.Get()), VOK_OK);
  const Catalogue catalogue(*m_effect.Get());
  ASSERT_EQ(catalogue.Layout().size(), 1u);
  ASSERT_EQ(catalogue.Layout()[0].children.size(), 2u);
  EXPECT_EQ(catalogue.Layout()[0].children[1].name, "C");
  // "Self" and its uninitialised component "Outer", which the catalogue lists without a name.
  ASSERT_EQ(catalogue.Parameters().size(), 2u);
  EXPECT_EQ(catalogue.Parameters()[0].name, "Self");
  EXPECT_EQ(catalogue.Parameters()[0].components, (std::vector<std::size_t>{1}));
  EXPECT_EQ(catalogue.Parameters()[1].name, "");
}

TEST_F(CatalogueOddDataTest, SharedAndUninitialisedEntries) {
  auto x = Parameter(40, u"X", VOKTypeID_Double);
  auto control = Entry(41, nullptr, &ZELLayout_Parameter, x.Get());
  auto group = Entry(42, u"Group");
  ASSERT_EQ(group->AddChild(control.Get()), VOK_OK);
  auto blank = Make<LayoutDefinition, IZELLayoutDefinition>(CLSID_ZELLayoutDefinition, IID_IZELLayoutDefinition);
  const VOKUID strangeKind = Uid(99);
  auto strange = Entry(43, u"Strange", &strangeKind);
  ASSERT_EQ(m_effect->AddLayout(group.Get()), VOK_OK);
  ASSERT_EQ(m_effect->AddLayout(group.Get()), VOK_OK);  // the same entry twice
  ASSERT_EQ(m_effect->AddLayout(blank.Get()), VOK_OK);  // never initialised
  ASSERT_EQ(m_effect->AddLayout(strange.Get()), VOK_OK);
  ASSERT_EQ(m_effect->AddParameter(x.Get()), VOK_OK);  // and shown, and added on its own
  const Catalogue catalogue(*m_effect.Get());
  ASSERT_EQ(catalogue.Parameters().size(), 1u);
  ASSERT_EQ(catalogue.Layout().size(), 4u);
  EXPECT_EQ(catalogue.Parameters()[0].entry, &catalogue.Layout()[0].children[0]);
  EXPECT_EQ(catalogue.Layout()[2].kind, LayoutKind::Group);
  EXPECT_FALSE(catalogue.Layout()[2].name.has_value());
  EXPECT_EQ(catalogue.Layout()[3].kind, LayoutKind::Unknown);
  EXPECT_FALSE(catalogue.Parameters()[0].isList);
}

TEST_F(CatalogueOddDataTest, AttributesOfUnexpectedShapes) {
  auto p = Parameter(50, u"P", VOKTypeID_Double);
  const std::uint64_t eight = 8;
  const std::uint8_t five[5] = {1, 2, 3, 4, 5};
  // Sizes that do not fit the type are refused by the definition and never reach the catalogue.
  EXPECT_EQ(p->SetAttribute(ZELAttr_Minimum, VOKTypeID_Integer, &eight, 8), VOK_E_INVALIDARG);
  EXPECT_EQ(p->SetAttribute(ZELAttr_Minimum, VOKTypeID_ByteArray, five, VOK_TEXT_SIZE), VOK_E_INVALIDARG);
  EXPECT_EQ(p->SetAttribute(ZELAttr_Minimum, VOKTypeID_Integer, nullptr, 4), VOK_E_POINTER);
  // An unknown type keeps its bytes; a text attribute under an odd role keeps its text.
  ASSERT_EQ(p->SetAttribute(ZELAttr_Default, Uid(77), five, sizeof five), VOK_OK);
  ASSERT_EQ(p->SetAttribute(Uid(78), VOKTypeID_String, u"note", VOK_TEXT_SIZE), VOK_OK);
  ASSERT_EQ(p->SetAttribute(ZELAttr_Maximum, VOKTypeID_Text, u"\xD800x", VOK_TEXT_SIZE), VOK_OK);
  ASSERT_EQ(m_effect->AddParameter(p.Get()), VOK_OK);
  const Catalogue catalogue(*m_effect.Get());
  const ParameterInfo& info = catalogue.Parameters().at(0);
  ASSERT_TRUE(info.attributes.defaultValue.has_value());
  EXPECT_EQ(info.attributes.defaultValue->kind, ValueKind::Unknown);
  EXPECT_EQ(info.attributes.defaultValue->bytes, std::vector<std::uint8_t>(five, five + 5));
  EXPECT_EQ(info.attributes.minimum, std::nullopt);
  ASSERT_EQ(info.attributes.all.size(), 3u);
  EXPECT_EQ(info.attributes.all[1].role, AttributeRole::Other);
  EXPECT_EQ(info.attributes.all[1].value.text, "note");
  // A lone surrogate becomes U+FFFD rather than invalid UTF-8.
  EXPECT_EQ(info.attributes.maximum->text, "\xEF\xBF\xBDx");
  EXPECT_EQ(info.entry, nullptr);
}

TEST_F(CatalogueOddDataTest, AVeryDeepPanelIsCutNotFollowedForEver) {
  auto p = Parameter(60, u"Deep");
  auto top = Entry(1000, u"level 0");
  LayoutDefinition* at = top.Get();
  std::vector<VOKPtr<LayoutDefinition>> chain;
  for (std::uint32_t i = 1; i < 300; ++i) {
    chain.push_back(Entry(1000 + i, u"level", i == 299 ? &ZELLayout_Parameter : nullptr, i == 299 ? p.Get() : nullptr));
    ASSERT_EQ(at->AddChild(chain.back().Get()), VOK_OK);
    at = chain.back().Get();
  }
  ASSERT_EQ(m_effect->AddLayout(top.Get()), VOK_OK);
  const Catalogue catalogue(*m_effect.Get());
  EXPECT_TRUE(catalogue.Truncated());
  std::size_t depth = 0;
  for (const LayoutNode* node = &catalogue.Layout()[0]; !node->children.empty(); node = &node->children[0]) ++depth;
  EXPECT_EQ(depth + 1, Catalogue::kMaxDepth);
  // The parameter is still in the catalogue; only its entry lies beyond what the panel shows.
  ASSERT_EQ(catalogue.Parameters().size(), 1u);
  EXPECT_EQ(catalogue.Parameters()[0].entry, nullptr);
}

// Registration order is the order the plug-in made the parameters, not the panel order.
TEST_F(CatalogueOddDataTest, ParametersInTheOrderTheyWereMade) {
  auto first = Parameter(70, u"first");
  auto second = Parameter(71, u"second");
  auto third = Parameter(72, u"third");
  auto group = Entry(73, u"g");
  ASSERT_EQ(group->AddChild(Entry(74, nullptr, &ZELLayout_Parameter, third.Get()).Get()), VOK_OK);
  ASSERT_EQ(group->AddChild(Entry(75, nullptr, &ZELLayout_Parameter, first.Get()).Get()), VOK_OK);
  ASSERT_EQ(m_effect->AddLayout(group.Get()), VOK_OK);
  ASSERT_EQ(m_effect->AddParameter(second.Get()), VOK_OK);
  // A second parameter under the UID of "first": listed, but the UID finds the first one made.
  auto twin = Parameter(70, u"twin");
  ASSERT_EQ(m_effect->AddParameter(twin.Get()), VOK_OK);
  const Catalogue catalogue(*m_effect.Get());
  ASSERT_EQ(catalogue.Parameters().size(), 4u);
  EXPECT_EQ(catalogue.Find(Uid(70))->name, "first");
  EXPECT_EQ(catalogue.Find(twin.Get())->name, "twin");
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(catalogue.Parameters()[i].index, i);
  EXPECT_EQ(catalogue.Parameters()[0].name, "first");
  EXPECT_EQ(catalogue.Parameters()[1].name, "second");
  EXPECT_EQ(catalogue.Parameters()[2].name, "third");
  EXPECT_EQ(catalogue.Find(Uid(72)), &catalogue.Parameters()[2]);
  EXPECT_EQ(catalogue.Find(Uid(999)), nullptr);
  EXPECT_EQ(catalogue.FindEntry(Uid(75))->parameter, std::optional<std::size_t>(0));
}
