// How the in-memory host stores a drawing: name indexes, raw tags and the
// arena entities live in.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "host/memory/entities.h"
#include "host/memory/memory_host.h"

namespace palvane::testing {
namespace {

using host::memory::FoldName;
using host::memory::NameIndex;

struct Named {
  std::string text;
  const std::string& name() const { return text; }
};

// Many names, many erased from the middle of runs of neighbours: every
// remaining one is still found, letter case ignored, and no erased one is.
TEST(NameIndexTest, FindsEveryNameAfterInsertsAndErasures) {
  std::map<std::string, Named> objects;
  for (int i = 0; i < 3000; ++i) {
    const std::string name = std::to_string(i) + (i % 2 ? "_Profile" : "_SectionLine");
    objects[name] = Named{name};
  }
  NameIndex<Named> index;
  for (auto& [name, object] : objects) index.Insert(&object);
  std::set<std::string> erased;
  int k = 0;
  for (const auto& [name, object] : objects) {
    if (k++ % 3 == 0) erased.insert(name);
  }
  for (const auto& name : erased) index.Erase(FoldName(name));
  index.Erase("not there");
  for (auto& [name, object] : objects) {
    Named* found = index.Find(FoldName(name));
    if (erased.count(name) != 0) {
      EXPECT_EQ(found, nullptr) << name;
    } else {
      EXPECT_EQ(found, &object) << name;
    }
  }
  // Erased names can come back.
  for (const auto& name : erased) index.Insert(&objects[name]);
  for (auto& [name, object] : objects) EXPECT_EQ(index.Find(name), &object) << name;
  EXPECT_EQ(NameIndex<Named>().Find("x"), nullptr);
}

// The index remembers the last name it found or took in: asked again, even
// in other letter case, it answers the same; once that name is erased, or
// another asked for, it answers from the table.
TEST(NameIndexTest, TheLastNameFoundIsForgottenWithIt) {
  Named a{"Alpha"}, b{"Beta"}, again{"alpha"};
  NameIndex<Named> index;
  index.Insert(&a);
  EXPECT_EQ(index.Find("ALPHA"), &a);
  EXPECT_EQ(index.Find("alpha"), &a);
  index.Insert(&b);
  EXPECT_EQ(index.Find("beta"), &b);
  EXPECT_EQ(index.Find("Alpha"), &a);
  index.Erase("ALPHA");
  EXPECT_EQ(index.Find("Alpha"), nullptr);
  EXPECT_EQ(index.Find("Beta"), &b);
  index.Insert(&again);
  EXPECT_EQ(index.Find("Alpha"), &again);
  index.Erase("nothing");  // erasing anything forgets
  EXPECT_EQ(index.Find("ALPHA"), &again);
  EXPECT_EQ(index.Find("Gamma"), nullptr);
}

// Only ASCII letters fold; other bytes, and names of every length around a
// word of eight bytes, compare as they are.
// Letters fold in every script the names use; ß has no capital of its own,
// and is not "SS".
TEST(NameIndexTest, FoldsLettersOfEveryScriptNamesUse) {
  std::vector<Named> objects;
  for (const char* name : {"Straße_Profile", "a", "abcdefg", "abcdefgh", "abcdefghi",
                           "0123456789abcdef", "0123456789abcdefG", "[@`{~]", "Ärger_Ω"}) {
    objects.push_back(Named{name});
  }
  NameIndex<Named> index;
  for (auto& o : objects) index.Insert(&o);
  EXPECT_EQ(index.Find("STRAßE_PROFILE"), &objects[0]);
  EXPECT_EQ(index.Find("straße_profile"), &objects[0]);
  EXPECT_EQ(index.Find("STRASSE_PROFILE"), nullptr);
  EXPECT_EQ(index.Find("STRAßE_PROFİLE"), nullptr);  // a dotted capital I is no i
  EXPECT_EQ(index.Find("A"), &objects[1]);
  EXPECT_EQ(index.Find("ABCDEFG"), &objects[2]);
  EXPECT_EQ(index.Find("ABCDEFGH"), &objects[3]);
  EXPECT_EQ(index.Find("abcdefgH"), &objects[3]);
  EXPECT_EQ(index.Find("ABCDEFGHI"), &objects[4]);
  EXPECT_EQ(index.Find("0123456789ABCDEF"), &objects[5]);
  EXPECT_EQ(index.Find("0123456789abcdefg"), &objects[6]);
  EXPECT_EQ(index.Find("[@`{~]"), &objects[7]);
  EXPECT_EQ(index.Find("äRGER_ω"), &objects[8]);
  EXPECT_EQ(index.Find("{`@[^}"), nullptr);  // neighbours of the letters do not fold
  EXPECT_EQ(index.Find("abcdefgh "), nullptr);
}

// An entity handed out keeps its drawing, and so itself, alive after the
// application let the drawing go.
TEST(EntityArenaTest, AnEntityHandedOutOutlivesItsApplication) {
  host::Ref<host::Entity> kept;
  std::weak_ptr<host::memory::MemDocument> watch;
  {
    auto app = host::memory::NewMemApplication();
    auto doc = app->AddDocument("A.dwg");
    watch = doc;
    kept = doc->ModelSpace()->AddPoint({1, 2, 3});
    for (int i = 0; i < 20000; ++i) doc->ModelSpace()->AddPoint({double(i), 0, 0});
    app->Close(doc.get());
  }
  EXPECT_FALSE(watch.expired());
  EXPECT_EQ(kept->Layer(), "0");
  EXPECT_EQ(kept.As<host::PointEntity>()->Coordinates(), (host::Point3{1, 2, 3}));
  kept = host::Ref<host::Entity>();
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace palvane::testing
