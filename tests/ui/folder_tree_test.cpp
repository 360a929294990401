#include "ui/folder_tree.h"

#include <QTreeWidgetItem>

#include <gtest/gtest.h>

#include "catalogue/records.h"
#include "ui/main_form.h"
#include "ui_test_support.h"

namespace dravelo {
namespace {

// The folder records as an engine leaves them, sorted by parent as the analysis does.
DriveInfo driveWith(std::vector<FolderInfo> folders) {
  DriveInfo d;
  d.drive_name = 'c';
  std::stable_sort(folders.begin(), folders.end(), [](const FolderInfo& a, const FolderInfo& b) { return a.parent < b.parent; });
  for (FolderInfo& f : folders) {
    f.drv = 'c';
    d.Folders.append(std::move(f));
  }
  return d;
}

FolderInfo folder(std::int32_t inode, std::int32_t parent, const char* name, std::uint8_t deleted = 0) {
  FolderInfo f;
  f.inode = inode;
  f.parent = parent;
  f.FolderName = name;
  f.deleted_flag = deleted;
  return f;
}

// "name(child,child)" of the subtree below node.
QString shape(const QTreeWidgetItem* node) {
  QStringList parts;
  for (int i = 0; i < node->childCount(); ++i) {
    const QTreeWidgetItem* c = node->child(i);
    parts << (c->childCount() ? c->text(0) + "(" + shape(c) + ")" : c->text(0));
  }
  return parts.join(",");
}

class FolderTreeTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ensureApp(); }
  QTreeWidgetItem driveNode{QStringList{"C:\\"}};
};

TEST_F(FolderTreeTest, BuildsTheSubtreeBelowTheRootDirectory) {
  // Folders with inodes below, equal to and above their parents, so every scan direction is used.
  const DriveInfo d = driveWith({folder(30, 5, "Docs"), folder(3, 5, "Low"), folder(40, 30, "Old", 1),
                                 folder(12, 40, "Deep"), folder(8, 30, "Mid"), folder(50, 77, "Orphan"),
                                 folder(77, 99, "Stray"), folder(60, 60, "Self")});
  driveNode.setData(0, kNodeLevelRole, 1);
  add_folder_nodes(&driveNode, d, kRootFolder, kRootFolder, 0);
  sort_tree_by_locale(&driveNode);
  EXPECT_EQ(shape(&driveNode), "Docs(Mid,Old(Deep)),Low");
  const QTreeWidgetItem* old = driveNode.child(0)->child(1);
  EXPECT_EQ(old->data(0, kNodeInodeRole).toInt(), 40);
  EXPECT_EQ(old->data(0, kNodeLevelRole).toInt(), 3);
  EXPECT_EQ(old->data(0, kNodeDriveRole).toInt(), 'c');
}

TEST_F(FolderTreeTest, NodesAreMadeInLocaleOrderSoTheSortMovesNothing) {
  // Every level out of locale order in the array; a folder (inode 40) recorded twice, below two
  // parents: the first one the walk meets keeps it (the walk goes through the array's order,
  // zeta before Beta).
  const DriveInfo d = driveWith({folder(30, 5, "zeta"), folder(20, 5, "Beta"), folder(10, 5, "alpha"),
                                 folder(41, 30, "Zoo", 1), folder(42, 30, "ant"), folder(40, 20, "Twice"),
                                 folder(40, 30, "Twice")});
  driveNode.setData(0, kNodeLevelRole, 1);
  add_folder_nodes(&driveNode, d, kRootFolder, kRootFolder, 0);
  const QString built = shape(&driveNode);
  EXPECT_EQ(built, "alpha,Beta,zeta(ant,Twice,Zoo)");
  std::vector<const QTreeWidgetItem*> before;
  for (int i = 0; i < driveNode.childCount(); ++i) before.push_back(driveNode.child(i));
  sort_tree_by_locale(&driveNode);
  EXPECT_EQ(shape(&driveNode), built);
  for (int i = 0; i < driveNode.childCount(); ++i) EXPECT_EQ(driveNode.child(i), before[static_cast<std::size_t>(i)]);

  // The nodes answer for their pictures and roles, and take a later change like any item.
  QTreeWidgetItem* zoo = driveNode.child(2)->child(2);
  EXPECT_EQ(zoo->data(0, Qt::DecorationRole).value<QIcon>().cacheKey(), treeImage(3).cacheKey());
  EXPECT_EQ(driveNode.child(2)->data(0, Qt::DecorationRole).value<QIcon>().cacheKey(), treeImage(2).cacheKey());
  EXPECT_EQ(zoo->data(0, kNodeLevelRole).toInt(), 3);
  zoo->setText(0, "Renamed");
  zoo->setData(0, kNodeInodeRole, 99);
  zoo->setIcon(0, QIcon());
  EXPECT_EQ(zoo->text(0), "Renamed");
  EXPECT_EQ(zoo->data(0, kNodeInodeRole).toInt(), 99);
  EXPECT_TRUE(zoo->icon(0).isNull());
  EXPECT_EQ(zoo->data(0, kNodeDriveRole).toInt(), 'c');
}

TEST_F(FolderTreeTest, RecordsPointingBackUpTheTreeEndTheWalk) {
  // A damaged record names the root directory as the child of one of its own folders.
  const DriveInfo d = driveWith({folder(7, 5, "A"), folder(5, 7, "Loop"), folder(9, 7, "B")});
  add_folder_nodes(&driveNode, d, kRootFolder, kRootFolder, 0);
  EXPECT_EQ(shape(&driveNode), "A(B)");
}

TEST_F(FolderTreeTest, OnlyRootFilesGiveNoChildren) {
  const DriveInfo d = driveWith({});
  add_folder_nodes(&driveNode, d, kRootFolder, kRootFolder, 0);
  EXPECT_EQ(driveNode.childCount(), 0);
}

TEST_F(FolderTreeTest, LocaleOrderPutsLettersBeforeCase) {
  QTreeWidgetItem root{QStringList{"My Computer"}};
  auto* drive = new QTreeWidgetItem(&root, QStringList{"C:\\"});
  for (const char* name : {"Zeta", "alpha", "Beta"}) new QTreeWidgetItem(drive, QStringList{name});
  new QTreeWidgetItem(&root, QStringList{"A:\\"});
  sort_tree_by_locale(&root);
  EXPECT_EQ(shape(&root), "A:\\,C:\\(alpha,Beta,Zeta)");
}

}  // namespace
}  // namespace dravelo
