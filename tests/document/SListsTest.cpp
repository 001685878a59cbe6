#include "document/SLists.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "document/Settings.h"
#include "model/Errors.h"

namespace {

using Strings = std::vector<std::string>;

TSList Make(const Strings& items, int maxCount, bool caseSensitive = false) {
  TSList list(maxCount, caseSensitive);
  for (const std::string& s : items) list.Add(s);
  return list;
}

TEST(SList, AddToTop) {
  const Strings nine = {"/a/1.qtor", "/a/2.qtor", "/a/3.qtor", "/a/4.qtor", "/a/5.qtor",
                        "/a/6.qtor", "/a/7.qtor", "/a/8.qtor", "/a/9.qtor"};
  struct Case {
    const char* name;
    Strings before;
    int maxCount;
    std::string added;
    Strings after;
    bool caseSensitive = false;
  };
  const Case cases[] = {
      {"new entry on a full list drops the oldest", nine, 9, "/b/new.qtor",
       {"/b/new.qtor", "/a/1.qtor", "/a/2.qtor", "/a/3.qtor", "/a/4.qtor", "/a/5.qtor", "/a/6.qtor", "/a/7.qtor",
        "/a/8.qtor"}},
      {"present in other letter case moves up unchanged", {"l", "p{2cm}", "R|"}, 8, "r|", {"R|", "l", "p{2cm}"}},
      {"already first changes nothing", {"l", "c"}, 8, "L", {"l", "c"}},
      {"new entry on an empty list", {}, 8, "c", {"c"}},
      {"longer than MaxCount: moving keeps every entry", {"a", "b", "c", "d"}, 2, "c", {"c", "a", "b", "d"}},
      {"longer than MaxCount: a new entry cuts it", {"a", "b", "c", "d"}, 2, "e", {"e", "a"}},
      {"empty string is an entry", {"a"}, 8, "", {"", "a"}},
      // File names: "Case.qtor" and "case.qtor" are two files.
      {"case-sensitive: other letter case is a new entry", {"/a/Case.qtor", "/a/x.qtor"}, 9, "/a/case.qtor",
       {"/a/case.qtor", "/a/Case.qtor", "/a/x.qtor"}, true},
      {"case-sensitive: the same name moves up", {"/a/Case.qtor", "/a/x.qtor"}, 9, "/a/x.qtor",
       {"/a/x.qtor", "/a/Case.qtor"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSList list = Make(c.before, c.maxCount, c.caseSensitive);
    list.AddToTop(c.added);
    EXPECT_EQ(list.Items(), c.after);
  }
}

TEST(SList, MaxCountIsAtLeastOne) {
  TSList list;
  EXPECT_EQ(list.MaxCount(), 10);
  for (int n : {0, -5}) {
    list.SetMaxCount(n);
    EXPECT_EQ(list.MaxCount(), 1);
  }
  list.SetMaxCount(3);
  EXPECT_EQ(list.MaxCount(), 3);
  list.AddToTop("a");
  list.AddToTop("b");
  list.SetMaxCount(0);
  EXPECT_EQ(list.Count(), 2);  // not cut until the next insertion
  list.AddToTop("c");
  EXPECT_EQ(list.Items(), Strings{"c"});
}

TEST(SList, IndexErrors) {
  TSList list = Make({"a", "b"}, 8);
  const std::pair<const char*, std::function<void()>> calls[] = {
      {"List index out of bounds (2)", [&] { (void)list[2]; }},
      {"List index out of bounds (-1)", [&] { list.Delete(-1); }},
      {"List index out of bounds (3)", [&] { list.Insert(3, "x"); }},
      {"List index out of bounds (2)", [&] { list.Move(0, 2); }},
  };
  for (const auto& [message, call] : calls) {
    try {
      call();
      ADD_FAILURE() << "no error for " << message;
    } catch (const EListError& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
  EXPECT_EQ(list.Items(), (Strings{"a", "b"}));
}

class SListStore : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store.OpenKey("\\Software\\LaTeX\\Quiltor\\Recent Files", true)); }
  void Put(const Strings& names) {
    for (const std::string& n : names) store.WriteString(n, "v" + n);
  }
  TMemorySettings store;
};

TEST_F(SListStore, LoadStopsAtTheFirstGap) {
  Put({"1", "2", "4", "5"});
  TSList list = Make({"old"}, 1);
  list.LoadFromRegistry(store);
  EXPECT_EQ(list.Items(), (Strings{"v1", "v2"}));

  TMemorySettings other;
  ASSERT_TRUE(other.OpenKey("\\Empty", true));
  other.WriteString("2", "two");
  list.LoadFromRegistry(other);
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(SListStore, SaveLeavesHigherNumbersAlone) {
  Put({"1", "2", "3", "4", "5"});
  Make({"c", "b", "a"}, 3).SaveToRegistry(store);
  EXPECT_EQ(store.ReadString("1"), "c");
  EXPECT_EQ(store.ReadString("3"), "a");
  EXPECT_EQ(store.ReadString("4"), "v4");
  EXPECT_EQ(store.GetValueNames(), (Strings{"1", "2", "3", "4", "5"}));

  // Loading ignores MaxCount: all five come back.
  TSList list(3);
  list.LoadFromRegistry(store);
  EXPECT_EQ(list.Items(), (Strings{"c", "b", "a", "v4", "v5"}));
}

TEST_F(SListStore, WrongTypeNamesTheValue) {
  Put({"1"});
  store.WriteInteger("2", 7);
  TSList list;
  try {
    list.LoadFromRegistry(store);
    ADD_FAILURE() << "no error";
  } catch (const EQuiltorError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for '2'");
  }
}

}  // namespace
