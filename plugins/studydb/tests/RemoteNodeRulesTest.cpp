// What the remote node dialog accepts, and device codes as shown.

#include "RemoteNodeRules.h"

#include <gtest/gtest.h>

TEST(RemoteNodeRules, FirstWrongFieldNamesTheMessage) {
  struct Case {
    const char *name, *ip, *port, *ae, *message;
  } cases[] = {
      {"", "", "", "", "名称不能为空！"},
      {"PACS", "", "", "", "IP地址不能为空！"},
      {"PACS", "10.0.0.5", "", "", "端口不能为空！"},
      {"PACS", "10.0.0.5", "abc", "PACS", "端口必须在1到65535之间！"},
      {"PACS", "10.0.0.5", "70000", "PACS", "端口必须在1到65535之间！"},
      {"PACS", "10.0.0.5", "0", "PACS", "端口必须在1到65535之间！"},
      {"PACS", "10.0.0.5", "104", "", "AE标题不能为空！"},
      {"PACS", "10.0.0.5", "104", "A\\B", "AE标题无效！"},
      {"PACS", "10.0.0.5", "104", "ABCDEFGHIJKLMNOPQ", "AE标题无效！"},
  };
  for (const Case& c : cases) {
    RemoteNode node;
    const char* message = CheckRemoteNode(c.name, c.ip, c.port, c.ae, node);
    ASSERT_NE(message, nullptr) << c.port << " " << c.ae;
    EXPECT_STREQ(message, c.message);
    EXPECT_EQ(node, RemoteNode{});
  }
  RemoteNode node;
  EXPECT_EQ(CheckRemoteNode("PACS", "10.0.0.5", "104", "PACS", node), nullptr);
  EXPECT_EQ(node, (RemoteNode{"PACS", "PACS", "10.0.0.5", 104}));
}

TEST(RemoteNodeRules, DeviceCodesAreGroupedByThree) {
  EXPECT_EQ(GroupDeviceCode("123456789"), "123 456 789");
  EXPECT_EQ(GroupDeviceCode("1234"), "123 4");
  EXPECT_EQ(GroupDeviceCode("12"), "12");
  EXPECT_EQ(GroupDeviceCode(""), "");
}
