#include "ui/folder_tree.h"

#include <QApplication>
#include <QCollator>
#include <QLocale>
#include <QStyle>
#include <QTreeWidgetItem>

#include <algorithm>
#include <utility>
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

// A folder node keeps its level, drive, inode and picture in its own fields and answers for them
// in data(): a node stored through setData costs a list entry and a variant per role, which for
// a tree of a hundred thousand folders is most of the time it takes to build. A role set through
// setData later is stored and answered the usual way.
class FolderNode : public QTreeWidgetItem {
 public:
  FolderNode(QString name, int level, int drive, std::int32_t inode, bool deleted)
      : name_(std::move(name)), level_(level), drive_(drive), inode_(inode), deleted_(deleted) {}

  QVariant data(int column, int role) const override {
    if (column == 0 && (own_ & bit(role)) != 0) {
      switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
          return name_;
        case Qt::DecorationRole:
          return treeImage(deleted_ ? 3 : 2);
        case kNodeLevelRole:
          return level_;
        case kNodeDriveRole:
          return drive_;
        case kNodeInodeRole:
          return inode_;
        default:
          break;
      }
    }
    return QTreeWidgetItem::data(column, role);
  }

  void setData(int column, int role, const QVariant& value) override {
    if (column == 0) {
      // The display and edit texts are one value in a tree item.
      own_ &= ~bit(role);
      if (role == Qt::DisplayRole || role == Qt::EditRole) own_ &= ~(bit(Qt::DisplayRole) | bit(Qt::EditRole));
    }
    QTreeWidgetItem::setData(column, role, value);
  }

  const QString& name() const { return name_; }

 private:
  static unsigned bit(int role) {
    switch (role) {
      case Qt::DisplayRole: return 1u;
      case Qt::EditRole: return 2u;
      case Qt::DecorationRole: return 4u;
      case kNodeLevelRole: return 8u;
      case kNodeDriveRole: return 16u;
      case kNodeInodeRole: return 32u;
      default: return 0u;
    }
  }

  QString name_;
  int level_;
  int drive_;
  std::int32_t inode_;
  bool deleted_;
  unsigned own_ = 63u;
};

QCollator folderCollator() {
  // The C locale has no collation of its own; fall back to English word order there.
  QLocale locale;
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
  QCollator collator(locale);
  collator.setCaseSensitivity(Qt::CaseSensitive);
  return collator;
}

// One pending level of the depth-first walk: the children of X are the records at positions
// [i, end) walked forwards, or (end, i] walked backwards; node is the walk's place of folder X.
struct Frame {
  std::size_t node;
  std::int32_t X;
  std::int32_t i;
  std::int32_t end;
  int step;
};

// The records whose parent is X form one stretch of the array, which is sorted by parent: found
// by halving instead of walking from the child's own place, so that a tree of a million folders
// costs n log n steps, not up to n for each folder. They are visited in the order of the walk
// from position A: forwards when the folder's own parent P comes before X, backwards after it.
Frame startFrame(std::size_t node, const FolderArray& folders, std::int32_t count, std::int32_t X, std::int32_t P) {
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

// A folder that gets a node: its record and the walk's place of its parent folder.
struct Place {
  std::int32_t record;
  std::size_t parent;
};

}  // namespace

