#include "ui/folder_tree.h"

#include <QApplication>
#include <QCollator>
#include <QLocale>
#include <QStyle>
#include <QTreeWidgetItem>

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "catalogue/records.h"
#include "catalogue/text_util.h"
#include "ui/main_form.h"

namespace dravelo {

namespace {

QIcon makeTreeImage(int index) {
  QStyle* style = QApplication::style();
  switch (index) {
    case 0:
      return style->standardIcon(QStyle::SP_ComputerIcon);
    case 1:
      return style->standardIcon(QStyle::SP_DriveHDIcon);
    case 2:
      return style->standardIcon(QStyle::SP_DirIcon);
    case 3: {
      // A deleted folder: the folder picture greyed out.
      const QIcon folder = style->standardIcon(QStyle::SP_DirIcon);
      QIcon icon;
      icon.addPixmap(folder.pixmap(16, 16, QIcon::Disabled));
      return icon;
    }
    default:
      return {};
  }
}

}  // namespace

QIcon treeImage(int index) {
  // Each picture is made once and shared by every node that shows it: a tree of a million
  // folders then holds four pictures, not a million.
  constexpr int kImages = 4;
  if (index < 0 || index >= kImages) return {};
  // Never destroyed: the pictures may outlive the application object at exit.
  static QIcon* images = new QIcon[kImages];
  static bool made[kImages] = {};
  if (!made[index]) {
    images[index] = makeTreeImage(index);
    made[index] = true;
  }
  return images[index];
}

namespace {

// One pending level of the depth-first walk: the children of X are the records at positions
// [i, end) walked forwards, or (end, i] walked backwards.
struct Frame {
  QTreeWidgetItem* node;
  std::int32_t X;
  std::int32_t i;
  std::int32_t end;
  int step;
};

// The records whose parent is X form one stretch of the array, which is sorted by parent: found
// by halving instead of walking from the child's own place, so that a tree of a million folders
// costs n log n steps, not up to n for each folder. They are visited in the order of the walk
// from position A: forwards when the folder's own parent P comes before X, backwards after it.
Frame startFrame(QTreeWidgetItem* node, const FolderArray& folders, std::int32_t count, std::int32_t X, std::int32_t P) {
  std::int32_t lo = 0, hi = count;
  while (lo < hi) {
    const std::int32_t mid = lo + (hi - lo) / 2;
    if (folders[mid].parent < X) lo = mid + 1;
    else hi = mid;
  }
  std::int32_t end = lo;
  hi = count;
  while (end < hi) {
    const std::int32_t mid = end + (hi - end) / 2;
    if (folders[mid].parent <= X) end = mid + 1;
    else hi = mid;
  }
  if (P <= X) return {node, X, lo, end, +1};
  return {node, X, end - 1, lo - 1, -1};
}

}  // namespace

void add_folder_nodes(QTreeWidgetItem* node, const DriveInfo& drive, std::int32_t X, std::int32_t P, std::int32_t A) {
  (void)A;
  const FolderArray& folders = drive.Folders;
  const std::int32_t count = drive.CurrentFolder();
  std::unordered_set<std::int32_t> added;  // inodes that already have a node
  added.insert(X);
  // The nodes are made below a node of no tree, which costs the view nothing per node, and move
  // to node in one step at the end: a child added to a node in the tree makes the view take note
  // of each new row on its own.
  QTreeWidgetItem holder;
  holder.setData(0, kNodeLevelRole, node->data(0, kNodeLevelRole));
  std::vector<Frame> stack{startFrame(&holder, folders, count, X, P)};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.i == f.end) {
      stack.pop_back();
      continue;
    }
    const std::int32_t i = f.i;
    f.i += f.step;
    const FolderInfo& rec = folders[i];
    if (rec.parent != f.X || rec.inode == f.X || !added.insert(rec.inode).second) continue;
    auto* child = new QTreeWidgetItem(f.node, QStringList{QString::fromStdString(escape_controls(rec.FolderName))});
    child->setIcon(0, treeImage(rec.deleted_flag != 0 ? 3 : 2));
    const int level = f.node->data(0, kNodeLevelRole).toInt() + 1;
    child->setData(0, kNodeLevelRole, level);
    child->setData(0, kNodeDriveRole, static_cast<int>(static_cast<unsigned char>(rec.drv ? rec.drv : drive.drive_name)));
    child->setData(0, kNodeInodeRole, rec.inode);
    stack.push_back(startFrame(child, folders, count, rec.inode, rec.parent));  // f is not used after this
  }
  node->addChildren(holder.takeChildren());
}

void sort_tree_by_locale(QTreeWidgetItem* root) {
  // The C locale has no collation of its own; fall back to English word order there.
  QLocale locale;
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
  QCollator collator(locale);
  collator.setCaseSensitivity(Qt::CaseSensitive);
  const auto by_name = [&](QTreeWidgetItem* a, QTreeWidgetItem* b) { return collator.compare(a->text(0), b->text(0)) < 0; };
  // The root's children leave the view while their subtrees are sorted and come back in one
  // step: a node that is in the view makes it take note of every row taken out and put back.
  QList<QTreeWidgetItem*> top = root->takeChildren();
  std::stable_sort(top.begin(), top.end(), by_name);
  std::vector<QTreeWidgetItem*> pending(top.begin(), top.end());
  while (!pending.empty()) {
    QTreeWidgetItem* node = pending.back();
    pending.pop_back();
    if (node->childCount() == 0) continue;
    QList<QTreeWidgetItem*> children = node->takeChildren();
    std::stable_sort(children.begin(), children.end(), by_name);
    node->addChildren(children);
    for (QTreeWidgetItem* c : children) pending.push_back(c);
  }
  root->addChildren(top);
}

}  // namespace dravelo
