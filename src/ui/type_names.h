// The desktop's type names and pictures for the types tree: the MIME database names the types,
// the icon theme draws them, and a bundled picture stands in for a group the desktop cannot draw.
//
// Wiring for the window: keep one DesktopTypeNames for the life of the window; pass it to
// classify_files(&typeNames); draw the root with rootIcon() and each group node with
// groupIcon(app).
#pragma once

#include <QIcon>
#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/type_table.h"

namespace dravelo {

class DesktopTypeNames : public TypeNameSource {
 public:
  DesktopTypeNames();

  // The MIME database's description of files named like pattern ("*.jpg"), looked up by name
  // only; empty for a type the database does not know. Takes the type's themed icon as the
  // group's picture when the theme has one.
  std::string type_name(std::string_view pattern, std::uint16_t app) override;

  // The group's picture: the desktop's icon once fetched, else the bundled one.
  QIcon groupIcon(std::uint16_t app) const;
  // The picture of the types tree's root.
  static QIcon rootIcon();
  // The bundled picture of a group, by the kind of file it holds.
  static QIcon bundledIcon(std::uint16_t app);
  // The bundled picture's resource path (":/icons/types/...png").
  static QString bundledIconPath(std::uint16_t app);

 private:
  std::array<QIcon, kAppCount> fetched_;
};

}  // namespace dravelo
