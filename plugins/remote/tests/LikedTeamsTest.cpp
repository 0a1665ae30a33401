#include <gtest/gtest.h>

#include <filesystem>

#include "LikedTeams.h"
#include "TestSupport.h"

namespace {

TeamRecord Team(const std::string& sid, const std::string& name) {
  TeamRecord team;
  team.sid = sid;
  team.name = name;
  team.id = "ignored";
  return team;
}

std::string Expected(const std::string& teams) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Config>\n    <TeamList>" + teams + "</TeamList>\n</Config>\n";
}

}  // namespace

TEST(LikedTeams, FileHoldsSidAndNameOfEachTeamInOrder) {
  std::string path = (orvanta::test::MakeTempDir("liked") / "ConfigRD.xml").string();
  LikedTeams liked(path);
  EXPECT_TRUE(liked.Teams().empty());
  EXPECT_FALSE(std::filesystem::exists(path));

  ASSERT_TRUE(liked.Like(Team("100001", "影像会诊")));
  EXPECT_EQ(orvanta::test::FileBytes(path),
            Expected("\n        <Team sid=\"100001\" team_name=\"影像会诊\" />\n    "));
  ASSERT_TRUE(liked.Like(Team("100002", "B & C")));
  EXPECT_EQ(orvanta::test::FileBytes(path),
            Expected("\n        <Team sid=\"100001\" team_name=\"影像会诊\" />\n"
                     "        <Team sid=\"100002\" team_name=\"B &amp; C\" />\n    "));
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  LikedTeams reloaded(path);
  ASSERT_EQ(reloaded.Teams().size(), 2u);
  EXPECT_EQ(reloaded.Teams()[1].name, "B & C");
  EXPECT_TRUE(reloaded.Teams()[1].id.empty());
}

TEST(LikedTeams, RenameRewritesSameNameWritesNothingEmptySidRefused) {
  std::string path = (orvanta::test::MakeTempDir("liked") / "ConfigRD.xml").string();
  LikedTeams liked(path);
  liked.Like(Team("7", "old"));
  ASSERT_TRUE(liked.Like(Team("7", "new")));
  EXPECT_EQ(LikedTeams(path).Teams()[0].name, "new");

  std::filesystem::remove(path);
  ASSERT_TRUE(liked.Like(Team("7", "new")));
  EXPECT_FALSE(std::filesystem::exists(path)) << "an unchanged team is not written again";

  EXPECT_FALSE(liked.Like(Team("", "shown only")));
  EXPECT_EQ(liked.Teams().size(), 1u);
  EXPECT_FALSE(liked.Unlike(Team("", "")));
}

TEST(LikedTeams, UnlikeRewritesAndLoadTakesAnyChildOfTeamList) {
  std::filesystem::path dir = orvanta::test::MakeTempDir("liked");
  std::string path = (dir / "ConfigRD.xml").string();
  {
    FILE* f = fopen(path.c_str(), "w");
    fputs("<?xml version=\"1.0\"?><Config><TeamList><Team sid=\"1\" team_name=\"a\"/><Other sid=\"2\"/>"
          "<Team team_name=\"no sid\"/></TeamList></Config>",
          f);
    fclose(f);
  }
  LikedTeams liked(path);
  ASSERT_EQ(liked.Teams().size(), 3u);
  EXPECT_EQ(liked.Teams()[1].sid, "2");
  EXPECT_EQ(liked.Teams()[1].name, "");
  EXPECT_EQ(liked.Teams()[2].sid, "");

  ASSERT_TRUE(liked.Unlike(Team("1", "")));
  LikedTeams reloaded(path);
  ASSERT_EQ(reloaded.Teams().size(), 2u);
  EXPECT_EQ(reloaded.Teams()[0].sid, "2");

  // A root whose first child is not TeamList, and a file that is not XML, read as empty.
  for (const char* text : {"<Config><Other/><TeamList><Team sid=\"1\"/></TeamList></Config>", "not xml"}) {
    FILE* f = fopen(path.c_str(), "w");
    fputs(text, f);
    fclose(f);
    EXPECT_TRUE(LikedTeams(path).Teams().empty()) << text;
  }
}
