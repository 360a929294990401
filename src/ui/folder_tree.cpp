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

// One pending level of the depth-first walk: the children of X are looked for from position i
// on, forwards or backwards, since the array is sorted by parent.
struct Frame {
  QTreeWidgetItem* node;
  std::int32_t X;
  std::int32_t i;
  int step;
};

Frame startFrame(QTreeWidgetItem* node, std::int32_t X, std::int32_t P, std::int32_t A) {
  if (P < X) return {node, X, A + 1, +1};
  if (P == X) return {node, X, A, +1};
  return {node, X, A - 1, -1};
}

}  // namespace

void add_folder_nodes(QTreeWidgetItem* node, const DriveInfo& drive, std::int32_t X, std::int32_t P, std::int32_t A) {
  const FolderArray& folders = drive.Folders;
  const std::int32_t count = drive.CurrentFolder();
  std::unordered_set<std::int32_t> added;  // inodes that already have a node
  added.insert(X);
  std::vector<Frame> stack{startFrame(node, X, P, A)};
  while (!stack.empty()) {
    Frame& f = stack.back();
    const bool inside = f.step > 0 ? (f.i < count && folders[f.i].parent <= f.X) : (f.i >= 0 && folders[f.i].parent >= f.X);
    if (!inside) {
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
    stack.push_back(startFrame(child, rec.inode, rec.parent, i));  // f is not used after this
  }
}

void sort_tree_by_locale(QTreeWidgetItem* root) {
  // The C locale has no collation of its own; fall back to English word order there.
  QLocale locale;
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
  QCollator collator(locale);
  collator.setCaseSensitivity(Qt::CaseSensitive);
  std::vector<QTreeWidgetItem*> pending{root};
  while (!pending.empty()) {
    QTreeWidgetItem* node = pending.back();
    pending.pop_back();
    if (node->childCount() == 0) continue;
    QList<QTreeWidgetItem*> children = node->takeChildren();
    std::stable_sort(children.begin(), children.end(), [&](QTreeWidgetItem* a, QTreeWidgetItem* b) {
      return collator.compare(a->text(0), b->text(0)) < 0;
    });
    node->addChildren(children);
    for (QTreeWidgetItem* c : children) pending.push_back(c);
  }
}

}  // namespace dravelo
