// The folder tree of an analysis: one node per scanned drive, below it the folders that the
// engine recorded on that drive, built from the drive's folder array once it is sorted by
// parent; and the pictures that the trees share.
#pragma once

#include <QIcon>

#include <cstdint>

class QTreeWidgetItem;

namespace dravelo {

struct DriveInfo;

// Tree pictures: 0 the computer, 1 a drive, 2 a folder, 3 a deleted folder.
QIcon treeImage(int index);

// Adds below node the subtree of the folder whose identity is X, from drive.Folders sorted by
// parent: P is the parent of the folder X names, which decides whether X's children are visited
// forwards or backwards, and A its position in the array (X = 5, P = 5, A = 0 for the drive
// itself; the children's stretch is found by halving, so A is not needed to find it). Depth
// first, pre-order. A folder whose chain of parents does not reach X gets no node, nor does a
// record whose parent is its own inode; a folder is added at most once, so damaged records that
// point back up the tree cannot make the walk endless. The children of each node come in the
// order that sort_tree_by_locale gives them, so that sorting the tree afterwards moves nothing.
void add_folder_nodes(QTreeWidgetItem* node, const DriveInfo& drive, std::int32_t X, std::int32_t P, std::int32_t A);

// Reorders the children of every node below root (root itself stays) by their text in the
// user's locale order, letters before case: alpha, Beta, Zeta.
void sort_tree_by_locale(QTreeWidgetItem* root);

}  // namespace dravelo
