#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ReportSettings.h"
#include "ReportTemplateStore.h"
#include "SOUtil.h"
#include "TemplateCipher.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using orvanta::test::FileBytes;
using orvanta::test::MakeTempDir;

namespace {

const char* kLayout =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Window><VerticalLayout width=\"200\" height=\"300\" "
    "template_name=\"胸部 CT\" template_pagesize=\"A4\"><Label text=\"x\"/></VerticalLayout></Window>";

void WriteFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string Encrypted(const std::string& plain) {
  std::string data;
  EXPECT_TRUE(TemplateCipher::Encrypt(plain, TemplateCipher::kTemplateKey, data));
  return data;
}

size_t FileCount(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

struct ListChanges : ITemplateConfigCallback {
  int count = 0;
  void OnTemplateListChanged() override { ++count; }
};

class TemplateStore : public ::testing::Test {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    root_ = MakeTempDir();
    fs::create_directories(root_ / "builtin");
    WriteFile(root_ / "builtin" / "chest.v2.xml", kLayout);
    WriteFile(root_ / "builtin" / "notes.txt", "not a layout");
  }
  std::string BuiltIn() const { return (root_ / "builtin").string() + "/"; }
  std::string Imported() const { return (root_ / "imported").string() + "/"; }
  fs::path root_;
};

}  // namespace

TEST(TemplateCipher, RoundTripsAndRefusesWrongKeysAndPlainText) {
  const std::string plain = kLayout;
  std::string data, back;
  ASSERT_TRUE(TemplateCipher::Encrypt(plain, TemplateCipher::kTemplateKey, data));
  EXPECT_EQ(data.size(), 16 + (plain.size() / 16 + 1) * 16);  // IV, then padded blocks
  ASSERT_TRUE(TemplateCipher::Decrypt(data, TemplateCipher::kTemplateKey, back));
  EXPECT_EQ(back, plain);
  const std::string otherKey(64, 'A');
  EXPECT_FALSE(TemplateCipher::Decrypt(data, otherKey.c_str(), back) && back == plain);
  EXPECT_FALSE(TemplateCipher::Decrypt(data, "short", back));
  EXPECT_FALSE(TemplateCipher::Decrypt(std::string(plain.data(), 64), TemplateCipher::kTemplateKey, back) &&
               back.find("<Window") != std::string::npos);
}

TEST_F(TemplateStore, BuiltInTemplatesComeFirstAndCannotBeDeleted) {
  fs::create_directories(root_ / "imported");
  WriteFile(root_ / "imported" / "2.25.42", kLayout);
  ReportTemplateStore store(BuiltIn(), Imported());
  const auto& list = store.GetTemplates();
  ASSERT_EQ(list.size(), 2u);  // notes.txt does not build
  EXPECT_TRUE(list[0].builtIn);
  EXPECT_EQ(list[0].key, L"chest.v2");  // cut at the last dot
  EXPECT_EQ(list[0].templateName, L"胸部 CT");
  EXPECT_EQ(list[0].pageSize, L"A4");
  EXPECT_FALSE(list[1].builtIn);
  EXPECT_EQ(list[1].key, L"2.25.42");

  EXPECT_FALSE(store.DeleteTemplate(L"chest.v2"));
  EXPECT_FALSE(store.DeleteTemplate(nullptr));
  EXPECT_TRUE(fs::exists(root_ / "builtin" / "chest.v2.xml"));
  EXPECT_EQ(store.GetTemplates().size(), 2u);
}