void add_folder_nodes(QTreeWidgetItem* node, const DriveInfo& drive, std::int32_t X, std::int32_t P, std::int32_t A) {
  (void)A;
  const FolderArray& folders = drive.Folders;
  const std::int32_t count = drive.CurrentFolder();
  // First the walk decides which records get a node and below which folder, without making a
  // node: a folder is added at most once, marked at the position of the first record with its
  // inode.
  std::vector<char> added(static_cast<std::size_t>(count), 0);
  const auto mark = [&](std::int32_t inode) {
    const std::int32_t at = folders.find(inode);
    if (at < 0 || at >= count) return true;
    char& seen = added[static_cast<std::size_t>(at)];
    if (seen) return false;
    seen = 1;
    return true;
  };
  mark(X);
  std::vector<Place> places{{-1, 0}};
  std::vector<Frame> stack{startFrame(0, folders, count, X, P)};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.i == f.end) {
      stack.pop_back();
      continue;
    }
    const std::int32_t i = f.i;
    f.i += f.step;
    const FolderInfo& rec = folders[i];
    if (rec.parent != f.X || rec.inode == f.X || !mark(rec.inode)) continue;
    places.push_back({i, f.node});
    stack.push_back(startFrame(places.size() - 1, folders, count, rec.inode, rec.parent));  // f is not used after this
  }
  if (places.size() == 1) return;
  // The children of place p, in the order of the walk: children[first[p], first[p + 1]).
  std::vector<std::size_t> first(places.size() + 1, 0);
  for (std::size_t p = 1; p < places.size(); ++p) ++first[places[p].parent + 1];
  for (std::size_t p = 1; p <= places.size(); ++p) first[p] += first[p - 1];
  std::vector<std::size_t> children(places.size() - 1);
  {
    std::vector<std::size_t> next(first.begin(), first.end() - 1);
    for (std::size_t p = 1; p < places.size(); ++p) children[next[places[p].parent]++] = p;
  }

  // Then the nodes are made, each folder's children in the user's locale order (as
  // sort_tree_by_locale leaves them, which then has nothing to move), below a node of no tree:
  // that costs the view nothing per node, and the whole subtree moves to node in one step at
  // the end. A child added to a node in the tree makes the view take note of each new row.
  const QCollator collator = folderCollator();
  const int driveLevel = node->data(0, kNodeLevelRole).toInt();
  QTreeWidgetItem holder;
  std::vector<std::pair<std::size_t, QTreeWidgetItem*>> pending{{0, &holder}};
  std::vector<FolderNode*> made;
  std::vector<std::size_t> order;
  while (!pending.empty()) {
    const auto [at, parentNode] = pending.back();
    pending.pop_back();
    const int level = (parentNode == &holder ? driveLevel : parentNode->data(0, kNodeLevelRole).toInt()) + 1;
    made.clear();
    for (std::size_t c = first[at]; c < first[at + 1]; ++c) {
      const FolderInfo& rec = folders[places[children[c]].record];
      made.push_back(new FolderNode(QString::fromStdString(escape_controls(rec.FolderName)), level,
                                    static_cast<int>(static_cast<unsigned char>(rec.drv ? rec.drv : drive.drive_name)),
                                    rec.inode, rec.deleted_flag != 0));
    }
    order.resize(made.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return collator.compare(made[a]->name(), made[b]->name()) < 0; });
    for (std::size_t k : order) {
      parentNode->addChild(made[k]);
      pending.emplace_back(children[first[at] + k], made[k]);
    }
  }
  node->addChildren(holder.takeChildren());
}

void sort_tree_by_locale(QTreeWidgetItem* root) {
  const QCollator collator = folderCollator();
  const auto by_name = [&](QTreeWidgetItem* a, QTreeWidgetItem* b) { return collator.compare(a->text(0), b->text(0)) < 0; };
  // A node whose children are in order already is left alone: taking children out and putting
  // them back walks their whole subtrees.
  const auto inOrder = [&](QTreeWidgetItem* node) {
    for (int k = 1; k < node->childCount(); ++k)
      if (by_name(node->child(k), node->child(k - 1))) return false;
    return true;
  };
  // The root's children leave the view while their subtrees are sorted and come back in one
  // step: a node that is in the view makes it take note of every row taken out and put back.
  std::vector<QTreeWidgetItem*> unsorted;
  std::vector<QTreeWidgetItem*> pending;
  for (int k = 0; k < root->childCount(); ++k) pending.push_back(root->child(k));
  while (!pending.empty()) {
    QTreeWidgetItem* node = pending.back();
    pending.pop_back();
    if (node->childCount() == 0) continue;
    if (!inOrder(node)) unsorted.push_back(node);
    for (int k = 0; k < node->childCount(); ++k) pending.push_back(node->child(k));
  }
  if (unsorted.empty() && inOrder(root)) return;
  QList<QTreeWidgetItem*> top = root->takeChildren();
  std::stable_sort(top.begin(), top.end(), by_name);
  for (QTreeWidgetItem* node : unsorted) {
    QList<QTreeWidgetItem*> children = node->takeChildren();
    std::stable_sort(children.begin(), children.end(), by_name);
    node->addChildren(children);
  }
  root->addChildren(top);
}

}  // namespace dravelo