TEST_F(TemplateStore, AnEncryptedTemplateImportsAsAPlainFileNamedByAnIdentifier) {
  ReportTemplateStore store(BuiltIn(), Imported());
  ListChanges changes;
  store.AddListener(&changes);
  const fs::path source = root_ / "chest.tpl";
  WriteFile(source, Encrypted(kLayout));
  ASSERT_TRUE(store.ImportTemplate(SOUtil::UTF82WStr(source.c_str()).c_str()));
  ASSERT_TRUE(store.ImportTemplate(SOUtil::UTF82WStr(source.c_str()).c_str()));
  EXPECT_EQ(changes.count, 2);
  const auto list = store.GetTemplates();
  ASSERT_EQ(list.size(), 3u);
  const fs::path stored = SOUtil::W2UTF8Str(list[1].path.c_str());
  EXPECT_EQ(stored.parent_path(), root_ / "imported");
  EXPECT_EQ(stored.extension().string().find_first_not_of(".0123456789"), std::string::npos);
  EXPECT_EQ(FileBytes(stored), kLayout);

  // Each imported template has a key of its own: deleting the second leaves the first.
  ASSERT_NE(list[1].key, list[2].key);
  ASSERT_TRUE(store.DeleteTemplate(list[2].key.c_str()));
  EXPECT_EQ(changes.count, 3);
  ASSERT_EQ(store.GetTemplates().size(), 2u);
  EXPECT_EQ(store.GetTemplates()[1].key, list[1].key);
  EXPECT_TRUE(fs::exists(stored));
  EXPECT_FALSE(fs::exists(SOUtil::W2UTF8Str(list[2].path.c_str())));
}

TEST_F(TemplateStore, ImportsThatDoNotDecryptToALayoutLeaveNoTrace) {
  ReportTemplateStore store(BuiltIn(), Imported());
  ListChanges changes;
  store.AddListener(&changes);
  struct Row {
    const char* name;
    std::string bytes;
  };
  const Row rows[] = {
      {"plain xml", kLayout},
      {"empty text", Encrypted("")},
      {"not markup", Encrypted("just words")},
      {"broken markup", Encrypted("<Window><VerticalLayout")},
      {"empty file", ""},
  };
  for (const Row& row : rows) {
    const fs::path source = root_ / "in.tpl";
    WriteFile(source, row.bytes);
    EXPECT_FALSE(store.ImportTemplate(SOUtil::UTF82WStr(source.c_str()).c_str())) << row.name;
  }
  EXPECT_FALSE(store.ImportTemplate(nullptr));
  EXPECT_FALSE(store.ImportTemplate(L"/no/such/file"));
  EXPECT_EQ(FileCount(root_ / "imported"), 0u);
  EXPECT_EQ(store.GetTemplates().size(), 1u);
  EXPECT_EQ(changes.count, 0);
}

TEST_F(TemplateStore, ADeleteWhoseFileCannotBeRemovedFails) {
  fs::create_directories(root_ / "imported");
  WriteFile(root_ / "imported" / "2.25.7", kLayout);
  ReportTemplateStore store(BuiltIn(), Imported());
  ASSERT_EQ(store.GetTemplates().size(), 2u);
  fs::remove(root_ / "imported" / "2.25.7");
  fs::create_directory(root_ / "imported" / "2.25.7");  // a folder is not removed as a file
  EXPECT_FALSE(store.DeleteTemplate(L"2.25.7"));
  EXPECT_EQ(store.GetTemplates().size(), 2u);
}

TEST(ReportSettings, InstitutionNameIsStoredAsUtf8) {
  ReportSettings::SetInstitutionName(L"北京协和 Hospital");
  EXPECT_EQ(ReportSettings::InstitutionName(), L"北京协和 Hospital");
  ReportSettings::SetInstitutionName(L"");
  EXPECT_EQ(ReportSettings::InstitutionName(), L"");
}

TEST(TemplateEncryptTool, MakesFilesTheStoreImports) {
  orvanta::test::EnsureQtApp();
  const fs::path root = MakeTempDir();
  const fs::path tool = orvanta::test::ProgramFolder().parent_path() / "tools" / "template_encrypt";
  if (!fs::exists(tool)) GTEST_SKIP() << "no " << tool;
  WriteFile(root / "t.xml", kLayout);
  ASSERT_EQ(orvanta::test::RunCommand(tool.string() + " " + (root / "t.xml").string() + " " +
                                      (root / "t.tpl").string()),
            0);
  ReportTemplateStore store((root / "none").string() + "/", (root / "imported").string() + "/");
  EXPECT_TRUE(store.ImportTemplate(SOUtil::UTF82WStr((root / "t.tpl").c_str()).c_str()));
  EXPECT_EQ(store.GetTemplates().size(), 1u);
}
